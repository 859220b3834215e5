// The C interface as the table layer meets it: every name resolvable from the shared
// library, work areas and aliases, file names in any letter case, field values in
// and out, read-only tables, settings, and the functions that only fail softly.
#include <dlfcn.h>

#include <clocale>
#include <cstdlib>

#include "engine_testutil.h"

using namespace enginetest;

namespace {

// The names a loader resolves, all of them at load time.
const char* const kExportedNames[] = {
    "sx_Alias",
    "sx_Append",
    "sx_AppendBlank",
    "sx_AppendFrom",
    "sx_BaseDate",
    "sx_BaseName",
    "sx_BlobToFile",
    "sx_Bof",
    "sx_Close",
    "sx_CloseAll",
    "sx_CloseIndexes",
    "sx_Commit",
    "sx_CopyFile",
    "sx_CopyFileText",
    "sx_CopyStructure",
    "sx_CopyStructureExtended",
    "sx_Count",
    "sx_CreateExec",
    "sx_CreateField",
    "sx_CreateFrom",
    "sx_CreateNew",
    "sx_DbfDecrypt",
    "sx_DbfEncrypt",
    "sx_DBFilter",
    "sx_DBRlockList",
    "sx_Decrypt",
    "sx_Delete",
    "sx_Deleted",
    "sx_Descend",
    "sx_Empty",
    "sx_Eof",
    "sx_Encrypt",
    "sx_ErrorLevel",
    "sx_EvalLogical",
    "sx_EvalNumeric",
    "sx_EvalString",
    "sx_EvalTest",
    "sx_FieldCount",
    "sx_FieldDecimals",
    "sx_FieldName",
    "sx_FieldNum",
    "sx_FieldOffset",
    "sx_FieldType",
    "sx_FieldWidth",
    "sx_FilterAlias",
    "sx_FilterDlg",
    "sx_FinalizeSession",
    "sx_Flock",
    "sx_Found",
    "sx_GetBlob",
    "sx_GetBlobLength",
    "sx_GetByte",
    "sx_GetDateJulian",
    "sx_GetDateString",
    "sx_GetDouble",
    "sx_GetInteger",
    "sx_GetLogical",
    "sx_GetLong",
    "sx_GetMemo",
    "sx_GetQueryBit",
    "sx_GetRecord",
    "sx_GetScope",
    "sx_GetString",
    "sx_GetTrimString",
    "sx_Go",
    "sx_GoBottom",
    "sx_GoTop",
    "sx_Index",
    "sx_IndexClose",
    "sx_IndexCondition",
    "sx_IndexFlip",
    "sx_IndexKey",
    "sx_IndexKeyField",
    "sx_IndexName",
    "sx_IndexOpen",
    "sx_IndexOrd",
    "sx_IndexTag",
    "sx_IndexType",
    "sx_IsEncrypted",
    "sx_KeyAdd",
    "sx_KeyData",
    "sx_KeyDrop",
    "sx_Locate",
    "sx_LockCount",
    "sx_Locked",
    "sx_MemDealloc",
    "sx_OpenMode",
    "sx_OrderPosGet",
    "sx_OrderPosSet",
    "sx_OrderRecNo",
    "sx_Pack",
    "sx_PutBlob",
    "sx_PutRecord",
    "sx_Query",
    "sx_QueryRecCount",
    "sx_QuerySetExact",
    "sx_QueryTest",
    "sx_Recall",
    "sx_RecCount",
    "sx_RecNo",
    "sx_RecSize",
    "sx_Reindex",
    "sx_Replace",
    "sx_Rlock",
    "sx_RYOFilterActivate",
    "sx_RYOFilterCopy",
    "sx_RYOFilterCreate",
    "sx_RYOFilterDestroy",
    "sx_RYOFilterGetBit",
    "sx_RYOFilterRestore",
    "sx_RYOFilterSave",
    "sx_RYOFilterSetBit",
    "sx_RYOKeyAdd",
    "sx_RYOKeyDrop",
    "sx_Seek",
    "sx_SeekBin",
    "sx_Select",
    "sx_SetCentury",
    "sx_SetCollationRule",
    "sx_SetDateFormat",
    "sx_SetDeleted",
    "sx_SetEpoch",
    "sx_SetErrorFunc",
    "sx_SetExact",
    "sx_SetFilter",
    "sx_SetGaugeFunc",
    "sx_SetGaugeHook",
    "sx_SetLockTimeout",
    "sx_SetMemoBlockSize",
    "sx_SetOrder",
    "sx_SetPassword",
    "sx_SetQueryBit",
    "sx_SetRelation",
    "sx_SetScope",
    "sx_SetSoftSeek",
    "sx_SetStringType",
    "sx_SetTranslate",
    "sx_SetTurboRead",
    "sx_SetUDFPath",
    "sx_GetUDFPath",
    "sx_Skip",
    "sx_SysProp",
    "sx_TagArea",
    "sx_TagDelete",
    "sx_TagName",
    "sx_Unlock",
    "sx_Use",
    "sx_Version",
    "sx_WorkArea",
    "sx_Zap",
    "sx_LastError",
};

TEST(SharedLibrary, EveryNameResolvesAndTheLibraryWorksOnItsOwn)
{
    static_assert(sizeof kExportedNames / sizeof *kExportedNames == 151);
    void* lib = ::dlopen(XBASE_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << ::dlerror();
    for (const char* name : kExportedNames)
        EXPECT_NE(::dlsym(lib, name), nullptr) << name;
    EXPECT_EQ(
        ::dlsym(lib,
                "_ZN2xb7DbfFile4openERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEENS0_8OpenModeEPNS_6StatusE"),
        nullptr)
        << "engine internals stay hidden";

    // The library's own state, apart from the statically linked copy in this test.
    using Use = short (*)(const char*, const char*, short, short);
    using Count = long (*)();
    using Close = void (*)();
    auto use = reinterpret_cast<Use>(::dlsym(lib, "sx_Use"));
    auto recCount = reinterpret_cast<Count>(::dlsym(lib, "sx_RecCount"));
    auto closeAll = reinterpret_cast<Close>(::dlsym(lib, "sx_CloseAll"));
    ASSERT_GT(use(fixture("sample.dbf").c_str(), "S", SX_READONLY, SX_SDEFOX), 0);
    EXPECT_EQ(recCount(), 8);
    closeAll();
    ::dlclose(lib);
}

class ApiTest : public EngineTest { };

TEST_F(ApiTest, WorkAreasAndAliases)
{
    const short a = open(fixture("sample.dbf"), SX_READONLY);
    EXPECT_STREQ(sx_Alias(a), "SAMPLE") << "alias from the file name";
    const short b = open(fixture("sample.dbf"), SX_READONLY, "Second");
    EXPECT_NE(a, b);
    EXPECT_EQ(sx_WorkArea("SECOND"), b) << "aliases match in any letter case";
    EXPECT_STREQ(sx_Alias(0), "Second") << "0 is the current area";
    EXPECT_EQ(sx_Use(fixture("sample.dbf").c_str(), "second", SX_READONLY, SX_SDEFOX), 0);
    EXPECT_NE(std::string(sx_LastError()).find("already in use"), std::string::npos);
    EXPECT_EQ(sx_Select(a), b);
    EXPECT_EQ(sx_Select(a), a);
    sx_Close();
    EXPECT_STREQ(sx_Alias(a), "");
    EXPECT_EQ(sx_WorkArea("SAMPLE"), 0);
    // An empty area answers softly.
    EXPECT_EQ(sx_RecCount(), 0);
    EXPECT_EQ(sx_Eof(), 1);
    EXPECT_STREQ(sx_GetString("CODE"), "");
    EXPECT_NE(std::string(sx_LastError()).find("No table is open"), std::string::npos);
    EXPECT_EQ(open(fixture("sample.dbf"), SX_READONLY), a) << "the lowest free area is reused";
    EXPECT_STREQ(sx_Alias(99), "");
    EXPECT_STREQ(sx_Alias(-1), "");
    sx_Select(1000);
    EXPECT_EQ(sx_Select(a), a) << "a work area beyond the range is not selected";
}

TEST_F(ApiTest, TwoHundredFiftyWorkAreas)
{
    for (int i = 1; i <= 250; ++i)
        ASSERT_GT(sx_Use(fixture("sample.dbf").c_str(), ("T" + std::to_string(i)).c_str(), SX_READONLY, SX_SDEFOX), 0)
            << i << ": " << sx_LastError();
    EXPECT_EQ(sx_Use(fixture("sample.dbf").c_str(), "ONEMORE", SX_READONLY, SX_SDEFOX), 0);
    EXPECT_NE(std::string(sx_LastError()).find("No free work area"), std::string::npos);
    sx_Select(250);
    EXPECT_EQ(sx_RecCount(), 8);
    sx_FinalizeSession();
    EXPECT_EQ(sx_WorkArea("T1"), 0);
}

TEST_F(ApiTest, FileNamesInAnyLetterCaseAndWithoutExtension)
{
    createTable("DATA.DBF", dataFields());
    EXPECT_GT(sx_Use(path("data.dbf").c_str(), "A", SX_READWRITE, SX_SDEFOX), 0) << sx_LastError();
    EXPECT_GT(sx_Use(path("Data").c_str(), "B", SX_READWRITE, SX_SDEFOX), 0) << sx_LastError();
    EXPECT_EQ(sx_Use(path("other").c_str(), "C", SX_READWRITE, SX_SDEFOX), 0);
}

TEST_F(ApiTest, CreateNewSelectsItsAreaAndCreateExecLeavesTheTableOpen)
{
    const std::string p = path("attr.dbf");
    const short area = sx_CreateNew(p.c_str(), "ATTR", SX_SDEFOX, 2);
    ASSERT_GT(area, 0);
    EXPECT_EQ(sx_Select(area), area);
    sx_CreateField("enname", "C", 100, 0);
    sx_CreateField("x1", "N", 3, 0);
    EXPECT_EQ(sx_FieldCount(), 0) << "no table before CreateExec";
    ASSERT_EQ(sx_CreateExec(), 1) << sx_LastError();
    EXPECT_STREQ(sx_Alias(area), "ATTR");
    EXPECT_EQ(sx_RecCount(), 0);
    EXPECT_STREQ(sx_FieldName(1), "ENNAME");
    EXPECT_STREQ(sx_FieldName(2), "X1");
    sx_Close();
    EXPECT_STREQ(sx_Alias(area), "");

    // Creating while the alias is taken still writes the table.
    open(p, SX_READWRITE, "ATTR");
    const short again = sx_CreateNew(path("attr2.dbf").c_str(), "ATTR", SX_SDEFOX, 1);
    sx_CreateField("A", "C", 1, 0);
    EXPECT_EQ(sx_CreateExec(), 1);
    EXPECT_STRNE(sx_Alias(again), "ATTR");
    EXPECT_EQ(sx_CreateNew(nullptr, nullptr, SX_SDEFOX, 1), 0);
    EXPECT_EQ(sx_CreateNew(path("x.dbf").c_str(), nullptr, 9, 1), 0);
    sx_CreateField("A", "C", 1, 0);  // no table being created in this area
    EXPECT_STRNE(sx_LastError(), "");
}

TEST_F(ApiTest, ReplaceAndReadFieldValues)
{
    const std::string p = createTable("v.dbf",
                                      {{"NAME", "C", 8, 0},
                                       {"AMOUNT", "N", 18, 7},
                                       {"SMALL", "N", 3, 0},
                                       {"FLAG", "L", 1, 0},
                                       {"DAY", "D", 8, 0},
                                       {"COUNT", "I", 4, 0}});
    open(p);
    sx_AppendBlank();
    const double d = 1.5, big = 1e12, neg = -0.00000004;
    const short s = -12, t = 1, too = 1000;
    const long l = 123456;
    struct Row {
        const char* field;
        short type;
        const void* value;
        const char* stored;  // nullptr: refused, field unchanged
    } rows[] = {
        {"AMOUNT", SX_R_DOUBLE, &d, "         1.5000000"},
        {"AMOUNT", SX_R_DOUBLE, &big, nullptr},
        {"AMOUNT", SX_R_DOUBLE, &neg, "         0.0000000"},
        {"AMOUNT", SX_R_CHAR, "2.25", "         2.2500000"},
        {"AMOUNT", SX_R_CHAR, "", "                  "},
        {"SMALL", SX_R_INTEGER, &s, "-12"},
        {"SMALL", SX_R_INTEGER, &too, nullptr},
        {"SMALL", SX_R_LONG, &l, nullptr},
        {"NAME", SX_R_CHAR, "ABCDEFGHIJ", "ABCDEFGH"},
        {"NAME", SX_R_CHAR, "\xCF\xF0\xE8", "\xCF\xF0\xE8     "},
        {"NAME", SX_R_LONG, &l, "123456  "},
        {"FLAG", SX_R_LOGICAL, &t, "T"},
        {"DAY", SX_R_DATESTR, "20261210", "20261210"},
        {"COUNT", SX_R_LONG, &l, "123456"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.field) + " <- row " + std::to_string(&r - rows));
        const std::string before = sx_GetString(r.field);
        sx_Replace(r.field, r.type, r.value);
        const std::string error = sx_LastError();
        const short kind = sx_ErrorKind();
        EXPECT_STREQ(sx_GetString(r.field), r.stored ? r.stored : before.c_str());
        if (!r.stored) {
            EXPECT_NE(error.find("does not fit"), std::string::npos);
            EXPECT_EQ(kind, SX_ERR_BAD_VALUE);
        } else {
            EXPECT_EQ(kind, SX_OK) << error;
        }
    }
    sx_Go(1);  // values were written to the file, not just kept
    EXPECT_STREQ(sx_GetTrimString("NAME"), "123456");
    EXPECT_STREQ(sx_GetTrimString("SMALL"), "-12");
    EXPECT_EQ(sx_GetInteger("SMALL"), -12);
    EXPECT_EQ(sx_GetLogical("FLAG"), 1);
    EXPECT_EQ(sx_GetLong("COUNT"), 123456);
    EXPECT_EQ(sx_GetDateJulian("DAY"), 2461385);  // 10 December 2026
    EXPECT_STREQ(sx_GetDateString("DAY"), "20261210");
    EXPECT_EQ(sx_Empty("AMOUNT"), 1);
    EXPECT_EQ(sx_Empty("NAME"), 0);
    EXPECT_EQ(sx_EvalTest("DAY"), SX_EVAL_DATE);
    EXPECT_EQ(sx_EvalLogical("DTOS(DAY) = \"2026\" .and. FLAG .and. COUNT = 123456"), 1);
    sx_Replace("NOSUCH", SX_R_CHAR, "x");
    EXPECT_NE(std::string(sx_LastError()).find("NOSUCH"), std::string::npos);
}

// The program runs with the user's locale, whose decimal separator may be a comma.
TEST_F(ApiTest, NumbersIgnoreTheProcessLocale)
{
    bool commaLocale = std::setlocale(LC_NUMERIC, "uk_UA.UTF-8") != nullptr;
    if (!commaLocale) {
        // Not installed: compile it into the test folder.
        const std::string cmd = "localedef -i uk_UA -f UTF-8 '" + m_dir + "/uk_UA.UTF-8' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) == 0) {
            ::setenv("LOCPATH", m_dir.c_str(), 1);
            commaLocale = std::setlocale(LC_NUMERIC, "uk_UA.UTF-8") != nullptr;
            ::unsetenv("LOCPATH");
        }
    }
    // localedef and the uk_UA source come with Debian's locales, which
    // scripts/install-deps.sh installs: their absence is a set-up fault, not a skip.
    if (!commaLocale)
        FAIL() << "cannot make the uk_UA.UTF-8 locale: is the locales package installed?";
    struct Restore {
        ~Restore() { std::setlocale(LC_NUMERIC, "C"); }
    } restore;
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5") << "the test needs a locale that writes a decimal comma";
    const std::string p = createTable("data.dbf", dataFields());
    open(p);
    sx_AppendBlank();
    const double v = 1234.5;
    sx_Replace("POTEN", SX_R_DOUBLE, &v);
    sx_Replace("FACT", SX_R_CHAR, "0.25");
    EXPECT_STREQ(sx_GetString("POTEN"), "      1234.5000000");
    EXPECT_DOUBLE_EQ(sx_GetDouble("FACT"), 0.25);
    EXPECT_DOUBLE_EQ(sx_EvalNumeric("POTEN + 0.5"), 1235.0);
}

TEST_F(ApiTest, ReadOnlyTablesRefuseEveryWrite)
{
    const std::string p = createTable("data.dbf", dataFields());
    open(p);
    appendRow({"1", "", ""});
    sx_Close();
    const std::string before = readFile(p);
    open(p, SX_READONLY);
    EXPECT_EQ(sx_OpenMode(), SX_READONLY);
    sx_Go(1);
    sx_AppendBlank();
    sx_PutRecord(rowImage({"9", "", ""}).data());
    sx_Delete();
    const double v = 2;
    sx_Replace("CONTID", SX_R_DOUBLE, &v);
    EXPECT_NE(std::string(sx_LastError()).find("read-only"), std::string::npos);
    EXPECT_EQ(sx_RecCount(), 1);
    EXPECT_EQ(sx_Rlock(1), 1) << "reading holders may still lock";
    sx_Close();
    EXPECT_EQ(readFile(p), before);
}

TEST_F(ApiTest, WritesNeedACurrentRecord)
{
    const std::string p = createTable("data.dbf", dataFields());
    open(p);
    sx_GoTop();
    ASSERT_EQ(sx_Eof(), 1);
    sx_PutRecord(rowImage({"1", "", ""}).data());
    EXPECT_NE(std::string(sx_LastError()).find("no current record"), std::string::npos);
    sx_Delete();
    EXPECT_EQ(sx_RecCount(), 0);
    EXPECT_EQ(readFile(p).size(), 130u);
}

TEST_F(ApiTest, SettingsAndSmallFunctions)
{
    EXPECT_STRNE(sx_Version(), "");
    const short before = sx_ErrorLevel(0);
    EXPECT_EQ(sx_ErrorLevel(before), 0);
    sx_SetDeleted(1);
    EXPECT_EQ(sx_SysProp(SX_SP_DELETED_HIDDEN, nullptr), 1);
    sx_SetDeleted(0);
    EXPECT_EQ(sx_SysProp(SX_SP_DELETED_HIDDEN, nullptr), 0);
    EXPECT_EQ(sx_SysProp(1110, nullptr), 0);
    // Settings without an effect here are accepted quietly.
    sx_SetEpoch(1980);
    sx_SetCentury(1);
    sx_SetDateFormat(0);
    sx_SetMemoBlockSize(64);
    sx_SetTurboRead(1);
    sx_SetTranslate(0);
    sx_SetStringType(1);

    const std::string p = path("sample.dbf");
    writeFile(p, readFile(fixture("sample.dbf")));
    open(p);
    sx_SetDeleted(1);
    EXPECT_EQ(sx_Count(), 7);
    EXPECT_STREQ(sx_BaseName(), "sample");
    ASSERT_GT(sx_Index("code.idx", "CODE", 0, 0, ""), 0);
    EXPECT_EQ(sx_IndexType(), 2);
    EXPECT_EQ(sx_Locate("CONTID = 132", 1, 0), 1);
    EXPECT_EQ(sx_RecNo(), 4) << "the first in the current order";
    EXPECT_EQ(sx_Locate("CONTID = 132", 1, 1), 1);
    EXPECT_EQ(sx_RecNo(), 1);
    EXPECT_EQ(sx_Locate("CONTID = 132", 1, 1), 0);
    EXPECT_EQ(sx_Eof(), 1);
    EXPECT_EQ(sx_Locate("CONTID = 132", -1, 0), 1);
    EXPECT_EQ(sx_RecNo(), 1);
    EXPECT_EQ(sx_OrderRecNo(), 6);
    EXPECT_STREQ(sx_KeyData(), "12001     ");
    sx_OrderPosSet(0.0);
    EXPECT_EQ(sx_RecNo(), 5);
    sx_OrderPosSet(1.0);
    EXPECT_EQ(sx_RecNo(), 8);
    EXPECT_DOUBLE_EQ(sx_OrderPosGet(), 1.0);
    EXPECT_EQ(sx_SeekBin("07", 2), 1);
    EXPECT_EQ(sx_RecNo(), 3);
    ASSERT_EQ(sx_Rlock(2), 1);
    ASSERT_EQ(sx_Rlock(4), 1);
    long locks[4] = {};
    EXPECT_EQ(sx_DBRlockList(locks), 2);
    EXPECT_EQ(locks[0], 2);
    EXPECT_EQ(locks[1], 4);
    EXPECT_STREQ(sx_Descend("\x01\x02"), "\xFE\xFD");

    // Functions this engine does not offer fail softly and change nothing.
    sx_Pack();
    EXPECT_NE(std::string(sx_LastError()).find("not supported"), std::string::npos);
    EXPECT_EQ(sx_RecCount(), 8);
    sx_Zap();
    EXPECT_EQ(sx_RecCount(), 8);
    EXPECT_EQ(sx_IndexTag("x", "x", "CODE", 0, 0, ""), 0);
    EXPECT_EQ(sx_GetBlob("DESCR", nullptr), nullptr);
    EXPECT_EQ(sx_RYOFilterCreate(), 0);
    EXPECT_STREQ(sx_TagName(1), "");
    EXPECT_EQ(sx_CopyStructure(path("copy.dbf").c_str(), nullptr), 1);
    ASSERT_GT(sx_Use(path("copy.dbf").c_str(), "COPY", SX_READONLY, SX_SDEFOX), 0);
    EXPECT_EQ(sx_RecCount(), 0);
    EXPECT_EQ(sx_FieldCount(), 5);
}

}  // namespace
