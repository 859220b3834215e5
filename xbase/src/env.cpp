#include "env.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace xb {

ErrorKind kindOfErrno(int err)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR: return ErrorKind::NotFound;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ErrorKind::DiskFull;
    case EACCES:
    case EPERM:
    case EROFS: return ErrorKind::Access;
    case EEXIST: return ErrorKind::Exists;
    case EAGAIN: return ErrorKind::Locked;
    default: return ErrorKind::Io;
    }
}

Status systemError(const std::string& what, int err)
{
    return Status::error(kindOfErrno(err), what + ": " + std::strerror(err));
}

namespace {

class RealEnv final : public Env {
public:
    int open(const char* path, int flags, mode_t mode) override { return ::open(path, flags, mode); }
    int close(int fd) override { return ::close(fd); }
    ssize_t pread(int fd, void* buf, size_t size, off_t offset) override { return ::pread(fd, buf, size, offset); }
    ssize_t pwrite(int fd, const void* buf, size_t size, off_t offset) override
    {
        return ::pwrite(fd, buf, size, offset);
    }
    int fstat(int fd, struct stat* st) override { return ::fstat(fd, st); }
    int lstat(const char* path, struct stat* st) override { return ::lstat(path, st); }
    int fsync(int fd) override { return ::fsync(fd); }
    int fdatasync(int fd) override { return ::fdatasync(fd); }
    int ftruncate(int fd, off_t length) override { return ::ftruncate(fd, length); }
    int linkNoReplace(const char* from, const char* to) override
    {
        // link() never replaces and never follows a symbolic link named `to`.
        if (::link(from, to) == 0)
            return 0;
        if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP)
            return -1;
        // File systems without hard links (FAT on a USB stick): rename that refuses to replace.
        return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
    }
    int rename(const char* from, const char* to) override { return ::rename(from, to); }
    int unlink(const char* path) override { return ::unlink(path); }
    int lock(int fd, int cmd, struct flock* fl) override { return ::fcntl(fd, cmd, fl); }
};

RealEnv g_real;
std::atomic<Env*> g_env{&g_real};

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

Env& Env::get()
{
    return *g_env.load(std::memory_order_relaxed);
}

Env* Env::install(Env* e)
{
    return g_env.exchange(e ? e : &g_real);
}

Env& Env::real()
{
    return g_real;
}

bool writeAt(int fd, const void* data, size_t size, off_t offset)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = env().pwrite(fd, p, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            errno = ENOSPC;  // a write that makes no progress: the medium is full
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<off_t>(n);
    }
    return true;
}

ssize_t readAt(int fd, void* data, size_t size, off_t offset)
{
    char* p = static_cast<char*>(data);
    size_t got = 0;
    while (got < size) {
        const ssize_t n = env().pread(fd, p + got, size - got, offset + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

bool syncFolderOf(const std::string& path)
{
    const int fd = env().open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // Some file systems cannot sync a folder (EINVAL): nothing more can be done there.
    const bool ok = env().fsync(fd) == 0 || errno == EINVAL;
    env().close(fd);
    return ok;
}

int openRegular(const std::string& path, int flags, Status* status, const std::string& what)
{
    const int fd = env().open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0);
    if (fd < 0) {
        const int err = errno;
        *status = systemError("Cannot open " + what + " " + path, err);
        return -1;
    }
    struct stat st { };
    if (env().fstat(fd, &st) != 0) {
        *status = systemError("Cannot read " + what + " " + path, errno);
        env().close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        *status = Status::error(ErrorKind::Io, "Cannot open " + what + " " + path + ": it is not a regular file");
        env().close(fd);
        return -1;
    }
    // Regular files ignore O_NONBLOCK, but the descriptor should not carry it.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    *status = Status();
    return fd;
}

std::string tempPrefix(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return dir + "." + base + ".new.";
}

namespace {

// Writes data into a fresh temporary file beside path and syncs it; returns its name.
Status writeTemp(const std::string& path, const std::string& data, std::string* temp)
{
    static std::atomic<unsigned> counter{0};
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        *temp = tempPrefix(path) + std::to_string(::getpid()) + "." + std::to_string(counter++);
        fd = env().open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return systemError("Cannot create " + path, errno);
    bool ok = writeAt(fd, data.data(), data.size(), 0) && env().fsync(fd) == 0;
    const int err = errno;
    if (env().close(fd) != 0 && ok)
        ok = false;
    if (!ok) {
        env().unlink(temp->c_str());
        return systemError("Cannot write " + path, err ? err : EIO);
    }
    return Status();
}

}  // namespace

Status publishNewFile(const std::string& path, const std::string& data)
{
    std::string temp;
    Status st = writeTemp(path, data, &temp);
    if (!st.ok())
        return st;
    const bool linked = env().linkNoReplace(temp.c_str(), path.c_str()) == 0;
    const int err = errno;
    env().unlink(temp.c_str());  // after a link the name in place keeps the file
    if (!linked) {
        if (err == EEXIST)
            return Status::error(ErrorKind::Exists, "Cannot create " + path + ": the file already exists");
        return systemError("Cannot create " + path, err);
    }
    if (!syncFolderOf(path))
        return systemError("Cannot create " + path, errno);
    return Status();
}

Status replaceFile(const std::string& path, const std::string& data)
{
    std::string temp;
    Status st = writeTemp(path, data, &temp);
    if (!st.ok())
        return st;
    if (env().rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        env().unlink(temp.c_str());
        return systemError("Cannot write " + path, err);
    }
    if (!syncFolderOf(path))
        return systemError("Cannot write " + path, errno);
    return Status();
}

void removeStaleTemps(const std::string& path)
{
    // Any ".<name>.new.<pid>.<n>" of the folder: the next process to open a table there
    // clears what killed writers left, whatever file they were writing.
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d)
        return;
    static const std::string marker = ".new.";
    while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() < 2 || name[0] != '.')
            continue;
        const size_t at = name.rfind(marker);
        if (at == std::string::npos || at == 0)
            continue;
        const std::string rest = name.substr(at + marker.size());
        const size_t dot = rest.find('.');
        if (dot == 0 || dot == std::string::npos)
            continue;
        char* end = nullptr;
        const long pid = std::strtol(rest.c_str(), &end, 10);
        if (end != rest.c_str() + dot || pid <= 0 || rest.find_first_not_of("0123456789", dot + 1) != std::string::npos)
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)
            continue;  // still running (perhaps writing it right now)
        env().unlink((dir + name).c_str());
    }
    ::closedir(d);
}

}  // namespace xb
