// Writing IDX files: building, maintenance, re-reading, sharing one file between two
// objects, and reading our files with an independent reader (Perl XBase).

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

std::unique_ptr<IdxFile> reopen(const IdxFile& f)
{
    xb::Status err;
    auto g = IdxFile::open(f.path(), &err, f.keyType());
    EXPECT_TRUE(g) << err.message();
    return g;
}

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

std::vector<IdxEntry> decodeBytes(const std::string& bytes)
{
    xb::idxcodec::Image img;
    std::string err;
    const IdxKeyType type = IdxKeyType::Character;
    EXPECT_TRUE(xb::idxcodec::decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &type, &img, &err))
        << err;
    return img.entries;
}

// The file as left by a stop after each page write of one change, made in the order the
// engine makes them: nodes from the end of the file down (a new tree, or raised interior
// keys before the leaf under them), the header last. Every stop must hold the old or the
// new entries, and decode (which checks the interior keys against the leaves).
void checkStops(const std::string& before, const std::string& after, const std::vector<IdxEntry>& oldEntries,
                const std::vector<IdxEntry>& newEntries, const std::string& what)
{
    std::string stopped = before;
    stopped.resize(std::max(before.size(), after.size()), '\0');
    for (size_t page = stopped.size() / 512; page-- > 1;) {
        if (page * 512 >= after.size() || stopped.compare(page * 512, 512, after, page * 512, 512) == 0)
            continue;
        stopped.replace(page * 512, 512, after, page * 512, 512);
        const std::vector<IdxEntry> seen = decodeBytes(stopped);
        ASSERT_TRUE(seen == oldEntries || seen == newEntries) << what << ", stopped after page " << page;
    }
    stopped.replace(0, 512, after, 0, 512);
    ASSERT_EQ(decodeBytes(stopped), newEntries) << what;
}

// Random inserts and removes on a tree that grows and shrinks across level boundaries
// always agree with a sorted reference, in memory and in the file. Every change is written
// so that the file, stopped at any write, holds the old or the new index completely.
TEST(Maintenance, RandomChangesAgreeWithReference)
{
    TempDir dir;
    std::mt19937 rng(42);
    auto key = [&] { return IdxFile::charKey(std::to_string(rng() % 300), 6); };  // C(6): 50 a node
    std::set<std::pair<std::string, uint32_t>> ref;
    std::vector<IdxEntry> start;
    for (uint32_t r = 1; r <= 2400; ++r) {  // 48 leaves: two levels
        start.push_back({key(), r});
        ref.insert({start.back().key, r});
    }
    xb::Status err;
    const auto path = dir / "m.idx";
    auto f = IdxFile::create(path.string(), "CODE", IdxKeyType::Character, 6, start, &err);
    ASSERT_TRUE(f) << err.message();
    uint32_t nextRec = 2401;
    auto want = [&] {
        std::vector<IdxEntry> v;
        for (const auto& [k, r] : ref)
            v.push_back({k, r});
        return v;
    };
    auto check = [&](const char* when) {
        ASSERT_EQ(f->entries(), want()) << when;
        auto g = reopen(*f);
        ASSERT_TRUE(g) << when;
        ASSERT_EQ(g->entries(), want()) << when;
    };
    for (int round = 0; round < 6; ++round) {
        // grow past 2500 keys (a third level) in even rounds, shrink in odd ones
        const bool grow = round % 2 == 0;
        for (int op = 0; op < 300; ++op) {
            const bool inspect = op % 3 == 0;
            const std::string before = inspect ? readFile(path) : std::string();
            const std::vector<IdxEntry> oldEntries = inspect ? f->entries() : std::vector<IdxEntry>();
            const bool add = ref.empty() || (rng() % 100) < (grow ? 80u : 20u);
            if (add) {
                const uint32_t rec = rng() % 4 ? nextRec++ : rng() % nextRec + 1;
                IdxEntry e{key(), rec};
                ASSERT_TRUE(f->insert(e, &err)) << err.message();
                ref.insert({e.key, e.recNo});
            } else {
                auto it = ref.begin();
                std::advance(it, rng() % ref.size());
                ASSERT_TRUE(f->remove({it->first, it->second}, &err)) << err.message();
                ref.erase(it);
            }
            if (!inspect)
                continue;
            checkStops(before, readFile(path), oldEntries, want(),
                       "round " + std::to_string(round) + " op " + std::to_string(op));
            const std::string after = readFile(path);
            // The file holds at most the old and the new tree (whose leaves keep room for inserts).
            const size_t pages = xb::idxcodec::standardPages(6, ref.size(), xb::idxcodec::maintenanceFill(6));
            ASSERT_LE(after.size(), 512 * (1 + pages + before.size() / 512)) << round << " " << op;
        }
        check(grow ? "after growing" : "after shrinking");
    }
    // remove everything, then the empty index still reads
    for (const auto& [k, r] : std::vector(ref.begin(), ref.end()))
        ASSERT_TRUE(f->remove({k, r}, &err)) << err.message();
    ref.clear();
    check("after removing all");
    EXPECT_LE(readFile(path).size(), 3 * 512u);
}

// Passes every call on and keeps the writes in the order they were made.
class RecordingEnv final : public xb::Env {
public:
    struct Write {
        off_t offset;
        std::string data;
        bool truncate;
    };
    std::vector<Write> writes;

    int open(const char* p, int f, mode_t m) override { return real().open(p, f, m); }
    int close(int fd) override { return real().close(fd); }
    ssize_t pread(int fd, void* b, size_t n, off_t o) override { return real().pread(fd, b, n, o); }
    ssize_t pwrite(int fd, const void* b, size_t n, off_t o) override
    {
        writes.push_back({o, std::string(static_cast<const char*>(b), n), false});
        return real().pwrite(fd, b, n, o);
    }
    int fstat(int fd, struct stat* st) override { return real().fstat(fd, st); }
    int lstat(const char* p, struct stat* st) override { return real().lstat(p, st); }
    int fsync(int fd) override { return real().fsync(fd); }
    int fdatasync(int fd) override { return real().fdatasync(fd); }
    int ftruncate(int fd, off_t n) override
    {
        writes.push_back({n, std::string(), true});
        return real().ftruncate(fd, n);
    }
    int linkNoReplace(const char* a, const char* b) override { return real().linkNoReplace(a, b); }
    int rename(const char* a, const char* b) override { return real().rename(a, b); }
    int unlink(const char* p) override { return real().unlink(p); }
    int lock(int fd, int cmd, struct flock* fl) override { return real().lock(fd, cmd, fl); }

private:
    static Env& real() { return Env::real(); }
};

// Changes that one leaf takes in place, including the cases where the keys its parents hold
// matter: a key past all others (the interior keys on the right-hand edge rise first), a
// key before all others, and a key between a leaf whose greatest key was removed and the
// next leaf (it must stay where a search through the parents finds it). After every change
// the file decodes to the reference, each stop between its writes holds the old or the new
// index, only the changed nodes and the header were written, and a second holder sees it.
TEST(Maintenance, ChangesInPlaceKeepTheTreeSearchable)
{
    auto key = [](int v) {
        char b[8];
        std::snprintf(b, sizeof b, "%05d", v);
        return IdxFile::charKey(b, 6);
    };
    struct Step {
        bool add;
        int value;
        uint32_t recNo;
    };
    struct Case {
        const char* what;
        int first, count, stride;  // the tree built first: keys first, first+stride, ...
        std::vector<Step> steps;
    } cases[] = {
        {"keys past all others",
         0,
         200,
         10,
         {{true, 5000, 901}, {true, 5001, 902}, {true, 5002, 903}, {true, 9000, 904}}},
        {"keys before all others", 100, 200, 10, {{true, 50, 901}, {true, 40, 902}, {true, 1, 903}}},
        {"between a shrunk leaf and the next",
         0,
         200,
         10,
         // 37 entries a leaf: 360 is the greatest key of the first leaf, 370 the first of the next
         {{false, 360, 37}, {false, 350, 36}, {true, 355, 905}, {true, 365, 906}, {true, 362, 907}}},
        {"equal keys across a leaf boundary", 0, 200, 10, {{true, 360, 1}, {true, 370, 1}, {true, 360, 999}}},
        {"removing the greatest key", 0, 200, 10, {{false, 1990, 200}, {true, 1995, 908}, {true, 1985, 909}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = (dir / "p.idx").string();
        std::set<std::pair<std::string, uint32_t>> ref;
        std::vector<IdxEntry> start;
        for (int i = 0; i < c.count; ++i) {
            start.push_back({key(c.first + i * c.stride), uint32_t(i + 1)});
            ref.insert({start.back().key, start.back().recNo});
        }
        xb::Status err;
        auto f = IdxFile::create(path, "CODE", IdxKeyType::Character, 6, start, &err);
        ASSERT_TRUE(f) << err.message();
        // A first insert into the full leaves of a fresh build writes a tree with room.
        ASSERT_TRUE(f->insert({key(-1), 1000}, &err)) << err.message();
        ref.insert({key(-1), 1000});
        auto other = IdxFile::open(path, &err, IdxKeyType::Character);
        ASSERT_TRUE(other) << err.message();
        auto want = [&] {
            std::vector<IdxEntry> v;
            for (const auto& [k, r] : ref)
                v.push_back({k, r});
            return v;
        };
        for (const Step& s : c.steps) {
            const std::string what = std::string(s.add ? "add " : "remove ") + std::to_string(s.value);
            const std::string before = readFile(path);
            const std::vector<IdxEntry> oldEntries = want();
            const IdxEntry e{key(s.value), s.recNo};
            RecordingEnv recording;
            xb::Env::install(&recording);
            if (s.add) {
                ASSERT_TRUE(f->insert(e, &err)) << what << ": " << err.message();
                ref.insert({e.key, e.recNo});
            } else {
                ASSERT_TRUE(f->remove(e, &err)) << what << ": " << err.message();
                ref.erase({e.key, e.recNo});
            }
            xb::Env::install(nullptr);
            const std::string after = readFile(path);
            ASSERT_EQ(decodeBytes(after), want()) << what;
            // A stop after each write, in the order they were made.
            std::string stopped = before;
            for (const RecordingEnv::Write& w : recording.writes) {
                if (w.truncate) {
                    stopped.resize(size_t(w.offset));
                    continue;
                }
                stopped.resize(std::max(stopped.size(), size_t(w.offset) + w.data.size()), '\0');
                stopped.replace(size_t(w.offset), w.data.size(), w.data);
                const std::vector<IdxEntry> seen = decodeBytes(stopped);
                ASSERT_TRUE(seen == oldEntries || seen == want())
                    << what << ", stopped after the write at " << w.offset;
            }
            ASSERT_EQ(stopped, after) << what;
            size_t changedPages = 0;
            for (size_t page = 1; page < after.size() / 512; ++page)
                changedPages += before.compare(page * 512, 512, after, page * 512, 512) != 0;
            EXPECT_EQ(before.size(), after.size()) << what;
            EXPECT_LE(changedPages, 3u) << what << ": one leaf and the right-hand edge at most";
            EXPECT_TRUE(other->changedOnDisk()) << what;
            ASSERT_TRUE(other->reload(&err)) << err.message();
            EXPECT_EQ(other->entries(), want()) << what;
        }
    }
}

TEST(Maintenance, RefusalsAndNoOps)
{
    TempDir dir;
    xb::Status err;
    auto f = IdxFile::create((dir / "x.idx").string(), "C", IdxKeyType::Character, 3, {{"abc", 1}, {"abd", 2}}, &err);
    ASSERT_TRUE(f) << err.message();
    const std::string before = readFile(f->path());

    EXPECT_FALSE(f->remove({"abc", 2}, &err));  // key present, other record
    EXPECT_FALSE(err.ok());
    EXPECT_FALSE(f->remove({"abe", 1}, &err));
    EXPECT_FALSE(f->insert({"ab", 3}, &err));
    EXPECT_FALSE(f->insert({"abcd", 3}, &err));
    EXPECT_FALSE(f->insert({"abc", 0}, &err));
    EXPECT_TRUE(f->insert({"abc", 1}, &err));  // already there: nothing changes
    EXPECT_EQ(f->entries().size(), 2u);
    EXPECT_EQ(readFile(f->path()), before);

    // A record appended under an existing key goes after the others with that key.
    ASSERT_TRUE(f->insert({"abc", 7}, &err));
    ASSERT_TRUE(f->insert({"abc", 5}, &err));
    EXPECT_EQ(recNos(f->entries()), (std::vector<uint32_t>{1, 5, 7, 2}));
}

TEST(Maintenance, UniqueIndexKeepsOneRecordPerKey)
{
    TempDir dir;
    xb::Status err;
    auto f = IdxFile::create((dir / "u.idx").string(), "C", IdxKeyType::Character, 2, {{"aa", 1}, {"bb", 2}}, &err);
    ASSERT_TRUE(f) << err.message();
    std::string raw = readFile(f->path());
    raw[14] = 0x01;  // as written by INDEX ... UNIQUE
    writeFile(f->path(), raw);
    auto u = IdxFile::open(f->path(), &err);
    ASSERT_TRUE(u) << err.message();
    EXPECT_TRUE(u->unique());
    ASSERT_TRUE(u->insert({"aa", 3}, &err));
    ASSERT_TRUE(u->insert({"cc", 4}, &err));
    EXPECT_EQ(recNos(u->entries()), (std::vector<uint32_t>{1, 2, 4}));
    auto again = reopen(*u);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->unique());  // the rewrite keeps the option
    EXPECT_EQ(again->entries(), u->entries());
}

// A compact file is rewritten in the standard form on its first change.
TEST(Maintenance, CompactFileBecomesStandard)
{
    TempDir dir;
    std::filesystem::copy_file(fixture("big_code_compact.idx"), dir / "c.idx");
    xb::Status err;
    auto f = IdxFile::open((dir / "c.idx").string(), &err, IdxKeyType::Character);
    ASSERT_TRUE(f) << err.message();
    ASSERT_TRUE(f->compact());
    std::vector<IdxEntry> want = f->entries();
    ASSERT_TRUE(f->remove(want[100], &err)) << err.message();
    want.erase(want.begin() + 100);
    EXPECT_FALSE(f->compact());
    auto g = reopen(*f);
    ASSERT_TRUE(g);
    EXPECT_FALSE(g->compact());
    EXPECT_EQ(g->keyExpr(), "CODE");
    EXPECT_EQ(g->entries(), want);
}

TEST(Maintenance, DeferredWritesReachTheFileOnFlush)
{
    TempDir dir;
    xb::Status err;
    auto f = IdxFile::create((dir / "d.idx").string(), "N", IdxKeyType::Numeric, 8, {}, &err);
    ASSERT_TRUE(f) << err.message();
    f->setDeferredWrites(true);
    for (uint32_t r = 1; r <= 3000; ++r)
        ASSERT_TRUE(f->insert({IdxFile::numericKey(double(r % 97)), r}, &err));
    EXPECT_TRUE(reopen(*f)->entries().empty());
    ASSERT_TRUE(f->flush(&err)) << err.message();
    EXPECT_EQ(reopen(*f)->entries(), f->entries());

    // Changes never flushed are dropped with the object: its owner flushes under the
    // lock that guards the file, a destructor cannot know whether that lock is held.
    const std::vector<IdxEntry> flushed = f->entries();
    ASSERT_TRUE(f->remove({IdxFile::numericKey(1), 1}, &err));
    const std::string path = f->path();
    f.reset();
    auto g = IdxFile::open(path, &err);
    ASSERT_TRUE(g) << err.message();
    EXPECT_EQ(g->entries(), flushed);
}

// Two objects on one file, as when two programs share a table.
TEST(Sharing, ChangesOfAnotherWriterAreSeenAndKept)
{
    TempDir dir;
    xb::Status err;
    const std::string path = (dir / "s.idx").string();
    auto a = IdxFile::create(path, "C", IdxKeyType::Character, 3, {{"aaa", 1}}, &err);
    ASSERT_TRUE(a) << err.message();
    auto b = IdxFile::open(path, &err, IdxKeyType::Character);
    ASSERT_TRUE(b) << err.message();
    EXPECT_FALSE(a->changedOnDisk());
    EXPECT_FALSE(b->changedOnDisk());

    ASSERT_TRUE(a->insert({"bbb", 2}, &err)) << err.message();
    EXPECT_FALSE(a->changedOnDisk());  // its own write
    EXPECT_TRUE(b->changedOnDisk());
    ASSERT_TRUE(b->reload(&err)) << err.message();
    EXPECT_FALSE(b->changedOnDisk());
    EXPECT_EQ(b->entries(), a->entries());

    // b changes the file without a's knowledge; a's next change starts from b's version.
    ASSERT_TRUE(b->insert({"ccc", 3}, &err)) << err.message();
    ASSERT_TRUE(a->insert({"ddd", 4}, &err)) << err.message();
    EXPECT_EQ(recNos(a->entries()), (std::vector<uint32_t>{1, 2, 3, 4}));
    EXPECT_EQ(recNos(reopen(*a)->entries()), (std::vector<uint32_t>{1, 2, 3, 4}));

    // A file that became unreadable is reported by reload and leaves the object as it was.
    writeFile(path, "garbage");
    EXPECT_TRUE(a->changedOnDisk());
    EXPECT_FALSE(a->reload(&err));
    EXPECT_NE(err.message().find(path), std::string::npos) << err.message();
    EXPECT_EQ(a->entries().size(), 4u);
    std::filesystem::remove(path);
    EXPECT_TRUE(a->changedOnDisk());
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

// ---- independent reader ----

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
