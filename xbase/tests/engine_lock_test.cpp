// Record and file locks at the FoxPro offsets: between two work areas of one process
// (open-file-description locks), between processes, exclusive opens, and appends of
// two processes at once.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "engine_testutil.h"
#include "xbase/src/idx.h"

using namespace enginetest;

namespace {

// A forked process running the engine on its own; talks to the test over two pipes.
// The child never touches work areas inherited from the parent (their open file
// descriptions, and so their locks, are shared) and leaves with _exit.
class Child {
public:
    explicit Child(const std::function<int(Child&)>& body)
    {
        int toChild[2], toParent[2];
        if (::pipe(toChild) != 0 || ::pipe(toParent) != 0)
            std::abort();
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(toChild[1]);
            ::close(toParent[0]);
            m_in = toChild[0];
            m_out = toParent[1];
            ::_exit(body(*this));
        }
        ::close(toChild[0]);
        ::close(toParent[1]);
        m_in = toParent[0];
        m_out = toChild[1];
    }

    ~Child()
    {
        if (m_pid > 0)
            finish();
    }

    void send(char c) { (void)!::write(m_out, &c, 1); }
    char receive()
    {
        char c = 0;
        return ::read(m_in, &c, 1) == 1 ? c : '\0';
    }

    int finish()
    {
        ::close(m_out);
        ::close(m_in);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
    }

private:
    pid_t m_pid = -1;
    int m_in = -1, m_out = -1;
};

class LockTest : public EngineTest {
protected:
    std::string makeData(int records)
    {
        const std::string p = createTable("data.dbf", dataFields());
        open(p);
        for (int i = 1; i <= records; ++i)
            appendRow({std::to_string(i), "", ""});
        sx_Close();
        return p;
    }

    // Whether anybody else holds a lock over [start, start+len) of the file.
    static bool lockedByOthers(const std::string& file, off_t start, off_t len)
    {
        const int fd = ::open(file.c_str(), O_RDWR);
        struct flock fl { };
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = start;
        fl.l_len = len;
        const bool locked = ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
        ::close(fd);
        return locked;
    }
};

TEST_F(LockTest, TwoWorkAreasOnOneFileSeeEachOthersLocks)
{
    const std::string p = makeData(3);
    const short a = open(p, SX_READWRITE, "A");
    const short b = open(p, SX_READWRITE, "B");

    sx_Select(a);
    EXPECT_EQ(sx_Rlock(1), 1);
    EXPECT_EQ(sx_Rlock(1), 1) << "locking again is harmless";
    EXPECT_EQ(sx_Locked(1), 1);
    EXPECT_EQ(sx_LockCount(), 1);

    sx_Select(b);
    EXPECT_EQ(sx_Locked(1), 0);
    EXPECT_EQ(sx_Rlock(1), 0);
    EXPECT_EQ(sx_Rlock(2), 1);
    EXPECT_EQ(sx_Flock(), 0) << "another holder's record lock stops a file lock";
    // Writing a record another holder has locked is refused and changes nothing.
    sx_Go(1);
    const std::string before = currentRecord();
    sx_PutRecord(rowImage({"77", "", ""}).data());
    EXPECT_NE(std::string(sx_LastError()).find("locked"), std::string::npos) << sx_LastError();
    sx_Go(1);
    EXPECT_EQ(currentRecord(), before);
    sx_Unlock(0);
    EXPECT_EQ(sx_LockCount(), 0);

    sx_Select(a);
    EXPECT_EQ(sx_Flock(), 1) << "its own record lock does not stop it";
    sx_Select(b);
    EXPECT_EQ(sx_Rlock(3), 0);
    sx_AppendBlank();
    EXPECT_EQ(sx_RecCount(), 3) << "no append under another holder's file lock";
    sx_Select(a);
    sx_Unlock(1);
    sx_Select(b);
    EXPECT_EQ(sx_Rlock(1), 0) << "releasing one record keeps the file lock";
    sx_Select(a);
    sx_Unlock(0);
    sx_Select(b);
    EXPECT_EQ(sx_Rlock(1), 1);
    EXPECT_EQ(sx_Flock(), 1);
    sx_Go(2);
    sx_PutRecord(rowImage({"22", "", ""}).data());
    sx_Select(a);
    sx_Go(2);
    EXPECT_STREQ(sx_GetString("CONTID"), "   22") << "the other area reads the new bytes";
    EXPECT_EQ(sx_Rlock(2), 0);
    sx_Select(b);
    sx_Close();  // closing releases everything
    sx_Select(a);
    EXPECT_EQ(sx_Rlock(2), 1);
}

TEST_F(LockTest, LocksLieAtTheFoxProOffsets)
{
    const std::string p = makeData(3);
    const off_t base = 0x40000000, header = 129, length = 42;
    open(p);
    ASSERT_EQ(sx_Rlock(2), 1);
    EXPECT_TRUE(lockedByOthers(p, base + header + length, 1));
    EXPECT_FALSE(lockedByOthers(p, base + header, 1));
    EXPECT_FALSE(lockedByOthers(p, base + header + length + 1, length - 1));
    EXPECT_FALSE(lockedByOthers(p, base, 1));
    ASSERT_EQ(sx_Flock(), 1);
    EXPECT_TRUE(lockedByOthers(p, 0x40000001, 1));
    EXPECT_TRUE(lockedByOthers(p, 0x7FFFFFFD, 1));
    EXPECT_FALSE(lockedByOthers(p, 0x7FFFFFFE, 1));
    EXPECT_FALSE(lockedByOthers(p, base, 1)) << "the append byte stays free";
    EXPECT_FALSE(lockedByOthers(p, 0, base)) << "data bytes are never locked";
    sx_Unlock(0);
    EXPECT_FALSE(lockedByOthers(p, base, 0x40000000));
}

TEST_F(LockTest, LocksBetweenProcesses)
{
    const std::string p = makeData(3);
    Child holder([&](Child& c) {
        if (sx_Use(p.c_str(), "H", SX_READWRITE, SX_SDEFOX) <= 0 || sx_Rlock(1) != 1)
            return 1;
        c.send('r');
        if (c.receive() != 'f' || (sx_Unlock(0), sx_Flock()) != 1)
            return 2;
        c.send('f');
        c.receive();  // until the test is done
        return 0;
    });
    ASSERT_EQ(holder.receive(), 'r');
    open(p);
    EXPECT_EQ(sx_Rlock(1), 0);
    EXPECT_EQ(sx_Rlock(2), 1);
    EXPECT_EQ(sx_Flock(), 0);
    sx_Go(1);
    const std::string before = currentRecord();
    sx_PutRecord(rowImage({"99", "", ""}).data());
    sx_Go(1);
    EXPECT_EQ(currentRecord(), before);
    sx_Unlock(0);

    holder.send('f');
    ASSERT_EQ(holder.receive(), 'f');
    EXPECT_EQ(sx_Rlock(3), 0);
    sx_AppendBlank();
    EXPECT_EQ(sx_RecCount(), 3);
    EXPECT_EQ(holder.finish(), 0);
    EXPECT_EQ(sx_Rlock(3), 1) << "the holder's exit released its locks";
    EXPECT_EQ(sx_Flock(), 1);
}

TEST_F(LockTest, LockTimeoutWaitsForARelease)
{
    const std::string p = makeData(1);
    Child holder([&](Child& c) {
        if (sx_Use(p.c_str(), "H", SX_READWRITE, SX_SDEFOX) <= 0 || sx_Rlock(1) != 1)
            return 1;
        c.send('r');
        ::usleep(200 * 1000);
        sx_Unlock(0);
        c.receive();
        return 0;
    });
    ASSERT_EQ(holder.receive(), 'r');
    open(p);
    sx_SetLockTimeout(10);
    EXPECT_EQ(sx_Rlock(1), 1);
    holder.send('x');
    EXPECT_EQ(holder.finish(), 0);
}

// Another holder builds an index under a file lock, and needs the header lock for it:
// an append meanwhile waits (without holding the header lock) instead of failing.
TEST_F(LockTest, AnAppendWaitsForAShortFileLock)
{
    const std::string p = makeData(1);
    Child holder([&](Child& c) {
        if (sx_Use(p.c_str(), "H", SX_READWRITE, SX_SDEFOX) <= 0 || sx_Flock() != 1)
            return 1;
        c.send('f');
        ::usleep(150 * 1000);
        if (sx_Index(path("other.idx").c_str(), "CONTID", 0, 0, "") <= 0)
            return 2;
        sx_Unlock(0);
        c.receive();
        return 0;
    });
    ASSERT_EQ(holder.receive(), 'f');
    open(p);
    EXPECT_EQ(sx_AppendRecord(rowImage({"7", "", ""}).data()), 2) << sx_LastError();
    sx_AppendBlank();
    EXPECT_EQ(sx_ErrorKind(), SX_OK) << sx_LastError();
    EXPECT_EQ(sx_RecCount(), 3);
    holder.send('x');
    EXPECT_EQ(holder.finish(), 0);
}

TEST_F(LockTest, ExclusiveOpenShutsOthersOut)
{
    const std::string p = makeData(2);
    const short a = open(p, SX_EXCLUSIVE, "A");
    EXPECT_EQ(sx_OpenMode(), SX_EXCLUSIVE);
    EXPECT_EQ(sx_Use(p.c_str(), "B", SX_READWRITE, SX_SDEFOX), 0);
    EXPECT_NE(std::string(sx_LastError()).find("exclusively"), std::string::npos) << sx_LastError();
    EXPECT_EQ(sx_Use(p.c_str(), "B", SX_EXCLUSIVE, SX_SDEFOX), 0);
    Child other([&](Child&) { return sx_Use(p.c_str(), "C", SX_READWRITE, SX_SDEFOX) > 0 ? 1 : 0; });
    EXPECT_EQ(other.finish(), 0) << "another process cannot open it either";
    sx_Select(a);
    EXPECT_EQ(sx_Rlock(1), 1);
    EXPECT_EQ(sx_Flock(), 1);
    sx_Close();

    const short b = open(p, SX_READWRITE, "B");
    ASSERT_GT(b, 0);
    ASSERT_EQ(sx_Rlock(1), 1);
    EXPECT_EQ(sx_Use(p.c_str(), "C", SX_EXCLUSIVE, SX_SDEFOX), 0) << "a record lock stops an exclusive open";
}

// Another process's adjacent locks merge into one range in the kernel: its header lock
// (an append) together with its file lock cover exactly what an exclusive open used to
// lock, and a record lock of a large table lies past the file lock range. Neither may be
// taken for something else.
TEST_F(LockTest, OpensJudgeAnotherHoldersMergedLocksRight)
{
    // A table of about 1 GiB (sparse): its last record's lock byte lies past 0x7FFFFFFD.
    const std::string big = createTable("big.dbf", dataFields());
    const uint32_t records = 26000000;
    {
        std::string bytes = readFile(big);
        bytes.resize(129);
        for (int i = 0; i < 4; ++i)
            bytes[static_cast<size_t>(4 + i)] = static_cast<char>(records >> (8 * i) & 0xFF);
        writeFile(big, bytes);
        ASSERT_EQ(::truncate(big.c_str(), 129 + static_cast<off_t>(records) * 42), 0);
        ASSERT_GT(0x40000000LL + 129 + static_cast<long long>(records - 1) * 42, 0x7FFFFFFDLL);
    }
    const std::string p = makeData(3);

    struct Row {
        const char* what;
        std::string table;
        std::function<bool()> hold;  // run by the other process
        bool sharedOpens, exclusiveOpens;
    } rows[] = {
        {"file lock and an append in progress", p,
         [] { return sx_Flock() == 1 && (sx_AppendBlank(), sx_ErrorKind() == SX_OK); }, true, false},
        {"file lock alone", p, [] { return sx_Flock() == 1; }, true, false},
        {"an append in progress alone", p, [] { return sx_AppendBlank(), sx_ErrorKind() == SX_OK; }, true, false},
        {"a record lock past the file lock range", big, [&] { return sx_Rlock(static_cast<long>(records)) == 1; }, true,
         false},
        {"nothing", p, [] { return true; }, true, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Child holder([&](Child& c) {
            if (sx_Use(r.table.c_str(), "H", SX_READWRITE, SX_SDEFOX) <= 0 || !r.hold())
                return 1;
            c.send('h');
            c.receive();
            return 0;
        });
        ASSERT_EQ(holder.receive(), 'h');
        const short shared = sx_Use(r.table.c_str(), "S", SX_READWRITE, SX_SDEFOX);
        EXPECT_EQ(shared > 0, r.sharedOpens) << sx_LastError();
        if (shared > 0)
            sx_Close();
        const short exclusive = sx_Use(r.table.c_str(), "X", SX_EXCLUSIVE, SX_SDEFOX);
        EXPECT_EQ(exclusive > 0, r.exclusiveOpens) << sx_LastError();
        if (exclusive <= 0) {
            EXPECT_EQ(sx_ErrorKind(), SX_ERR_LOCKED) << sx_LastError();
        }
        holder.send('q');
        EXPECT_EQ(holder.finish(), 0);
        if (exclusive > 0) {
            // Held exclusively, the table stays shut to everybody else, big tables' far
            // records included.
            Child other([&](Child&) { return sx_Use(r.table.c_str(), "O", SX_READWRITE, SX_SDEFOX) > 0 ? 1 : 0; });
            EXPECT_EQ(other.finish(), 0);
            sx_Close();
        }
    }
    // An exclusive open of the big table shuts out a lock on its last record as well.
    ASSERT_GT(open(big, SX_EXCLUSIVE, "X"), 0);
    EXPECT_TRUE(lockedByOthers(big, 0x40000000LL + 129 + static_cast<off_t>(records - 1) * 42, 1));
}

// The order of an open index follows what another process writes to the table and
// its index.
TEST_F(LockTest, IndexOrderFollowsAnotherProcess)
{
    const std::string p = createTable("data.dbf", dataFields());
    open(p);
    for (int v : {30, 10, 20})
        appendRow({std::to_string(v), "", ""});
    ASSERT_GT(sx_Index("data.idx", "CONTID", 0, 0, ""), 0);
    sx_Close();

    Child writer([&](Child& c) {
        if (sx_Use(p.c_str(), "W", SX_READWRITE, SX_SDEFOX) <= 0 || sx_IndexOpen(path("data.idx").c_str()) <= 0)
            return 1;
        sx_SetOrder(1);
        c.receive();
        appendRow({"5", "", ""});  // record 4 goes first
        sx_Go(1);
        sx_PutRecord(rowImage({"15", "", ""}).data());  // 30 -> 15
        sx_Unlock(0);
        c.send('w');
        c.receive();
        return 0;
    });
    open(p);
    ASSERT_GT(sx_IndexOpen(path("data.idx").c_str()), 0);
    sx_SetOrder(1);
    EXPECT_EQ(walk(), (std::vector<long>{2, 3, 1}));
    writer.send('g');
    ASSERT_EQ(writer.receive(), 'w');
    EXPECT_EQ(walk(), (std::vector<long>{4, 2, 1, 3}));
    EXPECT_EQ(sx_Seek("15"), 1);
    EXPECT_EQ(sx_RecNo(), 1);
    EXPECT_EQ(writer.finish(), 0);
}

TEST_F(LockTest, TwoProcessesAppendingAtOnceLoseNothing)
{
    const std::string p = createTable("data.dbf", dataFields());
    open(p);
    ASSERT_GT(sx_Index("data.idx", "CONTID", 0, 0, ""), 0);
    sx_Close();
    auto appender = [&](int first) {
        return [&, first](Child& c) {
            if (sx_Use(p.c_str(), "D", SX_READWRITE, SX_SDEFOX) <= 0 || sx_IndexOpen(path("data.idx").c_str()) <= 0)
                return 1;
            c.send('o');
            c.receive();
            for (int i = 0; i < 120; ++i) {
                sx_AppendBlank();
                const long rec = sx_RecNo();
                std::string image = rowImage({std::to_string(first + i), "1.0000000", ""});
                sx_PutRecord(image.data());
                sx_Unlock(0);
                sx_Go(rec);
                if (currentRecord() != image)
                    return 2;
            }
            return 0;
        };
    };
    Child one(appender(1000)), two(appender(2000));
    ASSERT_EQ(one.receive(), 'o');
    ASSERT_EQ(two.receive(), 'o');
    one.send('g');
    two.send('g');
    EXPECT_EQ(one.finish(), 0);
    EXPECT_EQ(two.finish(), 0);

    open(p);
    ASSERT_EQ(sx_RecCount(), 240);
    std::vector<int> seen;
    for (long r = 1; r <= 240; ++r) {
        sx_Go(r);
        seen.push_back(static_cast<int>(sx_GetLong("CONTID")));
    }
    std::vector<int> sorted = seen;
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < 120; ++i) {
        EXPECT_EQ(sorted[static_cast<size_t>(i)], 1000 + i);
        EXPECT_EQ(sorted[static_cast<size_t>(120 + i)], 2000 + i);
    }
    const std::string bytes = readFile(p);
    EXPECT_EQ(bytes.size(), 129u + 240u * 42u + 1u);
    EXPECT_EQ(bytes.back(), '\x1A');

    // The index both kept holds every record once, in order.
    xb::Status err;
    auto idx = xb::IdxFile::open(path("data.idx"), &err);
    ASSERT_TRUE(idx) << err.message();
    ASSERT_EQ(idx->entries().size(), 240u);
    ASSERT_GT(sx_IndexOpen(path("data.idx").c_str()), 0);
    sx_SetOrder(1);
    std::vector<int> ordered;
    for (sx_GoTop(); !sx_Eof(); sx_Skip(1))
        ordered.push_back(static_cast<int>(sx_GetLong("CONTID")));
    EXPECT_EQ(ordered, sorted);
}

}  // namespace
