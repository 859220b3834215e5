// The write path against other holders of the files: locks before reads, the index lock
// before a key changes, rebuilds only under the header lock, indexes that must not be
// written over, and damaged indexes rebuilt as they were defined.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "engine_testutil.h"

using namespace enginetest;

namespace {

constexpr off_t kHeaderLockByte = 0x40000000;

class WritePathTest : public EngineTest {
protected:
    std::string makeCy()
    {
        const std::string t = createTable("cy.dbf", cyFields());
        open(t);
        appendRow({"1", "B", "first"});
        appendRow({"2", "A", "second"});
        appendRow({"3", "C", "third"});
        sx_CloseAll();
        return t;
    }

    // Runs body in a child process that first takes record 1's lock through its own open,
    // tells the parent, waits a little and changes the record; returns the child's pid.
    pid_t childChangingRecord1(const std::string& table, const char* field, const char* value, int fdSignal)
    {
        const pid_t pid = ::fork();
        if (pid != 0)
            return pid;
        if (sx_Use(table.c_str(), "C", SX_READWRITE, SX_SDEFOX) <= 0 || sx_Rlock(1) != 1)
            ::_exit(2);
        sx_Go(1);
        char c = 'x';
        if (::write(fdSignal, &c, 1) != 1)
            ::_exit(3);
        ::usleep(300 * 1000);
        sx_Replace(field, SX_R_CHAR, value);
        ::_exit(sx_ErrorKind() == SX_OK ? 0 : 4);
    }

    static int waitChild(pid_t pid)
    {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Holds the header (index) lock through an open file description of our own.
    static int holdHeaderLock(const std::string& table)
    {
        const int fd = ::open(table.c_str(), O_RDWR);
        struct flock fl { };
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = kHeaderLockByte;
        fl.l_len = 1;
        EXPECT_EQ(::fcntl(fd, F_OFD_SETLK, &fl), 0);
        return fd;
    }
};

// A change another program made while we waited for the record's lock survives ours.
TEST_F(WritePathTest, ChangesWaitForTheLockAndKeepWhatAnotherHolderWrote)
{
    const std::string t = makeCy();
    struct Row {
        const char* what;
        std::function<void()> change;
        std::function<void()> check;
    } rows[] = {
        {"replace another field", [] { sx_Replace("DESCR", SX_R_CHAR, "ours"); },
         [] { EXPECT_STREQ(sx_GetTrimString("DESCR"), "ours"); }},
        {"delete", [] { sx_Delete(); }, [] { EXPECT_EQ(sx_Deleted(), 1); }},
        {"recall", [] { sx_Recall(); }, [] { EXPECT_EQ(sx_Deleted(), 0); }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t child = childChangingRecord1(t, "CODE", r.what, fds[1]);
        char c;
        ASSERT_EQ(::read(fds[0], &c, 1), 1);
        ::close(fds[0]);
        ::close(fds[1]);
        open(t);
        sx_SetLockTimeout(5);
        sx_Go(1);  // the record as it was before the other holder's change
        r.change();
        EXPECT_EQ(sx_ErrorKind(), SX_OK) << sx_LastError();
        EXPECT_EQ(waitChild(child), 0);
        sx_Go(1);
        EXPECT_EQ(std::string(sx_GetTrimString("CODE")), std::string(r.what).substr(0, 10));
        r.check();
        sx_CloseAll();
    }
}

// An index file may be replaced by a new index; the table itself, or a file that is not an
// index, never.
TEST_F(WritePathTest, NewIndexNeverOverwritesTheTableOrAForeignFile)
{
    const std::string t = makeCy();
    const std::string tableBytes = readFile(t);
    const std::string notes = path("notes.idx");
    writeFile(notes, std::string(4096, 'n'));
    const std::string link = path("alias.idx");
    ASSERT_EQ(::symlink(t.c_str(), link.c_str()), 0);
    open(t);
    for (const std::string& target : {t, link, notes}) {
        SCOPED_TRACE(target);
        EXPECT_EQ(sx_Index(target.c_str(), "CODE", 0, 0, nullptr), 0);
        EXPECT_EQ(sx_ErrorKind(), SX_ERR_EXISTS) << sx_LastError();
    }
    EXPECT_EQ(readFile(t), tableBytes);
    EXPECT_EQ(readFile(notes), std::string(4096, 'n'));
    // An existing index of ours is rebuilt in place.
    const std::string idx = path("code.idx");
    ASSERT_GT(sx_Index(idx.c_str(), "CODE", 0, 0, nullptr), 0) << sx_LastError();
    EXPECT_GT(sx_Index(idx.c_str(), "CYID", 0, 0, nullptr), 0) << sx_LastError();
    EXPECT_STREQ(sx_IndexKey(), "CYID");
    // A condition the file's header cannot hold is refused, not dropped.
    const std::string longCond = "CYID > 0" + std::string(230, ' ') + ".AND. CYID < 9";
    EXPECT_EQ(sx_Index(path("long.idx").c_str(), "CODE", 0, 0, longCond.c_str()), 0);
    EXPECT_EQ(sx_ErrorKind(), SX_ERR_BAD_EXPR) << sx_LastError();
}

// When the index lock cannot be had, a record whose key would change is not written at
// all (before, the record changed and the index kept the old key while Post succeeded).
TEST_F(WritePathTest, KeyChangeWithoutTheIndexLockChangesNothing)
{
    const std::string t = makeCy();
    open(t);
    ASSERT_GT(sx_Index(path("code.idx").c_str(), "CODE", 0, 0, nullptr), 0);
    const std::string idxBefore = readFile(path("code.idx"));
    const int holder = holdHeaderLock(t);
    sx_Go(1);
    sx_Replace("CODE", SX_R_CHAR, "Z");
    EXPECT_EQ(sx_ErrorKind(), SX_ERR_LOCKED) << sx_LastError();
    sx_Replace("DESCR", SX_R_CHAR, "no key");  // a field outside every key needs no index lock
    EXPECT_EQ(sx_ErrorKind(), SX_OK) << sx_LastError();
    ::close(holder);
    sx_Go(1);
    EXPECT_STREQ(sx_GetTrimString("CODE"), "B");
    EXPECT_STREQ(sx_GetTrimString("DESCR"), "no key");
    EXPECT_EQ(readFile(path("code.idx")), idxBefore);
    EXPECT_EQ(walk(), (std::vector<long>{2, 1, 3}));
}

// An index that no longer matches its table is rebuilt only under the header lock; a
// read-only open builds its order in memory and leaves the file alone.
TEST_F(WritePathTest, StaleIndexIsRebuiltOnlyUnderTheLockAndNeverByAReader)
{
    const std::string t = makeCy();
    open(t);
    ASSERT_GT(sx_Index(path("code.idx").c_str(), "CODE", 0, 0, nullptr), 0);
    sx_CloseAll();
    const std::string stale = readFile(path("code.idx"));
    // Another program appends without keeping the index.
    open(t);
    appendRow({"4", "0", "fourth"});
    sx_CloseAll();
    ASSERT_EQ(readFile(path("code.idx")), stale);

    open(t, SX_READONLY);
    ASSERT_GT(sx_IndexOpen(path("code.idx").c_str()), 0) << sx_LastError();
    sx_SetOrder(1);
    EXPECT_EQ(walk(), (std::vector<long>{4, 2, 1, 3}));
    sx_CloseAll();
    EXPECT_EQ(readFile(path("code.idx")), stale);

    const int holder = holdHeaderLock(t);
    open(t);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sx_IndexOpen(path("code.idx").c_str()), 0);
    EXPECT_EQ(sx_ErrorKind(), SX_ERR_LOCKED) << sx_LastError();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(readFile(path("code.idx")), stale);
    ::close(holder);
    ASSERT_GT(sx_IndexOpen(path("code.idx").c_str()), 0) << sx_LastError();
    sx_SetOrder(1);
    EXPECT_EQ(walk(), (std::vector<long>{4, 2, 1, 3}));
    EXPECT_NE(readFile(path("code.idx")), stale);
}

// A damaged index is rebuilt under its own definition, FOR condition and unique option
// included; one whose definition is gone is reported, not dropped in silence.
TEST_F(WritePathTest, DamagedIndexIsRebuiltAsDefinedOrReported)
{
    const std::string t = makeCy();
    open(t);
    appendRow({"5", "A", "again"});
    const std::string idx = path("u.idx");
    ASSERT_GT(sx_Index(idx.c_str(), "CODE", 0, 0, "CYID > 1"), 0) << sx_LastError();
    sx_CloseAll();
    std::string bytes = readFile(idx);
    bytes[14] = static_cast<char>(bytes[14] | 0x01);  // unique, as another program may write it
    // The tree is gone: the root points past the end.
    bytes[0] = bytes[1] = bytes[2] = static_cast<char>(0x7F);
    writeFile(idx, bytes);

    open(t);
    ASSERT_GT(sx_IndexOpen(idx.c_str()), 0) << sx_LastError();
    sx_SetOrder(1);
    EXPECT_STREQ(sx_IndexCondition(), "CYID > 1");
    EXPECT_EQ(walk(), (std::vector<long>{2, 3}));  // CYID > 1, one record per CODE ("A": 2 before 4)
    sx_CloseAll();
    const std::string rebuilt = readFile(idx);
    EXPECT_EQ(static_cast<unsigned char>(rebuilt[14]) & 0x09, 0x09);  // unique and FOR kept

    writeFile(idx, std::string(1024, '\x01'));
    open(t);
    EXPECT_EQ(sx_IndexOpen(idx.c_str()), 0);
    EXPECT_EQ(sx_ErrorKind(), SX_ERR_CORRUPT) << sx_LastError();
}

// A file named like an index is judged by its header before anything else is read: a
// 3 GB file is refused at once instead of being read whole.
TEST_F(WritePathTest, HugeFileNamedLikeAnIndexIsNotReadWhole)
{
    const std::string t = makeCy();
    open(t);
    const std::string good = path("code.idx");
    ASSERT_GT(sx_Index(good.c_str(), "CODE", 0, 0, nullptr), 0);
    sx_CloseAll();
    const std::string header = readFile(good).substr(0, 512);
    for (const bool validHeader : {false, true}) {
        SCOPED_TRACE(validHeader);
        const std::string big = path("big.idx");
        writeFile(big, validHeader ? header : std::string(512, '\0'));
        ASSERT_EQ(::truncate(big.c_str(), 3LL << 30), 0);
        open(t);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(sx_IndexOpen(big.c_str()), 0);
        EXPECT_EQ(sx_ErrorKind(), SX_ERR_CORRUPT) << sx_LastError();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        sx_CloseAll();
        ::unlink(big.c_str());
    }
}

}  // namespace
