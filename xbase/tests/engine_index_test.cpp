// Indexes kept up to date through the table's writes, checked against a plain sorted
// reference and against a freshly built index; indexes that do not match their table
// (stale, damaged, foreign) are rebuilt; fixture indexes are used as written.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <random>

#include "engine_testutil.h"
#include "xbase/src/idx.h"

using namespace enginetest;

namespace {

// One variant of the maintenance test: a key field and how random values look.
struct KeyVariant {
    const char* name;
    const char* keyField;
    bool numeric;
};

class IndexMaintenanceTest : public EngineTest, public ::testing::WithParamInterface<KeyVariant> {
protected:
    std::string randomValue(std::mt19937& rng) const
    {
        if (GetParam().numeric) {
            if (rng() % 20 == 0)
                return "";  // blank: key 0
            return std::to_string(static_cast<int>(rng() % 400) - 100);
        }
        static const char* alphabet[] = {"0", "1", "2", "A", "Z", "a", "\xC0", "\xFF", "\xB2", "\xA5", " "};
        std::string s;
        const size_t len = rng() % 11;
        for (size_t i = 0; i < len; ++i)
            s += alphabet[rng() % 11];
        return s;
    }

    // The key as the index orders it: sortable number or blank-padded text.
    std::string keyOf(const std::string& value) const
    {
        if (GetParam().numeric)
            return xb::IdxFile::numericKey(value.empty() ? 0.0 : std::stod(value));
        return xb::IdxFile::charKey(value, 10);
    }

    std::vector<std::string> row(const std::string& value) const
    {
        if (GetParam().numeric)
            return {value, "A", "x"};
        return {"1", value, "x"};
    }
};

TEST_P(IndexMaintenanceTest, RandomAppendsEditsAndDeletesKeepTheIndexInOrder)
{
    const std::string p = createTable("t.dbf", {{"CONTID", "N", 5, 0}, {"CODE", "C", 10, 0}, {"DESCR", "C", 20, 0}});
    open(p);
    ASSERT_GT(sx_Index("t.idx", GetParam().keyField, 0, 0, ""), 0) << sx_LastError();

    const unsigned seed = 1234;
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    std::vector<std::string> values;  // by record number - 1
    std::vector<bool> deleted;
    for (int step = 0; step < 700; ++step) {
        const unsigned op = rng() % 10;
        if (values.empty() || op < 5) {
            values.push_back(randomValue(rng));
            deleted.push_back(false);
            appendRow(row(values.back()));
        } else if (op < 8) {
            const size_t i = rng() % values.size();
            values[i] = randomValue(rng);
            sx_Go(static_cast<long>(i + 1));
            sx_PutRecord(rowImage(row(values[i]), deleted[i]).data());
        } else {
            const size_t i = rng() % values.size();
            deleted[i] = !deleted[i];
            sx_Go(static_cast<long>(i + 1));
            if (deleted[i])
                sx_Delete();
            else
                sx_Recall();
        }
        const size_t touched = static_cast<size_t>(sx_RecNo() - 1);
        ASSERT_EQ(sx_RecCount(), static_cast<long>(values.size())) << "step " << step;
        ASSERT_EQ(currentRecord(), rowImage(row(values[touched]), deleted[touched])) << "step " << step;
        if (step % 100 != 99)
            continue;
        // Every record, in key order and then by record number, deleted ones hidden.
        std::multimap<std::pair<std::string, long>, bool> reference;
        for (size_t i = 0; i < values.size(); ++i)
            reference.emplace(std::make_pair(keyOf(values[i]), static_cast<long>(i + 1)), deleted[i]);
        std::vector<long> all, live;
        for (const auto& [k, del] : reference) {
            all.push_back(k.second);
            if (!del)
                live.push_back(k.second);
        }
        sx_SetDeleted(0);
        ASSERT_EQ(walk(), all) << "step " << step;
        sx_SetDeleted(1);
        ASSERT_EQ(walk(), live) << "step " << step;
        ASSERT_EQ(walkBack(), std::vector<long>(live.rbegin(), live.rend())) << "step " << step;
        sx_SetDeleted(0);
    }

    // The file on disk equals an index built afresh from the table.
    sx_Close();
    xb::Status err;
    auto kept = xb::IdxFile::open(path("t.idx"), &err);
    ASSERT_TRUE(kept) << err.message();
    open(p);
    ASSERT_GT(sx_Index("fresh.idx", GetParam().keyField, 0, 0, ""), 0);
    auto fresh = xb::IdxFile::open(path("fresh.idx"), &err);
    ASSERT_TRUE(fresh) << err.message();
    ASSERT_EQ(kept->entries().size(), values.size());
    ASSERT_EQ(kept->entries().size(), fresh->entries().size());
    for (size_t i = 0; i < kept->entries().size(); ++i) {
        EXPECT_EQ(kept->entries()[i].key, fresh->entries()[i].key) << i;
        EXPECT_EQ(kept->entries()[i].recNo, fresh->entries()[i].recNo) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, IndexMaintenanceTest,
                         ::testing::Values(KeyVariant{"Numeric", "CONTID", true},
                                           KeyVariant{"Character", "CODE", false}),
                         [](const auto& info) { return std::string(info.param.name); });

class IndexRepairTest : public EngineTest {
protected:
    // Whether some holder has the table's header (append) lock byte.
    static bool headerLocked(const std::string& file)
    {
        const int fd = ::open(file.c_str(), O_RDWR);
        struct flock fl { };
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = 0x40000000;
        fl.l_len = 1;
        const bool locked = ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
        ::close(fd);
        return locked;
    }

    // DATA with ten records and DATA.IDX on CONTID, both closed.
    std::string makeIndexedData()
    {
        const std::string p = createTable("data.dbf", dataFields());
        open(p);
        for (int v : {50, 10, 40, 20, 30, 10, 60, 5, 45, 15})
            appendRow({std::to_string(v), "", ""});
        EXPECT_GT(sx_Index("data.idx", "CONTID", 0, 0, ""), 0);
        sx_Close();
        return p;
    }

    static std::vector<long> contidOrder() { return {8, 2, 6, 10, 4, 5, 3, 9, 1, 7}; }
};

TEST_F(IndexRepairTest, IndexMissingRecordsAppendedWithoutItIsRebuilt)
{
    const std::string p = makeIndexedData();
    open(p);  // no index open: the appends do not reach DATA.IDX
    appendRow({"1", "", ""});
    appendRow({"99", "", ""});
    sx_Close();

    open(p);
    ASSERT_GT(sx_IndexOpen(path("data.idx").c_str()), 0) << sx_LastError();
    sx_SetOrder(1);
    std::vector<long> want = contidOrder();
    want.insert(want.begin(), 11);
    want.push_back(12);
    EXPECT_EQ(walk(), want);
    xb::Status err;
    auto file = xb::IdxFile::open(path("data.idx"), &err);
    ASSERT_TRUE(file) << err.message();
    EXPECT_EQ(file->entries().size(), 12u) << "the rebuilt index was written back";
}

// Another program appends without keeping the index: the records join the order at
// the next positioning, and the index file is brought up to date.
TEST_F(IndexRepairTest, RecordsAppendedByAHolderWithoutTheIndexJoinTheOrder)
{
    const std::string p = makeIndexedData();
    const short withIndex = open(p, SX_READWRITE, "A");
    ASSERT_GT(sx_IndexOpen(path("data.idx").c_str()), 0);
    sx_SetOrder(1);
    const short without = open(p, SX_READWRITE, "B");
    appendRow({"3", "", ""});
    appendRow({"55", "", ""});
    sx_Select(withIndex);
    std::vector<long> want = contidOrder();
    want.insert(want.begin(), 11);
    want.insert(want.end() - 1, 12);
    EXPECT_EQ(walk(), want);
    appendRow({"4", "", ""});  // an append of its own after the foreign ones
    want.insert(want.begin() + 1, 13);
    EXPECT_EQ(walk(), want);

    // A foreign append noticed in the middle of an own append: the header stays locked
    // until the new record is written.
    sx_Select(without);
    appendRow({"70", "", ""});
    sx_Select(withIndex);
    sx_AppendBlank();
    EXPECT_TRUE(headerLocked(p));
    sx_PutRecord(rowImage({"2", "", ""}).data());
    EXPECT_FALSE(headerLocked(p));
    want.insert(want.begin(), 15);
    want.push_back(14);
    EXPECT_EQ(walk(), want);
    sx_Close();
    sx_Select(without);
    sx_Close();

    xb::Status err;
    auto file = xb::IdxFile::open(path("data.idx"), &err);
    ASSERT_TRUE(file) << err.message();
    std::vector<long> inFile;
    for (const auto& e : file->entries())
        inFile.push_back(e.recNo);
    EXPECT_EQ(inFile, want);
}

// A read-only open never writes the index, and its order still takes in the records
// another program appends: whether the order came from the file or was built in memory
// because the file lacked a record, and whether the other program leaves the file alone
// or adds only its own keys to it.
TEST_F(IndexRepairTest, ReadOnlyOrderTakesInRecordsAppendedLater)
{
    struct Row {
        const char* what;
        bool staleFile;       // the file lacks record 11 when the reader opens it
        bool writerAddsKeys;  // the other program adds its new records' keys to the file
    } rows[] = {
        {"order read from the file", false, false},
        {"order built in memory", true, false},
        {"order built in memory, the file kept by the other program", true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove(path("data.dbf"));
        fs::remove(path("data.idx"));
        const std::string p = makeIndexedData();
        std::vector<long> want = contidOrder();
        if (row.staleFile) {
            open(p);  // no index open: the file lacks record 11
            appendRow({"12", "", ""});
            sx_Close();
            want.insert(want.begin() + 3, 11);  // 12 after the two 10s
        }
        const short reader = open(p, SX_READONLY, "R");
        ASSERT_GT(sx_IndexOpen(path("data.idx").c_str()), 0) << sx_LastError();
        sx_SetOrder(1);
        EXPECT_EQ(walk(), want);

        const short writer = open(p, SX_READWRITE, "W");
        const long first = sx_RecCount() + 1;
        appendRow({"1", "", ""});   // goes first
        appendRow({"47", "", ""});  // between 45 (record 9) and 50 (record 1)
        if (row.writerAddsKeys) {
            xb::Status err;
            auto file = xb::IdxFile::open(path("data.idx"), &err);
            ASSERT_TRUE(file) << err.message();
            ASSERT_TRUE(file->insert({xb::IdxFile::numericKey(1), static_cast<uint32_t>(first)}, &err));
            ASSERT_TRUE(file->insert({xb::IdxFile::numericKey(47), static_cast<uint32_t>(first + 1)}, &err));
        }
        const std::string idxBytes = readFile(path("data.idx"));
        sx_Select(reader);
        want.insert(want.begin(), first);
        want.insert(std::find(want.begin(), want.end(), 1L), first + 1);
        EXPECT_EQ(walk(), want);
        sx_GoTop();
        EXPECT_EQ(sx_RecNo(), first);
        EXPECT_EQ(sx_Seek("47"), 1);
        EXPECT_EQ(sx_RecNo(), first + 1);
        EXPECT_EQ(readFile(path("data.idx")), idxBytes) << "a read-only open wrote the index";
        sx_Select(writer);
        sx_Close();
        sx_Select(reader);
        sx_Close();
    }
}

TEST_F(IndexRepairTest, KeyChangedBehindTheIndexIsRebuilt)
{
    const std::string p = makeIndexedData();
    std::string bytes = readFile(p);
    const size_t record2 = 129 + 42;  // CONTID of record 2: 10 -> 99
    bytes.replace(record2 + 1, 5, "   99");
    writeFile(p, bytes);

    open(p);
    ASSERT_GT(sx_IndexOpen(path("data.idx").c_str()), 0) << sx_LastError();
    sx_SetOrder(1);
    EXPECT_EQ(walk(), (std::vector<long>{8, 6, 10, 4, 5, 3, 9, 1, 7, 2}));
}

TEST_F(IndexRepairTest, DamagedIndexFiles)
{
    const std::string p = makeIndexedData();
    const std::string good = readFile(path("data.idx"));
    ASSERT_GE(good.size(), 1024u);
    struct Row {
        const char* what;
        std::string bytes;
        bool rebuilt;  // false: IndexOpen fails with a reason
    } rows[] = {
        {"node page overwritten", good.substr(0, 512) + std::string(good.size() - 512, '\xEE'), true},
        {"cut after the header", good.substr(0, 600), true},
        {"root pointer outside the file",
         [&] {
             std::string s = good;
             s[2] = '\x7F';
             return s;
         }(),
         true},
        {"empty file", "", false},
        {"garbage without a key expression", std::string(1024, '\x01'), false},
        {"index of a field this table lacks",
         [&] {
             std::string s = good;
             s.replace(16, 7, "NOFIELD");
             return s;
         }(),
         false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        writeFile(path("data.idx"), r.bytes);
        open(p);
        const short h = sx_IndexOpen(path("data.idx").c_str());
        if (r.rebuilt) {
            ASSERT_GT(h, 0) << sx_LastError();
            sx_SetOrder(h);
            EXPECT_EQ(walk(), contidOrder());
            xb::Status err;
            EXPECT_TRUE(xb::IdxFile::open(path("data.idx"), &err)) << err.message();
        } else {
            EXPECT_EQ(h, 0);
            EXPECT_NE(std::string(sx_LastError()).find("data.idx"), std::string::npos) << sx_LastError();
            EXPECT_EQ(sx_IndexOrd(), 0);
        }
        sx_Close();
    }
    EXPECT_EQ(open(p), 1);
    EXPECT_EQ(sx_IndexOpen(path("absent.idx").c_str()), 0);
}

// Indexes written by independent tools (and the format reference's own generator)
// give the orders listed with the fixtures.
TEST_F(IndexRepairTest, FixtureIndexesGiveTheirOrders)
{
    writeFile(path("sample.dbf"), readFile(fixture("sample.dbf")));
    struct Row {
        const char* file;
        std::vector<long> order;
    } rows[] = {
        {"sample_contid.idx", {3, 5, 6, 2, 7, 1, 4, 8}},
        {"sample_contid_compact.idx", {3, 5, 6, 2, 7, 1, 4, 8}},
        {"sample_code.idx", {5, 3, 7, 4, 2, 1, 6, 8}},
        {"sample_code_compact.idx", {5, 3, 7, 4, 2, 1, 6, 8}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.file);
        const std::string idx = path(r.file);
        writeFile(idx, readFile(fixture(r.file)));
        const std::string before = readFile(idx);
        open(path("sample.dbf"));
        const short h = sx_IndexOpen(idx.c_str());
        ASSERT_GT(h, 0) << sx_LastError();
        sx_SetOrder(h);
        EXPECT_EQ(walk(), r.order);
        sx_Close();
        EXPECT_EQ(readFile(idx), before) << "a matching index is not rewritten";
    }

    // Multi-level trees over 4000 records: the order of the field values.
    writeFile(path("big.dbf"), readFile(fixture("big.dbf")));
    for (const char* file : {"big_contid.idx", "big_contid_compact.idx", "big_code.idx", "big_code_compact.idx"}) {
        SCOPED_TRACE(file);
        writeFile(path(file), readFile(fixture(file)));
        const std::string before = readFile(path(file));
        open(path("big.dbf"));
        const short h = sx_IndexOpen(path(file).c_str());
        ASSERT_GT(h, 0) << sx_LastError();
        sx_SetOrder(h);
        const bool numeric = std::string(file).find("contid") != std::string::npos;
        std::vector<std::pair<std::string, long>> keyed;
        for (long r = 1; r <= 4000; ++r) {
            sx_Go(r);
            keyed.emplace_back(
                numeric ? xb::IdxFile::numericKey(sx_GetDouble("CONTID")) : std::string(sx_GetString("CODE")), r);
        }
        std::sort(keyed.begin(), keyed.end());
        std::vector<long> want;
        for (const auto& k : keyed)
            want.push_back(k.second);
        EXPECT_EQ(walk(), want);
        sx_Close();
        EXPECT_EQ(readFile(path(file)), before);
    }
}

TEST_F(IndexRepairTest, IndexNamedWithoutFolderGoesBesideTheTable)
{
    const std::string p = createTable("data.dbf", dataFields());
    // The current folder is elsewhere: the index must still land beside the table.
    open(p);
    appendRow({"5", "", ""});
    ASSERT_GT(sx_Index("DATA.IDX", "CONTID", 0, 0, ""), 0);
    EXPECT_TRUE(fs::exists(path("DATA.IDX")));
    EXPECT_STREQ(sx_IndexName(1), path("DATA.IDX").c_str());
    EXPECT_STREQ(sx_IndexKey(), "CONTID");
    EXPECT_STREQ(sx_IndexKeyField(), "CONTID");
    sx_Close();

    // Another spelling of the same name reuses the file instead of adding a second one.
    open(p);
    ASSERT_GT(sx_Index("data.idx", "CONTID", 0, 0, ""), 0);
    int indexFiles = 0;
    for (const auto& e : fs::directory_iterator(m_dir))
        if (e.path().extension() == ".idx" || e.path().extension() == ".IDX")
            ++indexFiles;
    EXPECT_EQ(indexFiles, 1);
    ASSERT_GT(sx_IndexOpen("data"), 0) << "no extension: .idx";
}

TEST_F(IndexRepairTest, BadIndexDefinitionsAreRefused)
{
    const std::string p = makeIndexedData();
    open(p);
    struct Row {
        const char* key;
        const char* condition;
    } rows[] = {{"NOFIELD", ""}, {"CONTID > 1", ""}, {"CONTID", "CONTID"}, {"CONTID", "NOFIELD = 1"}, {"", ""}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.key);
        EXPECT_EQ(sx_Index("x.idx", r.key, 0, 0, r.condition), 0);
        EXPECT_STRNE(sx_LastError(), "");
    }
    EXPECT_EQ(sx_Index("", "CONTID", 0, 0, ""), 0);
    EXPECT_FALSE(fs::exists(path("x.idx")));
}

TEST_F(IndexRepairTest, ConditionAndDescendingOrders)
{
    const std::string p = makeIndexedData();
    open(p);
    ASSERT_GT(sx_Index("big.idx", "CONTID", 0, 0, "CONTID >= 30"), 0) << sx_LastError();
    EXPECT_STREQ(sx_IndexCondition(), "CONTID >= 30");
    EXPECT_EQ(walk(), (std::vector<long>{5, 3, 9, 1, 7}));
    // A record leaving and entering the condition.
    sx_Go(5);
    sx_PutRecord(rowImage({"29", "", ""}).data());
    sx_Go(2);
    sx_PutRecord(rowImage({"31", "", ""}).data());
    EXPECT_EQ(walk(), (std::vector<long>{2, 3, 9, 1, 7}));
    sx_Close();
    open(p);
    ASSERT_GT(sx_IndexOpen(path("big.idx").c_str()), 0);
    sx_SetOrder(1);
    EXPECT_EQ(walk(), (std::vector<long>{2, 3, 9, 1, 7})) << "the condition is read back from the file";

    ASSERT_GT(sx_Index("desc.idx", "CONTID", 0, 1, ""), 0) << sx_LastError();
    EXPECT_EQ(walk(), (std::vector<long>{7, 1, 9, 3, 2, 5, 4, 10, 6, 8}));
    EXPECT_EQ(sx_Seek("40"), 1);
    EXPECT_EQ(sx_RecNo(), 3);
    sx_Skip(1);
    EXPECT_EQ(sx_RecNo(), 2);
}

// Two work areas on one table, each with the index open: one appends and edits, the
// other sees the records in their places.
TEST_F(IndexRepairTest, SecondWorkAreaFollowsChangesMadeThroughTheFirst)
{
    const std::string p = makeIndexedData();
    const short a = open(p, SX_READWRITE, "A");
    ASSERT_GT(sx_IndexOpen(path("data.idx").c_str()), 0);
    sx_SetOrder(1);
    const short b = open(p, SX_READWRITE, "B");
    ASSERT_GT(sx_IndexOpen(path("data.idx").c_str()), 0);
    sx_SetOrder(1);

    sx_Select(a);
    appendRow({"12", "", ""});
    sx_Go(1);
    sx_PutRecord(rowImage({"1", "", ""}).data());

    sx_Select(b);
    EXPECT_EQ(sx_RecCount(), 11);
    EXPECT_EQ(walk(), (std::vector<long>{1, 8, 2, 6, 11, 10, 4, 5, 3, 9, 7}));
    sx_Go(1);
    EXPECT_STREQ(sx_GetString("CONTID"), "    1");
}

}  // namespace
