#include "dbffile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "bytes.h"
#include "dbfinternal.h"
#include "env.h"

namespace xb {

namespace {

std::string errnoText(int err)
{
    return std::strerror(err);
}

}  // namespace

void todayBytes(unsigned char* out)
{
    // Every append stamps the date: the local calendar is consulted once a minute, not
    // on each record (a date, or the zone's offset, never changes within a minute).
    thread_local std::time_t minute = -1;
    thread_local unsigned char date[3];
    const std::time_t now = std::time(nullptr);
    if (now / 60 != minute) {
        std::tm tm{};
        localtime_r(&now, &tm);
        date[0] = static_cast<unsigned char>(std::clamp(tm.tm_year, 0, 255));
        date[1] = static_cast<unsigned char>(tm.tm_mon + 1);
        date[2] = static_cast<unsigned char>(tm.tm_mday);
        minute = now / 60;
    }
    std::memcpy(out, date, sizeof date);
}

std::unique_ptr<DbfFile> DbfFile::open(const std::string& path, OpenMode mode, Status* status, uint32_t* missing)
{
    auto fail = [&](ErrorKind kind, const std::string& text) {
        *status = Status::error(kind, text);
        return nullptr;
    };
    if (missing)
        *missing = 0;
    int fd = openRegular(path, mode == OpenMode::ReadOnly ? O_RDONLY : O_RDWR, status, "table");
    if (fd < 0) {
        struct stat ls { };
        if (status->kind() == ErrorKind::NotFound && env().lstat(path.c_str(), &ls) == 0 && S_ISLNK(ls.st_mode))
            return fail(ErrorKind::NotFound,
                        "Cannot open table " + path + ": it is a link to a file that does not exist");
        return nullptr;
    }
    std::unique_ptr<DbfFile> f(new DbfFile());
    f->m_fd = fd;
    f->m_path = path;
    f->m_mode = mode;
    if (mode != OpenMode::ReadOnly)
        removeStaleTemps(path);  // left by a creator killed before it could publish

    struct stat st { };
    if (env().fstat(fd, &st) != 0)
        return fail(kindOfErrno(errno), "Cannot read " + path + ": " + errnoText(errno));
    f->m_fileSize = static_cast<uint64_t>(st.st_size);
    f->m_seenSize = f->m_fileSize;
    f->m_seenMtime = st.st_mtim;
    f->m_seenCtime = st.st_ctim;

    std::vector<unsigned char> head(static_cast<size_t>(std::min<uint64_t>(f->m_fileSize, kMaxHeaderLength + 1)));
    ssize_t got = readAt(fd, head.data(), head.size(), 0);
    if (got < 0)
        return fail(ErrorKind::Io, "Cannot read " + path + ": " + errnoText(errno));
    Status parsed = parseDbfHeader(head.data(), static_cast<size_t>(got), f->m_fileSize, &f->m_header);
    if (!parsed.ok())
        return fail(ErrorKind::Corrupt, path + " is not a valid table: " + parsed.message());

    if (mode == OpenMode::Exclusive) {
        if (!f->setLock(F_WRLCK, kLockBase, kExclusiveLength, 0))
            return fail(ErrorKind::Locked, "Cannot open " + path + " exclusively: it is locked by another user");
    } else {
        // Nobody else can hold a lock beside an exclusive open's: if there is one, it is
        // the lock GETLK reports.
        struct flock fl { };
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = static_cast<off_t>(kLockBase);
        fl.l_len = static_cast<off_t>(kExclusiveLength);
        if (env().lock(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK
            && static_cast<uint64_t>(fl.l_start) == kLockBase && fl.l_len == static_cast<off_t>(kExclusiveLength))
            return fail(ErrorKind::Locked, "Cannot open " + path + ": it is opened exclusively by another user");
    }

    // Not zeroed: a slot is read only after a block was read into it.
    f->m_slotSize = kBlockSize + f->m_header.recordLength;
    f->m_cache.reset(new char[kBlocks * f->m_slotSize]);
    f->m_scratch.assign(f->m_header.recordLength, ' ');
    uint64_t available = (f->m_fileSize - f->m_header.headerLength) / f->m_header.recordLength;
    if (available < f->m_header.headerCount) {
        // An appender writes its record before it counts it, so the size taken after
        // reading the count holds every counted record: one that grew between the first
        // size and the header read is not a short file.
        struct stat again { };
        if (env().fstat(fd, &again) == 0 && static_cast<uint64_t>(again.st_size) > f->m_fileSize) {
            f->m_fileSize = static_cast<uint64_t>(again.st_size);
            f->m_seenSize = f->m_fileSize;
            f->m_seenMtime = again.st_mtim;
            f->m_seenCtime = again.st_ctim;
            available = (f->m_fileSize - f->m_header.headerLength) / f->m_header.recordLength;
        }
    }
    if (available < f->m_header.headerCount) {
        // Cut short by a copy, a restore or a full disk: what is missing is gone, and a
        // table opened as if nothing happened would pass for complete.
        const uint64_t lost = f->m_header.headerCount - available;
        if (missing)
            *missing = static_cast<uint32_t>(lost);
        return fail(ErrorKind::Corrupt,
                    "The table " + path + " is shorter than its header says: " + std::to_string(lost) + " of "
                        + std::to_string(f->m_header.headerCount) + " records are missing");
    }
    f->m_count = f->m_header.headerCount;
    // A record a killed appender wrote but never counted is removed now, if no appender is
    // at work (they hold the header lock).
    if (mode != OpenMode::ReadOnly && f->m_fileSize >= f->recordOffset(f->m_count + 2)
        && f->setLock(F_WRLCK, kLockBase, 1, 0)) {
        f->m_headerLocked = true;
        unsigned char countBytes[4];
        if (readAt(fd, countBytes, 4, 4) == 4 && readLe32(countBytes) == f->m_count)
            (void)f->cutUncounted();
        f->unlockHeader();
    }
    f->m_blank.assign(f->m_header.recordLength, ' ');
    *status = Status();
    return f;
}

DbfFile::~DbfFile()
{
    touchDate();
    if (m_fd >= 0)
        env().close(m_fd);  // releases every lock of this open file description
}

void DbfFile::dropCache() const
{
    std::fill(std::begin(m_blockOf), std::end(m_blockOf), 0);
}

const char* DbfFile::readFailed(uint32_t recNo, const Status& why) const
{
    if (m_readError.ok())
        m_readError = Status::error(
            why.kind(), "Cannot read record " + std::to_string(recNo) + " of " + m_path + ": " + why.message());
    return m_blank.data();
}

const char* DbfFile::recordSlow(uint32_t recNo) const
{
    const uint64_t off = recordOffset(recNo);
    const uint32_t len = m_header.recordLength;
    const bool fresh = m_mode != OpenMode::Exclusive && !m_fileLocked && holdsRecordLock(recNo);
    const uint64_t block = off >> kBlockBits;
    const uint64_t in = off & (kBlockSize - 1);
    auto direct = [&]() -> const char* {
        const ssize_t n = readAt(m_fd, m_scratch.data(), len, static_cast<off_t>(off));
        if (n < 0)
            return readFailed(recNo, systemError("the medium failed", errno));
        if (static_cast<size_t>(n) < len)
            return readFailed(recNo, Status::error(ErrorKind::Corrupt, "another program cut the table short"));
        return m_scratch.data();
    };
    if (fresh)
        return direct();  // under our record lock: straight from the file
    const size_t slot = static_cast<size_t>(block & (kBlocks - 1));
    char* dest = m_cache.get() + slot * m_slotSize;
    if (m_blockOf[slot] == block + 1 && in + len <= m_blockLen[slot])
        return dest + in;
    m_blockOf[slot] = 0;
    // One read: the block the file ends in comes back short, and a second read would only
    // confirm the end. A record the short block lacks is asked for on its own.
    ssize_t n;
    do
        n = env().pread(m_fd, dest, m_slotSize, static_cast<off_t>(block << kBlockBits));
    while (n < 0 && errno == EINTR);
    if (n < 0)
        return readFailed(recNo, systemError("the medium failed", errno));
    m_blockOf[slot] = block + 1;
    m_blockLen[slot] = static_cast<uint64_t>(n);
    if (in + len > static_cast<uint64_t>(n))
        return direct();
    return dest + in;
}

int DbfFile::fieldIndex(std::string_view name) const
{
    name = trimRight(trimLeft(name));
    for (size_t i = 0; i < m_header.fields.size(); ++i)
        if (equalsNoCase(m_header.fields[i].name, name))
            return static_cast<int>(i);
    return -1;
}

bool DbfFile::refreshCount()
{
    const uint64_t h = m_header.headerLength;
    const uint64_t l = m_header.recordLength;
    unsigned char countBytes[4];
    if (readAt(m_fd, countBytes, sizeof countBytes, 4) != static_cast<ssize_t>(sizeof countBytes))
        return false;  // the file is cut short or failing: the reads say so
    const uint32_t inHeader = readLe32(countBytes);
    // A count that grew may mean a longer file; one that shrank may mean a shorter one,
    // and nothing past the real end may be touched.
    if (h + inHeader * l > m_fileSize || inHeader < m_count) {
        struct stat st { };
        if (env().fstat(m_fd, &st) == 0 && static_cast<uint64_t>(st.st_size) != m_fileSize) {
            const uint64_t size = static_cast<uint64_t>(st.st_size);
            m_fileSize = std::max<uint64_t>(size, h);
        }
    }
    const uint64_t available = m_fileSize >= h ? (m_fileSize - h) / l : 0;
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(inHeader, available));
    const bool changed = count != m_count;
    m_count = count;
    m_countUnderLock = m_headerLocked;
    return changed;
}

bool DbfFile::changedSinceLastLook()
{
    struct stat st { };
    if (env().fstat(m_fd, &st) != 0)
        return true;
    const bool same = static_cast<uint64_t>(st.st_size) == m_seenSize && st.st_mtim.tv_sec == m_seenMtime.tv_sec
        && st.st_mtim.tv_nsec == m_seenMtime.tv_nsec && st.st_ctim.tv_sec == m_seenCtime.tv_sec
        && st.st_ctim.tv_nsec == m_seenCtime.tv_nsec;
    m_seenSize = static_cast<uint64_t>(st.st_size);
    m_seenMtime = st.st_mtim;
    m_seenCtime = st.st_ctim;
    return !same;
}

Status DbfFile::pwriteAll(const void* data, size_t size, uint64_t offset)
{
    m_modified = true;
    if (!writeAt(m_fd, data, size, static_cast<off_t>(offset)))
        return systemError("Cannot write " + m_path, errno);
    return Status();
}

Status DbfFile::writeRecord(uint32_t recNo, const char* image)
{
    if (!writable())
        return Status::error(ErrorKind::ReadOnly, "The table " + m_path + " is opened read-only");
    if (recNo < 1 || recNo > m_count)
        return Status::error(ErrorKind::NotFound, "Record " + std::to_string(recNo) + " does not exist");
    dropCache();
    return pwriteAll(image, m_header.recordLength, recordOffset(recNo));
}

Status DbfFile::writeFlag(uint32_t recNo, char flag)
{
    if (!writable())
        return Status::error(ErrorKind::ReadOnly, "The table " + m_path + " is opened read-only");
    if (recNo < 1 || recNo > m_count)
        return Status::error(ErrorKind::NotFound, "Record " + std::to_string(recNo) + " does not exist");
    dropCache();
    return pwriteAll(&flag, 1, recordOffset(recNo));
}

Status DbfFile::appendRecord(const char* image, uint32_t* recNo)
{
    if (!writable())
        return Status::error(ErrorKind::ReadOnly, "The table " + m_path + " is opened read-only");
    // The count in the file is the truth: other holders may have appended meanwhile
    // (not while we hold the header lock and have read it since taking it).
    if (!m_headerLocked || !m_countUnderLock)
        refreshCount();
    const uint32_t n = m_count;
    if (n == UINT32_MAX)
        return Status::error(ErrorKind::BadValue, "The table " + m_path + " is full");
    if (!holdsFileLock()) {
        // Another holder's FLOCK covers the new record's lock byte: no append then.
        Status locked = lockRecord(n + 1, 0);
        if (!locked.ok())
            return Status::error(ErrorKind::Locked,
                                 "Cannot append to " + m_path + ": the table is locked by another user");
    }
    const uint64_t offset = recordOffset(n + 1);
    std::string buf(image, m_header.recordLength);
    buf.push_back('\x1A');
    Status st = pwriteAll(buf.data(), buf.size(), offset);
    if (!st.ok()) {
        unlockRecord(n + 1);
        return st;
    }
    if (s_afterRecordWrite)
        s_afterRecordWrite();
    // Only now count the record: a crash before this line leaves it outside the count.
    unsigned char head[7];
    todayBytes(head);
    writeLe32(head + 3, n + 1);
    st = pwriteAll(head, sizeof head, 1);
    if (!st.ok())
        return st;
    m_fileSize = std::max<uint64_t>(m_fileSize, offset + buf.size());
    dropCache();
    m_count = n + 1;
    *recNo = n + 1;
    return Status();
}

bool DbfFile::isSameFile(const struct stat& st) const
{
    struct stat own { };
    return env().fstat(m_fd, &own) == 0 && own.st_dev == st.st_dev && own.st_ino == st.st_ino;
}

Status DbfFile::sync()
{
    if (env().fdatasync(m_fd) != 0)
        return systemError("Cannot write " + m_path + " to disk", errno);
    return Status();
}

Status DbfFile::readRecord(uint32_t recNo, std::string* out)
{
    if (recNo < 1 || recNo > m_count)
        return Status::error(ErrorKind::NotFound, "Record " + std::to_string(recNo) + " does not exist");
    out->resize(m_header.recordLength);
    const ssize_t n = readAt(m_fd, out->data(), out->size(), static_cast<off_t>(recordOffset(recNo)));
    if (n < 0)
        return systemError("Cannot read " + m_path, errno);
    if (static_cast<size_t>(n) < out->size())
        return Status::error(ErrorKind::Corrupt,
                             "Record " + std::to_string(recNo) + " of " + m_path
                                 + " is missing: another program cut the table short");
    return Status();
}

Status DbfFile::restoreCount(uint32_t count)
{
    unsigned char b[4];
    writeLe32(b, count);
    Status st = pwriteAll(b, sizeof b, 4);
    if (!st.ok())
        return st;
    m_count = count;
    return cutUncounted();
}

// Readers that go by the end-of-file mark rather than the count (dbfread among them)
// would take an appended record that was never counted for a real one: it goes, and the
// mark is put back after the last counted record. Only under the header lock.
Status DbfFile::cutUncounted()
{
    const uint64_t end = recordOffset(m_count + 1);
    struct stat st { };
    if (env().fstat(m_fd, &st) != 0)
        return systemError("Cannot read " + m_path, errno);
    if (static_cast<uint64_t>(st.st_size) < end + m_header.recordLength)
        return Status();
    unsigned char mark = 0;
    if (readAt(m_fd, &mark, 1, static_cast<off_t>(end)) == 1 && mark == 0x1A)
        return Status();  // what lies past the mark is not a record
    if (env().ftruncate(m_fd, static_cast<off_t>(end)) != 0)
        return systemError("Cannot write " + m_path, errno);
    m_fileSize = end;
    dropCache();
    const unsigned char eof = 0x1A;
    return pwriteAll(&eof, 1, end);
}

void DbfFile::touchDate()
{
    if (!m_modified || !writable() || m_fd < 0)
        return;
    unsigned char date[3];
    todayBytes(date);
    unsigned char seen[3] = {};
    if (readAt(m_fd, seen, 3, 1) != 3 || std::memcmp(date, seen, 3) != 0)
        (void)writeAt(m_fd, date, 3, 1);
    m_modified = false;
}

}  // namespace xb
