#pragma once

#include <QByteArray>
#include <QString>

namespace emlo {

// A settings file in the INI form of the program's platform: "[Section]"
// headers, "Key=Value" lines, ';' comments, Windows-1251 text. Section and
// key names are compared without regard to case and values are trimmed, as
// profile readers do. Writing a value changes that one line (or adds it) and
// keeps every other line of the file as it was.
class IniFile {
public:
    explicit IniFile(const QString& path) : m_path(path) { }

    QString path() const { return m_path; }

    // The value of `key` in `section`; `fallback` when the file, the section
    // or the key is missing. A value in matching quotes loses them.
    QString readString(const QString& section, const QString& key, const QString& fallback = QString()) const;

    // Sets `key` in `section`, creating the file, the section or the key as
    // needed. False, with errorString() (the program's own Ukrainian text),
    // when the value holds a line break or another control character, cannot
    // be held in Windows-1251, or the file cannot be written; the file is then
    // unchanged.
    bool writeString(const QString& section, const QString& key, const QString& value);

    QString errorString() const { return m_error; }

    // The same operations on file content, for the file's callers and tests.
    static QString valueIn(const QByteArray& content, const QString& section, const QString& key,
                           bool* found = nullptr);
    static QByteArray withValue(const QByteArray& content, const QString& section, const QString& key,
                                const QByteArray& encodedValue);

private:
    QString m_path;
    QString m_error;
};

}  // namespace emlo
