// The DBF file itself: what creation and appends write, byte for byte; what is read
// from independent fixture files; which damaged files are tolerated and which refused.
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>

#include "xbase/src/dbffile.h"
#include "engine_testutil.h"

using namespace enginetest;

namespace {

class DbfFileTest : public EngineTest { };

std::string g_crashTable;

TEST_F(DbfFileTest, NewTableHeaderIsFoxProLayoutWithWindows1251Mark)
{
    // Lower-case names as the program passes them for ATTR: stored in capitals.
    const std::string p = createTable("data.dbf", {{"contid", "N", 5, 0}, {"Poten", "N", 18, 7}, {"FACT", "N", 18, 7}});
    const std::string b = readFile(p);
    const uint32_t headerLength = 32 + 3 * 32 + 1;
    const uint32_t recordLength = 1 + 5 + 18 + 18;
    ASSERT_EQ(b.size(), headerLength + 1);

    EXPECT_EQ(static_cast<unsigned char>(b[0]), 0x03);
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    EXPECT_EQ(static_cast<unsigned char>(b[1]), tm.tm_year);
    EXPECT_EQ(static_cast<unsigned char>(b[2]), tm.tm_mon + 1);
    EXPECT_EQ(static_cast<unsigned char>(b[3]), tm.tm_mday);
    EXPECT_EQ(le32(b, 4), 0u);
    EXPECT_EQ(le16(b, 8), headerLength);
    EXPECT_EQ(le16(b, 10), recordLength);
    EXPECT_EQ(b.substr(12, 17), std::string(17, '\0'));  // reserved and table flags
    EXPECT_EQ(static_cast<unsigned char>(b[29]), 0xC9);
    EXPECT_EQ(b.substr(30, 2), std::string(2, '\0'));

    struct Expect {
        const char* name;
        char type;
        uint32_t displacement, width, decimals;
    } fields[] = {{"CONTID", 'N', 1, 5, 0}, {"POTEN", 'N', 6, 18, 7}, {"FACT", 'N', 24, 18, 7}};
    for (size_t i = 0; i < 3; ++i) {
        const std::string d = b.substr(32 + 32 * i, 32);
        std::string name(fields[i].name);
        name.resize(11, '\0');
        EXPECT_EQ(d.substr(0, 11), name) << i;
        EXPECT_EQ(d[11], fields[i].type) << i;
        EXPECT_EQ(le32(d, 12), fields[i].displacement) << i;
        EXPECT_EQ(static_cast<unsigned char>(d[16]), fields[i].width) << i;
        EXPECT_EQ(static_cast<unsigned char>(d[17]), fields[i].decimals) << i;
        EXPECT_EQ(d.substr(18), std::string(14, '\0')) << i;
    }
    EXPECT_EQ(b[headerLength - 1], '\x0D');
    EXPECT_EQ(b[headerLength], '\x1A');

    open(p);
    EXPECT_STREQ(sx_FieldName(1), "CONTID");
    EXPECT_STREQ(sx_FieldName(2), "POTEN");
    EXPECT_EQ(sx_FieldOffset("poten"), 6);
    EXPECT_EQ(sx_RecSize(), static_cast<short>(recordLength));
    EXPECT_EQ(sx_RecCount(), 0);
}

TEST_F(DbfFileTest, AppendedRecordsSitAtTheirOffsetsWithCountAndEndMark)
{
    const std::string p = createTable("data.dbf", dataFields());
    open(p);
    appendRow({"132", "1.2345678", "0.5000000"});
    appendRow({"-3", "-12.5000000", ""}, true);
    sx_Close();

    const std::string b = readFile(p);
    const size_t h = 129, l = 42;
    ASSERT_EQ(b.size(), h + 2 * l + 1);
    EXPECT_EQ(le32(b, 4), 2u);
    EXPECT_EQ(b.substr(h, l), std::string(" ") + "  132" + "         1.2345678" + "         0.5000000");
    EXPECT_EQ(b.substr(h + l, l), std::string("*") + "   -3" + "       -12.5000000" + std::string(18, ' '));
    EXPECT_EQ(b.back(), '\x1A');
}

TEST_F(DbfFileTest, RecordImageRoundTripsWithDeletionFlagAndHighBytes)
{
    const std::string p = createTable("cy.dbf", cyFields());
    open(p);
    sx_AppendBlank();
    EXPECT_EQ(currentRecord(), std::string(static_cast<size_t>(sx_RecSize()), ' '));
    std::string image = rowImage({"7", "1210100000", "\xCC\x2E \xC2\xE8\xF8\xED\xEE\xEF\xB3\xEB\xFC"}, true);
    sx_PutRecord(image.data());
    sx_Go(1);
    EXPECT_EQ(currentRecord(), image);
    EXPECT_EQ(sx_Deleted(), 1);
    EXPECT_STREQ(sx_GetTrimString("DESCR"), "\xCC\x2E \xC2\xE8\xF8\xED\xEE\xEF\xB3\xEB\xFC");
}

TEST_F(DbfFileTest, BadFieldDefinitionsMakeCreationFailWithoutAFile)
{
    struct Row {
        const char* what;
        FieldDef field;
    } rows[] = {
        {"name starts with a digit", {"1ABC", "C", 5, 0}},
        {"empty name", {"", "C", 5, 0}},
        {"name of 11 characters", {"ABCDEFGHIJK", "C", 5, 0}},
        {"name with a dash", {"A-B", "C", 5, 0}},
        {"unknown type", {"A", "X", 5, 0}},
        {"empty type", {"A", "", 5, 0}},
        {"character width 0", {"A", "C", 0, 0}},
        {"character width 255", {"A", "C", 255, 0}},
        {"numeric width 21", {"A", "N", 21, 0}},
        {"decimals leave no room for the point", {"A", "N", 5, 4}},
        {"negative width", {"A", "N", -1, 0}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const std::string p = path("bad.dbf");
        ASSERT_GT(sx_CreateNew(p.c_str(), nullptr, SX_SDEFOX, 2), 0);
        sx_CreateField("GOOD", "C", 3, 0);
        sx_CreateField(r.field.name, r.field.type, static_cast<short>(r.field.width),
                       static_cast<short>(r.field.decimals));
        EXPECT_EQ(sx_CreateExec(), 0);
        EXPECT_STRNE(sx_LastError(), "");
        EXPECT_FALSE(fs::exists(p));
    }
    EXPECT_EQ(sx_CreateExec(), 0) << "CreateExec without CreateNew";
}

// sample.dbf was written by an independent tool; its content is listed with the fixtures.
TEST_F(DbfFileTest, SampleFixtureReadsAsWritten)
{
    open(fixture("sample.dbf"), SX_READONLY);
    ASSERT_EQ(sx_FieldCount(), 5);
    struct F {
        const char* name;
        const char* type;
        short offset, width, decimals;
    } fields[] = {{"CONTID", "N", 1, 5, 0},
                  {"CODE", "C", 6, 10, 0},
                  {"DESCR", "C", 16, 40, 0},
                  {"POTEN", "N", 56, 18, 7},
                  {"FACT", "N", 74, 18, 7}};
    for (short i = 0; i < 5; ++i) {
        EXPECT_STREQ(sx_FieldName(static_cast<short>(i + 1)), fields[i].name);
        EXPECT_STREQ(sx_FieldType(fields[i].name), fields[i].type);
        EXPECT_EQ(sx_FieldOffset(fields[i].name), fields[i].offset);
        EXPECT_EQ(sx_FieldWidth(fields[i].name), fields[i].width);
        EXPECT_EQ(sx_FieldDecimals(fields[i].name), fields[i].decimals);
    }
    EXPECT_EQ(sx_RecSize(), 92);
    EXPECT_EQ(sx_RecCount(), 8);

    struct R {
        bool deleted;
        const char* contid;
        const char* code;
        const char* descrStart;
        const char* poten;
        const char* fact;
    } rows[] = {
        {false, "  132", "12001     ", "\xC0\xE7\xEE\xF2\xF3 \xE4\xB3\xEE\xEA\xF1\xE8\xE4", "         1.2345678",
         "         0.5000000"},
        {false, "    5", "1200      ", "", "         0.0000000", "                  "},
        {false, "   -3", "07        ", "", "       -12.5000000", "        -0.0000001"},
        {false, "  132", "12        ", "", "  99999999.9999999", "1234567890.0000000"},
        {false, "     ", "          ", "", "                  ", "                  "},
        {true, "    0", "A1        ", "Latin text, deleted", "         0.0000001", "         3.0000000"},
        {false, "   12", "1         ", "\xA5", "       100.0000000", "         2.2500000"},
        {false, "99999", "ZZZZZZZZZZ", "", " -99999999.9999999", "         0.0000000"},
    };
    for (long r = 1; r <= 8; ++r) {
        SCOPED_TRACE("record " + std::to_string(r));
        const R& e = rows[r - 1];
        sx_Go(r);
        EXPECT_EQ(sx_RecNo(), r);
        EXPECT_EQ(sx_Deleted(), e.deleted ? 1 : 0);
        EXPECT_EQ(currentRecord()[0], e.deleted ? '*' : ' ');
        EXPECT_STREQ(sx_GetString("CONTID"), e.contid);
        EXPECT_STREQ(sx_GetString("CODE"), e.code);
        EXPECT_EQ(std::string(sx_GetString("DESCR")).rfind(e.descrStart, 0), 0u);
        EXPECT_EQ(std::strlen(sx_GetString("DESCR")), 40u);
        EXPECT_STREQ(sx_GetString("POTEN"), e.poten);
        EXPECT_STREQ(sx_GetString("FACT"), e.fact);
    }
    sx_Go(3);
    EXPECT_DOUBLE_EQ(sx_GetDouble("POTEN"), -12.5);
    EXPECT_EQ(sx_GetInteger("CONTID"), -3);
    sx_Go(5);
    EXPECT_EQ(sx_GetLong("CONTID"), 0) << "blank numeric reads as 0 in the engine";
    EXPECT_STREQ(sx_GetTrimString("CODE"), "");
}

TEST_F(DbfFileTest, DeletedRecordIsHiddenOnlyWhileTheSettingIsOn)
{
    open(fixture("sample.dbf"), SX_READONLY);
    EXPECT_EQ(walk(), (std::vector<long>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(sx_QueryRecCount(), 8);
    sx_SetDeleted(1);
    EXPECT_EQ(walk(), (std::vector<long>{1, 2, 3, 4, 5, 7, 8}));
    EXPECT_EQ(walkBack(), (std::vector<long>{8, 7, 5, 4, 3, 2, 1}));
    EXPECT_EQ(sx_RecCount(), 8) << "the physical count includes deleted records";
    EXPECT_EQ(sx_QueryRecCount(), 7);
    sx_Go(6);
    EXPECT_EQ(sx_RecNo(), 6) << "Go reaches hidden records";
    EXPECT_EQ(sx_Eof(), 0);
    sx_Skip(1);
    EXPECT_EQ(sx_RecNo(), 7);
}

TEST_F(DbfFileTest, BigFixtureHidesEverySeventeenthRecord)
{
    open(fixture("big.dbf"), SX_READONLY);
    EXPECT_EQ(sx_RecCount(), 4000);
    sx_SetDeleted(1);
    const std::vector<long> seen = walk();
    ASSERT_EQ(seen.size(), 4000u - 235u);
    for (long r : seen)
        EXPECT_NE(r % 17, 0) << r;
}

// Records are read through a block cache: every record, in file order and backwards, is
// the bytes at its offset, including those that cross a block boundary and those in the
// block the file ends in.
TEST_F(DbfFileTest, EveryRecordReadsAsTheBytesAtItsOffset)
{
    const std::string bytes = readFile(fixture("big.dbf"));
    open(fixture("big.dbf"), SX_READONLY);
    const size_t header = static_cast<uint8_t>(bytes[8]) | static_cast<uint8_t>(bytes[9]) << 8;
    const size_t length = static_cast<size_t>(sx_RecSize());
    const long count = sx_RecCount();
    ASSERT_GT(header + count * length, size_t{2} * 16384) << "the fixture should span several blocks";
    for (int pass = 0; pass < 2; ++pass) {
        for (long i = 0; i < count; ++i) {
            const long r = pass == 0 ? i + 1 : count - i;
            sx_Go(r);
            ASSERT_EQ(currentRecord(), bytes.substr(header + size_t(r - 1) * length, length)) << "record " << r;
        }
    }
}

// Variants a reader must accept: the first record is always at the header length, the
// count is the header's (records past it are not ours), and an end-of-file mark is optional.
TEST_F(DbfFileTest, ToleratedVariantsOfTheSampleTable)
{
    const std::string sample = readFile(fixture("sample.dbf"));
    auto withCount = [&](uint32_t n) {
        std::string s = sample;
        for (int i = 0; i < 4; ++i)
            s[4 + static_cast<size_t>(i)] = static_cast<char>((n >> (8 * i)) & 0xFF);
        return s;
    };
    // One 0x00 after the terminator: records start one byte later.
    std::string padded = sample.substr(0, 193) + std::string(1, '\0') + sample.substr(193);
    padded[8] = static_cast<char>(194);

    struct Row {
        const char* what;
        std::string bytes;
        long count;
    } rows[] = {
        {"no end-of-file mark", sample.substr(0, sample.size() - 1), 8},
        {"garbage after the end mark", sample + "garbage", 8},
        {"header count 7 with 8 records", withCount(7), 7},
        {"header count 0", withCount(0), 0},
        {"byte after the header terminator", padded, 8},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const std::string p = path("variant.dbf");
        writeFile(p, r.bytes);
        ASSERT_GT(sx_Use(p.c_str(), "V", SX_READONLY, SX_SDEFOX), 0) << sx_LastError();
        EXPECT_EQ(sx_RecCount(), r.count);
        EXPECT_EQ(static_cast<long>(walk().size()), r.count);
        if (r.count >= 7) {
            sx_Go(7);
            EXPECT_STREQ(sx_GetString("CODE"), "1         ");
        }
        sx_Close();
    }
}

// A table shorter than its header's count lost records (a copy cut short, a full disk):
// opening it as if it were whole would hide the loss, so it is refused with the number.
TEST_F(DbfFileTest, TableShorterThanItsCountIsRefusedWithTheMissingCount)
{
    const std::string sample = readFile(fixture("sample.dbf"));
    auto withCount = [&](uint32_t n) {
        std::string s = sample;
        for (int i = 0; i < 4; ++i)
            s[4 + static_cast<size_t>(i)] = static_cast<char>((n >> (8 * i)) & 0xFF);
        return s;
    };
    struct Row {
        const char* what;
        std::string bytes;
        long missing;
    } rows[] = {
        {"header count 9 with 8 records", withCount(9), 1},
        {"last record cut short", sample.substr(0, 193 + 7 * 92 + 50), 1},
        {"only the header left", sample.substr(0, 193), 8},
        {"header count 1000 with 8 records", withCount(1000), 992},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const std::string p = path("short.dbf");
        writeFile(p, r.bytes);
        for (short mode : {SX_READONLY, SX_READWRITE}) {
            EXPECT_EQ(sx_Use(p.c_str(), "S", mode, SX_SDEFOX), 0);
            EXPECT_EQ(sx_ErrorKind(), SX_ERR_CORRUPT);
            EXPECT_NE(std::string(sx_LastError()).find(std::to_string(r.missing) + " of"), std::string::npos)
                << sx_LastError();
            long missing = -1;
            EXPECT_EQ(sx_SysProp(SX_SP_MISSING_RECORDS, &missing), r.missing);
            EXPECT_EQ(missing, r.missing);
        }
        EXPECT_EQ(readFile(p), r.bytes);  // refused, not repaired behind the user's back
    }
    // A good open afterwards clears the figure.
    const std::string good = path("good.dbf");
    writeFile(good, sample);
    ASSERT_GT(sx_Use(good.c_str(), "G", SX_READONLY, SX_SDEFOX), 0);
    long missing = -1;
    EXPECT_EQ(sx_SysProp(SX_SP_MISSING_RECORDS, &missing), 0);
}

TEST_F(DbfFileTest, MalformedTablesAreRefusedWithAReason)
{
    const std::string sample = readFile(fixture("sample.dbf"));
    auto poke = [&](size_t at, unsigned char v) {
        std::string s = sample;
        s[at] = static_cast<char>(v);
        return s;
    };
    auto poke16 = [&](size_t at, uint32_t v) {
        std::string s = sample;
        s[at] = static_cast<char>(v & 0xFF);
        s[at + 1] = static_cast<char>(v >> 8);
        return s;
    };
    struct Row {
        const char* what;
        std::string bytes;
        const char* reason;  // part of sx_LastError
    } rows[] = {
        {"empty file", "", "shorter than a table header"},
        {"ten bytes", sample.substr(0, 10), "shorter than a table header"},
        {"file ends inside the descriptors", sample.substr(0, 100), "ends inside its header"},
        {"version byte 0x00", poke(0, 0x00), "version byte 0x00"},
        {"version byte 0xFF", poke(0, 0xFF), "version byte 0xFF"},
        {"header length 33", poke16(8, 33), "no room for a field"},
        {"header length beyond the file", poke16(8, 5000), "ends inside its header"},
        {"record length 1", poke16(10, 1), "too small"},
        {"record length beyond 16-bit sizes", poke16(10, 40000), "above the supported 32767"},
        {"record length below the fields' widths", poke16(10, 80), "smaller than its fields need"},
        {"field of width 0", poke(32 + 16, 0), "width 0"},
        {"field without a name", poke(32, 0), "no name"},
        {"control byte as field type", poke(32 + 11, 0x01), "unknown type byte"},
        {"terminator where the first field should be", poke(32, 0x0D), "no fields"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const std::string p = path("bad.dbf");
        writeFile(p, r.bytes);
        EXPECT_EQ(sx_Use(p.c_str(), "BAD", SX_READWRITE, SX_SDEFOX), 0);
        EXPECT_NE(std::string(sx_LastError()).find(r.reason), std::string::npos) << sx_LastError();
        EXPECT_EQ(sx_WorkArea("BAD"), 0);
    }
    EXPECT_EQ(sx_Use(path("missing.dbf").c_str(), nullptr, SX_READWRITE, SX_SDEFOX), 0);
    EXPECT_NE(std::string(sx_LastError()).find("missing.dbf"), std::string::npos);
    EXPECT_EQ(sx_Use(m_dir.c_str(), nullptr, SX_READWRITE, SX_SDEFOX), 0) << "a folder is not a table";
}

// A crash between writing a new record and counting it must leave a table whose
// counted records are all complete; the next append takes the uncounted slot.
TEST_F(DbfFileTest, AppendCountsTheRecordOnlyAfterWritingIt)
{
    const std::string p = createTable("data.dbf", dataFields());
    open(p);
    appendRow({"1", "1", "1"});
    sx_Close();

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        g_crashTable = p;
        xb::DbfFile::s_afterRecordWrite = [] {
            // On disk at this moment: the new record in full, still outside the count.
            const std::string b = readFile(g_crashTable);
            const bool counted = le32(b, 4) != 1u;
            const bool written = b.size() == 129u + 2 * 42u + 1u && b.substr(129 + 42, 42) == std::string(42, ' ');
            ::_exit(counted ? 4 : written ? 0 : 5);
        };
        sx_Use(p.c_str(), nullptr, SX_READWRITE, SX_SDEFOX);
        sx_AppendBlank();
        ::_exit(3);  // the hook did not run
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    const std::string b = readFile(p);
    EXPECT_EQ(le32(b, 4), 1u) << "the interrupted record is not counted";
    EXPECT_EQ(b.size(), 129u + 2 * 42u + 1u) << "but its bytes were written in full";

    open(p);
    EXPECT_EQ(sx_RecCount(), 1);
    appendRow({"2", "2", "2"});
    EXPECT_EQ(sx_RecNo(), 2);
    EXPECT_EQ(sx_RecCount(), 2);
    sx_Close();
    const std::string after = readFile(p);
    EXPECT_EQ(le32(after, 4), 2u);
    EXPECT_EQ(after.size(), 129u + 2 * 42u + 1u);
    EXPECT_EQ(after.substr(129 + 42, 6), "     2");
}

}  // namespace
