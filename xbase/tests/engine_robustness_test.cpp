// Damaged tables and arbitrary expression texts: every operation either works or
// fails with a reason; nothing reads outside a file or crashes (run under ASan in CI).
// Bounded and seeded, so a failure repeats; the libFuzzer targets go further.
#include <random>

#include "engine_testutil.h"

using namespace enginetest;

namespace {

class RobustnessTest : public EngineTest {
protected:
    // Everything a reader of a table does, in both orders and with a query and an index.
    void exercise()
    {
        const short fields = sx_FieldCount();
        std::string image(static_cast<size_t>(sx_RecSize()), '\0');
        auto readAll = [&] {
            for (short f = 1; f <= fields; ++f) {
                const std::string name = sx_FieldName(f);
                (void)sx_GetString(name.c_str());
                (void)sx_GetTrimString(name.c_str());
                (void)sx_GetDouble(name.c_str());
                (void)sx_GetLogical(name.c_str());
            }
            sx_GetRecord(image.data());
        };
        int guard = 0;
        for (sx_GoTop(); !sx_Eof() && guard < 10000; sx_Skip(1), ++guard)
            readAll();
        for (sx_GoBottom(); !sx_Eof() && !sx_Bof() && guard < 20000; sx_Skip(-1), ++guard)
            readAll();
        readAll();  // the phantom record at Eof
        const std::string first = sx_FieldName(1);
        if (sx_Index("fuzz.idx", first.c_str(), 0, 0, "") > 0) {
            for (sx_GoTop(); !sx_Eof() && guard < 30000; sx_Skip(1), ++guard)
                readAll();
            sx_Seek("1");
        }
        sx_Query(("DELETED() .or. .not. EMPTY(" + first + ")").c_str());
        (void)sx_QueryRecCount();
        sx_Query("");
    }
};

TEST_F(RobustnessTest, MutatedTablesNeverCrash)
{
    const std::string sources[] = {readFile(fixture("sample.dbf")), readFile(fixture("big.dbf")).substr(0, 3000)};
    std::mt19937 rng(424242);
    int opened = 0;
    for (int round = 0; round < 600; ++round) {
        std::string bytes = sources[round % 2];
        switch (rng() % 4) {
        case 0:  // truncate
            bytes.resize(rng() % (bytes.size() + 1));
            break;
        case 1:  // flip bytes in the header and first records
            for (int i = 0, n = 1 + static_cast<int>(rng() % 6); i < n; ++i)
                bytes[rng() % std::min<size_t>(bytes.size(), 400)] = static_cast<char>(rng());
            break;
        case 2:  // flip anywhere
            for (int i = 0, n = 1 + static_cast<int>(rng() % 20); i < n; ++i)
                bytes[rng() % bytes.size()] = static_cast<char>(rng());
            break;
        default:  // a header length, record length or count chosen at random
            bytes[4 + rng() % 8] = static_cast<char>(rng());
            break;
        }
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string p = path("fuzz.dbf");
        writeFile(p, bytes);
        std::remove(path("fuzz.idx").c_str());
        if (sx_Use(p.c_str(), "F", SX_READWRITE, SX_SDEFOX) <= 0) {
            ASSERT_STRNE(sx_LastError(), "");
            continue;
        }
        ++opened;
        ASSERT_GT(sx_FieldCount(), 0);
        sx_SetDeleted(round % 3 == 0);
        exercise();
        sx_Close();
    }
    EXPECT_GT(opened, 100) << "the mutations should leave many tables readable";
}

TEST_F(RobustnessTest, ArbitraryExpressionTextsNeverCrash)
{
    open(fixture("sample.dbf"), SX_READONLY);
    static const char* pieces[] = {
        "CONTID",  "CODE",   "DESCR",   "POTEN", "NOFIELD", "1",    "0",   "-",      "+",   "*",    "/",  "%",
        "=",       "==",     "<",       ">",     "<=",      ">=",   "<>",  "#",      "!=",  "!",    "$",  "(",
        ")",       ",",      ".and.",   ".or.",  ".not.",   ".T.",  ".F.", "\"12\"", "'x'", "[y]",  "\"", "DELETED()",
        "RECNO()", "UPPER(", "SUBSTR(", "STR(",  "IIF(",    "VAL(", ".5",  "1.",     " ",   "\xC0", "->", "."};
    std::mt19937 rng(99);
    int valid = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string expr;
        for (int i = 0, n = 1 + static_cast<int>(rng() % 12); i < n; ++i)
            expr += pieces[rng() % (sizeof pieces / sizeof *pieces)];
        if (rng() % 10 == 0)
            expr[rng() % expr.size()] = static_cast<char>(1 + rng() % 255);
        const short type = sx_EvalTest(expr.c_str());
        ASSERT_GE(type, SX_EVAL_INVALID);
        ASSERT_LE(type, SX_EVAL_DATE);
        if (type == SX_EVAL_INVALID) {
            ASSERT_STRNE(sx_LastError(), "") << expr;
            continue;
        }
        ++valid;
        sx_Go(1 + static_cast<long>(rng() % 9));  // 9: the phantom record
        (void)sx_EvalString(expr.c_str());
        if (type == SX_EVAL_LOGICAL) {
            ASSERT_EQ(sx_Query(expr.c_str()), 1) << expr;
            (void)sx_QueryRecCount();
        }
    }
    sx_Query("");
    EXPECT_GT(valid, 200);
}

}  // namespace
