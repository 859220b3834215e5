#pragma once

// File names in this program are matched without regard to letter case, as
// on the file system the tables come from: an existing ATTR.DBF answers for
// "attr.dbf". A file that does not exist keeps the spelling given.

#include <QString>
#include <QStringList>

namespace emlo {

// The path of the existing file or folder whose components match `path`
// ignoring letter case (an exact match wins); `path` itself when none does.
QString MatchFileCase(const QString& path);

// True when a file (not a folder) matching `path` ignoring case exists.
bool FileExistsNoCase(const QString& path);

// The folder with a trailing "/" (an empty folder stays empty).
QString IncludeTrailingSlash(const QString& folder);

// The names of every entry of the path's folder that match its file name
// ignoring letter case, whatever each entry is (a link that leads nowhere
// included), sorted. Two or more: the name is ambiguous.
QStringList MatchingEntries(const QString& path);

// True when an entry of that name exists in any spelling, whatever it is: a
// file, a folder, a link that leads nowhere. Nothing may be created over it.
bool EntryExistsNoCase(const QString& path);

}  // namespace emlo
