#pragma once

#include <QString>

// Where the program finds its own files: the program folder (the folder of
// the executable, with a trailing "/": reference tables, help file) and the
// settings file beside the executable.
struct TAppPaths {
    QString programFolder;
    QString settingsFile;

    // For an executable: its folder, and its path with the extension replaced
    // by ".ini" (an existing file of that name in other letter case is used).
    static TAppPaths forExecutable(const QString& executablePath);
};

// The working folder a settings value names: a trailing "/" is added (so an
// empty value names the root folder); a relative value is taken from the
// program folder, where the program works.
QString workFolderFromSetting(const QString& value, const QString& programFolder);

// True when a folder of that name exists, letters compared without regard to case.
bool FolderExistsNoCase(const QString& folder);
