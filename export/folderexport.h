#pragma once

#include <QString>

namespace emlo {
class TDataModule;

// The export of the command-line program: creates the folder with any missing
// parents and writes attr.xml and data.xml of the data module's work tables
// into it, with the program's writer settings. The check is the caller's.
// Returns an empty text on success, otherwise the message the program shows:
// "Помилка вигрузки інформації:", CR LF and the error's text. An attr.xml
// written completely stays when data.xml fails; no partial file is left.
// Numbers carry `decimalSeparator`, or the system's when it is null.
QString ExportToFolder(TDataModule& dataModule, const QString& folder, QChar decimalSeparator = QChar());

}  // namespace emlo
