#include "submissionscan.h"

#include <algorithm>
#include <optional>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

namespace emlo::registry {

namespace {

// One folder's entries: its submission files and its sub-folders.
struct Listing {
    SubmissionFiles Files;
    QStringList Folders;  // names; symbolic links to folders are not among them
};

// Reads one folder. A folder that cannot be read holds nothing, as for
// QDirIterator. Every entry that is not a folder counts as a file: links
// to files, broken links, pipes and the like too, as QDir::System lists
// them; a link to a folder counts as neither.
Listing list(const QString& folder, bool followLink)
{
    Listing listing;
    listing.Files.Folder = folder;
    const int fd = ::open(QFile::encodeName(folder).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    if (fd < 0)
        return listing;
    static const QString usualAttr = QStringLiteral("attr.xml");
    static const QString usualData = QStringLiteral("data.xml");
    // The entries straight from the system, not through opendir, which
    // costs two more calls to the system per folder for nothing used here.
    alignas(dirent64) char buffer[32768];
    for (;;) {
        const ssize_t size = ::getdents64(fd, buffer, sizeof buffer);
        if (size <= 0)
            break;
        for (ssize_t offset = 0; offset < size;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + offset);
            offset += entry->d_reclen;
            const char* name = entry->d_name;
            if (qstrcmp(name, ".") == 0 || qstrcmp(name, "..") == 0)
                continue;
            unsigned char type = entry->d_type;
            if (type == DT_UNKNOWN) {
                struct stat info = {};
                if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISLNK(info.st_mode) ? DT_LNK : DT_REG;
            }
            const QString fileName = QFile::decodeName(name);
            if (type == DT_DIR) {
                listing.Folders.append(fileName);
                continue;
            }
            const QString lower = fileName.toLower();
            const bool isAttr = lower == usualAttr;
            if (!isAttr && lower != usualData)
                continue;
            struct stat target = {};
            if (type == DT_LNK && ::fstatat(fd, name, &target, 0) == 0 && S_ISDIR(target.st_mode))
                continue;
            const QString& usual = isAttr ? usualAttr : usualData;
            QString& slot = isAttr ? listing.Files.AttrName : listing.Files.DataName;
            // Two spellings of one name in one folder: which one was meant is
            // unknown, so the folder is refused rather than guessed at. The
            // usual spellings are shared by every entry of a long list.
            slot = !slot.isEmpty() ? QStringLiteral("?") : fileName == usual ? usual : fileName;
        }
    }
    ::close(fd);
    return listing;
}

QString childPath(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// Hands the submissions below `folder` (whose entries are `children`) to
// found in the order of their paths, reading each folder once. The path of
// a folder's own files sorts before its sub-folders' ("x" < "x/..."), but
// a sibling may come between them ("x" < "x-y" < "x/z"), so each child is
// two items: its own files, sorted by "name", and its sub-folders, sorted
// by "name/". False when found asked to stop.
template <typename Found> bool walkChildren(const QString& folder, const QStringList& children, const Found& found)
{
    struct Item {
        QString Key;
        qsizetype Child;
        bool Below;
    };
    std::vector<Item> items;
    items.reserve(size_t(children.size()) * 2);
    for (qsizetype i = 0; i < children.size(); ++i) {
        items.push_back({children.at(i), i, false});
        items.push_back({children.at(i) + QLatin1Char('/'), i, true});
    }
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.Key < b.Key; });
    std::vector<std::optional<QStringList>> below(size_t(children.size()));
    for (const Item& item : items) {
        const QString path = childPath(folder, children.at(item.Child));
        if (!item.Below) {
            Listing listing = list(path, false);
            below[size_t(item.Child)] = std::move(listing.Folders);
            if ((!listing.Files.AttrName.isEmpty() || !listing.Files.DataName.isEmpty())
                && !found(std::move(listing.Files)))
                return false;
        } else {
            const QStringList grandchildren = std::move(*below[size_t(item.Child)]);
            below[size_t(item.Child)].reset();
            if (!walkChildren(path, grandchildren, found))
                return false;
        }
    }
    return true;
}

template <typename Found> bool walk(const QString& root, const Found& found)
{
    Listing listing = list(root, true);
    if ((!listing.Files.AttrName.isEmpty() || !listing.Files.DataName.isEmpty()) && !found(std::move(listing.Files)))
        return false;
    return walkChildren(root, listing.Folders, found);
}

}  // namespace

QList<SubmissionFiles> FindSubmissions(const QStringList& paths, QStringList* missing)
{
    QList<SubmissionFiles> result;
    for (const QString& path : paths) {
        const QFileInfo root(path);
        if (!root.isDir()) {
            missing->append(path);
            continue;
        }
        walk(root.absoluteFilePath(), [&](SubmissionFiles&& files) {
            result.append(std::move(files));
            return true;
        });
    }
    return result;
}

SubmissionScan::SubmissionScan(const QStringList& folders)
{
    m_thread = std::thread([this, folders] {
        for (const QString& folder : folders) {
            const bool going = walk(QFileInfo(folder).absoluteFilePath(),
                                    [this](SubmissionFiles&& files) { return add(std::move(files)); });
            if (!going)
                break;
        }
        {
            std::lock_guard lock(m_mutex);
            m_complete = true;
        }
        m_changed.notify_all();
    });
}

SubmissionScan::SubmissionScan(QList<SubmissionFiles> found) : m_found(std::move(found)), m_complete(true) { }

SubmissionScan::~SubmissionScan()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    if (m_thread.joinable())
        m_thread.join();
}

bool SubmissionScan::add(SubmissionFiles&& files)
{
    bool going = false;
    {
        std::lock_guard lock(m_mutex);
        m_found.append(std::move(files));
        going = !m_stop;
    }
    m_changed.notify_all();
    return going;
}

bool SubmissionScan::At(qsizetype index, SubmissionFiles* files)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return index < m_found.size() || m_complete; });
    if (index >= m_found.size())
        return false;
    *files = m_found.at(index);
    return true;
}

qsizetype SubmissionScan::Total() const
{
    std::lock_guard lock(m_mutex);
    return m_complete ? m_found.size() : -1;
}

qsizetype SubmissionScan::WaitForTotal()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_complete; });
    return m_found.size();
}

}  // namespace emlo::registry
