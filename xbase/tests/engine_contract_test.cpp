// The outcome of every call (kind and text), whole-record appends, creation that never
// replaces a file, and opens that refuse what is not a table.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine_testutil.h"

using namespace enginetest;

namespace {

class ContractTest : public EngineTest { };

TEST_F(ContractTest, EveryCallReportsItsOwnOutcome)
{
    EXPECT_EQ(sx_InterfaceVersion(), 2);
    const std::string t = createTable("k.dbf", dataFields());
    struct Row {
        const char* what;
        std::function<void()> call;
        short kind;
    } rows[] = {
        {"missing table", [&] { sx_Use(path("none.dbf").c_str(), nullptr, SX_READWRITE, SX_SDEFOX); },
         SX_ERR_NOT_FOUND},
        {"no table in the area",
         [] {
             sx_Select(7);
             sx_RecCount();
         },
         SX_ERR_NOT_FOUND},
        {"good open",
         [&] {
             sx_Select(1);
             open(t);
         },
         SX_OK},
        {"missing field", [] { sx_GetString("NOSUCH"); }, SX_ERR_NOT_FOUND},
        {"bad expression", [] { sx_Query("CONTID = = 1"); }, SX_ERR_BAD_EXPR},
        {"not logical", [] { sx_EvalLogical("CONTID + 1"); }, SX_ERR_BAD_EXPR},
        {"value too wide",
         [] {
             sx_AppendBlank();
             double v = 1e9;
             sx_Replace("CONTID", SX_R_DOUBLE, &v);
         },
         SX_ERR_BAD_VALUE},
        {"a later good call clears it", [] { sx_RecCount(); }, SX_OK},
        {"existing file",
         [&] {
             sx_CreateNew(t.c_str(), "X", SX_SDEFOX, 1);
             sx_CreateField("A", "C", 1, 0);
             sx_CreateExec();
         },
         SX_ERR_EXISTS},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        r.call();
        EXPECT_EQ(sx_ErrorKind(), r.kind) << sx_LastError();
        EXPECT_EQ(std::string(sx_LastError()).empty(), r.kind == SX_OK) << sx_LastError();
    }
}

TEST_F(ContractTest, AppendRecordWritesAWholeRecordAndItsKeys)
{
    const std::string t = createTable("data.dbf", dataFields());
    open(t);
    ASSERT_GT(sx_Index(path("data.idx").c_str(), "CONTID", 0, 0, nullptr), 0) << sx_LastError();
    const std::string a = rowImage({"30", "1.5", "2.5"});
    const std::string b = rowImage({"10", "3", "4"});
    EXPECT_EQ(sx_AppendRecord(a.data()), 1);
    EXPECT_EQ(sx_RecNo(), 1);
    EXPECT_EQ(sx_AppendRecord(b.data()), 2);
    EXPECT_EQ(sx_ErrorKind(), SX_OK);
    EXPECT_EQ(sx_RecNo(), 2);
    EXPECT_EQ(currentRecord(), b);
    EXPECT_EQ(sx_LockCount(), 0);  // a whole record needs no lock held after the call
    EXPECT_EQ(walk(), (std::vector<long>{2, 1}));
    sx_CloseAll();

    // On disk: counted, whole, and the index agrees after a fresh open.
    const std::string bytes = readFile(t);
    EXPECT_EQ(le32(bytes, 4), 2u);
    const size_t h = le16(bytes, 8), l = le16(bytes, 10);
    EXPECT_EQ(bytes.substr(h, l), a);
    EXPECT_EQ(bytes.substr(h + l, l), b);
    open(t);
    ASSERT_GT(sx_IndexOpen(path("data.idx").c_str()), 0);
    sx_SetOrder(1);
    EXPECT_EQ(walk(), (std::vector<long>{2, 1}));
    ASSERT_EQ(sx_Seek("30"), 1);
    EXPECT_EQ(sx_RecNo(), 1);
    sx_CloseAll();

    open(t, SX_READONLY);
    EXPECT_EQ(sx_AppendRecord(a.data()), 0);
    EXPECT_EQ(sx_ErrorKind(), SX_ERR_ACCESS);
    EXPECT_EQ(sx_RecCount(), 2);
}

// A table never replaces what already has its name: another copy's open table, a link to
// a disk that is not mounted, a file this user cannot open.
TEST_F(ContractTest, CreationNeverReplacesAnExistingName)
{
    auto create = [&](const std::string& p) {
        sx_CreateNew(p.c_str(), "N", SX_SDEFOX, 1);
        sx_CreateField("A", "C", 5, 0);
        return sx_CreateExec();
    };
    const std::string existing = createTable("e.dbf", cyFields());
    const std::string before = readFile(existing);
    const std::string dangling = path("d.dbf");
    ASSERT_EQ(::symlink(path("gone/DATA.DBF").c_str(), dangling.c_str()), 0);
    const std::string folder = path("f.dbf");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    for (const std::string& p : {existing, dangling, folder}) {
        SCOPED_TRACE(p);
        EXPECT_EQ(create(p), 0);
        EXPECT_EQ(sx_ErrorKind(), SX_ERR_EXISTS) << sx_LastError();
    }
    EXPECT_EQ(readFile(existing), before);
    struct stat st { };
    ASSERT_EQ(::lstat(dangling.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_NE(::stat(path("gone").c_str(), &st), 0);  // nothing made behind the link
    // No temporary file is left beside them.
    for (const auto& e : fs::directory_iterator(m_dir))
        EXPECT_EQ(e.path().filename().string().find(".new."), std::string::npos) << e.path();

    // Opening the dangling link says what it is.
    EXPECT_EQ(sx_Use(dangling.c_str(), nullptr, SX_READWRITE, SX_SDEFOX), 0);
    EXPECT_EQ(sx_ErrorKind(), SX_ERR_NOT_FOUND);
    EXPECT_NE(std::string(sx_LastError()).find("link"), std::string::npos) << sx_LastError();
}

TEST_F(ContractTest, TwoCreatorsOfOneTableLeaveOneFileBothCanUse)
{
    // The loser of the race is told the file exists and opens the winner's table.
    const std::string t = path("data.dbf");
    sx_CreateNew(t.c_str(), "FIRST", SX_SDEFOX, 1);
    sx_CreateField("A", "C", 5, 0);
    ASSERT_EQ(sx_CreateExec(), 1);
    const std::string row = rowImage({"abc"});
    ASSERT_EQ(sx_AppendRecord(row.data()), 1);
    sx_CreateNew(t.c_str(), "SECOND", SX_SDEFOX, 1);
    sx_CreateField("A", "C", 5, 0);
    EXPECT_EQ(sx_CreateExec(), 0);
    EXPECT_EQ(sx_ErrorKind(), SX_ERR_EXISTS);
    ASSERT_GT(sx_Use(t.c_str(), "SECOND", SX_READWRITE, SX_SDEFOX), 0);
    EXPECT_EQ(sx_RecCount(), 1);
}

TEST_F(ContractTest, OpenRefusesAFifoWithoutBlocking)
{
    const std::string fifo = path("DATA.DBF");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ::alarm(20);  // a blocking open would hang the test; fail it instead
    for (short mode : {SX_READONLY, SX_READWRITE}) {
        EXPECT_EQ(sx_Use(fifo.c_str(), nullptr, mode, SX_SDEFOX), 0);
        EXPECT_EQ(sx_ErrorKind(), SX_ERR_IO);
        EXPECT_NE(std::string(sx_LastError()).find("not a regular file"), std::string::npos) << sx_LastError();
    }
    const std::string t = createTable("t.dbf", dataFields());
    open(t);
    EXPECT_EQ(sx_IndexOpen(fifo.c_str()), 0);
    EXPECT_NE(sx_ErrorKind(), SX_OK);
    ::alarm(0);
}

TEST_F(ContractTest, LockListNeverWritesPastItsRoom)
{
    const std::string t = createTable("t.dbf", dataFields());
    open(t);
    for (int i = 0; i < 5; ++i)
        appendRow({std::to_string(i)});
    sx_Unlock(0);
    for (long r = 1; r <= 5; ++r)
        ASSERT_EQ(sx_Rlock(r), 1);
    long list[4] = {-1, -1, -1, -1};
    EXPECT_EQ(sx_DBRlockListN(list, 3), 5);
    EXPECT_EQ(sx_ErrorKind(), SX_ERR_OTHER);
    EXPECT_EQ(list[0], 1);
    EXPECT_EQ(list[2], 3);
    EXPECT_EQ(list[3], -1);
    long all[5] = {};
    EXPECT_EQ(sx_DBRlockListN(all, 5), 5);
    EXPECT_EQ(sx_ErrorKind(), SX_OK);
    EXPECT_EQ(all[4], 5);
}

TEST_F(ContractTest, CommitSyncsTheTableAndItsIndexes)
{
    const std::string t = createTable("t.dbf", dataFields());
    open(t);
    ASSERT_GT(sx_Index(path("t.idx").c_str(), "CONTID", 0, 0, nullptr), 0);
    const std::string row = rowImage({"5"});
    ASSERT_EQ(sx_AppendRecord(row.data()), 1);
    sx_Commit();
    EXPECT_EQ(sx_ErrorKind(), SX_OK) << sx_LastError();
}

}  // namespace
