#include "AppPaths.h"

#include <QDir>
#include <QFileInfo>

#include "store/FileCase.h"

TAppPaths TAppPaths::forExecutable(const QString& executablePath)
{
    const QFileInfo exe(executablePath);
    TAppPaths paths;
    paths.programFolder = IncludeTrailingSlash(exe.absolutePath());
    const QString base = exe.suffix().isEmpty() ? exe.fileName() : exe.completeBaseName();
    paths.settingsFile = MatchFileCase(paths.programFolder + base + QStringLiteral(".ini"));
    return paths;
}

QString workFolderFromSetting(const QString& value, const QString& programFolder)
{
    QString folder = value;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    if (QDir::isRelativePath(folder))
        folder = programFolder + folder;
    return folder;
}

bool FolderExistsNoCase(const QString& folder)
{
    return QFileInfo(MatchFileCase(folder)).isDir();
}
