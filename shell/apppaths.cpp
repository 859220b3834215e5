#include "apppaths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "store/filecase.h"

namespace emlo {

namespace {

// The user's own folders of an installed program, under fixed names so that
// every installed copy shares them.
const QString kConfigSubfolder = QStringLiteral("emlo/");
const QString kDocumentsSubfolder = QStringLiteral("Emlo/");

}  // namespace

AppPaths AppPaths::forExecutable(const QString& executablePath)
{
    const QFileInfo exe(executablePath);
    AppPaths paths;
    paths.programFolder = IncludeTrailingSlash(exe.absolutePath());
    const QString base = exe.suffix().isEmpty() ? exe.fileName() : exe.completeBaseName();

    // The install layout puts the program's data in ../share/emlo; a
    // read-only folder cannot keep a settings file whatever its layout.
    const QFileInfo shared(QDir::cleanPath(exe.absolutePath() + QStringLiteral("/../share/emlo")));
    const bool layout = shared.isDir();
    const QFileInfo folder(exe.absolutePath());
    const bool readOnly = folder.exists() && !folder.isWritable();
    if (!layout && !readOnly) {
        paths.settingsFile = MatchFileCase(paths.programFolder + base + QStringLiteral(".ini"));
        return paths;
    }

    paths.installed = true;
    if (layout)
        paths.dataFolder = IncludeTrailingSlash(shared.absoluteFilePath());
    paths.settingsFile = IncludeTrailingSlash(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        + kConfigSubfolder + base + QStringLiteral(".ini");
    paths.homeWorkFolder =
        IncludeTrailingSlash(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)) + kDocumentsSubfolder;
    return paths;
}

void AppPaths::prepareUserFolders() const
{
    if (!installed)
        return;
    QDir().mkpath(QFileInfo(settingsFile).absolutePath());
    QDir().mkpath(homeWorkFolder);
}

QString workFolderFromSetting(const QString& value, const QString& startFolder)
{
    QString folder = value;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    if (QDir::isRelativePath(folder))
        folder = IncludeTrailingSlash(QDir::cleanPath(QDir(startFolder).absoluteFilePath(folder)));
    return folder;
}

bool FolderExistsNoCase(const QString& folder)
{
    return QFileInfo(MatchFileCase(folder)).isDir();
}

}  // namespace emlo
