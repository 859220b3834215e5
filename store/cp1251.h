#pragma once

// The one codec between QString and the Windows-1251 bytes of table files and
// of every file the program writes. Our own table: no ICU, no QTextCodec.

#include <QByteArray>
#include <QChar>
#include <QString>

namespace emlo {

// Encodes text as Windows-1251. A character that the code page cannot hold is
// never replaced by something else: the result is empty and *ok is false
// (ok, when given, is true on success).
QByteArray toCp1251(const QString& text, bool* ok = nullptr);

// Decodes Windows-1251 bytes. Every byte decodes (0x98, unassigned, gives U+FFFD).
QString fromCp1251(const QByteArray& bytes);
QString fromCp1251(const char* bytes, qsizetype size);
// Decodes into `out`, reusing its storage when no one else shares it (a scan
// decodes every record's text into the same few strings).
void fromCp1251Into(QString& out, const char* bytes, qsizetype size);

// True when Windows-1251 holds the character (ASCII included).
bool isCp1251Char(QChar ch);

// The first character of the text that Windows-1251 cannot hold, or a null QChar.
QChar firstNonCp1251Char(const QString& text);

}  // namespace emlo
