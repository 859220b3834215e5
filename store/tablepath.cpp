#include "tablepath.h"

#include <QDir>
#include <QFileInfo>

#include "engine.h"
#include "filecase.h"

namespace emlo {

namespace {

const QChar kCR = QChar(u'\r');

QString deriveAlias(const QString& path)
{
    QString base = fileNamePart(path);
    const int dot = base.lastIndexOf(u'.');
    if (dot > 0)
        base.truncate(dot);
    base = base.toUpper().left(8);
    for (QChar& ch : base) {
        if (ch < u'A' || ch > u'Z')
            ch = u'_';
    }
    return base.isEmpty() ? QStringLiteral("_") : base;
}

}  // namespace

bool hasFolder(const QString& path)
{
    return path.contains(u'/');
}

QString fileNamePart(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString folderPart(const QString& path)
{
    return path.left(path.lastIndexOf(u'/') + 1);
}

bool hasExtension(const QString& fileName)
{
    return fileName.lastIndexOf(u'.') > 0;
}

QString tableFilePath(const QString& tableName, const QString& databaseName)
{
    QString folder = folderPart(tableName);
    if (folder.isEmpty())
        folder = databaseName.isEmpty() ? QDir::currentPath() : databaseName;
    QString file = fileNamePart(tableName);
    if (!hasExtension(file))
        file += QStringLiteral(".DBF");
    return IncludeTrailingSlash(folder) + file;
}

QString freeAlias(const SdeApi& sx, const QString& path)
{
    const QString base = deriveAlias(path);
    QString alias = base;
    for (int n = 1; sx.sx_WorkArea(alias.toLatin1().constData()) != 0; ++n) {
        const QString suffix = QString::number(n);
        alias = base.left(8 - static_cast<int>(suffix.size())) + suffix;
    }
    return alias;
}

QString ambiguityText(const QString& path)
{
    // On a file system that tells letters apart "data.dbf" and "DATA.DBF" are
    // two tables; using either one silently could show, export or change the
    // wrong data.
    const QStringList spellings = MatchingEntries(path);
    if (spellings.size() <= 1)
        return QString();
    return QStringLiteral("У папці %1 є кілька файлів, назви яких різняться лише великими й малими літерами: %2. "
                          "Невідомо, який з них використовувати; залиште тільки один.")
        .arg(folderPart(path), spellings.join(QStringLiteral(", ")));
}

QString unopenableText(const QString& path)
{
    const QFileInfo found(MatchFileCase(path));
    if (found.isFile())
        return QString();
    if (found.isSymLink() && !found.exists()) {
        return QStringLiteral("Table does not exist.") + kCR + QStringLiteral("File or directory does not exist.") + kCR
            + QStringLiteral("File: ") + path + kCR + QStringLiteral("Посилання веде до файлу, якого немає: ")
            + found.symLinkTarget();
    }
    if (found.exists()) {
        return QStringLiteral("Unable to open table: ") + path + kCR
            + (found.isDir() ? QStringLiteral("Це папка, а не файл таблиці.")
                             : QStringLiteral("Це не звичайний файл таблиці."));
    }
    return QStringLiteral("Table does not exist.") + kCR + QStringLiteral("File or directory does not exist.") + kCR
        + QStringLiteral("File: ") + path;
}

}  // namespace emlo
