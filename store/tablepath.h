#pragma once

// Table and index file names as the table layer resolves them, and the
// engine's name (alias) for an open table.

#include <QString>

namespace emlo {

struct SdeApi;

bool hasFolder(const QString& path);
QString fileNamePart(const QString& path);
QString folderPart(const QString& path);  // with its trailing "/"; "" without a folder
bool hasExtension(const QString& fileName);

// The table file of a TableName: a name without a folder lives in the
// database folder (else the current one); ".DBF" is assumed without an
// extension.
QString tableFilePath(const QString& tableName, const QString& databaseName);

// The engine name of a table: the file name without folder and extension, in
// capitals, at most 8 characters, each character other than A..Z as "_";
// with a number at its end when another open table has it already.
QString freeAlias(const SdeApi& sx, const QString& path);

// Why a table file cannot be opened before the engine is asked: a name that
// several files share, a link that leads nowhere, a folder, something other
// than a regular file, no file at all. Empty when it can be tried.
QString ambiguityText(const QString& path);
QString unopenableText(const QString& path);

}  // namespace emlo
