#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbffile.h"
#include "expr.h"
#include "idx.h"
#include "status.h"

namespace xb {

// Engine-wide settings (one set per process, as the C interface has them).
struct Settings {
    bool deleted = false;            // hide records marked deleted
    bool exact = false;              // SET EXACT
    bool softSeek = false;           // a failed seek lands on the next key
    int lockTimeoutMs = 0;           // waiting for record and file locks
    int headerLockTimeoutMs = 2000;  // appends wait this long for another appender or file lock
};

// One index file open on a table, with its compiled key and condition.
struct OrderIndex {
    std::unique_ptr<IdxFile> file;
    std::unique_ptr<Expr> key;
    std::unique_ptr<Expr> condition;  // null: every record
    uint32_t keyLen = 0;
    bool numeric = false;
    // A key that is one character field as wide as the key: the field's bytes are the
    // key, read straight from the record (0: no such shortcut).
    uint32_t plainCharOffset = 0;
    // A write of the file failed and memory may differ from it: rebuilt at the next look.
    bool stale = false;
};

// An open table with its cursor: current record, Eof/Bof, the active order (record
// order or one of its open indexes), the query bitmap and the deleted setting decide
// which records navigation sees. Writes keep every open index and the query up to
// date. The C interface maps one-to-one onto these members.
class WorkArea {
public:
    WorkArea(std::unique_ptr<DbfFile> table, std::string alias, const Settings* settings);
    ~WorkArea();
    WorkArea(const WorkArea&) = delete;
    WorkArea& operator=(const WorkArea&) = delete;

    DbfFile& table() { return *m_table; }
    const DbfFile& table() const { return *m_table; }
    const std::string& alias() const { return m_alias; }
    std::string folder() const;  // of the table file, with a trailing '/'

    // Navigation. Record numbers are physical; Eof puts the cursor on the phantom
    // record recordCount() + 1, whose image is all blanks.
    void goTop();
    void goBottom();
    void go(int64_t recNo);
    void skip(int64_t count);
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    bool found() const { return m_found; }
    uint32_t recNo() const { return m_recNo; }
    uint32_t recordCount();  // re-reads the header: other holders may have appended
    const char* currentRecord() const;
    bool currentDeleted() const;

    // Writes. Each write of an existing record takes its lock for the duration when the
    // caller does not hold it (or a file lock).
    Status putRecord(const char* image);
    // Appends a blank record and makes it current. The header lock stays held and the
    // new key waits in memory until the record is written (putRecord) or any other
    // cursor or lock operation settles the append: a new record costs one index write.
    Status appendBlank();
    Status setDeleted(bool deleted);
    // Changes fields of the current record: patch receives the record as the file holds it
    // once the record's lock is held.
    Status changeFields(const std::function<Status(char* record)>& patch) { return patchRecord(patch); }
    // Appends a whole record image: under the header lock (which also guards the
    // indexes) the record is written, then counted, then its keys are written; when an
    // index cannot be written the record is uncounted again. The new record becomes current.
    Status appendRecord(const char* image, uint32_t* recNo);
    // Finishes a pending append: writes the indexes and releases the header lock.
    Status settle();
    // After an exception inside a call: forget a pending append and release its lock.
    void abandonPending();
    // Data sync of the table and its open indexes.
    Status commit();

    // Indexes; handles are 1-based positions in the list of open indexes.
    Status createIndex(const std::string& path, const std::string& keyExpr, const std::string& condition,
                       bool descending, int* handle);
    Status openIndex(const std::string& path, int* handle);
    Status reindex();
    int setOrder(int handle);  // returns the previous order; invalid handles change nothing
    int order() const { return m_order; }
    size_t indexCount() const { return m_indexes.size(); }
    const OrderIndex* index(int handle) const;
    void closeIndexes();
    // Seek in the active order with the key as the caller passes it: character keys as
    // bytes (shorter = leading part), numeric keys as number text; raw: key bytes exactly
    // as the index stores them. *found tells whether an equal key was found.
    Status seek(std::string_view key, bool raw, bool* found);
    // Key bytes of the current record in the active order ("" in record order).
    std::string currentKey();

    // Query (an engine-side filter kept as one bit per record); "" removes it.
    Status setQuery(std::string_view expr);
    const std::string& queryText() const { return m_queryText; }
    bool hasQuery() const { return m_query != nullptr; }
    bool queryBit(uint32_t recNo) const;
    void setQueryBit(uint32_t recNo, bool value);
    uint32_t visibleCount();  // records navigation would show
    // Position of the current record among the visible ones in the order (1-based; 0 at Eof).
    uint32_t orderPosition();

    // Locks.
    Status lockRecord(int64_t recNo);
    void unlock(int64_t recNo);  // 0 = every lock
    Status lockFile();

    // Expressions over the current record.
    EvalContext context() const;

private:
    struct WalkPos {
        size_t pos = 0;      // walk position in the active order
        bool exact = false;  // the entry at pos is the current record itself
    };

    void sync();
    // One try of appendBlank/appendRecord; *untouched tells that it changed nothing.
    Status appendBlankOnce(int headerTimeoutMs, bool* untouched);
    Status appendRecordOnce(const char* image, uint32_t* recNo, int headerTimeoutMs, bool* untouched);
    void onCountChanged(uint32_t before, uint32_t now);
    // Defined here: every step of a scan asks it, and seeks (another source file) too.
    bool visible(uint32_t recNo) const
    {
        if (m_settings->deleted && m_table->record(recNo)[0] == '*')
            return false;
        if (m_query && !m_queryBits[recNo])
            return false;
        return true;
    }
    void setCurrent(uint32_t recNo);
    void setEof();
    void evaluateQueryBit(uint32_t recNo);

    OrderIndex& active() { return m_indexes[static_cast<size_t>(m_order - 1)]; }
    size_t walkSize();
    uint32_t walkRecord(size_t w);
    WalkPos walkPosition();
    void keyFor(const OrderIndex& ix, const char* record, uint32_t recNo, std::string* out) const;
    bool included(const OrderIndex& ix, const char* record, uint32_t recNo) const;
    bool indexHolds(OrderIndex& ix, const std::string& key, uint32_t recNo);
    Status verifyOrRebuild(OrderIndex& ix);
    void rebuildStale();
    Status rebuild(OrderIndex& ix, const std::string& path, const std::string& keyText, const std::string& condText,
                   bool descending, bool unique);
    Status checkIndexTarget(const std::string& path) const;
    Status compileIndexExprs(const std::string& keyText, const std::string& condText, OrderIndex* ix);
    Status updateIndexes(const char* oldImage, const char* newImage, uint32_t recNo);
    Status patchRecord(const std::function<Status(char* record)>& patch);
    bool keysChange(const char* oldImage, const char* newImage, uint32_t recNo);
    Status writeLocked(uint32_t recNo, const std::string& old, const char* image);
    Status flushIndexes();
    void reloadChangedIndexes();
    Status ensureLocked(uint32_t recNo, bool* tookLock);

    std::unique_ptr<DbfFile> m_table;
    std::string m_alias;
    const Settings* m_settings;

    uint32_t m_recNo = 1;
    bool m_eof = true;
    bool m_bof = true;
    bool m_found = false;

    std::vector<OrderIndex> m_indexes;
    int m_order = 0;
    uint64_t m_generation = 0;  // bumped whenever an index's entries may have moved
    uint64_t m_walkGeneration = ~0ULL;
    uint32_t m_walkRecNo = 0;
    WalkPos m_walk;

    bool m_recheckIndexes = false;
    std::chrono::steady_clock::time_point m_lastIndexCheck{};

    bool m_appendPending = false;
    uint32_t m_pendingRecNo = 0;

    std::unique_ptr<Expr> m_query;
    std::string m_queryText;
    std::vector<uint8_t> m_queryBits;  // by record number; [0] unused

    std::string m_keyBuf;
    std::string m_keyBuf2;
};

}  // namespace xb
