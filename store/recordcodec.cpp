#include "recordcodec.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <QDate>

#include "cp1251.h"
#include "numbertext.h"

namespace emlo {

namespace {

QString rightTrimmed(const QString& text)
{
    int n = static_cast<int>(text.size());
    while (n > 0 && text.at(n - 1) == u' ')
        --n;
    return text.left(n);
}

qint32 binaryInteger(const char* field, int width)
{
    qint32 n = 0;
    std::memcpy(&n, field, std::min<std::size_t>(sizeof n, static_cast<std::size_t>(width)));
    return n;
}

// The common form of a number without decimals: blanks, an optional minus,
// digits, blanks; read as the full parser reads it. False for anything else
// (and for more digits than it reads exactly), left to the full parser.
bool decodeDigits(const char* field, int width, bool whole, FieldValue& out)
{
    int i = 0;
    while (i < width && field[i] == ' ')
        ++i;
    if (i == width) {
        out.kind = FieldValue::Null;
        return true;
    }
    const bool negative = field[i] == '-';
    i += negative ? 1 : 0;
    const int first = i;
    qint64 n = 0;
    for (; i < width && static_cast<unsigned char>(field[i] - '0') < 10; ++i)
        n = n * 10 + (field[i] - '0');
    const int digits = i - first;
    while (i < width && field[i] == ' ')
        ++i;
    if (i != width || digits == 0 || digits > (whole ? 9 : 15))
        return false;
    if (whole) {
        out.kind = FieldValue::Int;
        out.integer = static_cast<int>(negative ? -n : n);
    } else {
        out.kind = FieldValue::Real;
        const double magnitude = static_cast<double>(n);
        out.real = negative ? -magnitude : magnitude;
    }
    return true;
}

void decodeNumber(const FieldDesc& fd, const char* field, FieldValue& out)
{
    const bool whole = fd.kind != ValueKind::Float;
    if (fd.type == 'I') {
        out.kind = FieldValue::Int;
        out.integer = binaryInteger(field, fd.width);
        return;
    }
    if (fd.decimals == 0 && decodeDigits(field, fd.width, whole, out))
        return;
    PlainNumber plain;
    switch (parsePlainNumber(field, fd.width, plain)) {
    case PlainNumber::Blank: out.kind = FieldValue::Null; return;
    case PlainNumber::Parsed:
        if (whole) {
            out.kind = FieldValue::Int;
            out.integer = plain.isInteger ? static_cast<int>(plain.integer) : 0;
        } else {
            out.kind = FieldValue::Real;
            out.real = plain.value;
        }
        return;
    case PlainNumber::Other: break;
    }
    const QByteArray text = QByteArray::fromRawData(field, fd.width).trimmed();
    bool ok = false;
    if (whole) {
        const int n = text.toInt(&ok);
        out.kind = FieldValue::Int;
        out.integer = ok ? n : 0;
        return;
    }
    const double value = text.toDouble(&ok);
    out.kind = FieldValue::Real;
    out.real = ok && std::isfinite(value) ? value : 0.0;
}

}  // namespace

PlainNumber::Result parsePlainNumber(const char* text, int width, PlainNumber& out)
{
    static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    int b = 0, e = width;
    while (b < e && isBlank(text[b]))
        ++b;
    while (e > b && isBlank(text[e - 1]))
        --e;
    if (b == e)
        return PlainNumber::Blank;
    bool negative = false;
    if (text[b] == '-') {
        negative = true;
        ++b;
    }
    quint64 mantissa = 0;
    int digits = 0, intDigits = 0, fraction = 0;
    bool dot = false;
    for (int i = b; i < e; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (mantissa == 0 && c == '0') {
                // leading zeros are not significant
            } else if (++digits > 15) {
                return PlainNumber::Other;
            }
            mantissa = mantissa * 10 + static_cast<quint64>(c - '0');
            if (dot)
                ++fraction;
            else
                ++intDigits;
        } else if (c == '.' && !dot) {
            dot = true;
        } else {
            return PlainNumber::Other;
        }
    }
    if (intDigits == 0 || (dot && fraction == 0))
        return PlainNumber::Other;
    const double magnitude = static_cast<double>(mantissa) / kPow10[fraction > 15 ? 15 : fraction];
    if (fraction > 15)
        return PlainNumber::Other;
    out.value = negative ? -magnitude : magnitude;
    out.isInteger = !dot && mantissa <= 2147483647u + (negative ? 1u : 0u);
    out.integer = negative ? -static_cast<qint64>(mantissa) : static_cast<qint64>(mantissa);
    return PlainNumber::Parsed;
}

void RecordCodec::setColumns(std::vector<FieldDesc> columns, int recordSize)
{
    m_columns = std::move(columns);
    m_recordSize = recordSize;
}

void RecordCodec::clear()
{
    m_columns.clear();
    m_recordSize = 0;
}

int RecordCodec::columnOf(const QString& name) const
{
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

QVariant FieldValue::toVariant() const
{
    switch (kind) {
    case Null: return QVariant();
    case Text: return text;
    case Int: return integer;
    case Real: return real;
    case Other: return other;
    }
    return QVariant();
}

void FieldValue::set(const QVariant& value)
{
    switch (value.isNull() ? QMetaType::UnknownType : value.typeId()) {
    case QMetaType::UnknownType: kind = Null; return;
    case QMetaType::QString:
        kind = Text;
        text = value.toString();
        return;
    case QMetaType::Int:
        kind = Int;
        integer = value.toInt();
        return;
    case QMetaType::Double:
        kind = Real;
        real = value.toDouble();
        return;
    default: kind = Other; other = value;
    }
}

QVariant RecordCodec::decode(const FieldDesc& fd, const char* record)
{
    FieldValue value;
    decodeInto(fd, record, value);
    return value.toVariant();
}

void RecordCodec::decodeInto(const FieldDesc& fd, const char* record, FieldValue& out)
{
    const char* field = record + fd.offset;
    switch (fd.kind) {
    case ValueKind::String: {
        // the hot path of every scan: trim in place, decode once
        qsizetype len = fd.width;
        // wide columns hold mostly blanks: drop them eight at a time
        constexpr quint64 kBlanks = 0x2020202020202020ull;
        quint64 word;
        while (len >= 8 && (std::memcpy(&word, field + len - 8, 8), word == kBlanks))
            len -= 8;
        while (len > 0 && (field[len - 1] == ' ' || field[len - 1] == '\0'))
            --len;
        out.kind = FieldValue::Text;
        // The reader may still hold the last text (a scan keeps the previous
        // record's); decode into the one before, which it has let go.
        std::swap(out.text, out.spare);
        fromCp1251Into(out.text, field, len);
        return;
    }
    case ValueKind::Smallint:
    case ValueKind::Integer:
    case ValueKind::Float: decodeNumber(fd, field, out); return;
    case ValueKind::Boolean: {
        const char c = fd.width < 1 ? ' ' : field[0];
        out.kind = c == ' ' || c == '?' ? FieldValue::Null : FieldValue::Other;
        out.other = c == 'T' || c == 't' || c == 'Y' || c == 'y';
        return;
    }
    case ValueKind::Date: {
        const QByteArray raw = QByteArray::fromRawData(field, fd.width);
        const QDate date =
            raw.trimmed().isEmpty() ? QDate() : QDate::fromString(QString::fromLatin1(raw), QStringLiteral("yyyyMMdd"));
        out.kind = date.isValid() ? FieldValue::Other : FieldValue::Null;
        out.other = date;
        return;
    }
    case ValueKind::Unsupported: break;
    }
    out.kind = FieldValue::Null;
}

RecordCodec::EncodeError RecordCodec::encode(const FieldDesc& fd, const QVariant& value, QByteArray& bytes)
{
    bytes = QByteArray(fd.width, ' ');
    if (fd.type == 'I') {
        const qint32 n = value.isNull() ? 0 : value.toInt();
        bytes.fill('\0');
        std::memcpy(bytes.data(), &n, std::min<std::size_t>(sizeof n, static_cast<std::size_t>(fd.width)));
        return EncodeError::None;
    }
    if (value.isNull())
        return EncodeError::None;
    switch (fd.kind) {
    case ValueKind::String: {
        bool ok = false;
        const QByteArray text = toCp1251(value.toString(), &ok);
        if (!ok)
            return EncodeError::NotCp1251;
        std::memcpy(bytes.data(), text.constData(),
                    static_cast<std::size_t>(std::min<qsizetype>(text.size(), fd.width)));
        return EncodeError::None;
    }
    case ValueKind::Float:
        return FormatNumberText(value.toDouble(), fd.width, fd.decimals, bytes.data()) ? EncodeError::None
                                                                                       : EncodeError::OutOfBounds;
    case ValueKind::Smallint:
    case ValueKind::Integer: {
        const QByteArray text = QByteArray::number(value.toLongLong());
        if (text.size() > fd.width)
            return EncodeError::OutOfBounds;
        std::memcpy(bytes.data() + fd.width - text.size(), text.constData(), static_cast<std::size_t>(text.size()));
        return EncodeError::None;
    }
    case ValueKind::Boolean: bytes[0] = value.toBool() ? 'T' : 'F'; return EncodeError::None;
    case ValueKind::Date: {
        const QByteArray text = value.toDate().toString(QStringLiteral("yyyyMMdd")).toLatin1().left(fd.width);
        std::memcpy(bytes.data(), text.constData(), static_cast<std::size_t>(text.size()));
        return EncodeError::None;
    }
    case ValueKind::Unsupported: break;
    }
    return EncodeError::None;
}

QByteArray RecordCodec::seekKey(const FieldDesc& fd, const QVariant& value)
{
    if (fd.kind == ValueKind::String) {
        bool ok = false;
        QByteArray bytes = toCp1251(value.toString(), &ok);
        if (!ok || bytes.size() > fd.width)
            return QByteArray();
        return bytes + QByteArray(fd.width - static_cast<int>(bytes.size()), ' ');
    }
    bool ok = false;
    const double number =
        value.typeId() == QMetaType::QString ? value.toString().trimmed().toDouble(&ok) : value.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return QByteArray();
    QByteArray key(fd.width, ' ');
    if (!FormatNumberText(number, fd.width, fd.decimals, key.data()))
        return QByteArray();
    return key;
}

bool RecordCodec::keyEquals(const QVariant& stored, const QVariant& key)
{
    if (stored.isNull() || key.isNull())
        return false;
    if (stored.typeId() == QMetaType::QString)
        return rightTrimmed(stored.toString()) == rightTrimmed(key.toString());
    bool ok = false;
    const double wanted =
        key.typeId() == QMetaType::QString ? key.toString().trimmed().toDouble(&ok) : key.toDouble(&ok);
    return ok && stored.toDouble() == wanted;
}

QVariant RecordCodec::lookupResult(const FieldDesc& fd, const char* record)
{
    const QVariant v = decode(fd, record);
    if (v.typeId() == QMetaType::QString)
        return v.toString().trimmed();
    return v;
}

}  // namespace emlo
