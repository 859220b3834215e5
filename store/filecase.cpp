#include "filecase.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace emlo {

QString IncludeTrailingSlash(const QString& folder)
{
    if (folder.isEmpty() || folder.endsWith(u'/'))
        return folder;
    return folder + u'/';
}

QString MatchFileCase(const QString& path)
{
    if (path.isEmpty() || QFileInfo::exists(path))
        return path;
    const bool absolute = path.startsWith(u'/');
    const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
    QString current = absolute ? QStringLiteral("/") : QString();
    for (int i = 0; i < parts.size(); ++i) {
        const QString& part = parts.at(i);
        const QString exact = current + part;
        QString chosen;
        if (part == u"." || part == u".." || QFileInfo::exists(exact)) {
            chosen = part;
        } else {
            const QDir dir(current.isEmpty() ? QStringLiteral(".") : current);
            const QStringList entries =
                dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            for (const QString& entry : entries) {
                if (entry.compare(part, Qt::CaseInsensitive) == 0) {
                    chosen = entry;
                    break;
                }
            }
        }
        if (chosen.isEmpty()) {
            // Nothing matches from here on: keep the rest as given.
            return current + parts.mid(i).join(u'/') + (path.endsWith(u'/') ? QStringLiteral("/") : QString());
        }
        current += chosen;
        if (i + 1 < parts.size() || path.endsWith(u'/'))
            current += u'/';
    }
    return current;
}

bool FileExistsNoCase(const QString& path)
{
    const QFileInfo info(MatchFileCase(path));
    return info.exists() && !info.isDir();
}

QStringList MatchingEntries(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString name = path.mid(slash + 1);
    if (name.isEmpty())
        return {};
    const QString folder = MatchFileCase(slash < 0 ? QStringLiteral(".") : path.left(slash + 1));
    QStringList found;
    const QStringList entries =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            found << entry;
    }
    // A link that leads nowhere is not listed by every file system query.
    if (found.isEmpty() && QFileInfo(path).isSymLink())
        found << name;
    found.sort();
    return found;
}

bool EntryExistsNoCase(const QString& path)
{
    return !MatchingEntries(path).isEmpty();
}

}  // namespace emlo
