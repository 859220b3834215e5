#include "idxcodec.h"

#include <algorithm>
#include <cstring>

#include "idxcodecinternal.h"

namespace xb::idxcodec {

namespace {

constexpr int kMaxDepth = 32;             // a 4 GB file of 2-entry nodes is shallower than this
constexpr size_t kNodeBody = kPage - 12;  // bytes for entries after the node header
constexpr size_t kLeafBody = kPage - 24;  // compact leaf: after header and bit layout

std::string nodeAt(size_t off)
{
    return "index node at offset " + std::to_string(off) + ": ";
}

// FoxBASE wrote 0 for "no sibling"; offset 0 is the header, so it can never mean a node.
bool noLink(uint32_t link)
{
    return link == kNoLink || link == 0;
}

// A 0x00-terminated expression text from the header; control bytes mean a damaged header.
bool headerText(const uint8_t* p, size_t max, std::string* out)
{
    size_t n = 0;
    while (n < max && p[n] != 0)
        ++n;
    for (size_t i = 0; i < n; ++i)
        if (p[i] < 0x20 || p[i] == 0x7F)
            return false;
    size_t b = 0, e = n;
    while (b < e && p[b] == ' ')
        ++b;
    while (e > b && p[e - 1] == ' ')
        --e;
    out->assign(reinterpret_cast<const char*>(p) + b, e - b);
    return true;
}

struct Level {
    std::vector<uint32_t> nodes;       // offsets, left to right
    std::vector<size_t> childBegin;    // interior levels: first child of node i in the next
                                       // level; one extra element closes the last range
    std::vector<const uint8_t*> seps;  // levels below the root: separator of node i as its
                                       // parent stores it (keyLen bytes)
    bool leaf = false;
};

// One compact leaf entry before its key is rebuilt (the filler byte depends on the key type).
struct RawEntry {
    uint32_t recNo;
    uint16_t dup;
    uint16_t trail;
    uint32_t pos;  // stored bytes: data[pos .. pos + len)
    uint16_t len;
};

class Decoder {
public:
    Decoder(const uint8_t* data, size_t size, std::string* err) : m_data(data), m_size(size), m_err(err) { }

    bool run(const IdxKeyType* hint, Image* out);
    bool layout(Image* out);
    bool readHeader(Image* out, uint32_t* root);

private:
    bool walk(uint32_t root);
    bool checkLinks(const Level& level, size_t i);
    bool readStandardLeaves(std::vector<IdxEntry>* entries, std::vector<size_t>* leafEnd);
    bool readCompactLeaves(std::vector<RawEntry>* raw, std::vector<size_t>* leafEnd);
    IdxKeyType guessType(const std::vector<IdxEntry>& entries) const;
    IdxKeyType guessType(const std::vector<RawEntry>& raw) const;
    bool checkOrder(const std::vector<IdxEntry>& entries, const std::vector<size_t>& leafEnd);

    const uint8_t* m_data;
    size_t m_size;
    std::string* m_err;
    bool m_compact = false;
    size_t m_keyLen = 0;
    size_t m_firstNode = 0;
    std::vector<Level> m_levels;
    size_t m_liveBegin = 0;
    size_t m_liveEnd = 0;
};

bool Decoder::run(const IdxKeyType* hint, Image* out)
{
    uint32_t root = 0;
    if (!readHeader(out, &root))
        return false;
    if (hint && *hint == IdxKeyType::Numeric && m_keyLen != 8)
        return fail(m_err, "key length " + std::to_string(m_keyLen) + " does not fit a numeric key (8 bytes)");
    if (!walk(root))
        return false;
    out->headerSize = m_firstNode;
    out->liveBegin = m_liveBegin;
    out->liveEnd = m_liveEnd;

    std::vector<IdxEntry> entries;
    std::vector<size_t> leafEnd;
    if (!m_compact) {
        if (!readStandardLeaves(&entries, &leafEnd))
            return false;
        out->keyType = hint ? *hint : guessType(entries);
    } else {
        std::vector<RawEntry> raw;
        if (!readCompactLeaves(&raw, &leafEnd))
            return false;
        out->keyType = hint ? *hint : guessType(raw);
        const char filler = out->keyType == IdxKeyType::Numeric ? '\0' : ' ';
        entries.resize(raw.size());
        const std::string* prev = nullptr;
        for (size_t i = 0; i < raw.size(); ++i) {
            const RawEntry& r = raw[i];
            std::string& key = entries[i].key;
            key.resize(m_keyLen);
            // dup is 0 for the first entry of every leaf (checked while reading)
            if (r.dup)
                std::memcpy(key.data(), prev->data(), r.dup);
            std::memcpy(key.data() + r.dup, m_data + r.pos, r.len);
            std::memset(key.data() + r.dup + r.len, filler, r.trail);
            entries[i].recNo = r.recNo;
            prev = &key;
        }
    }

    if (out->descending) {
        // No public description says in which direction a descending file stores its keys;
        // accept either and keep the ascending order in memory.
        std::sort(entries.begin(), entries.end(), [](const IdxEntry& a, const IdxEntry& b) {
            int c = a.key.compare(b.key);
            return c != 0 ? c < 0 : a.recNo < b.recNo;
        });
        for (size_t i = 1; i < entries.size(); ++i)
            if (entries[i].key == entries[i - 1].key && entries[i].recNo == entries[i - 1].recNo)
                return fail(m_err, "record " + std::to_string(entries[i].recNo) + " appears twice with the same key");
    } else if (!checkOrder(entries, leafEnd)) {
        return false;
    }
    out->entries = std::move(entries);
    return true;
}

bool Decoder::layout(Image* out)
{
    uint32_t root = 0;
    if (!readHeader(out, &root) || !walk(root))
        return false;
    out->headerSize = m_firstNode;
    out->liveBegin = m_liveBegin;
    out->liveEnd = m_liveEnd;
    return true;
}

bool Decoder::readHeader(Image* out, uint32_t* root)
{
    if (m_size < 16)
        return fail(m_err, "file too short for an index header (" + std::to_string(m_size) + " bytes)");
    const uint8_t options = m_data[14];
    if (options & 0x40)
        return fail(m_err, "compound index (CDX) header, not a single index");
    m_compact = (options & 0x20) != 0;
    m_firstNode = m_compact ? 2 * kPage : kPage;
    if (m_size < m_firstNode + kPage)
        return fail(m_err,
                    std::string("file too short for a ") + (m_compact ? "compact" : "standard") + " index ("
                        + std::to_string(m_size) + " bytes, at least " + std::to_string(m_firstNode + kPage)
                        + " needed)");
    if (m_size > 0xFFFFFFFFu)
        return fail(m_err, "file larger than 4 GB");

    *root = le32(m_data);
    m_keyLen = le16(m_data + 12);
    const int maxKey = m_compact ? kMaxCompactKeyLen : kMaxStandardKeyLen;
    if (m_keyLen < 1 || m_keyLen > size_t(maxKey))
        return fail(m_err, "key length " + std::to_string(m_keyLen) + " outside 1.." + std::to_string(maxKey));
    out->keyLen = int(m_keyLen);
    out->compact = m_compact;
    out->unique = (options & 0x01) != 0;

    if (!m_compact) {
        const uint32_t fileLen = le32(m_data + 8);
        if (fileLen > m_size)
            return fail(m_err,
                        "file is truncated: the header gives " + std::to_string(fileLen) + " bytes, the file has "
                            + std::to_string(m_size));
        if (!headerText(m_data + 16, 220, &out->keyExpr))
            return fail(m_err, "key expression in the header is not text");
        // Without the FOR option the field is unused; what lies there does not matter.
        if ((options & 0x08) && !headerText(m_data + 236, 220, &out->condition))
            return fail(m_err, "FOR expression in the header is not text");
        out->descending = false;  // the standard form has no order field
        out->generation = le32(m_data + kGenerationOffset);
    } else {
        const uint8_t* h = m_data + 502;
        const uint16_t order = le16(h);
        const size_t forPos = le16(h + 2), forLen = le16(h + 4);
        const size_t keyPos = le16(h + 6), keyLen = le16(h + 8);
        if (order > 1)
            return fail(m_err, "order field " + std::to_string(order) + " is neither 0 nor 1");
        out->descending = order == 1;
        if (keyPos + keyLen > kPage)
            return fail(m_err, "key expression lies outside the expression pool");
        if (!headerText(m_data + kPage + keyPos, keyLen, &out->keyExpr))
            return fail(m_err, "key expression in the header is not text");
        if (forLen > 1) {
            if (forPos + forLen > kPage)
                return fail(m_err, "FOR expression lies outside the expression pool");
            if (!headerText(m_data + kPage + forPos, forLen, &out->condition))
                return fail(m_err, "FOR expression in the header is not text");
        }
    }
    if (out->keyExpr.empty())
        return fail(m_err, "the header holds no key expression");
    return true;
}

bool Decoder::checkLinks(const Level& level, size_t i)
{
    const uint8_t* node = m_data + level.nodes[i];
    const uint32_t left = le32(node + 4), right = le32(node + 8);
    const uint32_t wantLeft = i > 0 ? level.nodes[i - 1] : kNoLink;
    const uint32_t wantRight = i + 1 < level.nodes.size() ? level.nodes[i + 1] : kNoLink;
    auto ok = [&](uint32_t got, uint32_t want) {
        if (want == kNoLink)
            return noLink(got);
        // Forward scans follow leaf links, so they must be exact there; writers differ in
        // whether they keep links between interior nodes.
        return got == want || (!level.leaf && noLink(got));
    };
    if (!ok(left, wantLeft) || !ok(right, wantRight))
        return fail(m_err,
                    nodeAt(level.nodes[i]) + "sibling links " + std::to_string(left) + "/" + std::to_string(right)
                        + " do not match the tree ("
                        + (wantLeft == kNoLink ? std::string("none") : std::to_string(wantLeft)) + "/"
                        + (wantRight == kNoLink ? std::string("none") : std::to_string(wantRight)) + ")");
    return true;
}

bool Decoder::walk(uint32_t root)
{
    std::vector<uint8_t> seen(m_size / kPage, 0);
    auto validNode = [&](uint32_t off) {
        return off % kPage == 0 && off >= m_firstNode && size_t(off) + kPage <= m_size;
    };
    if (!validNode(root))
        return fail(m_err,
                    "root offset " + std::to_string(root) + " is not a node inside the file (" + std::to_string(m_size)
                        + " bytes)");
    seen[root / kPage] = 1;
    m_liveBegin = root;
    m_liveEnd = size_t(root) + kPage;

    const size_t sepSize = m_keyLen + (m_compact ? 8 : 4);
    const size_t capacity = kNodeBody / sepSize;
    Level level;
    level.nodes.push_back(root);
    for (int depth = 0;; ++depth) {
        if (depth >= kMaxDepth)
            return fail(m_err, "index tree deeper than " + std::to_string(kMaxDepth) + " levels");
        const uint16_t firstAttr = le16(m_data + level.nodes[0]);
        level.leaf = (firstAttr & 2) != 0;
        for (size_t i = 0; i < level.nodes.size(); ++i) {
            const uint16_t attr = le16(m_data + level.nodes[i]);
            if (attr > 3)
                return fail(m_err, nodeAt(level.nodes[i]) + "unknown node type " + std::to_string(attr));
            if (((attr & 2) != 0) != level.leaf)
                return fail(m_err, nodeAt(level.nodes[i]) + "leaf and interior nodes mixed on one tree level");
        }
        for (size_t i = 0; i < level.nodes.size(); ++i)
            if (!checkLinks(level, i))
                return false;
        if (level.leaf) {
            m_levels.push_back(std::move(level));
            return true;
        }

        Level next;
        level.childBegin.reserve(level.nodes.size() + 1);
        for (uint32_t off : level.nodes) {
            const uint8_t* node = m_data + off;
            const size_t count = le16(node + 2);
            if (count == 0 || count > capacity)
                return fail(m_err,
                            nodeAt(off) + "interior node with " + std::to_string(count) + " entries (1.."
                                + std::to_string(capacity) + " allowed)");
            level.childBegin.push_back(next.nodes.size());
            for (size_t j = 0; j < count; ++j) {
                const uint8_t* e = node + 12 + j * sepSize;
                const uint32_t child = be32(e + sepSize - 4);
                if (!validNode(child))
                    return fail(m_err,
                                nodeAt(off) + "child offset " + std::to_string(child)
                                    + " is not a node inside the file");
                if (seen[child / kPage])
                    return fail(
                        m_err, nodeAt(off) + "child " + std::to_string(child) + " is reached twice (loop in the tree)");
                seen[child / kPage] = 1;
                m_liveBegin = std::min<size_t>(m_liveBegin, child);
                m_liveEnd = std::max<size_t>(m_liveEnd, size_t(child) + kPage);
                next.nodes.push_back(child);
                next.seps.push_back(e);
            }
        }
        level.childBegin.push_back(next.nodes.size());
        m_levels.push_back(std::move(level));
        level = std::move(next);
    }
}

bool Decoder::readStandardLeaves(std::vector<IdxEntry>* entries, std::vector<size_t>* leafEnd)
{
    const Level& leaves = m_levels.back();
    const size_t entrySize = m_keyLen + 4;
    const size_t capacity = kNodeBody / entrySize;
    size_t total = 0;
    for (uint32_t off : leaves.nodes)
        total += le16(m_data + off + 2);
    entries->reserve(std::min(total, leaves.nodes.size() * capacity));
    leafEnd->reserve(leaves.nodes.size());
    for (uint32_t off : leaves.nodes) {
        const uint8_t* node = m_data + off;
        const size_t count = le16(node + 2);
        if (count > capacity)
            return fail(m_err,
                        nodeAt(off) + "leaf with " + std::to_string(count) + " entries (at most "
                            + std::to_string(capacity) + ")");
        for (size_t j = 0; j < count; ++j) {
            const uint8_t* e = node + 12 + j * entrySize;
            const uint32_t recNo = be32(e + m_keyLen);
            if (recNo == 0)
                return fail(m_err, nodeAt(off) + "record number 0 in entry " + std::to_string(j));
            entries->push_back(IdxEntry{std::string(reinterpret_cast<const char*>(e), m_keyLen), recNo});
        }
        leafEnd->push_back(entries->size());
    }
    return true;
}

bool Decoder::readCompactLeaves(std::vector<RawEntry>* raw, std::vector<size_t>* leafEnd)
{
    const Level& leaves = m_levels.back();
    leafEnd->reserve(leaves.nodes.size());
    for (uint32_t off : leaves.nodes) {
        const uint8_t* node = m_data + off;
        const size_t count = le16(node + 2);
        const size_t freeBytes = le16(node + 12);
        const uint32_t recMask = le32(node + 14);
        const unsigned dupMask = node[18], trailMask = node[19];
        const unsigned recBits = node[20], dupBits = node[21], trailBits = node[22];
        const size_t width = node[23];
        if (width < 1 || width > 8 || recBits < 1 || recBits > 32 || dupBits > 8 || trailBits > 8
            || recBits + dupBits + trailBits != 8 * width)
            return fail(m_err,
                        nodeAt(off) + "invalid bit layout (record " + std::to_string(recBits) + ", duplicate "
                            + std::to_string(dupBits) + ", trail " + std::to_string(trailBits) + " bits in "
                            + std::to_string(width) + " bytes)");
        const uint32_t wantRecMask = recBits == 32 ? 0xFFFFFFFFu : (1u << recBits) - 1;
        if (recMask != wantRecMask || dupMask != (1u << dupBits) - 1 || trailMask != (1u << trailBits) - 1)
            return fail(m_err, nodeAt(off) + "masks do not match the bit counts");
        if (count * width > kLeafBody)
            return fail(m_err,
                        nodeAt(off) + "leaf with " + std::to_string(count) + " entries of " + std::to_string(width)
                            + " bytes does not fit a node");
        const size_t tableEnd = 24 + count * width;
        size_t pos = kPage;  // key bytes are packed from the end of the node downwards
        for (size_t j = 0; j < count; ++j) {
            const uint8_t* e = node + 24 + j * width;
            uint64_t v = 0;
            for (size_t b = 0; b < width; ++b)
                v |= uint64_t(e[b]) << (8 * b);
            const uint32_t recNo = uint32_t(v & wantRecMask);
            const unsigned dup = unsigned(v >> recBits) & dupMask;
            const unsigned shift = recBits + dupBits;
            const unsigned trail = shift < 64 ? unsigned(v >> shift) & trailMask : 0;
            if (recNo == 0)
                return fail(m_err, nodeAt(off) + "record number 0 in entry " + std::to_string(j));
            if (dup + trail > m_keyLen)
                return fail(m_err,
                            nodeAt(off) + "entry " + std::to_string(j)
                                + ": duplicate and trailing counts exceed the key length");
            if (j == 0 && dup != 0)
                return fail(m_err, nodeAt(off) + "first entry shares bytes with a previous key");
            const size_t len = m_keyLen - dup - trail;
            if (pos < tableEnd + len)
                return fail(m_err, nodeAt(off) + "key bytes overrun the entry table");
            pos -= len;
            raw->push_back(RawEntry{recNo, uint16_t(dup), uint16_t(trail), uint32_t(off + pos), uint16_t(len)});
        }
        if (freeBytes > pos - tableEnd)
            return fail(m_err,
                        nodeAt(off) + "free space " + std::to_string(freeBytes) + " exceeds the room left ("
                            + std::to_string(pos - tableEnd) + ")");
        leafEnd->push_back(raw->size());
    }
    return true;
}

// Key length 8 is numeric unless some key starts like text; a character key of 8 bytes whose
// every value starts with one of the few bytes numeric keys start with is mistaken for numeric.
IdxKeyType Decoder::guessType(const std::vector<IdxEntry>& entries) const
{
    if (m_keyLen != 8)
        return IdxKeyType::Character;
    for (const IdxEntry& e : entries)
        if (!plausibleNumericLead(uint8_t(e.key[0])))
            return IdxKeyType::Character;
    return IdxKeyType::Numeric;
}

IdxKeyType Decoder::guessType(const std::vector<RawEntry>& raw) const
{
    if (m_keyLen != 8)
        return IdxKeyType::Character;
    uint8_t lead = 0;
    for (const RawEntry& r : raw) {
        if (r.dup == 0) {
            if (r.len == 0)  // nothing but filler: a blank text; zero is stored as 0x80
                return IdxKeyType::Character;
            lead = m_data[r.pos];
        }
        if (!plausibleNumericLead(lead))
            return IdxKeyType::Character;
    }
    return IdxKeyType::Numeric;
}

bool Decoder::checkOrder(const std::vector<IdxEntry>& entries, const std::vector<size_t>& leafEnd)
{
    for (size_t i = 1; i < entries.size(); ++i) {
        const int c = std::memcmp(entries[i - 1].key.data(), entries[i].key.data(), m_keyLen);
        if (c > 0 || (c == 0 && entries[i - 1].recNo >= entries[i].recNo))
            return fail(m_err,
                        "keys out of order at position " + std::to_string(i + 1) + " (record "
                            + std::to_string(entries[i].recNo) + ")");
    }

    // Interior entries carry the greatest key of their subtree; other readers search by them,
    // so a separator outside [last key of the subtree, first key after it] breaks seeks.
    std::vector<size_t> end = leafEnd;  // end position of each node of the current level
    for (size_t l = m_levels.size() - 1; l >= 1; --l) {
        const Level& level = m_levels[l];
        for (size_t i = 0; i < level.nodes.size(); ++i) {
            const uint8_t* sep = level.seps[i];
            const size_t e = end[i];
            const size_t b = i == 0 ? 0 : end[i - 1];
            const bool below = e > b && std::memcmp(entries[e - 1].key.data(), sep, m_keyLen) > 0;
            const bool above = e < entries.size() && std::memcmp(sep, entries[e].key.data(), m_keyLen) > 0;
            if (below || above) {
                const Level& parent = m_levels[l - 1];
                size_t p = 0;
                while (p + 1 < parent.nodes.size() && parent.childBegin[p + 1] <= i)
                    ++p;
                return fail(m_err,
                            nodeAt(parent.nodes[p]) + "interior key for child " + std::to_string(level.nodes[i])
                                + " does not match the keys below it");
            }
        }
        const Level& parent = m_levels[l - 1];
        std::vector<size_t> up(parent.nodes.size());
        for (size_t p = 0; p < parent.nodes.size(); ++p)
            up[p] = end[parent.childBegin[p + 1] - 1];
        end = std::move(up);
    }
    return true;
}

}  // namespace

bool plausibleNumericLead(uint8_t b)
{
    // Positive values keep the exponent's top bits under a set sign bit, negative ones are
    // inverted: for exponents 2^-40..2^64 that is 0xBD..0xC3 and 0x3C..0x42; 0 gives 0x80.
    return b == 0x80 || (b >= 0xBD && b <= 0xC3) || (b >= 0x3C && b <= 0x42);
}

bool decode(const uint8_t* data, size_t size, const IdxKeyType* typeHint, Image* out, std::string* err)
{
    *out = Image();
    Decoder d(data, size, err);
    return d.run(typeHint, out);
}

bool decodeLayout(const uint8_t* data, size_t size, Image* out, std::string* err)
{
    *out = Image();
    Decoder d(data, size, err);
    return d.layout(out);
}

bool decodeHeader(const uint8_t* data, size_t size, uint64_t fileSize, Image* out, std::string* err)
{
    // The header never reaches past its second page: a zero-filled copy of that much lets
    // the decoder judge the sizes against the real file length without reading the rest.
    uint8_t head[kHeaderBytes] = {};
    std::memcpy(head, data, std::min(size, kHeaderBytes));
    if (fileSize > 0xFFFFFFFFu)
        return fail(err, "file larger than 4 GB");
    Decoder d(head, std::max<size_t>(size_t(fileSize), std::min(size, kHeaderBytes)), err);
    uint32_t root = 0;
    return d.readHeader(out, &root);
}

}  // namespace xb::idxcodec
