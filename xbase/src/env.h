#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

#include "status.h"

namespace xb {

// Every file-system call of the engine goes through one Env, so that tests can put a
// fault-injecting one in its place (short writes, a full disk, failing reads, refused
// locks, a crash at a chosen write). Calls keep the system's convention: -1 and errno.
class Env {
public:
    virtual ~Env() = default;

    virtual int open(const char* path, int flags, mode_t mode) = 0;
    virtual int close(int fd) = 0;
    virtual ssize_t pread(int fd, void* buf, size_t size, off_t offset) = 0;
    virtual ssize_t pwrite(int fd, const void* buf, size_t size, off_t offset) = 0;
    virtual int fstat(int fd, struct stat* st) = 0;
    virtual int lstat(const char* path, struct stat* st) = 0;
    virtual int fsync(int fd) = 0;
    virtual int fdatasync(int fd) = 0;
    virtual int ftruncate(int fd, off_t length) = 0;
    // Publishes `from` under the name `to` only when `to` does not exist (EEXIST otherwise).
    virtual int linkNoReplace(const char* from, const char* to) = 0;
    virtual int rename(const char* from, const char* to) = 0;
    virtual int unlink(const char* path) = 0;
    // F_OFD_SETLK / F_OFD_GETLK.
    virtual int lock(int fd, int cmd, struct flock* fl) = 0;

    // The Env in use (the real one unless a test installed another).
    static Env& get();
    // Installs env (nullptr: the real one again); returns the previous one.
    static Env* install(Env* env);
    static Env& real();
};

inline Env& env()
{
    return Env::get();
}

// Whole-buffer write and read through env(), retrying short transfers and EINTR.
// readAt returns the bytes read (fewer at the end of the file) or -1.
bool writeAt(int fd, const void* data, size_t size, off_t offset);
ssize_t readAt(int fd, void* data, size_t size, off_t offset);

// Syncs the folder holding path, so that a file created or renamed there survives a power loss.
bool syncFolderOf(const std::string& path);

// Opens a file for reading or writing without blocking on a FIFO; refuses anything but
// a regular file.
int openRegular(const std::string& path, int flags, Status* status, const std::string& what);

// Writes `data` as a new file at path, never replacing what is there: written and synced
// under a temporary name, then linked into place (EEXIST: ErrorKind::Exists, path left
// alone) and its folder synced. A temporary file of this kind left by a killed process is
// named tempPrefix(path) + "<pid>.<n>"; removeStaleTemps cleans them up.
Status publishNewFile(const std::string& path, const std::string& data);
// Writes `data` under a temporary name and renames it over path (for files we own
// outright, such as a rebuilt index).
Status replaceFile(const std::string& path, const std::string& data);
std::string tempPrefix(const std::string& path);
// Removes the temporary files of path's folder left by processes that no longer run.
void removeStaleTemps(const std::string& path);

}  // namespace xb
