#pragma once

#include <sys/stat.h>

#include <ctime>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "status.h"

namespace xb {

// One field as the table file describes it.
struct FieldDesc {
    std::string name;     // as stored (our tables: capitals)
    char type = 'C';      // C N F L D I M ...
    uint32_t offset = 0;  // from the first byte of the record (the deletion flag), so >= 1
    uint32_t width = 0;
    uint32_t decimals = 0;
};

// What the fixed part of a DBF file says, after validation.
struct DbfHeader {
    uint8_t version = 0;
    uint8_t codePage = 0;
    uint32_t headerCount = 0;   // record count as bytes 4-7 give it
    uint32_t headerLength = 0;  // offset of the first record
    uint32_t recordLength = 0;  // including the deletion flag
    std::vector<FieldDesc> fields;
};

// Validates the header bytes of a table (data: the first bytes of the file, at least
// 32; fileSize: the whole file's length). Never reads outside data.
Status parseDbfHeader(const unsigned char* data, size_t size, uint64_t fileSize, DbfHeader* out);

// Checks and normalises a field definition for a new table (name in capitals).
Status checkNewField(FieldDesc* field);

// The bytes of a new, empty table: header, descriptors, terminator, end-of-file mark.
std::string buildDbfImage(const std::vector<FieldDesc>& fields, uint8_t codePage);

// Open DBF table file: header, fields, record access through pread into a small block
// cache of our own (a shared mapping would turn a table another program cuts short into
// SIGBUS), writes with one pwrite per record, and the FoxPro-scheme byte-range locks as
// open-file-description locks. Knows nothing of indexes, orders or queries.
//
// The cache is dropped on every positioning call of the cursor (dropCache) and whenever
// a lock is taken; a record under our record lock is always read from the file.
class DbfFile {
public:
    enum class OpenMode { Shared, ReadOnly, Exclusive };

    // A table shorter than its header's record count is refused (Corrupt); *missing then
    // receives the number of records it lacks.
    static std::unique_ptr<DbfFile> open(const std::string& path, OpenMode mode, Status* status,
                                         uint32_t* missing = nullptr);
    // Writes a new empty table, synced, under a temporary name linked into place; an
    // existing file of that name (or a link) is never replaced: ErrorKind::Exists.
    static Status create(const std::string& path, const std::vector<FieldDesc>& fields, uint8_t codePage);

    ~DbfFile();
    DbfFile(const DbfFile&) = delete;
    DbfFile& operator=(const DbfFile&) = delete;

    const std::string& path() const { return m_path; }
    OpenMode mode() const { return m_mode; }
    bool writable() const { return m_mode != OpenMode::ReadOnly; }
    const DbfHeader& header() const { return m_header; }
    const std::vector<FieldDesc>& fields() const { return m_header.fields; }
    int fieldIndex(std::string_view name) const;  // -1 when absent; any letter case
    uint32_t recordLength() const { return m_header.recordLength; }
    uint32_t headerLength() const { return m_header.headerLength; }

    // Records in the file, as last seen by refreshCount() or our own append.
    uint32_t recordCount() const { return m_count; }
    // Re-reads the header's record count (one pread) and the file size when needed.
    // Returns true when the count changed.
    bool refreshCount();
    // Whether the file's size or times changed since the last call (or the open); other
    // holders change a table's index files only together with the table.
    bool changedSinceLastLook();

    // Record image (recordLength bytes) of record 1..recordCount(); valid until the next
    // call of record() or any write. A record the file no longer holds (cut short by
    // another program) or cannot give (a failing medium) reads as blanks and leaves an
    // error for takeReadError().
    const char* record(uint32_t recNo) const
    {
        const uint64_t off = recordOffset(recNo);
        const uint64_t block = off >> kBlockBits;
        const size_t slot = static_cast<size_t>(block & (kBlocks - 1));
        const uint64_t in = off & (kBlockSize - 1);
        if (m_blockOf[slot] == block + 1 && in + m_header.recordLength <= m_blockLen[slot] && m_lockedRecords.empty())
            return m_cache.get() + slot * m_slotSize + in;
        return recordSlow(recNo);
    }
    // Forgets cached records: the next reads see what other holders wrote meanwhile.
    void dropCache() const;
    const char* blankRecord() const { return m_blank.data(); }
    bool isDeleted(uint32_t recNo) const { return record(recNo)[0] == '*'; }

    Status writeRecord(uint32_t recNo, const char* image);  // one pwrite
    Status writeFlag(uint32_t recNo, char flag);            // one pwrite of the flag byte
    // Appends image as a new record under a held header lock: re-reads the count from
    // the file, writes the record and the end-of-file mark with one pwrite, then the
    // record count and date. *recNo receives the new record's number.
    Status appendRecord(const char* image, uint32_t* recNo);
    // Writes the update date when the table was changed (called on close).
    void touchDate();

    // Locks (FoxPro scheme). In exclusive mode every lock is already held.
    Status lockHeader(int timeoutMs);
    void unlockHeader();
    Status lockRecord(uint32_t recNo, int timeoutMs);
    void unlockRecord(uint32_t recNo);
    Status lockFile(int timeoutMs);
    void unlockAll();
    bool holdsRecordLock(uint32_t recNo) const;
    bool holdsFileLock() const { return m_fileLocked || m_mode == OpenMode::Exclusive; }
    bool holdsHeaderLock() const { return m_headerLocked || m_mode == OpenMode::Exclusive; }
    const std::vector<uint32_t>& lockedRecords() const { return m_lockedRecords; }

    // Whether st (from stat) describes this table's file.
    bool isSameFile(const struct stat& st) const;
    // A read of a record that failed since the last call (the record then read as blanks).
    Status takeReadError() { return std::exchange(m_readError, Status()); }
    bool hasReadError() const { return !m_readError.ok(); }
    // Data sync of the table file (records and header).
    Status sync();
    // Reads record recNo straight from the file into out (no cache): for read-modify-write
    // under the record's lock.
    Status readRecord(uint32_t recNo, std::string* out);
    // Puts the header's record count back to count (an append whose index step failed);
    // only under the header lock.
    Status restoreCount(uint32_t count);
    Status cutUncounted();

    // Test seam: called by appendRecord between writing the record and counting it, so
    // a test can stop the process exactly there.
    static inline void (*s_afterRecordWrite)() = nullptr;

private:
    DbfFile() = default;
    static constexpr unsigned kBlockBits = 14;
    static constexpr uint64_t kBlockSize = uint64_t{1} << kBlockBits;
    static constexpr size_t kBlocks = 16;
    const char* recordSlow(uint32_t recNo) const;
    const char* readFailed(uint32_t recNo, const Status& why) const;
    uint64_t recordOffset(uint32_t recNo) const
    {
        return m_header.headerLength + static_cast<uint64_t>(recNo - 1) * m_header.recordLength;
    }
    uint64_t recordLockOffset(uint32_t recNo) const;
    bool setLock(short type, uint64_t start, uint64_t length, int timeoutMs);
    Status pwriteAll(const void* data, size_t size, uint64_t offset);

    std::string m_path;
    OpenMode m_mode = OpenMode::Shared;
    int m_fd = -1;
    DbfHeader m_header;
    uint32_t m_count = 0;
    uint64_t m_fileSize = 0;
    struct timespec m_seenMtime { };
    struct timespec m_seenCtime { };
    uint64_t m_seenSize = 0;
    // kBlocks slots, each a block and the record-length-1 bytes after it, so that every
    // record starting in a block lies whole in its slot (a scan reads each block once).
    std::unique_ptr<char[]> m_cache;
    size_t m_slotSize = 0;
    mutable uint64_t m_blockOf[kBlocks] = {};   // block number + 1 held by each slot, 0: none
    mutable uint64_t m_blockLen[kBlocks] = {};  // bytes the file gave for it
    mutable std::string m_scratch;              // a record read on its own
    std::string m_blank;
    std::vector<uint32_t> m_lockedRecords;  // sorted
    bool m_fileLocked = false;
    bool m_headerLocked = false;
    bool m_countUnderLock = false;  // the count was read from the file under the header lock
    bool m_modified = false;
    mutable Status m_readError;
};

// Holds the header lock for a scope unless it was held already (an append in progress,
// an exclusive open); released on every way out, exceptions included.
class HeaderLockGuard {
public:
    HeaderLockGuard(DbfFile& file, int timeoutMs) : m_file(file)
    {
        if (!file.holdsHeaderLock()) {
            m_status = file.lockHeader(timeoutMs);
            m_took = m_status.ok();
        }
    }
    ~HeaderLockGuard()
    {
        if (m_took)
            m_file.unlockHeader();
    }
    HeaderLockGuard(const HeaderLockGuard&) = delete;
    HeaderLockGuard& operator=(const HeaderLockGuard&) = delete;
    const Status& status() const { return m_status; }
    // The lock outlives the scope (a pending append keeps it).
    void keep() { m_took = false; }

private:
    DbfFile& m_file;
    Status m_status;
    bool m_took = false;
};

// The same for one record's lock.
class RecordLockGuard {
public:
    RecordLockGuard(DbfFile& file, uint32_t recNo, int timeoutMs) : m_file(file), m_recNo(recNo)
    {
        if (!file.holdsFileLock() && !file.holdsRecordLock(recNo)) {
            m_status = file.lockRecord(recNo, timeoutMs);
            m_took = m_status.ok();
        }
    }
    ~RecordLockGuard()
    {
        if (m_took)
            m_file.unlockRecord(m_recNo);
    }
    RecordLockGuard(const RecordLockGuard&) = delete;
    RecordLockGuard& operator=(const RecordLockGuard&) = delete;
    const Status& status() const { return m_status; }

private:
    DbfFile& m_file;
    uint32_t m_recNo;
    Status m_status;
    bool m_took = false;
};

}  // namespace xb
