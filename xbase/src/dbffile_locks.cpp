#include "dbffile.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "dbfinternal.h"
#include "env.h"

// The table file's locks: the FoxPro scheme's byte ranges as open-file-description locks.

namespace xb {

uint64_t DbfFile::recordLockOffset(uint32_t recNo) const
{
    return kLockBase + recordOffset(recNo);
}

bool DbfFile::setLock(short type, uint64_t start, uint64_t length, int timeoutMs)
{
    struct flock fl { };
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(start);
    fl.l_len = static_cast<off_t>(length);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (env().lock(m_fd, F_OFD_SETLK, &fl) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if ((errno != EAGAIN && errno != EACCES) || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

Status DbfFile::lockHeader(int timeoutMs)
{
    if (m_mode == OpenMode::Exclusive || m_headerLocked)
        return Status();
    if (!writable())
        return Status::error(ErrorKind::ReadOnly, "The table " + m_path + " is opened read-only");
    if (!setLock(F_WRLCK, kLockBase, 1, timeoutMs))
        return Status::error(ErrorKind::Locked, "The header of " + m_path + " is locked by another user");
    m_headerLocked = true;
    m_countUnderLock = false;
    dropCache();  // appenders finished their records before letting the lock go
    return Status();
}

void DbfFile::unlockHeader()
{
    if (!m_headerLocked)
        return;
    setLock(F_UNLCK, kLockBase, 1, 0);
    m_headerLocked = false;
    m_countUnderLock = false;
}

Status DbfFile::lockRecord(uint32_t recNo, int timeoutMs)
{
    if (holdsFileLock() || holdsRecordLock(recNo))
        return Status();
    const short type = writable() ? F_WRLCK : F_RDLCK;
    if (!setLock(type, recordLockOffset(recNo), 1, timeoutMs))
        return Status::error(ErrorKind::Locked,
                             "Record " + std::to_string(recNo) + " of " + m_path + " is locked by another user");
    m_lockedRecords.insert(std::lower_bound(m_lockedRecords.begin(), m_lockedRecords.end(), recNo), recNo);
    dropCache();
    return Status();
}

void DbfFile::unlockRecord(uint32_t recNo)
{
    auto it = std::lower_bound(m_lockedRecords.begin(), m_lockedRecords.end(), recNo);
    if (it == m_lockedRecords.end() || *it != recNo)
        return;
    m_lockedRecords.erase(it);
    // Under a file lock the byte belongs to the file lock's range: leave it locked.
    if (!holdsFileLock())
        setLock(F_UNLCK, recordLockOffset(recNo), 1, 0);
}

Status DbfFile::lockFile(int timeoutMs)
{
    if (holdsFileLock())
        return Status();
    const short type = writable() ? F_WRLCK : F_RDLCK;
    if (!setLock(type, kFileLockStart, kFileLockLength, timeoutMs))
        return Status::error(ErrorKind::Locked, "The table " + m_path + " is locked by another user");
    m_fileLocked = true;
    dropCache();  // others wrote until now; from here on nobody else writes
    return Status();
}

void DbfFile::unlockAll()
{
    if (m_mode != OpenMode::Exclusive) {
        if (m_fileLocked || !m_lockedRecords.empty())
            setLock(F_UNLCK, kFileLockStart, kFileLockLength, 0);
        // Records of very large files lie past the FLOCK range.
        for (uint32_t r : m_lockedRecords)
            if (recordLockOffset(r) >= kFileLockStart + kFileLockLength)
                setLock(F_UNLCK, recordLockOffset(r), 1, 0);
    }
    m_lockedRecords.clear();
    m_fileLocked = false;
}

bool DbfFile::holdsRecordLock(uint32_t recNo) const
{
    return std::binary_search(m_lockedRecords.begin(), m_lockedRecords.end(), recNo);
}

}  // namespace xb
