#pragma once

#include <utility>

#include <QString>

namespace emlo {

// Where the program finds its own files, in one of two ways to run.
//
// Portable: a program folder the user can write to (the build's ready program
// folder, a copy on a stick) holds everything: the reference tables, the help
// file, the settings file "<executable name>.ini", and it is the default
// working folder.
//
// Installed: the program lies in <prefix>/bin beside <prefix>/share/emlo/, or
// its folder is read-only and shared by all users. The reference tables and
// the help file are then read from share/emlo/ (or the read-only program
// folder), the settings file lives in the user's configuration folder and the
// default working folder in the user's documents.
struct AppPaths {
    AppPaths() = default;
    // A portable program folder and its settings file.
    AppPaths(QString program, QString settings) : programFolder(std::move(program)), settingsFile(std::move(settings))
    {
    }

    QString programFolder;  // folder of the executable, with a trailing "/"
    QString settingsFile;
    QString dataFolder;      // reference tables, help file; empty: the program folder
    QString homeWorkFolder;  // default working folder; empty: the program folder
    bool installed = false;

    // The folder of the reference tables and the help file.
    QString tablesFolder() const { return dataFolder.isEmpty() ? programFolder : dataFolder; }
    // The working folder when the settings name none, or a folder that is gone.
    QString defaultWorkFolder() const { return homeWorkFolder.isEmpty() ? programFolder : homeWorkFolder; }

    // For an executable: its folder, and the rest by the way it runs. Portable,
    // the settings file is its path with the extension replaced by ".ini" (an
    // existing file of that name in other letter case is used). Installed, the
    // user's folders come from the XDG settings (XDG_CONFIG_HOME, the
    // documents folder of user-dirs.dirs).
    static AppPaths forExecutable(const QString& executablePath);

    // Installed: makes the folders of the settings file and of the default
    // working folder, so that a first start finds them. Portable: nothing.
    void prepareUserFolders() const;
};

// The working folder a settings value names: a trailing "/" is added (so an
// empty value names the root folder); a relative value is taken from
// `startFolder`, the folder the program was started in.
QString workFolderFromSetting(const QString& value, const QString& startFolder);

// True when a folder of that name exists, letters compared without regard to case.
bool FolderExistsNoCase(const QString& folder);

}  // namespace emlo
