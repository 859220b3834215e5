// xBase expressions: types, syntax and type errors, comparison semantics (the
// EXACT setting), precedence, and the functions the engine offers.
#include <pthread.h>

#include <cmath>
#include <functional>

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer runtime (GCC installs no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

#include "engine_testutil.h"
#include "xbase/src/expr.h"

using namespace enginetest;

namespace {

class ExprTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        open(fixture("sample.dbf"), SX_READONLY);
        sx_Go(1);  // CONTID 132, CODE "12001", POTEN 1.2345678
    }
};

TEST_F(ExprTest, TypesOfValidExpressions)
{
    struct Row {
        const char* expr;
        short type;
    } rows[] = {
        {"CONTID", SX_EVAL_NUMERIC},
        {"contid", SX_EVAL_NUMERIC},
        {"CODE", SX_EVAL_CHAR},
        {"'text'", SX_EVAL_CHAR},
        {"[text]", SX_EVAL_CHAR},
        {"12.5", SX_EVAL_NUMERIC},
        {".5", SX_EVAL_NUMERIC},
        {"-CONTID", SX_EVAL_NUMERIC},
        {"CONTID > 0", SX_EVAL_LOGICAL},
        {"CONTID > 0 .and. CONTID < 12", SX_EVAL_LOGICAL},
        {"(CONTID > 34 .and. CONTID < 40) .or. (CONTID = 136)", SX_EVAL_LOGICAL},
        {"CODE = \"12\"", SX_EVAL_LOGICAL},
        {".T.", SX_EVAL_LOGICAL},
        {".not. DELETED()", SX_EVAL_LOGICAL},
        {"!DELETED()", SX_EVAL_LOGICAL},
        {"CODE + DESCR", SX_EVAL_CHAR},
        {"UPPER(CODE)", SX_EVAL_CHAR},
        {"STR(CONTID, 5)", SX_EVAL_CHAR},
        {"VAL(CODE) + 1", SX_EVAL_NUMERIC},
        {"SAMPLE->CONTID", SX_EVAL_NUMERIC},
        {"CONTID # 1 .and. CONTID != 2 .and. CONTID <> 3", SX_EVAL_LOGICAL},
        {"  CONTID\t=\t132  ", SX_EVAL_LOGICAL},
    };
    for (const Row& r : rows)
        EXPECT_EQ(sx_EvalTest(r.expr), r.type) << r.expr << ": " << sx_LastError();
}

TEST_F(ExprTest, InvalidExpressionsAreRefusedWithAReason)
{
    const std::string deep = std::string(200, '(') + "1" + std::string(200, ')');
    const std::string manyNots = [] {
        std::string s;
        for (int i = 0; i < 200; ++i)
            s += ".not. ";
        return s + ".T.";
    }();
    struct Row {
        std::string expr;
        const char* reason;
    } rows[] = {
        {"", "empty expression"},
        {"   ", "empty expression"},
        {"CONTID >", "ends too early"},
        {"(CONTID = 1", "missing )"},
        {"CONTID = 1)", "unexpected text"},
        {"CONTID = \"1\"", "type mismatch"},
        {"CODE = 12", "type mismatch"},
        {"CONTID .and. .T.", "type mismatch"},
        {".not. CONTID", "type mismatch"},
        {"CONTID < 2 < 3", "unexpected text"},
        {"1 + \"a\"", "type mismatch"},
        {"-CODE", "type mismatch"},
        {"NOFIELD = 1", "unknown field NOFIELD"},
        {"UPPER(CONTID)", "wrong arguments to UPPER"},
        {"DELETED(1)", "wrong arguments to DELETED"},
        {"NOSUCH(1)", "unknown function NOSUCH"},
        {"\"abc", "unterminated string"},
        {"CONTID .xor. 1", "unknown operator"},
        {"CONTID @ 1", "unexpected character"},
        {"CONTID = \xC0", "unexpected character"},
        {".and.", "unexpected operator"},
        {".T. = 1", "type mismatch"},
        {".T. < .F.", "type mismatch"},
        {deep, "nested too deeply"},
        {manyNots, "nested too deeply"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.expr);
        EXPECT_EQ(sx_EvalTest(r.expr.c_str()), SX_EVAL_INVALID);
        EXPECT_NE(std::string(sx_LastError()).find(r.reason), std::string::npos) << sx_LastError();
        if (r.expr.find_first_not_of(' ') != std::string::npos) {
            EXPECT_EQ(sx_Query(r.expr.c_str()), 0);  // an empty query removes the query instead
        }
    }
    EXPECT_EQ(sx_Query("CONTID"), 0) << "a query must be logical";
    EXPECT_EQ(sx_EvalTest(nullptr), SX_EVAL_INVALID);
}

struct CompareRow {
    const char* expr;
    bool exactOff;
    bool exactOn;
};

// The comparison rules of SET EXACT OFF (the program's setting) and ON.
TEST_F(ExprTest, TextComparisonFollowsTheExactSetting)
{
    const CompareRow rows[] = {
        {"\"abc\" = \"ab\"", true, false},
        {"\"ab\" = \"abc\"", false, false},
        {"\"ab \" = \"ab\"", true, true},
        {"\"ab\" = \"ab \"", false, true},
        {"\"\" = \"ab\"", false, false},
        {"\"ab\" = \"\"", true, false},
        {"\"\" = \"   \"", false, true},
        {"\"ab \" == \"ab\"", false, false},
        {"\"ab\" == \"ab\"", true, true},
        {"\"abc\" <> \"ab\"", false, true},
        {"\"abc\" < \"ab\"", false, false},
        {"\"abc\" > \"ab\"", false, true},
        {"\"abc\" >= \"ab\"", true, true},
        {"\"ab\" < \"abc\"", true, true},
        {"\"b\" > \"abc\"", true, true},
        {"\"\xC0\" > \"z\"", true, true},     // bytes compare unsigned: cp1251 letters after ASCII
        {"\"\xB2\" < \"\xC0\"", true, true},  // І sorts before А in byte order
        {"CODE = \"12\"", true, false},
        {"CODE = \"12001\"", true, true},
        {"CODE = \"120011\"", false, false},
        {"CODE == \"12001     \"", true, true},
        {"\"ab\" $ \"xaby\"", true, true},
        {"\"\" $ \"xaby\"", false, false},
    };
    for (const CompareRow& r : rows) {
        SCOPED_TRACE(r.expr);
        sx_SetExact(0);
        EXPECT_EQ(sx_EvalLogical(r.expr), r.exactOff ? 1 : 0) << "EXACT OFF";
        sx_SetExact(1);
        EXPECT_EQ(sx_EvalLogical(r.expr), r.exactOn ? 1 : 0) << "EXACT ON";
    }
    sx_SetExact(0);
    sx_Go(7);  // CODE "1         "
    EXPECT_EQ(sx_EvalLogical("CODE = \"12\""), 0);
    sx_Go(5);  // CODE all blanks
    EXPECT_EQ(sx_EvalLogical("CODE = \"\""), 1);
}

TEST_F(ExprTest, NumbersLogicAndPrecedence)
{
    struct Row {
        const char* expr;
        long record;
        bool expected;
    } rows[] = {
        {"CONTID = 132", 1, true},
        {"CONTID = 132", 2, false},
        {"CONTID = -3", 3, true},
        {"CONTID < 0", 3, true},
        {"CONTID = 0", 5, true},  // blank numeric counts as 0
        {"POTEN = 1.2345678", 1, true},
        {"FACT = -0.0000001", 3, true},
        {"POTEN > 99999999.9999998", 4, true},
        {"CONTID * 2 + 1 = 265", 1, true},
        {"(CONTID - 2) / 10 = 13", 1, true},
        {"CONTID % 100 = 32", 1, true},
        {"1 / 0 = 0", 1, true},               // no infinities
        {".T. .or. .F. .and. .F.", 1, true},  // .AND. binds tighter
        {".not. .F. .and. .F.", 1, false},    // .NOT. binds tighter than .AND.
        {".not. CONTID = 5", 1, true},        // .NOT. applies to the comparison
        {"--CONTID = 132", 1, true},
        {"DELETED()", 6, true},
        {"DELETED()", 1, false},
        {"RECNO() = 4", 4, true},
        {"CONTID = 1 .or. CONTID = 132 .or. CONTID = 5", 2, true},
        {".Y. .and. .not. .N.", 1, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.expr);
        sx_Go(r.record);
        EXPECT_EQ(sx_EvalTest(r.expr), SX_EVAL_LOGICAL) << sx_LastError();
        EXPECT_EQ(sx_EvalLogical(r.expr), r.expected ? 1 : 0);
    }
}

TEST_F(ExprTest, FunctionsAndResults)
{
    sx_Go(7);  // CODE "1", DESCR "Ґанок їжак єнот"
    EXPECT_STREQ(sx_EvalString("UPPER(DESCR)"),
                 std::string("\xA5\xC0\xCD\xCE\xCA \xAF\xC6\xC0\xCA \xAA\xCD\xCE\xD2" + std::string(25, ' ')).c_str());
    EXPECT_STREQ(sx_EvalString("LOWER(\"\xA5\xAF\xAA\xB2 ABC\")"), "\xB4\xBF\xBA\xB3 abc");
    EXPECT_STREQ(sx_EvalString("TRIM(CODE) + \"|\""), "1|");
    EXPECT_STREQ(sx_EvalString("ALLTRIM(\"  x  \")"), "x");
    EXPECT_STREQ(sx_EvalString("LTRIM(\"  x  \")"), "x  ");
    EXPECT_STREQ(sx_EvalString("SUBSTR(\"abcdef\", 2, 3)"), "bcd");
    EXPECT_STREQ(sx_EvalString("SUBSTR(\"abcdef\", 5)"), "ef");
    EXPECT_STREQ(sx_EvalString("SUBSTR(\"abc\", 9, 2)"), "");
    EXPECT_STREQ(sx_EvalString("LEFT(\"abcdef\", 2)"), "ab");
    EXPECT_STREQ(sx_EvalString("STR(CONTID, 5)"), "   12");
    EXPECT_STREQ(sx_EvalString("STR(2.25, 6, 1)"), "   2.2");  // binary 2.25 is exact: round to even
    EXPECT_STREQ(sx_EvalString("STR(123456, 3)"), "***");
    EXPECT_DOUBLE_EQ(sx_EvalNumeric("VAL(\" 12abc\")"), 12.0);
    EXPECT_DOUBLE_EQ(sx_EvalNumeric("VAL(\"abc\")"), 0.0);
    EXPECT_STREQ(sx_EvalString("IIF(CONTID > 10, \"big\", \"small\")"), "big");
    EXPECT_EQ(sx_EvalLogical("EMPTY(\"   \") .and. .not. EMPTY(CONTID)"), 1);
    EXPECT_STREQ(sx_EvalString("CONTID * 2"), "24");
    EXPECT_STREQ(sx_EvalString("CONTID > 1"), ".T.");
    EXPECT_DOUBLE_EQ(sx_EvalNumeric("POTEN / 8"), 12.5);
    EXPECT_DOUBLE_EQ(sx_EvalNumeric("CODE"), 0.0) << "wrong type gives 0";
    EXPECT_STRNE(sx_LastError(), "");
}

std::unique_ptr<xb::Expr> compiled(std::string_view text, const std::vector<xb::FieldDesc>* fields)
{
    std::unique_ptr<xb::Expr> e;
    const xb::Status st = xb::Expr::compile(text, fields, &e);
    EXPECT_TRUE(st.ok()) << st.message();
    EXPECT_EQ(st.ok(), e != nullptr);
    return e;
}

// Widths decide index key lengths; they must not depend on a record's content.
TEST(ExprWidth, CharacterResultsHaveAStaticWidth)
{
    std::vector<xb::FieldDesc> fields(2);
    fields[0] = {"CODE", 'C', 1, 10, 0};
    fields[1] = {"DESCR", 'C', 11, 40, 0};
    struct Row {
        const char* expr;
        uint32_t width;
    } rows[] = {{"CODE", 10},
                {"CODE + DESCR", 50},
                {"UPPER(CODE)", 10},
                {"TRIM(CODE)", 10},
                {"SUBSTR(CODE, 2, 3)", 3},
                {"LEFT(DESCR, 4)", 4},
                {"STR(1, 7)", 7},
                {"\"abc\"", 3},
                {"CODE + \"-\" + DESCR + CODE", 61}};
    for (const auto& r : rows) {
        auto e = compiled(r.expr, &fields);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->width(), r.width) << r.expr;
    }
    EXPECT_EQ(compiled("CODE", &fields)->plainField(), 0);
    EXPECT_EQ(compiled("UPPER(CODE)", &fields)->plainField(), -1);
    EXPECT_EQ(compiled("CODE + CODE", &fields)->plainField(), -1);
    EXPECT_EQ(compiled("1", nullptr)->plainField(), -1);
}

// ---- Long and hostile expressions ----

std::string repeated(const std::string& operand, const std::string& op, size_t count, const std::string& last = "")
{
    std::string s;
    s.reserve((operand.size() + op.size()) * count + last.size());
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            s += op;
        s += operand;
    }
    if (!last.empty())
        s += op + last;
    return s;
}

// Runs fn on a thread with a small stack: a compiler or evaluator that recurses once
// per operator of a long chain overruns it and crashes the test.
void onSmallStack(const std::function<void()>& fn)
{
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, 512 * 1024), 0);
    pthread_t thread;
    auto body = [](void* arg) -> void* {
        (*static_cast<const std::function<void()>*>(arg))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, body, const_cast<std::function<void()>*>(&fn)), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

// Heap bytes in use, for bounding what a compiled expression holds.
size_t heapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
#endif
}

class ExprChains : public ::testing::Test {
protected:
    // One record: deletion flag, CODE "abc", N "   12".
    std::vector<xb::FieldDesc> fields{{"CODE", 'C', 1, 3, 0}, {"N", 'N', 4, 5, 0}};
    std::string record = " abc   12";
    xb::EvalContext context() const
    {
        xb::EvalContext c;
        c.record = record.data();
        c.recNo = 1;
        return c;
    }
};

TEST_F(ExprChains, HundredThousandOperandChainsCompileAndEvaluateWithoutDeepRecursion)
{
    constexpr size_t n = 100000;
    struct Row {
        std::string expr;
        bool logical;  // else numeric
        double expected;
    };
    const std::vector<Row> rows = {
        {repeated(".T.", " .and. ", n), true, 1},
        {repeated(".T.", " .and. ", n, ".F."), true, 0},  // the last operand decides
        {repeated(".F.", " .or. ", n), true, 0},
        {repeated(".F.", " .or. ", n, "N = 12"), true, 1},
        {repeated("N = 1 .and. CODE = \"x\"", " .or. ", n / 10, "CODE = \"ab\" .and. N > 11"), true, 1},
        {repeated("N", " + ", n), false, 12.0 * n},
        {repeated("1", "-", n), false, 2.0 - static_cast<double>(n)},
        {"100000 / " + repeated("1", " / ", n - 1), false, 100000},
        {repeated("0.5", " * ", n), false, 0},  // underflows to 0
        {"(" + repeated("1", " + ", n) + ") % 7", false, static_cast<double>(n % 7)},
    };
    onSmallStack([&] {
        for (const Row& r : rows) {
            SCOPED_TRACE(r.expr.substr(0, 60));
            auto e = compiled(r.expr, &fields);
            ASSERT_TRUE(e);
            if (r.logical) {
                ASSERT_EQ(e->type(), xb::ExprType::Logical);
                EXPECT_EQ(e->logical(context()), r.expected != 0);
            } else {
                ASSERT_EQ(e->type(), xb::ExprType::Numeric);
                EXPECT_DOUBLE_EQ(e->numeric(context()), r.expected);
            }
        }
        auto text = compiled(repeated("CODE", "+", n, "\"!\""), &fields);
        ASSERT_TRUE(text);
        EXPECT_EQ(text->width(), 3 * n + 1);
        const std::string_view v = text->text(context());
        ASSERT_EQ(v.size(), 3 * n + 1);
        EXPECT_EQ(v.substr(0, 6), "abcabc");
        EXPECT_EQ(v.substr(v.size() - 4), "abc!");
    });
}

TEST_F(ExprChains, ArithmeticChainsKeepLeftToRightOrderAndPrecedence)
{
    struct Row {
        const char* expr;
        double expected;
    } rows[] = {
        {"10 - 4 - 3", 3},        {"10 - 4 + 3", 9},      {"100 / 10 / 5", 2},  {"2 * 3 % 4", 2},    {"17 % 5 * 3", 6},
        {"1 + 2 * 3 - 4 / 2", 5}, {"N - N * 2 + 1", -11}, {"8 / 0 * 3 + 1", 1}, {"-N + 2 - -3", -7},
    };
    for (const Row& r : rows) {
        auto e = compiled(r.expr, &fields);
        ASSERT_TRUE(e) << r.expr;
        EXPECT_DOUBLE_EQ(e->numeric(context()), r.expected) << r.expr;
    }
    // Mixed texts and numbers in one chain are still refused, wherever the odd one sits.
    for (const char* bad : {"CODE + CODE - CODE", "CODE + N", "N + N + CODE", "CODE + CODE + 1", ".T. .and. N",
                            ".T. .or. .F. .or. CODE", "N * N * CODE"}) {
        std::unique_ptr<xb::Expr> e;
        const xb::Status st = xb::Expr::compile(bad, &fields, &e);
        EXPECT_EQ(st.kind(), xb::ErrorKind::BadExpression) << bad;
        EXPECT_NE(st.message().find("type mismatch"), std::string::npos) << st.message();
        EXPECT_FALSE(e);
    }
}

// A text chain used to keep one growing copy per operator: memory grew with the
// square of its length. What a compiled and evaluated chain holds is now a small
// constant per operand.
TEST_F(ExprChains, TextChainsHoldMemoryLinearInTheirLength)
{
    for (const size_t n : {1000u, 8000u}) {
        SCOPED_TRACE(n);
        const std::string expr = repeated("\"abc\"", "+", n);
        const size_t before = heapInUse();
        auto e = compiled(expr, &fields);
        ASSERT_TRUE(e);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(e->text(context()).size(), 3 * n);
        const auto held = static_cast<long long>(heapInUse()) - static_cast<long long>(before);
        EXPECT_LT(held, static_cast<long long>(512 * n)) << held / static_cast<long long>(n) << " bytes per operand";
    }
}

TEST_F(ExprChains, SizeAndNestingBoundsAreReportedAsBadExpressions)
{
    std::vector<xb::FieldDesc> wide{{"W", 'C', 1, 254, 0}};
    const auto nested = [](int levels) {
        std::string s = "1";
        for (int i = 0; i < levels; ++i)
            s = "IIF(.T. .and. .T. .or. 1 = 1 + 2 * " + s + ", 1, 1)";
        return s;
    };
    struct Row {
        std::string expr;
        const std::vector<xb::FieldDesc>* fields;
        const char* reason;
    };
    const std::vector<Row> rows = {
        {repeated("1", "+", 600000), &fields, "longer than 1048576 bytes"},
        {std::string(1 << 20, ' ') + "1", &fields, "longer than 1048576 bytes"},
        {repeated("W", "+", 5000), &wide, "bytes wide, more than 1048576"},
        {nested(32), &fields, "nested too deeply"},
        {std::string(100000, '(') + "1" + std::string(100000, ')'), &fields, "nested too deeply"},
        {repeated("-", "", 100000, "1"), &fields, "nested too deeply"},
        {repeated(".not.", " ", 100000, ".T."), &fields, "nested too deeply"},
        {repeated("UPPER(", "", 100000, "CODE") + std::string(100000, ')'), &fields, "nested too deeply"},
    };
    onSmallStack([&] {
        for (const Row& r : rows) {
            SCOPED_TRACE(r.reason);
            std::unique_ptr<xb::Expr> e;
            const xb::Status st = xb::Expr::compile(r.expr, r.fields, &e);
            EXPECT_EQ(st.kind(), xb::ErrorKind::BadExpression);
            EXPECT_NE(st.message().find(r.reason), std::string::npos) << st.message().substr(0, 300);
            EXPECT_LT(st.message().size(), 300u) << "a long expression is quoted by its beginning only";
            EXPECT_FALSE(e);
        }
        // Just inside the bounds: these compile and evaluate.
        auto deepest = compiled(nested(31), &fields);
        ASSERT_TRUE(deepest);
        EXPECT_DOUBLE_EQ(deepest->numeric(context()), 1);
        auto widest = compiled(repeated("W", "+", 4128), &wide);
        ASSERT_TRUE(widest);
        EXPECT_EQ(widest->width(), 254u * 4128u);
    });
}

TEST_F(ExprTest, LongChainsThroughTheInterface)
{
    const std::string chain = repeated("CONTID = -1", " .or. ", 20000, "CONTID = 132");
    EXPECT_EQ(sx_EvalTest(chain.c_str()), SX_EVAL_LOGICAL) << sx_LastError();
    EXPECT_EQ(sx_EvalLogical(chain.c_str()), 1);
    ASSERT_NE(sx_Query("CONTID = 132"), 0);
    const long plain = sx_QueryRecCount();
    EXPECT_NE(sx_Query(chain.c_str()), 0) << sx_LastError();
    EXPECT_EQ(sx_QueryRecCount(), plain);
    sx_Query("");

    const std::string tooLong = repeated("CONTID", " + ", 200000);
    EXPECT_EQ(sx_EvalTest(tooLong.c_str()), SX_EVAL_INVALID);
    EXPECT_NE(std::string(sx_LastError()).find("longer than"), std::string::npos);
    EXPECT_LT(std::string(sx_LastError()).size(), 300u);
}

TEST_F(ExprTest, ExpressionsWithoutATableUseConstantsOnly)
{
    sx_Close();
    EXPECT_EQ(sx_EvalTest("1 + 2 = 3"), SX_EVAL_LOGICAL);
    EXPECT_EQ(sx_EvalLogical("1 + 2 = 3"), 1);
    EXPECT_EQ(sx_EvalTest("CONTID"), SX_EVAL_INVALID);
}

}  // namespace
