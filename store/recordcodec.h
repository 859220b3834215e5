#pragma once

// The record codec: the columns of a table file and the conversion between a
// record's bytes and typed values, apart from the engine (it sees only the
// bytes), so that every conversion can be tested on its own.

#include <vector>

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace emlo {

// What a column holds, as the table layer sees it (fieldkind.h maps the
// engine's types to these and these to field classes).
enum class ValueKind { String, Smallint, Integer, Float, Boolean, Date, Unsupported };

// One column of the record image.
struct FieldDesc {
    QString name;  // as the engine reports it (capitals)
    char type = 'C';
    int offset = 0;  // in the record image, the deletion flag being byte 0
    int width = 0;
    int decimals = 0;
    ValueKind kind = ValueKind::String;
};

// The text of an N column in its simplest and by far commonest form: blanks
// around an optional minus, digits and at most one "." between digits. Such a
// number is converted exactly as the general parser would (a value of at most
// 15 significant digits divided once by an exact power of ten is the correctly
// rounded double); any other text is Other, for the general parser.
struct PlainNumber {
    enum Result { Blank, Parsed, Other };
    double value = 0;
    qint64 integer = 0;
    bool isInteger = false;  // no "." and fits in an int
};
PlainNumber::Result parsePlainNumber(const char* text, int width, PlainNumber& out);

// A decoded column value, typed: a QVariant is made only when a caller asks
// for one, so that a scan reading numbers and text pays for neither.
struct FieldValue {
    enum Kind : quint8 { Null, Text, Int, Real, Other };
    Kind kind = Null;
    int integer = 0;
    double real = 0;
    QString text;
    QVariant other;  // logical, date
    // The text before: reused for the next record's once its reader let go.
    QString spare;

    QVariant toVariant() const;
    void set(const QVariant& value);
};

class RecordCodec {
public:
    enum class EncodeError { None, OutOfBounds, NotCp1251 };

    void setColumns(std::vector<FieldDesc> columns, int recordSize);
    void clear();
    const std::vector<FieldDesc>& columns() const { return m_columns; }
    const FieldDesc& column(int index) const { return m_columns[static_cast<std::size_t>(index)]; }
    int recordSize() const { return m_recordSize; }
    // Case-insensitive; -1 when absent.
    int columnOf(const QString& name) const;
    QByteArray blankImage() const { return QByteArray(m_recordSize, ' '); }

    // The value of a column in a record image: null for a blank number, date
    // or logical; text without trailing blanks and NULs; a number that cannot
    // be read is 0.
    static QVariant decode(const FieldDesc& fd, const char* record);
    static void decodeInto(const FieldDesc& fd, const char* record, FieldValue& out);
    // The value's bytes for the column (exactly its width). A number that
    // does not fit, or text that Windows-1251 cannot hold, is refused:
    // nothing may spill into the next column.
    static EncodeError encode(const FieldDesc& fd, const QVariant& value, QByteArray& bytes);
    // The seek key of a value for a column: text padded with blanks to the
    // width (numbers on the left). Empty when the value cannot be a key.
    static QByteArray seekKey(const FieldDesc& fd, const QVariant& value);
    // Whether a stored value equals a key given as text or number.
    static bool keyEquals(const QVariant& stored, const QVariant& key);
    // A look-up's result: text trimmed on both sides, other values as decoded.
    static QVariant lookupResult(const FieldDesc& fd, const char* record);

private:
    std::vector<FieldDesc> m_columns;
    int m_recordSize = 0;
};

}  // namespace emlo
