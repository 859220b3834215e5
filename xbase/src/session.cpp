#include "session.h"

#include <dirent.h>
#include <unistd.h>

#include "bytes.h"
#include "xbase/include/sde.h"

namespace xb {

Session& Session::instance()
{
    // Never destroyed: callers' own static destructors (a library that closes its
    // tables at exit) may still reach the engine after ours would have run.
    static Session* s = new Session;
    return *s;
}

WorkArea* Session::area(int n)
{
    if (n < 1 || n > kMaxWorkAreas)
        return nullptr;
    return m_areas[static_cast<size_t>(n)].get();
}

int Session::freeArea() const
{
    for (int n = 1; n <= kMaxWorkAreas; ++n)
        if (!m_areas[static_cast<size_t>(n)] && pending.find(n) == pending.end())
            return n;
    return 0;
}

int Session::findAlias(const std::string& alias) const
{
    for (int n = 1; n <= kMaxWorkAreas; ++n) {
        const auto& wa = m_areas[static_cast<size_t>(n)];
        if (wa && equalsNoCase(wa->alias(), alias))
            return n;
    }
    return 0;
}

short errorCode(ErrorKind kind)
{
    switch (kind) {
    case ErrorKind::Ok: return SX_OK;
    case ErrorKind::NotFound:
    case ErrorKind::NoTable: return SX_ERR_NOT_FOUND;
    case ErrorKind::Corrupt: return SX_ERR_CORRUPT;
    case ErrorKind::Io: return SX_ERR_IO;
    case ErrorKind::Locked: return SX_ERR_LOCKED;
    case ErrorKind::BadValue: return SX_ERR_BAD_VALUE;
    case ErrorKind::BadExpression: return SX_ERR_BAD_EXPR;
    case ErrorKind::DiskFull: return SX_ERR_DISK_FULL;
    case ErrorKind::Access:
    case ErrorKind::ReadOnly: return SX_ERR_ACCESS;
    case ErrorKind::Exists: return SX_ERR_EXISTS;
    case ErrorKind::BadArgument:
    case ErrorKind::Unsupported: break;
    }
    return SX_ERR_OTHER;
}

void Session::fail(const Status& st)
{
    lastError = st.message();
    lastKind = st.ok() ? static_cast<short>(SX_ERR_OTHER) : errorCode(st.kind());
}

void Session::install(int n, std::unique_ptr<WorkArea> wa)
{
    m_areas[static_cast<size_t>(n)] = std::move(wa);
}

void Session::close(int n)
{
    if (n >= 1 && n <= kMaxWorkAreas)
        m_areas[static_cast<size_t>(n)].reset();
    pending.erase(n);
}

void Session::closeAll()
{
    for (auto& wa : m_areas)
        wa.reset();
    pending.clear();
}

namespace {

bool exists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

std::string findNoCase(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty())
        return std::string();
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return std::string();
    std::string hit;
    while (dirent* e = ::readdir(d)) {
        if (equalsNoCase(e->d_name, name)) {
            hit = slash == std::string::npos ? std::string(e->d_name) : path.substr(0, slash + 1) + e->d_name;
            break;
        }
    }
    ::closedir(d);
    return hit;
}

bool hasExtension(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

}  // namespace

std::string resolvePath(const std::string& path)
{
    if (path.empty() || exists(path))
        return path;
    const std::string other = findNoCase(path);
    return other.empty() ? path : other;
}

std::string resolveTablePath(const std::string& path)
{
    std::string p = resolvePath(path);
    if (!exists(p) && !hasExtension(path)) {
        const std::string withExt = resolvePath(path + ".dbf");
        if (exists(withExt))
            return withExt;
    }
    return p;
}

std::string resolveIndexPath(const std::string& name, const std::string& tableFolder)
{
    std::string p = name.find('/') == std::string::npos ? tableFolder + name : name;
    if (!hasExtension(p))
        p += ".idx";
    return resolvePath(p);
}

std::string aliasFromPath(const std::string& path)
{
    const size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    std::string alias;
    for (char c : name) {
        c = asciiUpper(c);
        alias += ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) ? c : '_';
    }
    if (alias.empty() || (alias[0] >= '0' && alias[0] <= '9'))
        alias = "A" + alias;
    return alias.substr(0, 10);
}

}  // namespace xb
