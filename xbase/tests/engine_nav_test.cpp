// Navigation (record and index order, Eof/Bof, the deleted setting), seeks and
// queries, checked against orders and counts computed independently in the test.
#include <algorithm>
#include <functional>
#include <random>

#include "engine_testutil.h"

using namespace enginetest;

namespace {

class NavTest : public EngineTest {
protected:
    // A private copy of sample.dbf (the engine may write index files beside it).
    std::string sampleCopy()
    {
        const std::string p = path("sample.dbf");
        writeFile(p, readFile(fixture("sample.dbf")));
        return p;
    }
};

TEST_F(NavTest, IndexOrderWithDeletedRecordsShownAndHidden)
{
    open(sampleCopy());
    ASSERT_GT(sx_Index("contid.idx", "CONTID", 0, 0, ""), 0) << sx_LastError();
    EXPECT_EQ(walk(), (std::vector<long>{3, 5, 6, 2, 7, 1, 4, 8}));
    sx_SetDeleted(1);
    EXPECT_EQ(walk(), (std::vector<long>{3, 5, 2, 7, 1, 4, 8}));
    EXPECT_EQ(walkBack(), (std::vector<long>{8, 4, 1, 7, 2, 5, 3}));

    ASSERT_GT(sx_Index("code.idx", "CODE", 0, 0, ""), 0) << sx_LastError();
    EXPECT_EQ(walk(), (std::vector<long>{5, 3, 7, 4, 2, 1, 8}));
    sx_SetDeleted(0);
    EXPECT_EQ(walk(), (std::vector<long>{5, 3, 7, 4, 2, 1, 6, 8}));

    EXPECT_EQ(sx_SetOrder(0), 2);
    EXPECT_EQ(walk(), (std::vector<long>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(sx_SetOrder(1), 0);
    EXPECT_EQ(sx_IndexOrd(), 1);
    EXPECT_EQ(walk(), (std::vector<long>{3, 5, 6, 2, 7, 1, 4, 8}));
    EXPECT_EQ(sx_SetOrder(7), 1) << "an unknown handle changes nothing";
    EXPECT_EQ(sx_IndexOrd(), 1);

    // SetOrder keeps the current record and continues from its place in the new order.
    sx_Go(7);
    sx_SetOrder(2);
    sx_Skip(1);
    EXPECT_EQ(sx_RecNo(), 4);
    sx_IndexClose();
    EXPECT_EQ(sx_IndexOrd(), 0);
    EXPECT_EQ(walk(), (std::vector<long>{1, 2, 3, 4, 5, 6, 7, 8}));
}

// sx_SkipRecord is sx_Select, sx_Skip and sx_GetRecord in one call: the same
// records in any order and either way, the same bytes, and at the edges 0
// with the buffer left alone.
TEST_F(NavTest, SkipRecordStepsAsSkipAndGetRecordDo)
{
    const short area = open(sampleCopy());
    ASSERT_GT(sx_Index("code.idx", "CODE", 0, 0, ""), 0) << sx_LastError();
    const std::string other = createTable("other.dbf", dataFields());
    const short otherArea = open(other);
    ASSERT_NE(otherArea, area);
    const size_t size = static_cast<size_t>([&] {
        sx_Select(area);
        return sx_RecSize();
    }());
    for (const bool hidden : {false, true}) {
        for (const long step : {1L, -1L}) {
            SCOPED_TRACE(std::string(hidden ? "deleted hidden, " : "deleted shown, ") + (step > 0 ? "on" : "back"));
            sx_Select(area);
            sx_SetDeleted(hidden ? 1 : 0);
            const std::vector<long> expected = step > 0 ? walk() : walkBack();
            std::vector<std::string> images;
            for (const long r : expected) {
                sx_Go(r);
                images.push_back(currentRecord());
            }
            step > 0 ? sx_GoTop() : sx_GoBottom();
            std::vector<long> seen{sx_RecNo()};
            std::string buffer(size, '#');
            sx_Select(otherArea);  // the call selects its own area
            for (long r; (r = sx_SkipRecord(area, step, buffer.data())) > 0;) {
                EXPECT_EQ(buffer, images.at(seen.size())) << "record " << r;
                seen.push_back(r);
                buffer.assign(size, '#');
            }
            EXPECT_EQ(sx_ErrorKind(), SX_OK) << sx_LastError();
            EXPECT_EQ(seen, expected);
            EXPECT_EQ(buffer, std::string(size, '#')) << "the edge leaves the buffer alone";
            EXPECT_EQ(step > 0 ? sx_Eof() : sx_Bof(), 1);
            EXPECT_EQ(sx_SkipRecord(area, step, buffer.data()), 0) << "and stays there";
        }
    }

    std::string buffer(size, '#');
    const struct {
        const char* what;
        short area;
        char* buffer;
        short kind;
    } failures[] = {
        {"work area 0", 0, buffer.data(), SX_ERR_OTHER},
        {"beyond the last work area", 251, buffer.data(), SX_ERR_OTHER},
        {"no table in the area", 77, buffer.data(), SX_ERR_NOT_FOUND},
        {"no buffer", area, nullptr, SX_ERR_OTHER},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(f.what);
        sx_Select(area);
        sx_GoTop();
        EXPECT_EQ(sx_SkipRecord(f.area, 1, f.buffer), 0);
        EXPECT_EQ(sx_ErrorKind(), f.kind);
        EXPECT_EQ(buffer, std::string(size, '#'));
    }
}

TEST_F(NavTest, EofAndBofAtTheEdges)
{
    const std::string p = createTable("data.dbf", dataFields());
    open(p);
    sx_GoTop();
    EXPECT_EQ(sx_Eof(), 1);
    EXPECT_EQ(sx_Bof(), 1);
    EXPECT_EQ(sx_RecNo(), 1) << "the phantom record of an empty table";
    EXPECT_EQ(currentRecord(), std::string(42, ' '));
    sx_Skip(1);
    EXPECT_EQ(sx_Eof(), 1);

    for (int i = 1; i <= 5; ++i)
        appendRow({std::to_string(i * 10), "", ""}, i == 1 || i == 5);
    sx_SetDeleted(1);  // visible: 2, 3, 4

    sx_GoTop();
    EXPECT_EQ(sx_RecNo(), 2);
    sx_Skip(-1);
    EXPECT_EQ(sx_Bof(), 1);
    EXPECT_EQ(sx_Eof(), 0);
    EXPECT_EQ(sx_RecNo(), 2) << "Bof stays on the first visible record";
    sx_Skip(1);
    EXPECT_EQ(sx_Bof(), 0);
    EXPECT_EQ(sx_RecNo(), 3);
    sx_Skip(5);
    EXPECT_EQ(sx_Eof(), 1);
    EXPECT_EQ(sx_RecNo(), 6) << "Eof is record count + 1";
    EXPECT_EQ(currentRecord(), std::string(42, ' '));
    sx_Skip(-1);
    EXPECT_EQ(sx_Eof(), 0);
    EXPECT_EQ(sx_RecNo(), 4) << "one back from Eof is the last visible record";
    sx_Skip(-2);
    EXPECT_EQ(sx_RecNo(), 2);
    EXPECT_EQ(sx_Bof(), 0);
    sx_GoBottom();
    EXPECT_EQ(sx_RecNo(), 4);

    sx_Go(0);
    EXPECT_EQ(sx_Eof(), 1);
    sx_Go(6);
    EXPECT_EQ(sx_Eof(), 1);
    sx_Go(5);
    EXPECT_EQ(sx_Eof(), 0);
    EXPECT_EQ(sx_Deleted(), 1);
    sx_Skip(-1);
    EXPECT_EQ(sx_RecNo(), 4) << "skipping from a hidden record";

    // Nothing visible: top and bottom are Eof and Bof at once.
    sx_Query("CONTID = 999");
    EXPECT_EQ(sx_Eof(), 1);
    EXPECT_EQ(sx_Bof(), 1);
    sx_GoBottom();
    EXPECT_EQ(sx_Eof(), 1);
    EXPECT_EQ(sx_QueryRecCount(), 0);
}

TEST_F(NavTest, SeekNumericAndCharacterKeys)
{
    open(sampleCopy());
    const short byContid = sx_Index("contid.idx", "CONTID", 0, 0, "");
    const short byCode = sx_Index("code.idx", "CODE", 0, 0, "");
    ASSERT_GT(byCode, 0);

    struct Row {
        short order;
        const char* key;
        bool softSeek;
        short found;
        long recNo;  // 9 = Eof
    } rows[] =
        {
            {byContid, "  132", false, 1, 1},  // first of two equal keys
            {byContid, "132", false, 1, 1},
            {byContid, "   -3", false, 1, 3},
            {byContid, "99999", false, 1, 8},
            {byContid, "  131", false, 0, 9},
            {byContid, "  131", true, 0, 1},   // soft seek lands on the next key
            {byContid, "100000", true, 0, 9},  // nothing after it
            {byContid, "     ", false, 1, 5},  // blank key is 0
            {byCode, "12        ", false, 1, 4},
            {byCode, "12", false, 1, 4},  // leading part: the first key that begins with it
            {byCode, "1200", false, 1, 2},
            {byCode, "07        ", false, 1, 3},
            {byCode, "13", false, 0, 9},
            {byCode, "13", true, 0, 6},  // "A1" follows
            {byCode, "ZZZZZZZZZZ", false, 1, 8},
            {byCode, "ZZZZZZZZZZZZ", false, 1, 8},  // longer than the key: cut to it
        };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string("key [") + r.key + "] order " + std::to_string(r.order));
        sx_SetOrder(r.order);
        sx_SetSoftSeek(r.softSeek ? 1 : 0);
        sx_GoTop();
        EXPECT_EQ(sx_Seek(r.key), r.found);
        EXPECT_EQ(sx_Found(), r.found);
        EXPECT_EQ(sx_RecNo(), r.recNo);
        EXPECT_EQ(sx_Eof(), r.recNo == 9 ? 1 : 0);
    }
    sx_SetSoftSeek(0);

    // A hidden record is not found; the next visible equal key is.
    sx_SetOrder(byContid);
    sx_SetDeleted(1);
    EXPECT_EQ(sx_Seek("0"), 1);
    EXPECT_EQ(sx_RecNo(), 5);
    sx_Go(5);
    sx_Delete();
    EXPECT_EQ(sx_Seek("0"), 0);
    EXPECT_EQ(sx_Eof(), 1);
    sx_Query("CONTID = 132 .and. RECNO() > 1");
    EXPECT_EQ(sx_Seek("132"), 1);
    EXPECT_EQ(sx_RecNo(), 4) << "records outside the query are skipped";
    sx_Query("");

    // After a found key, skipping continues in key order.
    EXPECT_EQ(sx_Seek("12"), 1);
    sx_Skip(1);
    EXPECT_EQ(sx_RecNo(), 1);

    sx_SetOrder(0);
    EXPECT_EQ(sx_Seek("12"), 0) << "no order, no seek";
    EXPECT_STRNE(sx_LastError(), "");
}

// A DATA table of random pollutant ids, blanks and deleted records, indexed on CONTID.
class DataQueryTest : public NavTest {
protected:
    struct Row {
        int contid;  // -1: blank
        bool deleted;
    };

    void SetUp() override
    {
        NavTest::SetUp();
        const std::string p = createTable("data.dbf", dataFields());
        open(p);
        std::mt19937 rng(20261210);
        for (int i = 0; i < 600; ++i) {
            Row r{static_cast<int>(rng() % 142), rng() % 10 == 0};
            if (rng() % 50 == 0)
                r.contid = -1;
            m_rows.push_back(r);
            appendRow({r.contid < 0 ? "" : std::to_string(r.contid), "1.5", "2.25"}, r.deleted);
        }
        ASSERT_GT(sx_Index("data.idx", "CONTID", 0, 0, ""), 0) << sx_LastError();
        sx_SetDeleted(1);
    }

    // Visible records satisfying pred, in CONTID order (ties by record number).
    std::vector<long> expected(const std::function<bool(int)>& pred) const
    {
        std::vector<std::pair<int, long>> hits;
        for (size_t i = 0; i < m_rows.size(); ++i) {
            const int v = m_rows[i].contid < 0 ? 0 : m_rows[i].contid;
            if (!m_rows[i].deleted && pred(v))
                hits.emplace_back(v, static_cast<long>(i + 1));
        }
        std::sort(hits.begin(), hits.end());
        std::vector<long> recs;
        for (const auto& h : hits)
            recs.push_back(h.second);
        return recs;
    }

    std::vector<Row> m_rows;
};

TEST_F(DataQueryTest, EveryGroupTotalQueryMatchesABruteForceFilter)
{
    struct Q {
        const char* expr;
        std::function<bool(int)> pred;
    } queries[] = {
        {"CONTID > 0 .and. CONTID < 12", [](int c) { return c > 0 && c < 12; }},
        {"CONTID = 132", [](int c) { return c == 132; }},
        {"CONTID > 11 .and. CONTID < 18", [](int c) { return c > 11 && c < 18; }},
        {"CONTID = 133", [](int c) { return c == 133; }},
        {"CONTID = 21 .or. CONTID = 22 .or. CONTID = 134", [](int c) { return c == 21 || c == 22 || c == 134; }},
        {"CONTID = 19 .or. CONTID = 20", [](int c) { return c == 19 || c == 20; }},
        {"CONTID = 18", [](int c) { return c == 18; }},
        {"CONTID = 30 .or. CONTID = 31", [](int c) { return c == 30 || c == 31; }},
        {"CONTID = 135", [](int c) { return c == 135; }},
        {"(CONTID > 34 .and. CONTID < 40) .or. (CONTID = 136)", [](int c) { return (c > 34 && c < 40) || c == 136; }},
        {"CONTID = 34", [](int c) { return c == 34; }},
        {"(CONTID > 40 .and. CONTID < 64) .or. (CONTID > 64 .and. CONTID < 78) .or. "
         "(CONTID > 78 .and. CONTID < 94) .or. (CONTID = 137)",
         [](int c) { return (c > 40 && c < 64) || (c > 64 && c < 78) || (c > 78 && c < 94) || c == 137; }},
        {"CONTID = 40", [](int c) { return c == 40; }},
        {"(CONTID > 95 .and. CONTID < 116) .or. (CONTID = 138)", [](int c) { return (c > 95 && c < 116) || c == 138; }},
        {"CONTID = 95", [](int c) { return c == 95; }},
    };
    for (const Q& q : queries) {
        SCOPED_TRACE(q.expr);
        const std::vector<long> want = expected(q.pred);
        ASSERT_FALSE(want.empty()) << "the random table should hold each group";
        EXPECT_EQ(sx_QueryTest(q.expr), 2);
        ASSERT_EQ(sx_Query(q.expr), 1) << sx_LastError();
        EXPECT_EQ(sx_RecNo(), want.front()) << "the first visible record is current";
        EXPECT_EQ(sx_Eof(), 0);
        EXPECT_EQ(sx_QueryRecCount(), static_cast<long>(want.size()));
        EXPECT_STREQ(sx_DBFilter(), q.expr);
        EXPECT_EQ(walk(), want);
    }
    ASSERT_EQ(sx_Query(""), 1);
    EXPECT_STREQ(sx_DBFilter(), "");
    EXPECT_EQ(sx_RecNo(), expected([](int) { return true; }).front());
    EXPECT_EQ(walk(), expected([](int) { return true; }));
}

TEST_F(DataQueryTest, ChangedAndAppendedRecordsAreReevaluated)
{
    ASSERT_EQ(sx_Query("CONTID = 18"), 1);
    const std::vector<long> before = walk();
    ASSERT_FALSE(before.empty());

    appendRow({"18", "", ""});
    const long added = sx_RecNo();
    appendRow({"19", "", ""});
    std::vector<long> want = before;
    want.push_back(added);
    EXPECT_EQ(walk(), want);

    // Moving the first match out of the query and a 19 into it.
    sx_Go(before.front());
    sx_PutRecord(rowImage({"17", "", ""}).data());
    sx_Go(added + 1);
    sx_PutRecord(rowImage({"18", "", ""}).data());
    want.erase(want.begin());
    want.push_back(added + 1);
    EXPECT_EQ(walk(), want);
    EXPECT_EQ(sx_QueryRecCount(), static_cast<long>(want.size()));

    sx_Go(added);
    sx_Delete();
    want.erase(std::find(want.begin(), want.end(), added));
    EXPECT_EQ(walk(), want);
    EXPECT_EQ(sx_GetQueryBit(added), 1) << "the query still holds; the deleted setting hides it";
}

TEST_F(NavTest, PrefixQueryOnCodesGivesTheSmallestMatchingCodeFirst)
{
    const std::string p = createTable("cy.dbf", cyFields());
    open(p);
    std::mt19937 rng(7);
    std::vector<std::string> codes;
    for (int i = 0; i < 3000; ++i) {
        std::string code = std::to_string(10 + rng() % 17) + std::to_string(1000000 + rng() % 9000000);
        if (i % 97 == 0)
            code = "1";  // a code that is a prefix of the query text: no match
        if (i % 101 == 0)
            code = "12";
        codes.push_back(code);
        appendRow({std::to_string(i + 1), code, "name"});
    }
    ASSERT_GT(sx_Index("cy.idx", "CODE", 0, 0, ""), 0);
    sx_SetDeleted(1);

    std::vector<std::pair<std::string, long>> hits;
    for (size_t i = 0; i < codes.size(); ++i)
        if (codes[i].rfind("12", 0) == 0)
            hits.emplace_back(codes[i] + std::string(10 - codes[i].size(), ' '), static_cast<long>(i + 1));
    std::sort(hits.begin(), hits.end());

    ASSERT_EQ(sx_Query("CODE = \"12\""), 1);
    EXPECT_EQ(sx_QueryRecCount(), static_cast<long>(hits.size()));
    EXPECT_EQ(sx_RecNo(), hits.front().second);
    EXPECT_STREQ(sx_GetString("CODE"), hits.front().first.c_str());
    std::vector<long> want;
    for (const auto& h : hits)
        want.push_back(h.second);
    EXPECT_EQ(walk(), want);
}

}  // namespace
