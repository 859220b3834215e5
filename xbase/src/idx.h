#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "status.h"

namespace xb {

enum class IdxKeyType { Character, Numeric };

// key: the sortable key bytes as stored in the file (keyLen bytes)
struct IdxEntry {
    std::string key;
    uint32_t recNo;
};

// One single-tag index file (.IDX), standard or compact form. The whole key set is held in
// memory in index order; the file is read in one go and written in one go, always in the
// standard form (a compact file becomes standard on its first change). A call that fails sets
// *status (when given) to the kind of failure: the system's refusal (disk full, access, I/O),
// a file that is not a valid index (corrupt) or unusable arguments.
class IdxFile {
public:
    // Reads an existing IDX (standard or compact form). Returns nullptr and sets *status on
    // any malformed or truncated file or failed read; never reads outside the file, never
    // crashes.
    static std::unique_ptr<IdxFile> open(const std::string& path, Status* status);
    // The same when the caller knows the key type (from the key expression and the table).
    // Without it the type is guessed: key length 8 with every key starting the way numeric
    // keys do means numeric. The guess matters for compact files, whose stored keys lack
    // their trailing filler (blanks for character keys, 0x00 for numeric ones).
    static std::unique_ptr<IdxFile> open(const std::string& path, Status* status, IdxKeyType expected);
    // The same with a bound: a file larger than maxBytes (0: none) is refused after its
    // header was read, without reading the rest.
    static std::unique_ptr<IdxFile> open(const std::string& path, Status* status, const IdxKeyType* expected,
                                         uint64_t maxBytes);
    // The same held in memory only when writeFile is false (an index of a table opened
    // read-only: the order is needed, the file is not ours to change).
    static std::unique_ptr<IdxFile> build(const std::string& path, const std::string& keyExpr, IdxKeyType type,
                                          int keyLen, std::vector<IdxEntry> entries, Status* status, bool descending,
                                          const std::string& condition, bool writeFile, bool unique = false);
    // Builds a new index from unsorted entries and writes it to path (replacing the file).
    // Exact repeats of an entry are kept once.
    static std::unique_ptr<IdxFile> create(const std::string& path, const std::string& keyExpr, IdxKeyType type,
                                           int keyLen, std::vector<IdxEntry> entries, Status* status,
                                           bool descending = false, const std::string& condition = std::string());

    // Key bytes for a value: character keys are the text bytes padded with blanks to keyLen
    // (cut to keyLen); numeric keys are the file's 8-byte sortable encoding of the double.
    static std::string charKey(const std::string& text, int keyLen);
    static std::string numericKey(double value);
    static double numericValue(const std::string& key);  // inverse of numericKey

    const std::string& path() const;
    const std::string& keyExpr() const;  // as stored in the file (trimmed)
    const std::string& condition() const;
    IdxKeyType keyType() const;
    int keyLen() const;
    // The standard form has no order field: a descending order given to create() is kept
    // for the life of this object only.
    bool descending() const;
    bool unique() const;   // option 0x01 of the file: one entry per key value
    bool compact() const;  // the file on disk is in the compact form (we write only standard)
    // Entries in index order: keys ascending by byte comparison (memcmp of key bytes), equal
    // keys by ascending record number.
    const std::vector<IdxEntry>& entries() const;

    // Maintenance: each call updates memory and makes the file on disk agree. The new tree
    // goes into pages the old one does not use and the header is switched over last, so a
    // reader or a crash meets the old or the new index, never a half-written one; the file
    // keeps its inode, so programs holding it open see the change. When someone else changed
    // the file since we read it, their version is reloaded first. Returns false and sets
    // *status on I/O error (memory state then still reflects the change). Inserting an entry
    // that is already there changes nothing; in a unique index a key that is already
    // present is not added again.
    bool insert(const IdxEntry& e, Status* status);
    bool remove(const IdxEntry& e, Status* status);  // exact key+recNo; false if absent
    bool flush(Status* status);
    // Data sync of the file (after flush).
    bool sync(Status* status);
    // Bulk changes: while on, insert() and remove() only change memory and flush() writes
    // the file once (the destructor drops what was not flushed).
    void setDeferredWrites(bool on);
    // From now on changes stay in memory and the file is never written (an index of a
    // table opened read-only); reload() still reads what others wrote. build() without
    // writeFile starts in this mode.
    void setMemoryOnly();

    // Position (into entries()) of the first entry whose key is >= the given key bytes;
    // a key shorter than keyLen compares only its own bytes. *found: that entry equals the
    // key on the compared bytes.
    size_t seek(const std::string& key, bool* found) const;

    // True when the file on disk was changed by someone else since we read/wrote it; the
    // engine then calls reload().
    bool changedOnDisk() const;
    bool reload(Status* status);

    ~IdxFile();
    IdxFile(const IdxFile&) = delete;
    IdxFile& operator=(const IdxFile&) = delete;

private:
    IdxFile();
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace xb
