#pragma once

// Byte-level reading and writing of IDX files, kept apart from file handling so that the
// decoder can be tested and fuzzed on memory images.

#include <cstddef>
#include <cstdint>
#include <string>
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
};

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

// Number of node pages the standard form of `entries` keys takes.
size_t standardPages(int keyLen, size_t entries);

// Encodes the standard (uncompressed) form: the 512-byte header and the node pages, the
// nodes placed from page `firstPage` on (the header names the root and the file length
// firstPage + pages). Entries must be sorted, unique and keyLen long.
bool encodeStandard(const Image& img, size_t firstPage, std::string* header, std::string* nodes, std::string* err);

// Entries per node of the standard form.
inline int standardCapacity(int keyLen)
{
    return int((kPage - 12) / size_t(keyLen + 4));
}

// True when byte 0 of an 8-byte key is what a numeric key of a value of ordinary magnitude
// (0 or 2^-40 <= |v| < 2^64) starts with.
bool plausibleNumericLead(uint8_t b);

}  // namespace xb::idxcodec
