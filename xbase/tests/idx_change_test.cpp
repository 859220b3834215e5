// Changing IDX files: maintenance of the tree, each change safe at every stop, and two
// objects sharing one file as two programs do.

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

}  // namespace
