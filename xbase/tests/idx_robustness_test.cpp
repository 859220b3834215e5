// Damaged and hostile index files: each defect gives a clear error, none crashes, hangs or
// reads outside the file (run this under AddressSanitizer too).

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "xbase/src/idx.h"
#include "xbase/src/idxcodec.h"
#include "idx_testutil.h"

using namespace idxtest;
using xb::IdxEntry;
using xb::IdxFile;
using xb::IdxKeyType;

namespace {

uint32_t le32(const std::string& s, size_t o)
{
    return uint32_t(uint8_t(s[o])) | uint32_t(uint8_t(s[o + 1])) << 8 | uint32_t(uint8_t(s[o + 2])) << 16
        | uint32_t(uint8_t(s[o + 3])) << 24;
}
void put16(std::string& s, size_t o, unsigned v)
{
    s[o] = char(v & 0xFF);
    s[o + 1] = char((v >> 8) & 0xFF);
}
void put32(std::string& s, size_t o, uint32_t v)
{
    put16(s, o, v & 0xFFFF);
    put16(s, o + 2, v >> 16);
}
void putBe32(std::string& s, size_t o, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[o + size_t(i)] = char((v >> (24 - 8 * i)) & 0xFF);
}

// big_code.idx: C(6) keys (10-byte entries), three levels; the root is the last page.
// big_code_compact.idx: the same keys compact.
// sample_contid.idx: one root leaf at 512 with 8 numeric keys (12-byte entries).
// sample_code_compact.idx: one root leaf at 1024 with 3-byte entries.
struct Damage {
    const char* what;
    const char* file;
    std::function<void(std::string&)> apply;
    const char* error;  // part of the expected message
};

const Damage kDamage[] = {
    {"tiny file", "sample_contid.idx", [](std::string& f) { f.resize(10); }, "too short"},
    {"header only", "sample_contid.idx", [](std::string& f) { f.resize(512); }, "too short"},
    {"cut inside the last node", "big_code.idx", [](std::string& f) { f.resize(f.size() - 100); }, "truncated"},
    {"cut inside the last node, length field matching", "big_code.idx",
     [](std::string& f) {
         f.resize(f.size() - 100);
         put32(f, 8, uint32_t(f.size()));
     },
     "root offset"},
    {"length field beyond the file", "sample_contid.idx", [](std::string& f) { put32(f, 8, 4096); }, "truncated"},
    {"compound header", "sample_code_compact.idx", [](std::string& f) { f[14] = 0x60; }, "compound"},
    {"key length 0", "sample_contid.idx", [](std::string& f) { put16(f, 12, 0); }, "key length"},
    {"key length 101 (standard)", "sample_contid.idx", [](std::string& f) { put16(f, 12, 101); }, "key length"},
    {"key length 241 (compact)", "sample_code_compact.idx", [](std::string& f) { put16(f, 12, 241); }, "key length"},
    {"root not on a page boundary", "sample_contid.idx", [](std::string& f) { put32(f, 0, 513); }, "root offset"},
    {"root in the header", "sample_code_compact.idx", [](std::string& f) { put32(f, 0, 512); }, "root offset"},
    {"root past the end", "sample_contid.idx", [](std::string& f) { put32(f, 0, 1024); }, "root offset"},
    {"unknown node type", "sample_contid.idx", [](std::string& f) { put16(f, 512, 7); }, "node type"},
    {"leaf over capacity", "sample_contid.idx", [](std::string& f) { put16(f, 514, 42); }, "at most 41"},
    {"record number 0", "sample_contid.idx", [](std::string& f) { putBe32(f, 512 + 12 + 8, 0); }, "record number 0"},
    {"keys swapped", "sample_contid.idx",
     [](std::string& f) {
         const std::string a = f.substr(524, 12);
         f.replace(524, 12, f.substr(536, 12));
         f.replace(536, 12, a);
     },
     "out of order"},
    {"same record twice", "sample_contid.idx", [](std::string& f) { f.replace(536, 12, f.substr(524, 12)); },
     "out of order"},
    {"key expression missing", "sample_contid.idx", [](std::string& f) { f[16] = 0; }, "no key expression"},
    {"key expression with control bytes", "sample_contid.idx", [](std::string& f) { f[17] = 1; }, "not text"},
    {"child points to its parent", "big_code.idx",
     [](std::string& f) {
         const uint32_t root = le32(f, 0);
         putBe32(f, root + 12 + 6, root);
     },
     "twice"},
    {"child points to the header", "big_code.idx", [](std::string& f) { putBe32(f, le32(f, 0) + 12 + 6, 0); },
     "not a node"},
    {"child not on a page boundary", "big_code.idx", [](std::string& f) { putBe32(f, le32(f, 0) + 12 + 6, 700); },
     "not a node"},
    {"leaf hung at the interior level", "big_code.idx", [](std::string& f) { putBe32(f, le32(f, 0) + 12 + 6, 512); },
     "mixed"},
    {"interior node without entries", "big_code.idx", [](std::string& f) { put16(f, le32(f, 0) + 2, 0); }, "0 entries"},
    {"interior key below its subtree", "big_code.idx",
     [](std::string& f) { f.replace(le32(f, 0) + 12, 6, std::string(6, '\0')); }, "interior key"},
    {"interior key above the next subtree", "big_code.idx",
     [](std::string& f) { f.replace(le32(f, 0) + 12, 6, std::string(6, '\xFF')); }, "interior key"},
    {"leaf sibling link broken", "big_code.idx", [](std::string& f) { put32(f, 512 + 8, 0xFFFFFFFF); }, "sibling"},
    {"leaf sibling link looping", "big_code.idx", [](std::string& f) { put32(f, 1024 + 8, 512); }, "sibling"},
    {"compact order 2", "sample_code_compact.idx", [](std::string& f) { put16(f, 502, 2); }, "order"},
    {"compact key expression outside its pool", "sample_code_compact.idx", [](std::string& f) { put16(f, 508, 600); },
     "outside"},
    {"compact bit layout", "sample_code_compact.idx", [](std::string& f) { f[1024 + 23] = 9; }, "bit layout"},
    {"compact bits not filling the entry", "sample_code_compact.idx", [](std::string& f) { f[1024 + 20] = 15; },
     "bit layout"},
    {"compact masks", "sample_code_compact.idx", [](std::string& f) { f[1024 + 14] = 0x7F; }, "masks"},
    {"compact counts over the key length", "sample_code_compact.idx",
     [](std::string& f) { f[1024 + 24 + 2] = char(0xF0); },  // entry 0: trail 15
     "exceed"},
    {"compact first entry with shared bytes", "sample_code_compact.idx",
     [](std::string& f) { f[1024 + 24 + 2] = char(0x91); },  // entry 0: dup 1, trail 9
     "first entry"},
    {"compact free space overstated", "sample_code_compact.idx", [](std::string& f) { put16(f, 1024 + 12, 480); },
     "free space"},
    {"compact keys overrunning the entry table", "sample_code_compact.idx",
     [](std::string& f) {
         put16(f, 1024 + 2, 160);            // 160 entries of 3 bytes...
         for (size_t i = 0; i < 160; ++i) {  // ...each storing all 10 bytes of a key
             f[1024 + 24 + 3 * i] = char(i + 1);
             f[1024 + 24 + 3 * i + 1] = 0;
             f[1024 + 24 + 3 * i + 2] = 0;
         }
     },
     "overrun"},
};

class Damaged : public testing::TestWithParam<Damage> { };

TEST_P(Damaged, GivesAClearError)
{
    const Damage& d = GetParam();
    std::string bytes = readFile(fixture(d.file));
    d.apply(bytes);
    TempDir dir;
    const auto path = dir / "damaged.idx";
    writeFile(path, bytes);
    xb::Status err;
    EXPECT_FALSE(IdxFile::open(path.string(), &err));
    EXPECT_NE(err.message().find(d.error), std::string::npos) << err.message();
    EXPECT_NE(err.message().find(path.string()), std::string::npos) << err.message();
}

INSTANTIATE_TEST_SUITE_P(Idx, Damaged, testing::ValuesIn(kDamage), [](const testing::TestParamInfo<Damage>& i) {
    std::string n;
    for (const char* p = i.param.what; *p; ++p)
        n += std::isalnum(uint8_t(*p)) ? *p : '_';
    return n;
});

TEST(Damaged, FilesThatAreNotThere)
{
    TempDir dir;
    xb::Status err;
    EXPECT_FALSE(IdxFile::open((dir / "missing.idx").string(), &err));
    EXPECT_NE(err.message().find("missing.idx"), std::string::npos) << err.message();
    EXPECT_FALSE(IdxFile::open(dir.path().string(), &err));
    EXPECT_NE(err.message().find("not a regular file"), std::string::npos) << err.message();
    writeFile(dir / "empty.idx", "");
    EXPECT_FALSE(IdxFile::open((dir / "empty.idx").string(), &err));
    EXPECT_NE(err.message().find("too short"), std::string::npos) << err.message();
}

// A chain of interior nodes, each the only child of the one above, deeper than any real tree.
TEST(Damaged, EndlessDepthIsCut)
{
    std::string f(512 * 41, '\0');
    put32(f, 0, 512);
    put32(f, 4, 0xFFFFFFFF);
    put32(f, 8, uint32_t(f.size()));
    put16(f, 12, 4);
    f.replace(16, 1, "K");
    for (uint32_t page = 1; page < 41; ++page) {
        const size_t n = page * 512;
        put16(f, n, page == 1 ? 1 : 0);
        put16(f, n + 2, 1);
        put32(f, n + 4, 0xFFFFFFFF);
        put32(f, n + 8, 0xFFFFFFFF);
        f.replace(n + 12, 4, "zzzz");
        putBe32(f, n + 16, (page + 1) * 512);
    }
    xb::idxcodec::Image img;
    std::string err;
    EXPECT_FALSE(xb::idxcodec::decode(reinterpret_cast<const uint8_t*>(f.data()), f.size(), nullptr, &img, &err));
    EXPECT_NE(err.find("deeper"), std::string::npos) << err;
}

// Random damage to every fixture: whatever is accepted must still be a well-formed key list.
TEST(Fuzz, RandomDamageNeverBreaksTheReader)
{
    const char* files[] = {"sample_contid.idx",       "sample_code.idx",     "sample_contid_compact.idx",
                           "sample_code_compact.idx", "big_contid.idx",      "big_code.idx",
                           "big_contid_compact.idx",  "big_code_compact.idx"};
    std::mt19937 rng(20261210);
    size_t accepted = 0, rejected = 0;
    for (const char* name : files) {
        const std::string original = readFile(fixture(name));
        const size_t pages = original.size() / 512;
        for (int round = 0; round < 400; ++round) {
            std::string f = original;
            switch (round % 5) {
            case 0:  // truncation
                f.resize(rng() % f.size());
                break;
            case 1:  // a few random bytes anywhere
                for (unsigned i = rng() % 4 + 1; i > 0; --i)
                    f[rng() % f.size()] = char(rng());
                break;
            case 2: {  // node header fields of one page
                const size_t page = 512 * (rng() % pages);
                for (unsigned i = rng() % 3 + 1; i > 0; --i)
                    f[page + rng() % 24] = char(rng());
                break;
            }
            case 3: {  // a plausible page offset written where a pointer may be
                const uint32_t target = uint32_t(512 * (rng() % (pages + 2)));
                const size_t at = rng() % (f.size() - 4);
                if (rng() % 2)
                    put32(f, at, target);
                else
                    putBe32(f, at, target);
                break;
            }
            case 4:  // bit flips in key and entry bytes
                for (unsigned i = rng() % 8 + 1; i > 0; --i)
                    f[rng() % f.size()] ^= char(1 << (rng() % 8));
                break;
            }
            for (int hinted = 0; hinted < 2; ++hinted) {
                const IdxKeyType type =
                    std::string(name).find("contid") != std::string::npos ? IdxKeyType::Numeric : IdxKeyType::Character;
                xb::idxcodec::Image img;
                std::string err;
                const bool ok = xb::idxcodec::decode(reinterpret_cast<const uint8_t*>(f.data()), f.size(),
                                                     hinted ? &type : nullptr, &img, &err);
                if (!ok) {
                    ++rejected;
                    EXPECT_FALSE(err.empty());
                    continue;
                }
                ++accepted;
                ASSERT_GE(img.keyLen, 1);
                for (size_t i = 0; i < img.entries.size(); ++i) {
                    const IdxEntry& e = img.entries[i];
                    ASSERT_EQ(e.key.size(), size_t(img.keyLen)) << name << " round " << round;
                    ASSERT_NE(e.recNo, 0u);
                    if (i > 0) {
                        ASSERT_TRUE(entryLess(img.entries[i - 1], e)) << name << " round " << round;
                    }
                }
            }
        }
    }
    // Most damage must be caught; some (a changed key that keeps the order) is invisible.
    EXPECT_GT(rejected, accepted);
}

}  // namespace
