#include "idx.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bytes.h"
#include "env.h"
#include "idxcodec.h"

namespace xb {

namespace {

using idxcodec::Image;

bool fail(Status* status, ErrorKind kind, std::string msg)
{
    if (status)
        *status = Status::error(kind, std::move(msg));
    return false;
}

// A failed system call: the kind follows errno (a full disk, a refusal, a failing medium).
bool failSys(Status* status, const std::string& what, const std::string& path, int err = errno)
{
    if (status)
        *status = systemError(what + " " + path, err);
    return false;
}

int compareEntries(const IdxEntry& a, const IdxEntry& b, size_t keyLen)
{
    const int c = std::memcmp(a.key.data(), b.key.data(), keyLen);
    if (c != 0)
        return c;
    return a.recNo < b.recNo ? -1 : (a.recNo > b.recNo ? 1 : 0);
}

// A descriptor of the index file kept open for the object's life: looking at the file and
// changing one node then cost a call or two, not an open and a close each time.
struct Held {
    int fd = -1;
    bool writable = false;
    dev_t dev = 0;
    ino_t ino = 0;
};

// What a file looked like when we last read or wrote it.
struct Stamp {
    bool valid = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};
    std::string head;  // root, free list, length, key length, options; the change counter

    static Stamp of(const std::string& path, const Held* held = nullptr)
    {
        Stamp s;
        struct stat st;
        if (::stat(path.c_str(), &st) != 0)
            return s;
        s.valid = true;
        s.dev = st.st_dev;
        s.ino = st.st_ino;
        s.size = st.st_size;
        s.mtime = st.st_mtim;
        s.ctime = st.st_ctim;
        char buf[idxcodec::kPage];
        ssize_t n = -1;
        if (held && held->fd >= 0 && held->dev == st.st_dev && held->ino == st.st_ino) {
            n = ::pread(held->fd, buf, sizeof buf, 0);
        } else {
            const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                n = ::pread(fd, buf, sizeof buf, 0);
                ::close(fd);
            }
        }
        if (n > 0)
            s.head.assign(buf, size_t(std::min<ssize_t>(n, 16)));
        if (n == ssize_t(sizeof buf))
            s.head.append(buf + idxcodec::kGenerationOffset, 4);
        return s;
    }

    bool operator==(const Stamp& o) const
    {
        return valid == o.valid && dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec
            && mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec
            && head == o.head;
    }
};

// Reads an index file whole, after judging its header: a file named like an index that is
// not one (or claims more than maxBytes, 0: no limit) is refused before the rest is read.
bool readWholeFile(const std::string& path, std::string* data, Status* status, uint64_t maxBytes = 0)
{
    const int fd = env().open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
    if (fd < 0)
        return failSys(status, "cannot open", path);
    struct Closer {
        int fd;
        ~Closer() { env().close(fd); }
    } closer{fd};
    struct stat st;
    if (env().fstat(fd, &st) != 0)
        return failSys(status, "cannot read", path);
    if (!S_ISREG(st.st_mode))
        return fail(status, ErrorKind::Corrupt, path + ": not a regular file");
    const uint64_t size = uint64_t(st.st_size);
    if (size > 0xFFFFFFFFull)
        return fail(status, ErrorKind::Corrupt, path + ": file larger than 4 GB");
    data->resize(std::min<size_t>(size_t(size), idxcodec::kHeaderBytes));
    size_t got = 0;
    auto readUpTo = [&](size_t want) {
        while (got < want) {
            const ssize_t n = env().pread(fd, data->data() + got, want - got, off_t(got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            if (n == 0)
                break;  // shrank while we read: decode what is there, it will be judged
            got += size_t(n);
        }
        return true;
    };
    if (!readUpTo(data->size()))
        return failSys(status, "cannot read", path);
    Image head;
    std::string why;
    if (!idxcodec::decodeHeader(reinterpret_cast<const uint8_t*>(data->data()), got, size, &head, &why))
        return fail(status, ErrorKind::Corrupt, path + ": " + why);
    if (maxBytes > 0 && size > maxBytes)
        return fail(status, ErrorKind::Corrupt,
                    path + ": " + std::to_string(size) + " bytes, far more than an index of its table needs");
    data->resize(size_t(size));
    if (!readUpTo(data->size()))
        return failSys(status, "cannot read", path);
    data->resize(got);
    return true;
}

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

bool lessKey(const IdxEntry& e, const std::string& key, size_t n)
{
    return std::memcmp(e.key.data(), key.data(), n) < 0;
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

struct IdxFile::Impl {
    std::string path;
    Image img;
    Stamp stamp;
    Held held;
    bool deferred = false;
    bool memoryOnly = false;
    bool dirty = false;
    uint64_t maxBytes = 0;

    // Where the nodes lie as we last wrote them, and what changed since: one leaf (and, for
    // a key past all others, the interior keys on the right-hand edge) is written in
    // place; any other change writes a new tree.
    idxcodec::StandardLayout layout;
    bool layoutValid = false;
    int dirtyLeaf = -1;
    bool raise = false;
    bool whole = false;
    // A write in place failed part-way: the file may hold a half-written node, so it is
    // not read back as it is (the owner rebuilds the index).
    bool torn = false;

    ~Impl()
    {
        if (held.fd >= 0)
            env().close(held.fd);
    }

    size_t keyLen() const { return size_t(img.keyLen); }

    bool load(const IdxKeyType* hint, Status* status)
    {
        // A writer may be switching the file over while we read it: what fails to decode
        // is read again when the file changed meanwhile.
        for (int attempt = 0;; ++attempt) {
            const Stamp before = Stamp::of(path, &held);
            std::string data;
            if (!readWholeFile(path, &data, status, maxBytes))
                return false;
            Image fresh;
            std::string why;
            if (!idxcodec::decode(reinterpret_cast<const uint8_t*>(data.data()), data.size(), hint, &fresh, &why)) {
                if (attempt < 3 && !(Stamp::of(path, &held) == before))
                    continue;
                return fail(status, ErrorKind::Corrupt, path + ": " + why);
            }
            // The standard form cannot record a descending order; keep what we were told.
            if (!fresh.compact && img.descending)
                fresh.descending = true;
            img = std::move(fresh);
            stamp = before;
            dirty = false;
            layoutValid = false;  // another writer's tree: the next change writes a new one
            torn = false;
            hold(false);
            return true;
        }
    }

    // (Re)opens the held descriptor when it is missing, names another file than the stamp
    // does, or cannot write when writing is wanted.
    bool hold(bool write)
    {
        if (held.fd >= 0 && (held.writable || !write) && stamp.valid && held.dev == stamp.dev && held.ino == stamp.ino)
            return true;
        if (held.fd >= 0)
            env().close(held.fd);
        held = Held();
        const int fd = env().open(path.c_str(), (write ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC, 0);
        if (fd < 0)
            return false;
        struct stat st;
        if (env().fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            env().close(fd);
            return false;
        }
        held = Held{fd, write, st.st_dev, st.st_ino};
        return true;
    }

    // A change of one leaf is noted; a second leaf, a full leaf or an emptied one means a
    // new tree.
    bool touch(size_t leaf)
    {
        if (dirtyLeaf >= 0 && size_t(dirtyLeaf) != leaf)
            whole = true;
        dirtyLeaf = int(leaf);
        return !whole;
    }

    // The entry now at position p was inserted.
    void noteInsert(size_t p)
    {
        if (!layoutValid || whole) {
            whole = true;
            return;
        }
        auto& leaves = layout.leaves;
        const std::string& key = img.entries[p].key;
        size_t i = 0, start = 0;
        while (i + 1 < leaves.size() && p >= start + leaves[i].count)
            start += leaves[i++].count;
        // Between two leaves the key goes where the parent's keys send a search for it.
        if (i > 0 && p == start && key.compare(leaves[i - 1].sep) <= 0) {
            --i;
            start -= leaves[i].count;
        }
        if (leaves[i].count >= size_t(idxcodec::standardCapacity(img.keyLen)) || !touch(i)) {
            whole = true;
            return;
        }
        const bool last = i + 1 == leaves.size() && p == start + leaves[i].count;
        idxcodec::insertIntoLeaf(reinterpret_cast<uint8_t*>(leaves[i].page.data()), keyLen(), p - start,
                                 img.entries[p]);
        ++leaves[i].count;
        if (last && !layout.spine.empty() && key.compare(leaves[i].sep) > 0) {
            // Past every key: the interior keys on the right-hand edge become this one.
            leaves[i].sep = key;
            for (auto& node : layout.spine) {
                uint8_t* page = reinterpret_cast<uint8_t*>(node.second.data());
                const size_t count = readLe16(page + 2);
                std::memcpy(page + 12 + (count - 1) * (keyLen() + 4), key.data(), keyLen());
            }
            raise = true;
        }
    }

    // The entry at position p was removed. The parent's key may now exceed the leaf's
    // last key; searches and readers accept that.
    void noteRemove(size_t p)
    {
        if (!layoutValid || whole) {
            whole = true;
            return;
        }
        auto& leaves = layout.leaves;
        size_t i = 0, start = 0;
        while (i + 1 < leaves.size() && p >= start + leaves[i].count)
            start += leaves[i++].count;
        if ((leaves[i].count <= 1 && leaves.size() > 1) || !touch(i)) {
            whole = true;
            return;
        }
        idxcodec::removeFromLeaf(reinterpret_cast<uint8_t*>(leaves[i].page.data()), keyLen(), p - start);
        --leaves[i].count;
    }

    // Writes the one changed leaf over itself: the raised interior keys first (a key above
    // the keys under it misleads no search), then the leaf, then the change counter.
    bool saveInPlace(Status* status)
    {
        if (!hold(true))
            return failSys(status, "cannot write", path);
        const idxcodec::StandardLayout::Leaf& leaf = layout.leaves[size_t(dirtyLeaf)];
        bool ok = true;
        for (size_t i = 0; raise && ok && i < layout.spine.size(); ++i)
            ok = writeAt(held.fd, layout.spine[i].second.data(), idxcodec::kPage, off_t(layout.spine[i].first));
        ok = ok && writeAt(held.fd, leaf.page.data(), idxcodec::kPage, off_t(leaf.offset));
        unsigned char gen[4];
        writeLe32(gen, img.generation + 1);
        ok = ok && writeAt(held.fd, gen, sizeof gen, off_t(idxcodec::kGenerationOffset));
        if (!ok) {
            failSys(status, "cannot write", path);
            torn = true;
            layoutValid = false;
            return false;
        }
        ++img.generation;
        dirtyLeaf = -1;
        raise = false;
        dirty = false;
        // The file is the one the stamp names (hold checked it): only its times, and the
        // counter we wrote, moved.
        struct stat st;
        if (stamp.head.size() == 20 && env().fstat(held.fd, &st) == 0) {
            stamp.size = st.st_size;
            stamp.mtime = st.st_mtim;
            stamp.ctime = st.st_ctim;
            stamp.head.replace(16, 4, reinterpret_cast<const char*>(gen), sizeof gen);
        } else {
            stamp = Stamp::of(path, &held);
        }
        return true;
    }

    // fresh: a new build, its leaves filled completely; otherwise leaves keep room for
    // the inserts to come.
    bool save(Status* status, bool fresh = false)
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

    // Someone else may have rewritten the file since we read it: start from their version
    // rather than overwrite it with ours.
    void catchUp()
    {
        // A memory-only order may hold what the file lacks: its owner decides when to reload.
        // After a write cut short the file is not read back; the owner rebuilds it.
        if (dirty || memoryOnly || torn || Stamp::of(path, &held) == stamp)
            return;
        const IdxKeyType type = img.keyType;
        load(&type, nullptr);  // unreadable: our copy is the best there is; it is written next
    }

    bool written(Status* status)
    {
        dirty = true;
        if (deferred || memoryOnly)
            return true;
        return save(status);
    }

    bool validEntry(const IdxEntry& e, Status* status) const
    {
        if (e.key.size() != keyLen())
            return fail(status, ErrorKind::BadArgument,
                        "key of " + std::to_string(e.key.size()) + " bytes for an index of " + std::to_string(keyLen())
                            + "-byte keys");
        if (e.recNo == 0)
            return fail(status, ErrorKind::BadArgument, "record number 0");
        return true;
    }
};

IdxFile::IdxFile() : d(std::make_unique<Impl>()) { }

// Unwritten changes are dropped, not written: a destructor cannot know whether the lock
// that guards the file is held, and the owner flushes under it.
IdxFile::~IdxFile() = default;

std::unique_ptr<IdxFile> IdxFile::open(const std::string& path, Status* status)
{
    std::unique_ptr<IdxFile> f(new IdxFile());
    f->d->path = path;
    if (!f->d->load(nullptr, status))
        return nullptr;
    return f;
}

std::unique_ptr<IdxFile> IdxFile::open(const std::string& path, Status* status, IdxKeyType expected)
{
    std::unique_ptr<IdxFile> f(new IdxFile());
    f->d->path = path;
    if (!f->d->load(&expected, status))
        return nullptr;
    return f;
}

std::unique_ptr<IdxFile> IdxFile::open(const std::string& path, Status* status, const IdxKeyType* expected,
                                       uint64_t maxBytes)
{
    std::unique_ptr<IdxFile> f(new IdxFile());
    f->d->path = path;
    f->d->maxBytes = maxBytes;
    if (!f->d->load(expected, status))
        return nullptr;
    return f;
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

std::string IdxFile::charKey(const std::string& text, int keyLen)
{
    std::string k = text.substr(0, size_t(std::max(keyLen, 0)));
    k.resize(size_t(std::max(keyLen, 0)), ' ');
    return k;
}

std::string IdxFile::numericKey(double value)
{
    if (value == 0.0 || std::isnan(value))
        value = 0.0;  // -0 sorts with +0; a NaN has no place in the order
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    bits = (bits >> 63) ? ~bits : bits ^ (uint64_t(1) << 63);
    std::string k(8, '\0');
    for (int i = 0; i < 8; ++i)
        k[size_t(i)] = char(uint8_t(bits >> (56 - 8 * i)));
    return k;
}

double IdxFile::numericValue(const std::string& key)
{
    if (key.size() != 8)
        return 0.0;
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits = bits << 8 | uint8_t(key[size_t(i)]);
    bits = (bits >> 63) ? bits ^ (uint64_t(1) << 63) : ~bits;
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

const std::string& IdxFile::path() const
{
    return d->path;
}
const std::string& IdxFile::keyExpr() const
{
    return d->img.keyExpr;
}
const std::string& IdxFile::condition() const
{
    return d->img.condition;
}
IdxKeyType IdxFile::keyType() const
{
    return d->img.keyType;
}
int IdxFile::keyLen() const
{
    return d->img.keyLen;
}
bool IdxFile::descending() const
{
    return d->img.descending;
}
bool IdxFile::unique() const
{
    return d->img.unique;
}
bool IdxFile::compact() const
{
    return d->img.compact;
}
const std::vector<IdxEntry>& IdxFile::entries() const
{
    return d->img.entries;
}

bool IdxFile::insert(const IdxEntry& e, Status* status)
{
    d->catchUp();
    if (!d->validEntry(e, status))
        return false;
    std::vector<IdxEntry>& v = d->img.entries;
    const size_t n = d->keyLen();
    auto it = std::lower_bound(v.begin(), v.end(), e,
                               [n](const IdxEntry& a, const IdxEntry& b) { return compareEntries(a, b, n) < 0; });
    if (it != v.end() && compareEntries(*it, e, n) == 0)
        return true;  // already there
    if (d->img.unique) {
        // A unique index keeps one record per key, the first one indexed.
        const bool before = it != v.begin() && std::memcmp((it - 1)->key.data(), e.key.data(), n) == 0;
        const bool after = it != v.end() && std::memcmp(it->key.data(), e.key.data(), n) == 0;
        if (before || after)
            return true;
    }
    const size_t pos = size_t(it - v.begin());
    v.insert(it, e);
    d->noteInsert(pos);
    return d->written(status);
}

bool IdxFile::remove(const IdxEntry& e, Status* status)
{
    d->catchUp();
    if (!d->validEntry(e, status))
        return false;
    std::vector<IdxEntry>& v = d->img.entries;
    const size_t n = d->keyLen();
    auto it = std::lower_bound(v.begin(), v.end(), e,
                               [n](const IdxEntry& a, const IdxEntry& b) { return compareEntries(a, b, n) < 0; });
    if (it == v.end() || compareEntries(*it, e, n) != 0)
        return fail(status, ErrorKind::NotFound,
                    "record " + std::to_string(e.recNo) + " is not in the index under that key");
    const size_t pos = size_t(it - v.begin());
    v.erase(it);
    d->noteRemove(pos);
    return d->written(status);
}

bool IdxFile::flush(Status* status)
{
    if (!d->dirty || d->memoryOnly)
        return true;
    return d->save(status);
}

bool IdxFile::sync(Status* status)
{
    if (d->memoryOnly)
        return true;
    if (!flush(status))
        return false;
    if (!d->hold(false))
        return failSys(status, "cannot open", d->path);
    const bool ok = env().fdatasync(d->held.fd) == 0;
    if (!ok)
        failSys(status, "cannot sync", d->path);
    return ok;
}

void IdxFile::setDeferredWrites(bool on)
{
    d->deferred = on;
}

void IdxFile::setMemoryOnly()
{
    d->memoryOnly = true;
}

size_t IdxFile::seek(const std::string& key, bool* found) const
{
    const std::vector<IdxEntry>& v = d->img.entries;
    const size_t n = std::min(key.size(), d->keyLen());
    auto it = std::lower_bound(v.begin(), v.end(), key,
                               [n](const IdxEntry& e, const std::string& k) { return lessKey(e, k, n); });
    if (found)
        *found = it != v.end() && std::memcmp(it->key.data(), key.data(), n) == 0;
    return size_t(it - v.begin());
}

bool IdxFile::changedOnDisk() const
{
    return !(Stamp::of(d->path, &d->held) == d->stamp);
}

bool IdxFile::reload(Status* status)
{
    if (d->torn)
        return fail(status, ErrorKind::Io, d->path + ": a write was cut short; the index is rebuilt");
    const IdxKeyType type = d->img.keyType;
    return d->load(&type, status);
}

}  // namespace xb
