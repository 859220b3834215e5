#include "inifile.h"

#include <QFile>
#include <QList>
#include <QSaveFile>

#include "store/cp1251.h"

namespace emlo {

namespace {

QList<QByteArray> splitLines(const QByteArray& content, QByteArray* lineBreak)
{
    *lineBreak =
        content.contains("\r\n") || !content.contains('\n') ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
    QList<QByteArray> lines = content.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();  // the break after the last line
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

// The section named by a "[Name]" line, or a null array for other lines.
QByteArray sectionOf(const QByteArray& line)
{
    const QByteArray t = line.trimmed();
    if (t.startsWith('[')) {
        const qsizetype end = t.indexOf(']');
        if (end > 0)
            return t.mid(1, end - 1).trimmed();
    }
    return {};
}

bool isComment(const QByteArray& trimmed)
{
    return trimmed.startsWith(';') || trimmed.startsWith('#');
}

// Splits "Key = Value"; false for lines that are not assignments.
bool splitAssignment(const QByteArray& line, QByteArray* key, QByteArray* value)
{
    const QByteArray t = line.trimmed();
    if (t.isEmpty() || isComment(t) || t.startsWith('['))
        return false;
    const qsizetype eq = t.indexOf('=');
    if (eq <= 0)
        return false;
    *key = t.left(eq).trimmed();
    *value = t.mid(eq + 1).trimmed();
    return true;
}

bool hasControlCharacter(const QString& value)
{
    for (const QChar c : value) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

// The value with its control characters written as escapes, for a message.
QString visibleControls(const QString& value)
{
    QString out;
    for (const QChar c : value) {
        if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString writeError(const QFileDevice& file)
{
    return QStringLiteral("Неможливо записати файл налаштувань %1:\r\n%2").arg(file.fileName(), file.errorString());
}

bool sameName(const QByteArray& encoded, const QString& name)
{
    return fromCp1251(encoded).compare(name, Qt::CaseInsensitive) == 0;
}

}  // namespace

QString IniFile::valueIn(const QByteArray& content, const QString& section, const QString& key, bool* found)
{
    QByteArray lineBreak;
    const QList<QByteArray> lines = splitLines(content, &lineBreak);
    bool inSection = false;
    for (const QByteArray& line : lines) {
        const QByteArray name = sectionOf(line);
        if (!name.isNull()) {
            inSection = sameName(name, section);
            continue;
        }
        QByteArray k, v;
        if (inSection && splitAssignment(line, &k, &v) && sameName(k, key)) {
            if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
                v = v.mid(1, v.size() - 2);
            if (found)
                *found = true;
            return fromCp1251(v);
        }
    }
    if (found)
        *found = false;
    return {};
}

QByteArray IniFile::withValue(const QByteArray& content, const QString& section, const QString& key,
                              const QByteArray& encodedValue)
{
    QByteArray lineBreak;
    QList<QByteArray> lines = splitLines(content, &lineBreak);
    const QByteArray newLine = toCp1251(key) + '=' + encodedValue;

    qsizetype sectionStart = -1;  // the header line of the section
    qsizetype lastEntry = -1;     // its last non-blank line
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray name = sectionOf(lines[i]);
        if (!name.isNull()) {
            if (sectionStart >= 0)
                break;
            if (sameName(name, section)) {
                sectionStart = i;
                lastEntry = i;
            }
            continue;
        }
        if (sectionStart < 0)
            continue;
        QByteArray k, v;
        if (splitAssignment(lines[i], &k, &v) && sameName(k, key)) {
            lines[i] = newLine;
            return lines.join(lineBreak) + lineBreak;
        }
        if (!lines[i].trimmed().isEmpty())
            lastEntry = i;
    }
    if (sectionStart >= 0) {
        lines.insert(lastEntry + 1, newLine);
    } else {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines.append(QByteArray());
        lines.append('[' + toCp1251(section) + ']');
        lines.append(newLine);
    }
    return lines.join(lineBreak) + lineBreak;
}

QString IniFile::readString(const QString& section, const QString& key, const QString& fallback) const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return fallback;
    bool found = false;
    const QString value = valueIn(file.readAll(), section, key, &found);
    return found ? value : fallback;
}

bool IniFile::writeString(const QString& section, const QString& key, const QString& value)
{
    // One line holds one value: a line break would end it and make the rest
    // a line of its own (another key, another section).
    if (hasControlCharacter(value)) {
        m_error = QStringLiteral("Неможливо записати у файл налаштувань %1 значення \"%2\": воно містить "
                                 "розрив рядка або інший керуючий символ.")
                      .arg(m_path, visibleControls(value));
        return false;
    }
    bool ok = false;
    const QByteArray encoded = toCp1251(value, &ok);
    if (!ok) {
        m_error = QStringLiteral("Неможливо записати у файл налаштувань %1 значення \"%2\": воно містить "
                                 "символи, яких немає в кодуванні Windows-1251.")
                      .arg(m_path, value);
        return false;
    }
    QByteArray content;
    QFile existing(m_path);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly)) {
            m_error = writeError(existing);
            return false;
        }
        content = existing.readAll();
        existing.close();
    }
    // Written aside and renamed, so a failed write never leaves half a file.
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = writeError(file);
        return false;
    }
    file.write(withValue(content, section, key, encoded));
    if (!file.commit()) {
        m_error = writeError(file);
        return false;
    }
    m_error.clear();
    return true;
}

}  // namespace emlo
