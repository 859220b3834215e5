#include "idxcodec.h"

#include <algorithm>
#include <cstring>

#include "idxcodecinternal.h"

// Writing the standard form: whole trees, and single entries put into or taken out of a
// leaf page.

namespace xb::idxcodec {

size_t standardPages(int keyLen, size_t entries, size_t leafFill)
{
    const size_t cap = size_t(standardCapacity(keyLen));
    const size_t fill = leafFill == 0 || leafFill > cap ? cap : leafFill;
    size_t level = std::max<size_t>(1, (entries + fill - 1) / fill);
    size_t pages = level;
    while (level > 1) {
        level = (level + cap - 1) / cap;
        pages += level;
    }
    return pages;
}

void encodeStandardLeaf(const IdxEntry* entries, size_t count, size_t keyLen, bool root, uint32_t left, uint32_t right,
                        uint8_t* page)
{
    std::memset(page, 0, kPage);
    putLe16(page, uint16_t(2 | (root ? 1 : 0)));
    putLe16(page + 2, uint16_t(count));
    putLe32(page + 4, left);
    putLe32(page + 8, right);
    uint8_t* p = page + 12;
    for (size_t j = 0; j < count; ++j, p += keyLen + 4) {
        std::memcpy(p, entries[j].key.data(), keyLen);
        putBe32(p + keyLen, entries[j].recNo);
    }
}

void insertIntoLeaf(uint8_t* page, size_t keyLen, size_t pos, const IdxEntry& entry)
{
    const size_t count = le16(page + 2), entrySize = keyLen + 4;
    uint8_t* at = page + 12 + pos * entrySize;
    std::memmove(at + entrySize, at, (count - pos) * entrySize);
    std::memcpy(at, entry.key.data(), keyLen);
    putBe32(at + keyLen, entry.recNo);
    putLe16(page + 2, uint16_t(count + 1));
}

void removeFromLeaf(uint8_t* page, size_t keyLen, size_t pos)
{
    const size_t count = le16(page + 2), entrySize = keyLen + 4;
    uint8_t* at = page + 12 + pos * entrySize;
    std::memmove(at, at + entrySize, (count - pos - 1) * entrySize);
    std::memset(page + 12 + (count - 1) * entrySize, 0, entrySize);
    putLe16(page + 2, uint16_t(count - 1));
}

bool encodeStandard(const Image& img, size_t firstPage, std::string* header, std::string* nodes, std::string* err,
                    size_t leafFill, StandardLayout* layout)
{
    const size_t keyLen = size_t(img.keyLen);
    if (img.keyLen < 1 || img.keyLen > kMaxStandardKeyLen)
        return fail(err,
                    "key length " + std::to_string(img.keyLen) + " outside 1.." + std::to_string(kMaxStandardKeyLen));
    if (img.keyExpr.size() > size_t(kMaxExprLen) || img.condition.size() > size_t(kMaxExprLen))
        return fail(err, "expression longer than " + std::to_string(kMaxExprLen) + " bytes");
    if (img.keyExpr.find('\0') != std::string::npos || img.condition.find('\0') != std::string::npos)
        return fail(err, "expression contains a NUL byte");

    // Nodes are filled level by level from the leaves up (leaves up to leafFill entries,
    // interior nodes completely); the root comes last.
    const size_t cap = size_t(standardCapacity(img.keyLen));
    const size_t fill = leafFill == 0 || leafFill > cap ? cap : leafFill;
    const size_t n = img.entries.size();
    std::vector<size_t> counts{std::max<size_t>(1, (n + fill - 1) / fill)};
    while (counts.back() > 1)
        counts.push_back((counts.back() + cap - 1) / cap);
    size_t pages = 0;
    for (size_t c : counts)
        pages += c;
    if (firstPage < 1 || (firstPage + pages) * kPage > 0xFFFFFFFFu)
        return fail(err, "index would exceed 4 GB");

    nodes->assign(pages * kPage, '\0');
    uint8_t* buf = reinterpret_cast<uint8_t*>(nodes->data());
    const size_t entrySize = keyLen + 4;
    auto offsetOf = [&](size_t index) { return uint32_t((firstPage + index) * kPage); };

    // lastEntry[i]: position of the greatest entry under node i of the level just written
    std::vector<size_t> lastEntry(counts[0]);
    size_t first = 0;  // index of the level's first node among the node pages
    for (size_t l = 0; l < counts.size(); ++l) {
        const size_t count = counts[l];
        const bool leaf = l == 0;
        const bool root = l + 1 == counts.size();
        const size_t below = leaf ? n : counts[l - 1];
        std::vector<size_t> lastHere(count);
        const size_t per = leaf ? fill : cap;
        for (size_t i = 0; i < count; ++i) {
            uint8_t* node = buf + (first + i) * kPage;
            const size_t b = i * per, e = std::min(below, b + per);
            const uint32_t left = i > 0 ? offsetOf(first + i - 1) : kNoLink;
            const uint32_t right = i + 1 < count ? offsetOf(first + i + 1) : kNoLink;
            if (leaf) {
                encodeStandardLeaf(img.entries.data() + b, e - b, keyLen, root, left, right, node);
                if (layout) {
                    const std::string sep = root || e == b ? std::string() : img.entries[e - 1].key;
                    layout->leaves.push_back({offsetOf(first + i), uint32_t(e - b), left, right, sep,
                                              std::string(reinterpret_cast<char*>(node), kPage)});
                }
            } else {
                putLe16(node, uint16_t(root ? 1 : 0));
                putLe16(node + 2, uint16_t(e - b));
                putLe32(node + 4, left);
                putLe32(node + 8, right);
                uint8_t* p = node + 12;
                for (size_t j = b; j < e; ++j, p += entrySize) {
                    std::memcpy(p, img.entries[lastEntry[j]].key.data(), keyLen);
                    putBe32(p + keyLen, offsetOf(first - counts[l - 1] + j));
                }
                if (layout && i + 1 == count)
                    layout->spine.insert(layout->spine.begin(),
                                         {offsetOf(first + i), std::string(reinterpret_cast<char*>(node), kPage)});
            }
            if (e > b)
                lastHere[i] = leaf ? e - 1 : lastEntry[e - 1];
        }
        lastEntry = std::move(lastHere);
        first += count;
    }

    header->assign(kPage, '\0');
    uint8_t* h = reinterpret_cast<uint8_t*>(header->data());
    putLe32(h, offsetOf(pages - 1));  // root
    putLe32(h + 4, kNoLink);          // no free nodes
    putLe32(h + 8, offsetOf(pages));  // file length
    putLe16(h + 12, uint16_t(keyLen));
    h[14] = uint8_t((img.unique ? 0x01 : 0) | (img.condition.empty() ? 0 : 0x08));
    h[15] = 0;
    std::memcpy(h + 16, img.keyExpr.data(), img.keyExpr.size());
    std::memcpy(h + 236, img.condition.data(), img.condition.size());
    putLe32(h + kGenerationOffset, img.generation);
    return true;
}

}  // namespace xb::idxcodec
