#pragma once

// Byte-level reading and writing of IDX files, kept apart from file handling so that the
// decoder can be tested and fuzzed on memory images.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "idx.h"

namespace xb::idxcodec {

constexpr size_t kPage = 512;
constexpr int kMaxStandardKeyLen = 100;
constexpr int kMaxCompactKeyLen = 240;
constexpr int kMaxExprLen = 219;  // 220-byte header fields, 0x00-terminated

struct Image {
    std::string keyExpr;
    std::string condition;
    int keyLen = 0;
    IdxKeyType keyType = IdxKeyType::Character;
    bool compact = false;
    bool unique = false;
    bool descending = false;
    std::vector<IdxEntry> entries;  // ascending (key bytes, record number)
    // Where the decoded file keeps its header and its live nodes (byte offsets); pages
    // outside [liveBegin, liveEnd) and past the header are free to be written.
    size_t headerSize = 0;
    size_t liveBegin = 0;
    size_t liveEnd = 0;
    // Standard form: a change counter in the header's last four bytes, which the format
    // leaves unused. Every write of ours moves it on, so that another holder sees a change
    // that touched one node only even when the file's times did not move.
    uint32_t generation = 0;
};

// Where the nodes of a standard file written by encodeStandard lie, for changing one leaf
// in place afterwards.
struct StandardLayout {
    struct Leaf {
        uint32_t offset = 0;  // in the file
        uint32_t count = 0;
        uint32_t left = 0;
        uint32_t right = 0;
        std::string sep;   // the key its parent holds for it ("" for a root leaf)
        std::string page;  // the node's bytes (kPage)
    };
    std::vector<Leaf> leaves;
    // The interior nodes on the right-hand edge, from the root down: offset and page image.
    std::vector<std::pair<uint32_t, std::string>> spine;
};
constexpr size_t kGenerationOffset = kPage - 4;

// Decodes a whole file. typeHint, when given, says which key type the caller expects
// (needed to restore the trailing filler of compact keys); without it the type is guessed.
bool decode(const uint8_t* data, size_t size, const IdxKeyType* typeHint, Image* out, std::string* err);

// Only the header and the tree's shape: fills keyExpr, keyLen, headerSize, liveBegin and
// liveEnd of *out, leaving the entries empty.
bool decodeLayout(const uint8_t* data, size_t size, Image* out, std::string* err);

// Only the header: data holds the file's first bytes (up to 1024; fewer when the file is
// shorter), fileSize the whole file's length. Fills keyExpr, condition, keyLen, compact,
// unique and descending. Lets a caller judge a file before reading all of it.
bool decodeHeader(const uint8_t* data, size_t size, uint64_t fileSize, Image* out, std::string* err);
constexpr size_t kHeaderBytes = 2 * kPage;

// Number of node pages the standard form of `entries` keys takes, leaves holding up to
// leafFill entries (0: as many as fit).
size_t standardPages(int keyLen, size_t entries, size_t leafFill = 0);

// Entries a leaf of a tree that will be changed in place is given: a quarter of the room
// stays free, so that most inserts change one leaf.
inline size_t maintenanceFill(int keyLen);

// Encodes the standard (uncompressed) form: the 512-byte header and the node pages, the
// nodes placed from page `firstPage` on (the header names the root and the file length
// firstPage + pages). Entries must be sorted, unique and keyLen long. Leaves hold up to
// leafFill entries (0: as many as fit); *layout, when given, receives where the nodes lie.
bool encodeStandard(const Image& img, size_t firstPage, std::string* header, std::string* nodes, std::string* err,
                    size_t leafFill = 0, StandardLayout* layout = nullptr);

// One leaf page of the standard form (kPage bytes at page).
void encodeStandardLeaf(const IdxEntry* entries, size_t count, size_t keyLen, bool root, uint32_t left, uint32_t right,
                        uint8_t* page);
// Puts an entry into a standard leaf page at position pos (0..count), or takes the one at
// pos out; the caller checks the room.
void insertIntoLeaf(uint8_t* page, size_t keyLen, size_t pos, const IdxEntry& entry);
void removeFromLeaf(uint8_t* page, size_t keyLen, size_t pos);

// Entries per node of the standard form.
inline int standardCapacity(int keyLen)
{
    return int((kPage - 12) / size_t(keyLen + 4));
}

inline size_t maintenanceFill(int keyLen)
{
    const size_t cap = size_t(standardCapacity(keyLen));
    return cap - std::max<size_t>(1, cap / 4);
}

// True when byte 0 of an 8-byte key is what a numeric key of a value of ordinary magnitude
// (0 or 2^-40 <= |v| < 2^64) starts with.
bool plausibleNumericLead(uint8_t b);

}  // namespace xb::idxcodec
