#pragma once

// Helpers shared by the IDX tests: fixture paths, a scratch folder, a minimal DBF reader
// that turns a table field into the entries an index of it must hold.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "xbase/src/idx.h"
#include "xbase/src/idxcodec.h"

namespace xb {

inline bool operator==(const IdxEntry& a, const IdxEntry& b)
{
    return a.key == b.key && a.recNo == b.recNo;
}

inline void PrintTo(const IdxEntry& e, std::ostream* os)
{
    *os << "{rec " << e.recNo << ", key";
    for (unsigned char c : e.key) {
        static const char* hex = "0123456789ABCDEF";
        *os << ' ' << hex[c >> 4] << hex[c & 15];
    }
    *os << '}';
}

}  // namespace xb

namespace idxtest {

inline std::filesystem::path fixture(const std::string& name)
{
#ifdef XBASE_FIXTURES_DIR
    return std::filesystem::path(XBASE_FIXTURES_DIR) / name;
#else
    return std::filesystem::path(__FILE__).parent_path() / "fixtures" / name;
#endif
}

inline std::string readFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary | std::ios::ate);
    if (!in)
        throw std::runtime_error("cannot read " + p.string());
    std::string data(size_t(in.tellg()), '\0');
    in.seekg(0);
    in.read(data.data(), std::streamsize(data.size()));
    return data;
}

inline void writeFile(const std::filesystem::path& p, const std::string& data)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(data.data(), std::streamsize(data.size()));
}

class TempDir {
public:
    TempDir()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "idxtest.XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = tmpl;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline bool entryLess(const xb::IdxEntry& a, const xb::IdxEntry& b)
{
    const int c = a.key.compare(b.key);
    return c != 0 ? c < 0 : a.recNo < b.recNo;
}

// Field of every record (deleted ones included) of a DBF, as index entries sorted the way
// an index must hold them. Character keys are the stored bytes, numeric keys the encoded
// value of the text (blank = 0).
struct FieldKeys {
    char type = 0;
    int width = 0;
    std::vector<xb::IdxEntry> entries;
};

inline FieldKeys dbfFieldKeys(const std::filesystem::path& dbf, const std::string& field)
{
    const std::string raw = readFile(dbf);
    auto u16 = [&](size_t o) { return size_t(uint8_t(raw[o])) | size_t(uint8_t(raw[o + 1])) << 8; };
    const size_t count = u16(4) | u16(6) << 16;
    const size_t headerLen = u16(8), recordLen = u16(10);
    FieldKeys out;
    size_t offset = 1, fieldOffset = 0;
    for (size_t p = 32; p + 32 <= headerLen && raw[p] != '\r'; p += 32) {
        const std::string name(raw.c_str() + p);
        const int width = uint8_t(raw[p + 16]);
        if (name == field) {
            out.type = raw[p + 11];
            out.width = width;
            fieldOffset = offset;
        }
        offset += size_t(width);
    }
    if (!out.type)
        throw std::runtime_error("no field " + field);
    for (size_t r = 0; r < count && headerLen + (r + 1) * recordLen <= raw.size(); ++r) {
        const std::string text = raw.substr(headerLen + r * recordLen + fieldOffset, size_t(out.width));
        std::string key = out.type == 'N' ? xb::IdxFile::numericKey(std::strtod(text.c_str(), nullptr)) : text;
        out.entries.push_back({key, uint32_t(r + 1)});
    }
    std::sort(out.entries.begin(), out.entries.end(), entryLess);
    return out;
}

inline std::vector<uint32_t> recNos(const std::vector<xb::IdxEntry>& entries)
{
    std::vector<uint32_t> v;
    for (const auto& e : entries)
        v.push_back(e.recNo);
    return v;
}

// A compact IDX with one root leaf, built entry by entry so that tests can make layouts the
// fixtures do not show. Each entry gives its stored bytes and counts as they go to the file.
struct CompactEntry {
    uint32_t recNo;
    unsigned dup;
    unsigned trail;
    std::string stored;
};

inline std::string compactFile(int keyLen, const std::vector<CompactEntry>& entries, unsigned recBits = 16,
                               unsigned countBits = 4, int order = 0, const std::string& expr = "CODE")
{
    std::string f(1536, '\0');
    auto put16 = [&](size_t o, unsigned v) {
        f[o] = char(v & 0xFF);
        f[o + 1] = char((v >> 8) & 0xFF);
    };
    auto put32 = [&](size_t o, uint32_t v) {
        put16(o, v & 0xFFFF);
        put16(o + 2, v >> 16);
    };
    put32(0, 1024);
    put16(12, unsigned(keyLen));
    f[14] = 0x20;
    f[15] = 0x01;
    put16(502, unsigned(order));
    put16(504, unsigned(expr.size() + 1));
    put16(506, 1);
    put16(508, 0);
    put16(510, unsigned(expr.size() + 1));
    f.replace(512, expr.size(), expr);
    const size_t node = 1024;
    const unsigned width = (recBits + 2 * countBits) / 8;
    put16(node, 3);
    put16(node + 2, unsigned(entries.size()));
    put32(node + 4, 0xFFFFFFFF);
    put32(node + 8, 0xFFFFFFFF);
    put32(node + 14, recBits == 32 ? 0xFFFFFFFFu : (1u << recBits) - 1);
    f[node + 18] = char((1u << countBits) - 1);
    f[node + 19] = char((1u << countBits) - 1);
    f[node + 20] = char(recBits);
    f[node + 21] = char(countBits);
    f[node + 22] = char(countBits);
    f[node + 23] = char(width);
    size_t end = node + 512;
    for (size_t i = 0; i < entries.size(); ++i) {
        const CompactEntry& e = entries[i];
        const uint64_t v = e.recNo | uint64_t(e.dup) << recBits | uint64_t(e.trail) << (recBits + countBits);
        for (unsigned b = 0; b < width; ++b)
            f[node + 24 + i * width + b] = char((v >> (8 * b)) & 0xFF);
        end -= e.stored.size();
        f.replace(end, e.stored.size(), e.stored);
    }
    put16(node + 12, unsigned(end - (node + 24 + entries.size() * width)));
    return f;
}

// The file of f read again by a second object, as another program would.
inline std::unique_ptr<xb::IdxFile> reopen(const xb::IdxFile& f)
{
    xb::Status err;
    auto g = xb::IdxFile::open(f.path(), &err, f.keyType());
    EXPECT_TRUE(g) << err.message();
    return g;
}

// The entries a file's bytes decode to (the decoder checks the tree on the way).
inline std::vector<xb::IdxEntry> decodeBytes(const std::string& bytes)
{
    xb::idxcodec::Image img;
    std::string err;
    const xb::IdxKeyType type = xb::IdxKeyType::Character;
    EXPECT_TRUE(xb::idxcodec::decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &type, &img, &err))
        << err;
    return img.entries;
}

}  // namespace idxtest
