// Reading our IDX files with an independent reader (Perl XBase).

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>

#include <sys/stat.h>

#include "xbase/src/env.h"
#include "xbase/src/idx.h"
#include "xbase/src/idxcodec.h"
#include "idx_testutil.h"

using namespace idxtest;
using xb::IdxEntry;
using xb::IdxFile;
using xb::IdxKeyType;

namespace {

bool haveTools()
{
    return std::system("/usr/bin/perl -MXBase -MXBase::Index -e 1 >/dev/null 2>&1") == 0
        && std::system("/usr/bin/python3 -c 'import dbfread' >/dev/null 2>&1") == 0;
}

int run(const std::string& command, std::string* output)
{
    std::string cmd = command + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return -1;
    char buf[4096];
    size_t n;
    output->clear();
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        output->append(buf, n);
    const int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Perl XBase's tree search walks the interior entries: for every distinct key it must land
// on the first record holding it.
const char* kPerlSeek = R"PERL(
use strict; use warnings; no warnings 'uninitialized';
use XBase; use XBase::Index;
my ($dbf, $idx, $field, $type) = @ARGV;
my $t = XBase->new($dbf) or die XBase->errstr;
my %first;
for my $i (0 .. $t->last_record) {
  my ($del, $v) = $t->get_record($i, $field);
  if ($type eq 'N') { $v = defined $v ? $v + 0 : 0 } else { $v =~ s/ +$// }
  $first{$v} = $i + 1 unless exists $first{$v};
}
my $ix = XBase::Index->new($idx, type => $type) or die XBase::Index->errstr;
my ($ok, $bad) = (0, 0);
for my $v (sort keys %first) {
  $ix->prepare_select_eq($v);
  my ($k, $r) = $ix->fetch;
  if (defined $r and $r == $first{$v}) { $ok++ } else { $bad++ }
}
print "seek ok=$ok bad=$bad\n";
exit($bad ? 1 : 0);
)PERL";

TEST(Interop, PerlXBaseReadsOurFiles)
{
    ASSERT_TRUE(haveTools()) << "Perl XBase (libdbd-xbase-perl) or python3-dbfread missing; "
                                "scripts/install-deps.sh installs them";
    TempDir dir;
    writeFile(dir / "seek.pl", kPerlSeek);
    const std::string check = fixture("read_check.sh").string();
    struct Case {
        const char* dbf;
        const char* field;
    };
    for (const Case c : {Case{"sample.dbf", "CONTID"}, Case{"sample.dbf", "CODE"}, Case{"big.dbf", "CONTID"},
                         Case{"big.dbf", "CODE"}}) {
        SCOPED_TRACE(std::string(c.dbf) + " " + c.field);
        FieldKeys keys = dbfFieldKeys(fixture(c.dbf), c.field);
        const bool numeric = keys.type == 'N';
        // Build from part of the table and add the rest one by one, so that the file Perl
        // reads is the product of maintenance, not of a fresh build.
        std::vector<IdxEntry> all = keys.entries, initial;
        std::shuffle(all.begin(), all.end(), std::mt19937(3));
        const size_t half = all.size() / 2;
        initial.assign(all.begin(), all.begin() + long(half));
        const std::string path = (dir / "ours.idx").string();
        xb::Status err;
        auto f = IdxFile::create(path, c.field, numeric ? IdxKeyType::Numeric : IdxKeyType::Character,
                                 numeric ? 8 : keys.width, initial, &err);
        ASSERT_TRUE(f) << err.message();
        f->setDeferredWrites(all.size() > 100);
        for (size_t i = half; i < all.size(); ++i)
            ASSERT_TRUE(f->insert(all[i], &err)) << err.message();
        ASSERT_TRUE(f->flush(&err)) << err.message();

        std::string out;
        EXPECT_EQ(run("sh '" + check + "' '" + fixture(c.dbf).string() + "' '" + path + "'", &out), 0) << out;
        EXPECT_NE(out.find("[check] index order OK"), std::string::npos) << out;
        EXPECT_EQ(run("/usr/bin/perl '" + (dir / "seek.pl").string() + "' '" + fixture(c.dbf).string() + "' '" + path
                          + "' " + c.field + " " + (numeric ? "N" : "C"),
                      &out),
                  0)
            << out;
    }
}

// An empty index, as made for a new empty table, is read by Perl XBase as empty.
TEST(Interop, PerlXBaseReadsAnEmptyIndex)
{
    ASSERT_TRUE(haveTools()) << "Perl XBase (libdbd-xbase-perl) missing; scripts/install-deps.sh installs it";
    TempDir dir;
    xb::Status err;
    auto f = IdxFile::create((dir / "e.idx").string(), "CONTID", IdxKeyType::Numeric, 8, {}, &err);
    ASSERT_TRUE(f) << err.message();
    writeFile(dir / "count.pl", R"PERL(
use XBase::Index;
my $ix = XBase::Index->new($ARGV[0], type => 'N') or die XBase::Index->errstr;
$ix->prepare_select; my $n = 0; $n++ while (my @x = $ix->fetch); print "keys=$n\n";
)PERL");
    std::string out;
    EXPECT_EQ(run("/usr/bin/perl '" + (dir / "count.pl").string() + "' '" + f->path() + "'", &out), 0) << out;
    EXPECT_NE(out.find("keys=0"), std::string::npos) << out;
}

}  // namespace
