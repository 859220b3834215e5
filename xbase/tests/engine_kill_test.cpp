// A process that appends, posts and deletes is killed with SIGKILL at random moments, a
// few dozen times. After every kill the next open finds: the header count matching whole
// records, no blank or torn record counted, the index agreeing with the table, and no
// temporary file left.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <random>

#include "engine_testutil.h"

using namespace enginetest;

namespace {

class KillTest : public EngineTest { };

[[noreturn]] void writer(const std::string& table, const std::string& index, unsigned seed)
{
    const short area = sx_Use(table.c_str(), "CY", SX_READWRITE, SX_SDEFOX);
    if (area <= 0 || sx_IndexOpen(index.c_str()) <= 0)
        ::_exit(3);
    sx_SetOrder(1);
    sx_SetLockTimeout(2);
    std::mt19937 rng(seed);
    std::string image(static_cast<size_t>(sx_RecSize()), ' ');
    for (unsigned i = 0;; ++i) {
        const std::string code = "K" + std::to_string(rng() % 100000);
        image.replace(1, 5, "    7");
        image.replace(6, 10, code + std::string(10 - code.size(), ' '));
        image.replace(16, 4, "kill");
        sx_AppendRecord(image.data());
        const long n = sx_RecCount();
        if (n < 1)
            ::_exit(5);  // the table went away under us: the parent reports it
        sx_Go(1 + static_cast<long>(rng() % static_cast<unsigned>(n)));
        if (i % 3 == 0)
            sx_Delete();
        else
            sx_Replace("CODE", SX_R_CHAR, ("P" + std::to_string(i)).c_str());
        if (i % 5 == 0) {
            sx_CreateNew((table + "." + std::to_string(i % 2) + ".dbf").c_str(), "T", SX_SDEFOX, 1);
            sx_CreateField("A", "C", 3, 0);
            if (sx_CreateExec())
                sx_Close();
            sx_Select(area);
        }
    }
}

TEST_F(KillTest, KilledWriterLeavesConsistentFiles)
{
    const std::string t = createTable("cy.dbf", cyFields());
    open(t);
    appendRow({"1", "B", "first"});
    const std::string idx = path("code.idx");
    ASSERT_GT(sx_Index(idx.c_str(), "CODE", 0, 0, nullptr), 0);
    sx_CloseAll();

    std::mt19937 rng(20261210);
    constexpr int kKills = 30;
    for (int round = 0; round < kKills; ++round) {
        SCOPED_TRACE("kill " + std::to_string(round + 1));
        const pid_t pid = ::fork();
        if (pid == 0)
            writer(t, idx, static_cast<unsigned>(round));
        ::usleep(static_cast<useconds_t>(2000 + rng() % 30000));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own: " << status;

        ASSERT_GT(sx_Use(t.c_str(), "CY", SX_READWRITE, SX_SDEFOX), 0) << sx_LastError();
        const long count = sx_RecCount();
        const std::string bytes = readFile(t);
        const size_t h = le16(bytes, 8), l = le16(bytes, 10);
        ASSERT_GE(bytes.size(), h + static_cast<size_t>(count) * l);
        EXPECT_EQ(le32(bytes, 4), static_cast<uint32_t>(count));
        std::vector<std::pair<std::string, long>> keys;
        for (long r = 1; r <= count; ++r) {
            const std::string rec = bytes.substr(h + static_cast<size_t>(r - 1) * l, l);
            EXPECT_TRUE(rec[0] == ' ' || rec[0] == '*') << "record " << r << " flag";
            EXPECT_NE(rec.substr(6, 10), std::string(10, ' ')) << "blank record " << r << " counted";
            keys.emplace_back(rec.substr(6, 10), r);
        }
        // Past the count: nothing but the end-of-file mark once the folder was opened.
        EXPECT_LE(bytes.size(), h + static_cast<size_t>(count) * l + 1);
        ASSERT_GT(sx_IndexOpen(idx.c_str()), 0) << sx_LastError();
        sx_SetOrder(1);
        std::sort(keys.begin(), keys.end());
        std::vector<long> order;
        for (const auto& k : keys)
            order.push_back(k.second);
        EXPECT_EQ(walk(), order);
        sx_CloseAll();
        for (const auto& e : fs::directory_iterator(m_dir))
            EXPECT_EQ(e.path().filename().string().find(".new."), std::string::npos) << e.path();
    }
}

}  // namespace
