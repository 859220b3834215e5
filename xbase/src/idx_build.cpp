#include "idx.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "env.h"
#include "idxcodec.h"
#include "idximpl.h"

namespace xb {

namespace {

using idxcodec::Image;

// A file that does not exist yet appears complete or not at all: it is written under a
// temporary name in the same folder and renamed. (Renaming over an existing file would make
// ext4 flush it at once, and programs holding the old file open would not see the change;
// existing files are therefore written in place, see writeOver.)
bool writeNewFile(const std::string& path, const std::string& data, Status* status)
{
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    static std::atomic<unsigned> counter{0};
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmp = tempPrefix(path) + std::to_string(::getpid()) + "." + std::to_string(counter++);
        fd = env().open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return failSys(status, "cannot create", path);
    const bool written = writeAt(fd, data.data(), data.size(), 0) && env().fsync(fd) == 0;
    const int writeErrno = errno;
    const bool closed = env().close(fd) == 0;
    if (!written || !closed) {
        failSys(status, "cannot write", path, written ? errno : writeErrno);
        env().unlink(tmp.c_str());
        return false;
    }
    if (env().rename(tmp.c_str(), path.c_str()) != 0) {
        failSys(status, "cannot create", path);
        env().unlink(tmp.c_str());
        return false;
    }
    // The new name must survive a power loss as well as the bytes.
    const int dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

// Writes a new tree into an existing file without disturbing the live one: the nodes go to
// pages the live tree does not use, then the header is switched over to them, then what lies
// past the new tree is cut off. Up to the header write the old index stays intact, after it
// the new one is complete, so a crash or a reader never meets a half-written tree.
bool writeOver(const std::string& path, const std::string& header, const std::string& nodes, size_t firstPage,
               Status* status)
{
    const int fd = env().open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC, 0);
    if (fd < 0)
        return failSys(status, "cannot write", path);
    const off_t end = off_t(firstPage * idxcodec::kPage + nodes.size());
    struct stat st;
    bool ok = writeAt(fd, nodes.data(), nodes.size(), off_t(firstPage * idxcodec::kPage))
        && writeAt(fd, header.data(), header.size(), 0) && env().fstat(fd, &st) == 0
        && (st.st_size <= end || env().ftruncate(fd, end) == 0);
    if (!ok)
        failSys(status, "cannot write", path);
    if (env().close(fd) != 0 && ok) {
        ok = false;
        failSys(status, "cannot write", path);
    }
    return ok;
}

// Sorting for a fresh build. Items carry the first 8 key bytes as a big-endian number, so a
// byte-wise radix sort on (that number, record number) orders them; keys longer than 8 bytes
// then only need their runs of equal first bytes put in order.
struct SortItem {
    uint64_t prefix;
    uint32_t recNo;
    uint32_t pos;
};

void radixPass(std::vector<SortItem>& a, std::vector<SortItem>& tmp, int shift, bool onRecNo)
{
    size_t count[257] = {};
    for (const SortItem& it : a)
        ++count[((onRecNo ? it.recNo : it.prefix) >> shift & 0xFF) + 1];
    for (size_t b = 1; b <= 256; ++b)
        if (count[b] == a.size())
            return;  // every item has the same byte here
    for (size_t b = 1; b <= 256; ++b)
        count[b] += count[b - 1];
    tmp.resize(a.size());
    for (const SortItem& it : a)
        tmp[count[(onRecNo ? it.recNo : it.prefix) >> shift & 0xFF]++] = it;
    a.swap(tmp);
}

std::vector<IdxEntry> sortedEntries(std::vector<IdxEntry> entries, size_t keyLen)
{
    const size_t pre = std::min<size_t>(keyLen, 8);
    std::vector<SortItem> items(entries.size());
    bool byRecNo = true;  // tables are scanned in record order: the usual case
    for (size_t i = 0; i < entries.size(); ++i) {
        const unsigned char* k = reinterpret_cast<const unsigned char*>(entries[i].key.data());
        uint64_t v = 0;
        for (size_t b = 0; b < pre; ++b)
            v = v << 8 | k[b];
        items[i] = SortItem{v << (8 * (8 - pre)), entries[i].recNo, uint32_t(i)};
        if (i > 0 && entries[i - 1].recNo > entries[i].recNo)
            byRecNo = false;
    }
    std::vector<SortItem> tmp;
    if (!byRecNo)
        for (int shift = 0; shift < 32; shift += 8)
            radixPass(items, tmp, shift, true);
    for (int shift = 8 * int(8 - pre); shift < 64; shift += 8)
        radixPass(items, tmp, shift, false);
    if (keyLen > 8) {
        auto rest = [&](const SortItem& a, const SortItem& b) {
            const int c = std::memcmp(entries[a.pos].key.data() + 8, entries[b.pos].key.data() + 8, keyLen - 8);
            return c != 0 ? c < 0 : a.recNo < b.recNo;
        };
        for (size_t i = 0; i < items.size();) {
            size_t j = i + 1;
            while (j < items.size() && items[j].prefix == items[i].prefix)
                ++j;
            if (j - i > 1)
                std::sort(items.begin() + long(i), items.begin() + long(j), rest);
            i = j;
        }
    }
    std::vector<IdxEntry> sorted;
    sorted.reserve(entries.size());
    constexpr size_t kAhead = 8;  // the gather jumps around memory: ask for entries early
    for (size_t i = 0; i < items.size(); ++i) {
        if (i + kAhead < items.size())
            __builtin_prefetch(&entries[items[i + kAhead].pos]);
        const SortItem& it = items[i];
        // a record appears once per key; an exact repeat adds nothing
        if (i > 0 && items[i - 1].prefix == it.prefix && items[i - 1].recNo == it.recNo
            && sorted.back().key == entries[it.pos].key)
            continue;
        sorted.push_back(std::move(entries[it.pos]));
    }
    return sorted;
}

}  // namespace

// fresh: a new build, its leaves filled completely; otherwise leaves keep room for
// the inserts to come.
bool IdxFile::Impl::save(Status* status, bool fresh)
{
    if (!fresh && layoutValid && !whole && dirtyLeaf >= 0 && !img.compact)
        return saveInPlace(status);
    const size_t fill = fresh ? 0 : idxcodec::maintenanceFill(img.keyLen);
    const size_t pages = idxcodec::standardPages(img.keyLen, img.entries.size(), fill);
    struct stat st;
    const bool exists = ::stat(path.c_str(), &st) == 0;
    size_t first = 1;
    if (exists) {
        // Where the live tree lies: as we left it, unless someone wrote since.
        size_t headerSize = img.headerSize, liveBegin = img.liveBegin, liveEnd = img.liveEnd;
        if (!(Stamp::of(path, &held) == stamp)) {
            std::string data;
            Image current;
            headerSize = liveBegin = liveEnd = 0;  // unreadable: nothing worth keeping
            if (readWholeFile(path, &data, nullptr)
                && idxcodec::decodeLayout(reinterpret_cast<const uint8_t*>(data.data()), data.size(), &current,
                                          nullptr)) {
                headerSize = current.headerSize;
                liveBegin = current.liveBegin;
                liveEnd = current.liveEnd;
                img.generation = std::max(img.generation, current.generation);
            }
        }
        const size_t kPage = idxcodec::kPage;
        if (liveEnd > 0 && !(headerSize == kPage && (1 + pages) * kPage <= liveBegin))
            first = std::max(liveEnd, headerSize) / kPage;
    }
    std::string header, nodes, why;
    idxcodec::StandardLayout freshLayout;
    const uint32_t generation = img.generation;
    if (exists)
        ++img.generation;  // taken back when the write fails
    // A fresh build's leaves are full: its first change writes a new tree anyway, so its
    // layout is not kept.
    const bool encoded =
        idxcodec::encodeStandard(img, first, &header, &nodes, &why, fill, fresh ? nullptr : &freshLayout);
    const bool ok = encoded
        && (exists ? writeOver(path, header, nodes, first, status) : writeNewFile(path, header + nodes, status));
    if (!ok) {
        img.generation = generation;
        return encoded ? false : fail(status, ErrorKind::BadArgument, path + ": " + why);
    }
    img.compact = false;
    img.headerSize = idxcodec::kPage;
    img.liveBegin = first * idxcodec::kPage;
    img.liveEnd = img.liveBegin + nodes.size();
    layout = std::move(freshLayout);
    layoutValid = !fresh;
    dirtyLeaf = -1;
    raise = whole = torn = false;
    stamp = Stamp::of(path, &held);
    hold(false);
    dirty = false;
    return true;
}

std::unique_ptr<IdxFile> IdxFile::build(const std::string& path, const std::string& keyExpr, IdxKeyType type,
                                        int keyLen, std::vector<IdxEntry> entries, Status* status, bool descending,
                                        const std::string& condition, bool writeFile, bool unique)
{
    auto trimmed = [](const std::string& s) {
        const size_t b = s.find_first_not_of(' ');
        if (b == std::string::npos)
            return std::string();
        return s.substr(b, s.find_last_not_of(' ') - b + 1);
    };
    std::unique_ptr<IdxFile> f(new IdxFile());
    Impl& d = *f->d;
    d.path = path;
    d.img.keyExpr = trimmed(keyExpr);
    d.img.condition = trimmed(condition);
    d.img.keyType = type;
    d.img.keyLen = keyLen;
    d.img.descending = descending;
    if (d.img.keyExpr.empty()) {
        fail(status, ErrorKind::BadArgument, "empty key expression");
        return nullptr;
    }
    if (type == IdxKeyType::Numeric && keyLen != 8) {
        fail(status, ErrorKind::BadArgument, "numeric keys are 8 bytes, not " + std::to_string(keyLen));
        return nullptr;
    }
    if (keyLen < 1 || keyLen > idxcodec::kMaxStandardKeyLen) {
        fail(status, ErrorKind::BadArgument,
             "key length " + std::to_string(keyLen) + " outside 1.." + std::to_string(idxcodec::kMaxStandardKeyLen));
        return nullptr;
    }
    for (const IdxEntry& e : entries)
        if (!d.validEntry(e, status))
            return nullptr;

    d.img.entries = sortedEntries(std::move(entries), size_t(keyLen));
    d.img.unique = unique;
    if (unique) {
        // One entry per key value, the lowest record number holding it.
        auto& v = d.img.entries;
        v.erase(std::unique(v.begin(), v.end(), [](const IdxEntry& a, const IdxEntry& b) { return a.key == b.key; }),
                v.end());
    }
    if (!writeFile) {
        // Held in memory only; what is on disk now counts as seen, so that only a later
        // change by another holder makes it be read again.
        d.memoryOnly = true;
        d.stamp = Stamp::of(path);
        return f;
    }
    if (!d.save(status, true))
        return nullptr;
    return f;
}

std::unique_ptr<IdxFile> IdxFile::create(const std::string& path, const std::string& keyExpr, IdxKeyType type,
                                         int keyLen, std::vector<IdxEntry> entries, Status* status, bool descending,
                                         const std::string& condition)
{
    return build(path, keyExpr, type, keyLen, std::move(entries), status, descending, condition, true);
}

}  // namespace xb
