#pragma once

// File names in this program are matched without regard to letter case, as
// on the file system the tables come from: an existing ATTR.DBF answers for
// "attr.dbf". A file that does not exist keeps the spelling given.

#include <QString>

// The path of the existing file or folder whose components match `path`
// ignoring letter case (an exact match wins); `path` itself when none does.
QString MatchFileCase(const QString& path);

// True when a file (not a folder) matching `path` ignoring case exists.
bool FileExistsNoCase(const QString& path);

// The folder with a trailing "/" (an empty folder stays empty).
QString IncludeTrailingSlash(const QString& folder);
