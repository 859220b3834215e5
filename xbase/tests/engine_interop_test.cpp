// Tables and indexes written by the engine, read by two independent readers
// (python3-dbfread and Perl XBase, through fixtures/read_check.sh): the same records
// as the independent fixture files, and index orders the readers agree with.
#include <sys/wait.h>

#include <cstdio>
#include <sstream>

#include "engine_testutil.h"

using namespace enginetest;

namespace {

struct CheckResult {
    int status = -1;
    std::string output;
};

CheckResult readCheck(const std::vector<std::string>& args)
{
    std::string cmd = "sh '" + fixture("read_check.sh") + "'";
    for (const std::string& a : args)
        cmd += " '" + a + "'";
    cmd += " 2>&1";
    CheckResult r;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.output.append(buf, n);
    const int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0)
            out.push_back(line);
    return out;
}

class InteropTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        const CheckResult probe = readCheck({fixture("sample.dbf")});
        // The readers (python3-dbfread, libdbd-xbase-perl) come with scripts/install-deps.sh.
        ASSERT_EQ(probe.status, 0) << "independent readers failed or missing: " << probe.output;
        m_fixtureOutput = probe.output;
    }

    // A new engine table with the same fields and record images as a fixture table.
    std::string copyThroughEngine(const std::string& fixtureName, const std::vector<FieldDef>& fields)
    {
        const std::string target = createTable(fixtureName, fields);
        const short src = open(fixture(fixtureName), SX_READONLY, "SRC");
        const short dst = open(target, SX_READWRITE, "DST");
        sx_Select(src);
        const long count = sx_RecCount();
        for (long r = 1; r <= count; ++r) {
            sx_Select(src);
            sx_Go(r);
            const std::string image = currentRecord();
            sx_Select(dst);
            sx_AppendBlank();
            sx_PutRecord(image.data());
        }
        sx_Select(dst);
        return target;
    }

    std::string m_fixtureOutput;
};

TEST_F(InteropTest, EngineTableReadsLikeTheIndependentFixture)
{
    const std::string p = copyThroughEngine("sample.dbf",
                                            {{"CONTID", "N", 5, 0},
                                             {"CODE", "C", 10, 0},
                                             {"DESCR", "C", 40, 0},
                                             {"POTEN", "N", 18, 7},
                                             {"FACT", "N", 18, 7}});
    sx_Close();
    const CheckResult ours = readCheck({p});
    ASSERT_EQ(ours.status, 0) << ours.output;
    for (const char* prefix : {"[dbfread] rec", "[xbase] rec", "[dbfread] field", "[dbfread] live"})
        EXPECT_EQ(linesStartingWith(ours.output, prefix), linesStartingWith(m_fixtureOutput, prefix)) << prefix;
    EXPECT_NE(ours.output.find("version=0x03"), std::string::npos);
    EXPECT_NE(ours.output.find("code_page_byte=0xC9"), std::string::npos);
    EXPECT_NE(ours.output.find("encoding=cp1251"), std::string::npos);
    EXPECT_NE(ours.output.find("eof_marker=yes extra_bytes_after_data=0"), std::string::npos);
    EXPECT_NE(ours.output.find("records=8 header_len=193 record_len=92"), std::string::npos);
}

TEST_F(InteropTest, EngineIndexesHaveTheOrderTheReadersExpect)
{
    const std::string p = copyThroughEngine("sample.dbf",
                                            {{"CONTID", "N", 5, 0},
                                             {"CODE", "C", 10, 0},
                                             {"DESCR", "C", 40, 0},
                                             {"POTEN", "N", 18, 7},
                                             {"FACT", "N", 18, 7}});
    ASSERT_GT(sx_Index("code.idx", "CODE", 0, 0, ""), 0);
    ASSERT_GT(sx_Index("contid.idx", "CONTID", 0, 0, ""), 0);
    // Changes after the build reach the files too.
    sx_Go(2);
    sx_PutRecord(rowImage({"-40", "0", "changed"}).data());
    appendRow({"7", "12", "appended"});
    sx_Close();
    for (const char* idx : {"code.idx", "contid.idx"}) {
        SCOPED_TRACE(idx);
        const CheckResult r = readCheck({p, path(idx)});
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_NE(r.output.find("[check] index order OK: 9 keys"), std::string::npos) << r.output;
    }
}

TEST_F(InteropTest, MultiLevelIndexesOfFourThousandRecords)
{
    copyThroughEngine("big.dbf", {{"CONTID", "N", 5, 0}, {"CODE", "C", 6, 0}});
    ASSERT_GT(sx_Index("code.idx", "CODE", 0, 0, ""), 0);
    ASSERT_GT(sx_Index("contid.idx", "CONTID", 0, 0, ""), 0);
    sx_Close();
    for (const char* idx : {"code.idx", "contid.idx"}) {
        SCOPED_TRACE(idx);
        const CheckResult r = readCheck({path("big.dbf"), path(idx)});
        EXPECT_EQ(r.status, 0) << r.output.substr(r.output.size() > 2000 ? r.output.size() - 2000 : 0);
        EXPECT_NE(r.output.find("[check] index order OK: 4000 keys"), std::string::npos);
    }
}

}  // namespace
