#include "idx.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
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

bool lessKey(const IdxEntry& e, const std::string& key, size_t n)
{
    return std::memcmp(e.key.data(), key.data(), n) < 0;
}

}  // namespace

Stamp Stamp::of(const std::string& path, const Held* held)
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

bool readWholeFile(const std::string& path, std::string* data, Status* status, uint64_t maxBytes)
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

bool IdxFile::Impl::load(const IdxKeyType* hint, Status* status)
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
bool IdxFile::Impl::hold(bool write)
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
