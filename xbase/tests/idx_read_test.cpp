// Reading IDX files written by other programs: the fixtures, standard and compact,
// one-level and three-level, character and numeric keys.

#include <gtest/gtest.h>

#include "xbase/src/idx.h"
#include "idx_testutil.h"

using namespace idxtest;
using xb::IdxEntry;
using xb::IdxFile;
using xb::IdxKeyType;

namespace {

struct FixtureCase {
    const char* idx;
    const char* dbf;
    const char* field;
    IdxKeyType type;
    bool compact;
};

const FixtureCase kFixtures[] = {
    {"sample_contid.idx", "sample.dbf", "CONTID", IdxKeyType::Numeric, false},
    {"sample_code.idx", "sample.dbf", "CODE", IdxKeyType::Character, false},
    {"sample_contid_compact.idx", "sample.dbf", "CONTID", IdxKeyType::Numeric, true},
    {"sample_code_compact.idx", "sample.dbf", "CODE", IdxKeyType::Character, true},
    {"big_contid.idx", "big.dbf", "CONTID", IdxKeyType::Numeric, false},
    {"big_code.idx", "big.dbf", "CODE", IdxKeyType::Character, false},
    {"big_contid_compact.idx", "big.dbf", "CONTID", IdxKeyType::Numeric, true},
    {"big_code_compact.idx", "big.dbf", "CODE", IdxKeyType::Character, true},
};

class FixtureRead : public testing::TestWithParam<FixtureCase> { };

TEST_P(FixtureRead, HoldsEveryRecordInKeyOrder)
{
    const FixtureCase& c = GetParam();
    const FieldKeys want = dbfFieldKeys(fixture(c.dbf), c.field);

    // Once with the type guessed from the keys, once with the type the table gives.
    for (bool hinted : {false, true}) {
        SCOPED_TRACE(hinted ? "type given" : "type guessed");
        xb::Status err;
        auto f = hinted ? IdxFile::open(fixture(c.idx), &err, c.type) : IdxFile::open(fixture(c.idx), &err);
        ASSERT_TRUE(f) << err.message();
        EXPECT_EQ(f->keyExpr(), c.field);
        EXPECT_EQ(f->condition(), "");
        EXPECT_EQ(f->keyType(), c.type);
        EXPECT_EQ(f->keyLen(), c.type == IdxKeyType::Numeric ? 8 : want.width);
        EXPECT_EQ(f->compact(), c.compact);
        EXPECT_FALSE(f->descending());
        EXPECT_FALSE(f->unique());
        EXPECT_EQ(f->entries(), want.entries);
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureRead, testing::ValuesIn(kFixtures),
                         [](const testing::TestParamInfo<FixtureCase>& i) {
                             std::string n = i.param.idx;
                             return n.substr(0, n.find('.'));
                         });

// The orders the independent tools agree on, written out so that a fault shared by the test's
// own DBF reading and the index reader cannot hide.
TEST(FixtureRead, SampleOrdersAsDocumented)
{
    struct Case {
        const char* idx;
        std::vector<uint32_t> order;
    };
    const Case cases[] = {
        {"sample_contid.idx", {3, 5, 6, 2, 7, 1, 4, 8}},
        {"sample_contid_compact.idx", {3, 5, 6, 2, 7, 1, 4, 8}},
        {"sample_code.idx", {5, 3, 7, 4, 2, 1, 6, 8}},
        {"sample_code_compact.idx", {5, 3, 7, 4, 2, 1, 6, 8}},
    };
    for (const Case& c : cases) {
        xb::Status err;
        auto f = IdxFile::open(fixture(c.idx), &err);
        ASSERT_TRUE(f) << c.idx << ": " << err.message();
        EXPECT_EQ(recNos(f->entries()), c.order) << c.idx;
    }
    auto code = IdxFile::open(fixture("sample_code_compact.idx"), nullptr);
    ASSERT_TRUE(code);
    EXPECT_EQ(code->entries()[0].key, std::string(10, ' '));
    EXPECT_EQ(code->entries()[5].key, "12001     ");
    EXPECT_EQ(code->entries()[7].key, "ZZZZZZZZZZ");
}

TEST(KeyEncoding, NumericKeysAsDocumented)
{
    struct Case {
        double value;
        const char* hex;
    };
    const Case cases[] = {
        {0.0, "8000000000000000"},        {-0.0, "8000000000000000"}, {5, "C014000000000000"},
        {12, "C028000000000000"},         {132, "C060800000000000"},  {99999, "C0F869F000000000"},
        {1.2345678, "BFF3C0CA2A5B1D5D"},  {-3, "3FF7FFFFFFFFFFFF"},   {-12.5, "3FD6FFFFFFFFFFFF"},
        {-0.0000001, "4185280D654350B7"},
    };
    for (const Case& c : cases) {
        const std::string key = IdxFile::numericKey(c.value);
        std::string hex;
        for (unsigned char b : key) {
            static const char* digits = "0123456789ABCDEF";
            hex += digits[b >> 4];
            hex += digits[b & 15];
        }
        EXPECT_EQ(hex, c.hex) << c.value;
        EXPECT_EQ(IdxFile::numericValue(key), c.value == 0 ? 0.0 : c.value);
    }
    // Byte order of the keys is numeric order.
    const double sorted[] = {-1e300, -99999, -12.5, -3, -0.0000001, 0, 1e-300, 0.0000001, 5, 12, 132, 99999, 1e300};
    for (size_t i = 1; i < std::size(sorted); ++i)
        EXPECT_LT(IdxFile::numericKey(sorted[i - 1]), IdxFile::numericKey(sorted[i])) << sorted[i];
}

TEST(KeyEncoding, CharacterKeysArePaddedOrCut)
{
    EXPECT_EQ(IdxFile::charKey("12", 5), "12   ");
    EXPECT_EQ(IdxFile::charKey("", 3), "   ");
    EXPECT_EQ(IdxFile::charKey("123456", 4), "1234");
    EXPECT_EQ(IdxFile::charKey("\xC0\xE7", 3), "\xC0\xE7 ");
}

TEST(Seek, EveryDistinctKeyLandsOnItsFirstRecord)
{
    for (const char* name : {"big_code.idx", "big_contid_compact.idx"}) {
        auto f = IdxFile::open(fixture(name), nullptr);
        ASSERT_TRUE(f) << name;
        const auto& v = f->entries();
        for (size_t i = 0; i < v.size(); ++i) {
            if (i > 0 && v[i - 1].key == v[i].key)
                continue;
            bool found = false;
            ASSERT_EQ(f->seek(v[i].key, &found), i) << name;
            EXPECT_TRUE(found);
        }
    }
}

TEST(Seek, MissingAndPartialKeys)
{
    auto f = IdxFile::open(fixture("sample_code.idx"), nullptr);
    ASSERT_TRUE(f);
    // order: blank, 07, 1, 12, 1200, 12001, A1, ZZZZZZZZZZ
    struct Case {
        std::string key;
        size_t pos;
        bool found;
    };
    const Case cases[] = {
        {"12", 3, true},            // partial: first of 12, 1200, 12001 (records 4, 2, 1)
        {"12        ", 3, true},    // full key
        {"120", 4, true},           // 1200 and 12001 start with it
        {"11", 3, false},           // between 1 and 12
        {"12002", 6, false},        // after 12001
        {"ZZZZZZZZZZZZ", 7, true},  // longer than the key: compared on the key length
        {"ZZZZZZZZZZ\x01", 7, true},
        {"\xFF", 8, false},  // past the end
        {"", 0, true},       // an empty key matches everything
        {" ", 0, true},
    };
    for (const Case& c : cases) {
        bool found = !c.found;
        EXPECT_EQ(f->seek(c.key, &found), c.pos) << '"' << c.key << '"';
        EXPECT_EQ(found, c.found) << '"' << c.key << '"';
    }
    const auto& v = f->entries();
    EXPECT_EQ(v[3].recNo, 4u);
    EXPECT_EQ(v[4].recNo, 2u);
    EXPECT_EQ(v[5].recNo, 1u);

    auto n = IdxFile::open(fixture("sample_contid.idx"), nullptr);
    ASSERT_TRUE(n);
    bool found = false;
    EXPECT_EQ(n->seek(IdxFile::numericKey(132), &found), 5u);
    EXPECT_TRUE(found);
    EXPECT_EQ(n->seek(IdxFile::numericKey(131), &found), 5u);
    EXPECT_FALSE(found);
    EXPECT_EQ(n->seek(IdxFile::numericKey(-4), &found), 0u);
    EXPECT_FALSE(found);
}

}  // namespace

namespace {

std::unique_ptr<IdxFile> openBytes(const TempDir& dir, const std::string& bytes, xb::Status* err,
                                   const IdxKeyType* type = nullptr)
{
    const auto path = dir / "built.idx";
    writeFile(path, bytes);
    return type ? IdxFile::open(path.string(), err, *type) : IdxFile::open(path.string(), err);
}

// Compact leaves as FoxPro may write them beyond what the fixtures show.
TEST(CompactRead, LayoutsBeyondTheFixtures)
{
    TempDir dir;
    xb::Status err;

    // Blanks stored with trail 0, next to a normally trimmed key sharing a prefix with it.
    auto f = openBytes(dir, compactFile(5, {{1, 0, 0, "ab   "}, {2, 2, 3, ""}, {3, 1, 2, "c "}}), &err);
    ASSERT_TRUE(f) << err.message();
    EXPECT_EQ(f->entries(), (std::vector<IdxEntry>{{"ab   ", 1}, {"ab   ", 2}, {"ac   ", 3}}));

    // Record numbers above 65535 in 4-byte entries.
    f = openBytes(dir, compactFile(5, {{70000, 0, 4, "a"}, {16777215, 0, 3, "bb"}}, 24, 4), &err);
    ASSERT_TRUE(f) << err.message();
    EXPECT_EQ(recNos(f->entries()), (std::vector<uint32_t>{70000, 16777215}));

    // A descending file: the order is reported, the entries are held ascending.
    f = openBytes(dir, compactFile(2, {{2, 0, 0, "zz"}, {1, 0, 1, "m"}, {3, 0, 2, ""}}, 16, 4, 1), &err);
    ASSERT_TRUE(f) << err.message();
    EXPECT_TRUE(f->descending());
    EXPECT_EQ(f->entries(), (std::vector<IdxEntry>{{"  ", 3}, {"m ", 1}, {"zz", 2}}));

    // An empty compact index.
    f = openBytes(dir, compactFile(10, {}), &err);
    ASSERT_TRUE(f) << err.message();
    EXPECT_TRUE(f->entries().empty());
}

// Key length 8 without a known type: the filler of compact keys follows the guess.
TEST(CompactRead, TypeOfEightByteKeys)
{
    TempDir dir;
    xb::Status err;
    struct Case {
        const char* what;
        std::vector<CompactEntry> entries;
        IdxKeyType guessed;
    };
    const Case cases[] = {
        {"numbers 0, 12, 132", {{1, 0, 7, "\x80"}, {2, 0, 6, "\xC0\x28"}, {3, 1, 5, "\x60\x80"}}, IdxKeyType::Numeric},
        {"texts starting with digits", {{1, 0, 6, "12"}, {2, 0, 5, "345"}}, IdxKeyType::Character},
        {"a blank text among A...", {{1, 0, 8, ""}, {2, 0, 7, "A"}}, IdxKeyType::Character},
    };
    for (const Case& c : cases) {
        auto f = openBytes(dir, compactFile(8, c.entries), &err);
        ASSERT_TRUE(f) << c.what << ": " << err.message();
        EXPECT_EQ(f->keyType(), c.guessed) << c.what;
        const char filler = c.guessed == IdxKeyType::Numeric ? '\0' : ' ';
        for (const IdxEntry& e : f->entries())
            EXPECT_EQ(e.key.back(), filler) << c.what;
    }
    // The caller's type wins over the guess.
    const IdxKeyType character = IdxKeyType::Character;
    auto f = openBytes(dir, compactFile(8, cases[0].entries), &err, &character);
    ASSERT_TRUE(f) << err.message();
    EXPECT_EQ(f->entries()[0].key, std::string("\x80       ", 8));
    const IdxKeyType numeric = IdxKeyType::Numeric;
    EXPECT_FALSE(openBytes(dir, compactFile(10, {}), &err, &numeric));
    EXPECT_NE(err.message().find("numeric"), std::string::npos) << err.message();
}

}  // namespace

namespace {

void put32(std::string& s, size_t o, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[o + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}

// Variations other writers produce that do not affect the index: they are read as usual.
TEST(StandardRead, ToleratedVariations)
{
    struct Case {
        const char* what;
        const char* file;
        void (*apply)(std::string&);
    };
    const Case cases[] = {
        {"junk in the unused FOR field", "sample_contid.idx",
         [](std::string& f) { f.replace(236, 5, "\x01\x02zz\x7F"); }},
        {"sibling links 0 for none", "sample_contid.idx",
         [](std::string& f) { f.replace(516, 8, std::string(8, '\0')); }},
        {"root flag missing on a single full node", "sample_contid.idx", [](std::string& f) { f[512] = 2; }},
        {"free list head 0", "sample_contid.idx", [](std::string& f) { put32(f, 4, 0); }},
        {"pages past the tree", "big_code.idx", [](std::string& f) { f += std::string(1024, 'x'); }},
        {"no links between interior nodes", "big_code.idx",
         [](std::string& f) {
             const uint32_t root = uint8_t(f[0]) | uint32_t(uint8_t(f[1])) << 8;
             // the level below the root: the pages just before it
             for (uint32_t page = root / 512 - 2; page < root / 512; ++page)
                 f.replace(page * 512 + 4, 8, std::string(8, '\xFF'));
         }},
    };
    TempDir dir;
    for (const Case& c : cases) {
        std::string bytes = readFile(fixture(c.file));
        const auto want = IdxFile::open(fixture(c.file).string(), nullptr)->entries();
        c.apply(bytes);
        writeFile(dir / "v.idx", bytes);
        xb::Status err;
        auto f = IdxFile::open((dir / "v.idx").string(), &err);
        ASSERT_TRUE(f) << c.what << ": " << err.message();
        EXPECT_EQ(f->entries(), want) << c.what;
    }
}

}  // namespace
