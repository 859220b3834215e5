// xBase expressions: types, syntax and type errors, comparison semantics (the
// EXACT setting), precedence, and the functions the engine offers.
#include <cmath>

#include "engine_testutil.h"
#include "expr.h"

using namespace enginetest;

namespace {

class ExprTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        open(fixture("sample.dbf"), SX_READONLY);
        sx_Go(1);   // CONTID 132, CODE "12001", POTEN 1.2345678
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
            EXPECT_EQ(sx_Query(r.expr.c_str()), 0);   // an empty query removes the query instead
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
        {"\"\xC0\" > \"z\"", true, true},   // bytes compare unsigned: cp1251 letters after ASCII
        {"\"\xB2\" < \"\xC0\"", true, true},   // І sorts before А in byte order
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
    sx_Go(7);   // CODE "1         "
    EXPECT_EQ(sx_EvalLogical("CODE = \"12\""), 0);
    sx_Go(5);   // CODE all blanks
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
        {"CONTID = 0", 5, true},             // blank numeric counts as 0
        {"POTEN = 1.2345678", 1, true},
        {"FACT = -0.0000001", 3, true},
        {"POTEN > 99999999.9999998", 4, true},
        {"CONTID * 2 + 1 = 265", 1, true},
        {"(CONTID - 2) / 10 = 13", 1, true},
        {"CONTID % 100 = 32", 1, true},
        {"1 / 0 = 0", 1, true},              // no infinities
        {".T. .or. .F. .and. .F.", 1, true},   // .AND. binds tighter
        {".not. .F. .and. .F.", 1, false},     // .NOT. binds tighter than .AND.
        {".not. CONTID = 5", 1, true},         // .NOT. applies to the comparison
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
    sx_Go(7);   // CODE "1", DESCR "Ґанок їжак єнот"
    EXPECT_STREQ(sx_EvalString("UPPER(DESCR)"), std::string("\xA5\xC0\xCD\xCE\xCA \xAF\xC6\xC0\xCA \xAA\xCD\xCE\xD2" +
                                                           std::string(25, ' ')).c_str());
    EXPECT_STREQ(sx_EvalString("LOWER(\"\xA5\xAF\xAA\xB2 ABC\")"), "\xB4\xBF\xBA\xB3 abc");
    EXPECT_STREQ(sx_EvalString("TRIM(CODE) + \"|\""), "1|");
    EXPECT_STREQ(sx_EvalString("ALLTRIM(\"  x  \")"), "x");
    EXPECT_STREQ(sx_EvalString("LTRIM(\"  x  \")"), "x  ");
    EXPECT_STREQ(sx_EvalString("SUBSTR(\"abcdef\", 2, 3)"), "bcd");
    EXPECT_STREQ(sx_EvalString("SUBSTR(\"abcdef\", 5)"), "ef");
    EXPECT_STREQ(sx_EvalString("SUBSTR(\"abc\", 9, 2)"), "");
    EXPECT_STREQ(sx_EvalString("LEFT(\"abcdef\", 2)"), "ab");
    EXPECT_STREQ(sx_EvalString("STR(CONTID, 5)"), "   12");
    EXPECT_STREQ(sx_EvalString("STR(2.25, 6, 1)"), "   2.2");   // binary 2.25 is exact: round to even
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

// Widths decide index key lengths; they must not depend on a record's content.
TEST(ExprWidth, CharacterResultsHaveAStaticWidth)
{
    std::vector<xb::FieldDesc> fields(2);
    fields[0] = {"CODE", 'C', 1, 10, 0};
    fields[1] = {"DESCR", 'C', 11, 40, 0};
    struct Row {
        const char* expr;
        uint32_t width;
    } rows[] = {{"CODE", 10}, {"CODE + DESCR", 50}, {"UPPER(CODE)", 10}, {"TRIM(CODE)", 10},
                {"SUBSTR(CODE, 2, 3)", 3}, {"LEFT(DESCR, 4)", 4}, {"STR(1, 7)", 7}, {"\"abc\"", 3}};
    for (const auto& r : rows) {
        std::string err;
        auto e = xb::Expr::compile(r.expr, &fields, &err);
        ASSERT_TRUE(e) << err;
        EXPECT_EQ(e->width(), r.width) << r.expr;
    }
    std::string err;
    EXPECT_EQ(xb::Expr::compile("CODE", &fields, &err)->plainField(), 0);
    EXPECT_EQ(xb::Expr::compile("UPPER(CODE)", &fields, &err)->plainField(), -1);
    EXPECT_EQ(xb::Expr::compile("1", nullptr, &err)->plainField(), -1);
}

TEST_F(ExprTest, ExpressionsWithoutATableUseConstantsOnly)
{
    sx_Close();
    EXPECT_EQ(sx_EvalTest("1 + 2 = 3"), SX_EVAL_LOGICAL);
    EXPECT_EQ(sx_EvalLogical("1 + 2 = 3"), 1);
    EXPECT_EQ(sx_EvalTest("CONTID"), SX_EVAL_INVALID);
}

}   // namespace
