#pragma once

// Internals of IdxFile shared by its source files: idx.cpp opens and reads the file,
// idx_changes.cpp changes entries and writes a changed leaf in place, idx_build.cpp sorts
// a fresh build and writes whole trees.

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <string>
#include <utility>

#include "env.h"
#include "idx.h"
#include "idxcodec.h"
#include "status.h"

namespace xb {

inline bool fail(Status* status, ErrorKind kind, std::string msg)
{
    if (status)
        *status = Status::error(kind, std::move(msg));
    return false;
}

// A failed system call: the kind follows errno (a full disk, a refusal, a failing medium).
inline bool failSys(Status* status, const std::string& what, const std::string& path, int err = errno)
{
    if (status)
        *status = systemError(what + " " + path, err);
    return false;
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

    static Stamp of(const std::string& path, const Held* held = nullptr);

    bool operator==(const Stamp& o) const
    {
        return valid == o.valid && dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec
            && mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec
            && head == o.head;
    }
};

// Reads an index file whole, after judging its header: a file named like an index that is
// not one (or claims more than maxBytes, 0: no limit) is refused before the rest is read.
bool readWholeFile(const std::string& path, std::string* data, Status* status, uint64_t maxBytes = 0);

struct IdxFile::Impl {
    std::string path;
    idxcodec::Image img;
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

    // idx.cpp
    bool load(const IdxKeyType* hint, Status* status);
    bool hold(bool write);

    // idx_changes.cpp
    bool touch(size_t leaf);
    void noteInsert(size_t p);
    void noteRemove(size_t p);
    bool saveInPlace(Status* status);
    void catchUp();
    bool written(Status* status);
    bool validEntry(const IdxEntry& e, Status* status) const;

    // idx_build.cpp
    bool save(Status* status, bool fresh = false);
};

}  // namespace xb
