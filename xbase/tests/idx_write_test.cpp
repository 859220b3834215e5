// Writing IDX files: building them, and building or changing over an existing file.

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

uint16_t le16(const std::string& s, size_t o)
{
    return uint16_t(uint8_t(s[o]) | uint8_t(s[o + 1]) << 8);
}
uint32_t le32(const std::string& s, size_t o)
{
    return le16(s, o) | uint32_t(le16(s, o + 2)) << 16;
}

// Our files for the sample and big tables are the files the independent writer (sample) and
// the reference-derived writer (big) made: same header, node layout, fill and page order.
TEST(Create, SameBytesAsTheFixtures)
{
    struct Case {
        const char* idx;
        const char* dbf;
        const char* field;
    };
    const Case cases[] = {
        {"sample_contid.idx", "sample.dbf", "CONTID"},
        {"sample_code.idx", "sample.dbf", "CODE"},
        {"big_contid.idx", "big.dbf", "CONTID"},
        {"big_code.idx", "big.dbf", "CODE"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        FieldKeys keys = dbfFieldKeys(fixture(c.dbf), c.field);
        std::vector<IdxEntry> shuffled = keys.entries;
        std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
        const bool numeric = keys.type == 'N';
        xb::Status err;
        auto f = IdxFile::create((dir / c.idx).string(), c.field, numeric ? IdxKeyType::Numeric : IdxKeyType::Character,
                                 numeric ? 8 : keys.width, shuffled, &err);
        ASSERT_TRUE(f) << err.message();
        EXPECT_EQ(f->entries(), keys.entries);
        EXPECT_TRUE(readFile(dir / c.idx) == readFile(fixture(c.idx))) << c.idx;
    }
}

// Trees of every shape: empty, one node, one node exactly full, two leaves, a full two-level
// tree and one more key (three levels), and a large one. C(10) holds 35 keys per node.
TEST(Create, RoundTripOfEveryTreeShape)
{
    TempDir dir;
    std::mt19937 rng(1);
    for (size_t n : {0, 1, 35, 36, 35 * 35, 35 * 35 + 1, 20000}) {
        SCOPED_TRACE(n);
        std::vector<IdxEntry> entries;
        for (size_t i = 0; i < n; ++i) {
            // few distinct keys, so duplicates run across leaf and interior boundaries
            const std::string text = std::to_string(rng() % (n / 3 + 1));
            entries.push_back({IdxFile::charKey(text, 10), uint32_t(rng() % 100000 + 1)});
        }
        xb::Status err;
        auto f = IdxFile::create((dir / "t.idx").string(), "CODE", IdxKeyType::Character, 10, entries, &err);
        ASSERT_TRUE(f) << err.message();
        std::sort(entries.begin(), entries.end(), entryLess);
        entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
        EXPECT_EQ(f->entries(), entries);
        auto g = reopen(*f);
        ASSERT_TRUE(g);
        EXPECT_EQ(g->entries(), entries);

        const std::string raw = readFile(dir / "t.idx");
        const uint32_t root = le32(raw, 0);
        EXPECT_EQ(le32(raw, 4), 0xFFFFFFFFu);  // no free list
        EXPECT_EQ(le32(raw, 8), raw.size());   // file length
        EXPECT_EQ(raw.size() % 512, 0u);
        EXPECT_EQ(le16(raw, root) & 1, 1);  // root flag
        EXPECT_EQ(le16(raw, root) & 2, n <= 35 ? 2 : 0);
    }
}

TEST(Create, NumericConditionAndDescending)
{
    TempDir dir;
    std::vector<IdxEntry> entries;
    for (int i = 0; i < 500; ++i)
        entries.push_back({IdxFile::numericKey((i * 7919) % 1000 - 500.5), uint32_t(i + 1)});
    xb::Status err;
    auto f = IdxFile::create((dir / "n.idx").string(), "  CONTID ", IdxKeyType::Numeric, 8, entries, &err, true,
                             "CONTID > 0");
    ASSERT_TRUE(f) << err.message();
    EXPECT_EQ(f->keyExpr(), "CONTID");
    EXPECT_TRUE(f->descending());
    for (size_t i = 1; i < f->entries().size(); ++i)
        EXPECT_LT(IdxFile::numericValue(f->entries()[i - 1].key), IdxFile::numericValue(f->entries()[i].key));

    auto g = IdxFile::open(f->path(), &err);  // type guessed from the keys
    ASSERT_TRUE(g) << err.message();
    EXPECT_EQ(g->keyType(), IdxKeyType::Numeric);
    EXPECT_EQ(g->condition(), "CONTID > 0");
    EXPECT_EQ(g->entries(), f->entries());
    EXPECT_EQ(uint8_t(readFile(f->path())[14]), 0x08);  // FOR clause option
    // The standard form has nowhere to keep the order: it lives in the object only.
    EXPECT_FALSE(g->descending());
    ASSERT_TRUE(f->reload(&err)) << err.message();
    EXPECT_TRUE(f->descending());
}

TEST(Create, RefusesBadArguments)
{
    TempDir dir;
    const std::string path = (dir / "bad.idx").string();
    struct Case {
        const char* what;
        std::string expr;
        IdxKeyType type;
        int keyLen;
        std::vector<IdxEntry> entries;
        std::string condition;
    };
    const Case cases[] = {
        {"empty expression", "  ", IdxKeyType::Character, 4, {}, ""},
        {"numeric key of 4 bytes", "N", IdxKeyType::Numeric, 4, {}, ""},
        {"key length 0", "C", IdxKeyType::Character, 0, {}, ""},
        {"key length 101", "C", IdxKeyType::Character, 101, {}, ""},
        {"short key", "C", IdxKeyType::Character, 4, {{"abc", 1}}, ""},
        {"long key", "C", IdxKeyType::Character, 4, {{"abcde", 1}}, ""},
        {"record 0", "C", IdxKeyType::Character, 4, {{"abcd", 0}}, ""},
        {"expression too long", std::string(220, 'A'), IdxKeyType::Character, 4, {}, ""},
        {"condition too long", "C", IdxKeyType::Character, 4, {}, std::string(220, 'A')},
    };
    for (const Case& c : cases) {
        xb::Status err;
        EXPECT_FALSE(IdxFile::create(path, c.expr, c.type, c.keyLen, c.entries, &err, false, c.condition)) << c.what;
        EXPECT_FALSE(err.ok()) << c.what;
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    xb::Status err;
    EXPECT_FALSE(IdxFile::create((dir / "no/such/folder.idx").string(), "C", IdxKeyType::Character, 4, {}, &err));
    EXPECT_NE(err.message().find("no/such/folder.idx"), std::string::npos) << err.message();
}

TEST(Create, ExactRepeatsAreKeptOnce)
{
    TempDir dir;
    xb::Status err;
    auto f = IdxFile::create((dir / "r.idx").string(), "C", IdxKeyType::Character, 2,
                             {{"bb", 2}, {"aa", 1}, {"bb", 2}, {"bb", 1}, {"aa", 1}}, &err);
    ASSERT_TRUE(f) << err.message();
    EXPECT_EQ(f->entries(), (std::vector<IdxEntry>{{"aa", 1}, {"bb", 1}, {"bb", 2}}));
}

// Changes are written into the file itself: its permissions, links and other programs
// holding it open all see the same file afterwards.
TEST(Files, ChangesAreWrittenInPlace)
{
    TempDir dir;
    xb::Status err;
    const auto path = dir / "p.idx";
    auto f = IdxFile::create(path.string(), "C", IdxKeyType::Character, 1, {{"a", 1}}, &err);
    ASSERT_TRUE(f) << err.message();
    ::chmod(path.c_str(), 0640);
    std::ifstream heldOpen(path, std::ios::binary);
    struct stat before, after;
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    ASSERT_TRUE(f->insert({"b", 2}, &err)) << err.message();
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & 0777, 0640u);
    const std::string seen(std::istreambuf_iterator<char>(heldOpen), {});
    EXPECT_EQ(seen, readFile(path));
    EXPECT_EQ(decodeBytes(seen).size(), 2u);

    // An index reached through a link is written where the link points; the link stays.
    std::filesystem::create_directory(dir / "real");
    std::filesystem::rename(path, dir / "real" / "p.idx");
    std::filesystem::create_symlink(dir / "real" / "p.idx", path);
    auto g = IdxFile::open(path.string(), &err);
    ASSERT_TRUE(g) << err.message();
    ASSERT_TRUE(g->insert({"c", 3}, &err)) << err.message();
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(reopen(*g)->entries().size(), 3u);

    size_t files = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path()))
        files += e.is_regular_file() || e.is_symlink();
    EXPECT_EQ(files, 2u);  // the index and the link: no temporary files left
}

// Building over an existing index (a re-index) keeps the old one readable until the new
// one is complete, whatever form and size the old one had.
TEST(Files, CreateOverAnExistingIndex)
{
    TempDir dir;
    const auto path = dir / "r.idx";
    for (const char* old : {"big_code_compact.idx", "big_code.idx", "sample_code.idx"}) {
        SCOPED_TRACE(old);
        std::filesystem::copy_file(fixture(old), path, std::filesystem::copy_options::overwrite_existing);
        const std::string before = readFile(path);
        std::vector<IdxEntry> entries;
        for (uint32_t r = 1; r <= 100; ++r)
            entries.push_back({IdxFile::charKey(std::to_string(r), 6), r});
        xb::Status err;
        auto f = IdxFile::create(path.string(), "CODE", IdxKeyType::Character, 6, entries, &err);
        ASSERT_TRUE(f) << err.message();
        EXPECT_EQ(reopen(*f)->entries(), f->entries());
        const std::string after = readFile(path);
        std::string stopped = before;
        stopped.resize(std::max(before.size(), after.size()), '\0');
        stopped.replace(512, after.size() - 512, after, 512, after.size() - 512);
        EXPECT_EQ(decodeBytes(stopped), IdxFile::open(fixture(old).string(), &err)->entries());
    }
    // Garbage in the way is simply overwritten.
    writeFile(path, std::string(5000, 'x'));
    xb::Status err;
    auto f = IdxFile::create(path.string(), "CODE", IdxKeyType::Character, 6, {{"abcdef", 1}}, &err);
    ASSERT_TRUE(f) << err.message();
    EXPECT_EQ(readFile(path).size(), 1024u);
    EXPECT_EQ(reopen(*f)->entries(), f->entries());
}

}  // namespace
