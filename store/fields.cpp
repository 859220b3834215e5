#include "fields.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>
#include <string>

#include <QLocale>

#include "apollotable.h"
#include "cp1251.h"
#include "errors.h"

namespace {

const char* const kTypeNames[] = {
    "ftUnknown",    "ftString",     "ftSmallint", "ftInteger",     "ftWord",      "ftBoolean",
    "ftFloat",      "ftCurrency",   "ftBCD",      "ftDate",        "ftTime",      "ftDateTime",
    "ftBytes",      "ftVarBytes",   "ftAutoInc",  "ftBlob",        "ftMemo",      "ftGraphic",
    "ftFmtMemo",    "ftParadoxOle", "ftDBaseOle", "ftTypedBinary", "ftCursor",    "ftFixedChar",
    "ftWideString", "ftLargeint",   "ftADT",      "ftArray",       "ftReference", "ftDataSet",
    "ftOraBlob",    "ftOraClob",    "ftVariant",  "ftInterface",   "ftIDispatch", "ftGuid",
};

QChar systemDecimalPoint()
{
    const QString point = QLocale::system().decimalPoint();
    return point.isEmpty() ? QChar(u'.') : point.at(0);
}

QChar systemGroupSeparator()
{
    const QString sep = QLocale::system().groupSeparator();
    return sep.isEmpty() ? QChar(u',') : sep.at(0);
}

// A finite non-negative number as decimal digits with the place of the
// decimal point: value = 0.d1d2d3... * 10^pointPos. At most 15 significant
// digits, so that a value keeps the decimal form it was entered with.
struct Decimal {
    std::string digits;  // no leading zeros; empty for zero
    int pointPos = 0;
};

Decimal toDecimal(double value)
{
    Decimal dec;
    if (value == 0.0)
        return dec;
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    const std::string text(buf, res.ptr);
    const auto ePos = text.find('e');
    std::string mantissa = text.substr(0, ePos);
    const int exponent = std::stoi(text.substr(ePos + 1));
    mantissa.erase(std::remove(mantissa.begin(), mantissa.end(), '.'), mantissa.end());
    while (!mantissa.empty() && mantissa.back() == '0')
        mantissa.pop_back();
    dec.digits = mantissa;
    dec.pointPos = exponent + 1;
    return dec;
}

// Rounds half away from zero to `decimals` digits after the point.
void roundTo(Decimal& dec, int decimals)
{
    const int keep = dec.pointPos + decimals;  // digits that stay
    if (keep >= static_cast<int>(dec.digits.size()))
        return;
    if (keep < 0) {
        dec.digits.clear();
        dec.pointPos = 0;
        return;
    }
    const bool up = dec.digits[static_cast<std::size_t>(keep)] >= '5';
    dec.digits.resize(static_cast<std::size_t>(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && dec.digits[static_cast<std::size_t>(i)] == '9') {
            dec.digits[static_cast<std::size_t>(i)] = '0';
            --i;
        }
        if (i < 0) {
            dec.digits.insert(dec.digits.begin(), '1');
            ++dec.pointPos;
        } else {
            ++dec.digits[static_cast<std::size_t>(i)];
        }
    }
    while (!dec.digits.empty() && dec.digits.back() == '0')
        dec.digits.pop_back();
    if (dec.digits.empty())
        dec.pointPos = 0;
}

// Digit at position i of the decimal (i = 0 is the first digit after the
// point, negative positions are integer digits: -1 units, -2 tens, ...).
char digitAt(const Decimal& dec, int i)
{
    const int index = dec.pointPos + i;
    if (index < 0 || index >= static_cast<int>(dec.digits.size()))
        return '0';
    return dec.digits[static_cast<std::size_t>(index)];
}

QString groupDigits(const QString& digits, QChar groupSeparator)
{
    QString out;
    const int n = static_cast<int>(digits.size());
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out.append(groupSeparator);
        out.append(digits.at(i));
    }
    return out;
}

QVariant parseFloatText(const QString& text, QChar decimalPoint, bool* ok)
{
    QString s = text.trimmed();
    *ok = false;
    if (s.isEmpty())
        return QVariant();
    if (decimalPoint != QChar(u'.')) {
        if (s.contains(u'.'))
            return QVariant();
        s.replace(decimalPoint, QChar(u'.'));
    }
    const double value = s.toDouble(ok);
    if (!*ok || !std::isfinite(value)) {
        *ok = false;
        return QVariant();
    }
    return value;
}

}  // namespace

QString FieldTypeName(TFieldType type)
{
    const int index = static_cast<int>(type);
    if (index < 0 || index >= static_cast<int>(std::size(kTypeNames)))
        return QString();
    return QString::fromLatin1(kTypeNames[index]);
}

QString FormatFloat(const QString& pattern, double value, QChar decimalSeparator, QChar groupSeparator)
{
    if (pattern.isEmpty())
        return FloatToStr(value, decimalSeparator);
    if (!std::isfinite(value))
        return FloatToStr(value, decimalSeparator);
    const QString section = pattern.section(u';', 0, 0);
    const int point = section.indexOf(u'.');
    const QString intPart = point < 0 ? section : section.left(point);
    const QString fracPart = point < 0 ? QString() : section.mid(point + 1);

    int minInt = 0;
    bool seenZero = false;
    for (QChar ch : intPart) {
        if (ch == u'0')
            seenZero = true;
        if (seenZero && (ch == u'0' || ch == u'#'))
            ++minInt;
    }
    const bool grouping = intPart.contains(u',');
    int minFrac = 0;
    int maxFrac = 0;
    for (QChar ch : fracPart) {
        if (ch == u'0' || ch == u'#') {
            ++maxFrac;
            if (ch == u'0')
                minFrac = maxFrac;
        }
    }

    Decimal dec = toDecimal(std::fabs(value));
    roundTo(dec, maxFrac);

    QString intDigits;
    for (int i = -std::max(dec.pointPos, minInt); i < 0; ++i)
        intDigits.append(QChar::fromLatin1(digitAt(dec, i)));
    while (intDigits.size() > minInt && intDigits.startsWith(u'0'))
        intDigits.remove(0, 1);
    if (grouping)
        intDigits = groupDigits(intDigits, groupSeparator);

    int fracCount = std::max(0, static_cast<int>(dec.digits.size()) - dec.pointPos);
    fracCount = std::clamp(fracCount, minFrac, maxFrac);
    QString fracDigits;
    for (int i = 0; i < fracCount; ++i)
        fracDigits.append(QChar::fromLatin1(digitAt(dec, i)));

    QString out;
    if (value < 0 && !dec.digits.empty())
        out.append(u'-');
    out.append(intDigits);
    if (!fracDigits.isEmpty()) {
        out.append(decimalSeparator);
        out.append(fracDigits);
    }
    return out;
}

QString FormatFloat(const QString& pattern, double value)
{
    return FormatFloat(pattern, value, systemDecimalPoint(), systemGroupSeparator());
}

QString FloatToStr(double value, QChar decimalSeparator)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    const Decimal dec = toDecimal(std::fabs(value));
    if (dec.digits.empty())
        return QStringLiteral("0");
    QString out;
    if (value < 0)
        out.append(u'-');
    const int exponent = dec.pointPos - 1;
    if (exponent < -5 || exponent >= 15) {
        out.append(QChar::fromLatin1(dec.digits[0]));
        if (dec.digits.size() > 1) {
            out.append(decimalSeparator);
            out.append(QString::fromLatin1(dec.digits.substr(1)));
        }
        out.append(u'E');
        if (exponent < 0)
            out.append(u'-');
        out.append(QString::number(std::abs(exponent)));
        return out;
    }
    if (dec.pointPos <= 0) {
        out.append(u'0');
        out.append(decimalSeparator);
        out.append(QString(-dec.pointPos, u'0'));
        out.append(QString::fromLatin1(dec.digits));
        return out;
    }
    for (int i = -dec.pointPos; i < 0; ++i)
        out.append(QChar::fromLatin1(digitAt(dec, i)));
    if (static_cast<int>(dec.digits.size()) > dec.pointPos) {
        out.append(decimalSeparator);
        out.append(QString::fromLatin1(dec.digits.substr(static_cast<std::size_t>(dec.pointPos))));
    }
    return out;
}

QString FloatToStr(double value)
{
    return FloatToStr(value, systemDecimalPoint());
}

// ---------------------------------------------------------------- TField

TField::TField(TApolloTable* dataSet, const QString& fieldName, TFieldType type, int size)
    : m_dataSet(dataSet), m_fieldName(fieldName), m_dataType(type), m_size(size)
{
}

TField::~TField() = default;

QString TField::DisplayName() const
{
    return m_displayLabel.isEmpty() ? m_fieldName : m_displayLabel;
}

int TField::DisplayWidth() const
{
    if (m_displayWidth > 0)
        return m_displayWidth;
    return m_size > 0 ? m_size : 10;
}

void TField::setLookup(TApolloTable* lookupDataSet, const QString& lookupKeyFields, const QString& lookupResultField,
                       const QString& keyFields)
{
    m_fieldKind = fkLookup;
    m_lookupDataSet = lookupDataSet;
    m_lookupKeyFields = lookupKeyFields;
    m_lookupResultField = lookupResultField;
    m_keyFields = keyFields;
}

int TField::Index() const
{
    if (!m_dataSet)
        return -1;
    for (int i = 0; i < m_dataSet->FieldCount(); ++i) {
        if (m_dataSet->Fields(i) == this)
            return i;
    }
    return -1;
}

QVariant TField::AsVariant() const
{
    return m_dataSet ? m_dataSet->fieldValue(this) : QVariant();
}

bool TField::IsNull() const
{
    return AsVariant().isNull();
}

void TField::store(const QVariant& converted)
{
    if (!m_dataSet)
        throw EDatabaseError(QStringLiteral("Field '%1' has no dataset").arg(DisplayName()));
    m_dataSet->setFieldValue(this, converted);
}

void TField::Clear()
{
    store(QVariant());
}

void TField::setAsVariant(const QVariant& value)
{
    store(convertIn(value));
}

QString TField::textOf(const QVariant& value) const
{
    if (value.isNull())
        return QString();
    return value.toString();
}

QString TField::AsString() const
{
    return textOf(AsVariant());
}

void TField::setAsString(const QString& text)
{
    store(convertIn(QVariant(text)));
}

qint32 TField::AsInteger() const
{
    const QVariant v = AsVariant();
    if (v.isNull())
        return 0;
    switch (v.typeId()) {
    case QMetaType::Double: return static_cast<qint32>(std::llround(v.toDouble()));
    case QMetaType::Bool: return v.toBool() ? 1 : 0;
    case QMetaType::QString: {
        bool ok = false;
        const qint32 n = v.toString().trimmed().toInt(&ok);
        if (!ok)
            throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(v.toString()));
        return n;
    }
    default: return v.toInt();
    }
}

void TField::setAsInteger(qint32 value)
{
    store(convertIn(QVariant(value)));
}

double TField::AsFloat() const
{
    const QVariant v = AsVariant();
    if (v.isNull())
        return 0.0;
    if (v.typeId() == QMetaType::QString) {
        bool ok = false;
        const QVariant d = parseFloatText(v.toString(), systemDecimalPoint(), &ok);
        if (!ok)
            throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(v.toString()));
        return d.toDouble();
    }
    return v.toDouble();
}

void TField::setAsFloat(double value)
{
    store(convertIn(QVariant(value)));
}

bool TField::AsBoolean() const
{
    const QVariant v = AsVariant();
    if (v.isNull())
        return false;
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed().toUpper();
        return s == u"T" || s == u"Y" || s == u"TRUE";
    }
    return v.toBool();
}

void TField::setAsBoolean(bool value)
{
    store(convertIn(QVariant(value)));
}

QDate TField::AsDate() const
{
    const QVariant v = AsVariant();
    return v.typeId() == QMetaType::QDate ? v.toDate() : QDate();
}

void TField::setAsDate(const QDate& value)
{
    store(convertIn(value.isValid() ? QVariant(value) : QVariant()));
}

QString TField::DisplayText() const
{
    const QVariant v = AsVariant();
    if (v.isNull())
        return QString();
    if (m_dataType == ftFloat && !m_displayFormat.isEmpty())
        return FormatFloat(m_displayFormat, v.toDouble());
    return textOf(v);
}

// ---------------------------------------------------------------- kinds

TStringField::TStringField(TApolloTable* dataSet, const QString& fieldName, int size)
    : TField(dataSet, fieldName, ftString, size)
{
}

QVariant TStringField::convertIn(const QVariant& value) const
{
    if (value.isNull())
        return QVariant();
    QString text;
    if (value.typeId() == QMetaType::Double)
        text = FloatToStr(value.toDouble());
    else
        text = value.toString();
    const QChar bad = firstNonCp1251Char(text);
    if (!bad.isNull()) {
        throw EDatabaseError(QStringLiteral("Символ «%1» (U+%2) не можна зберегти в полі «%3»: його немає "
                                            "в кодовій сторінці Windows-1251")
                                 .arg(bad)
                                 .arg(QString::number(bad.unicode(), 16).toUpper().rightJustified(4, u'0'))
                                 .arg(DisplayName()));
    }
    if (Size() > 0 && text.size() > Size())
        text.truncate(Size());
    return text;
}

TIntegerField::TIntegerField(TApolloTable* dataSet, const QString& fieldName) : TField(dataSet, fieldName, ftInteger, 0)
{
}

TIntegerField::TIntegerField(TApolloTable* dataSet, const QString& fieldName, TFieldType type)
    : TField(dataSet, fieldName, type, 0)
{
}

qint64 TIntegerField::minValue() const
{
    return std::numeric_limits<qint32>::min();
}

qint64 TIntegerField::maxValue() const
{
    return std::numeric_limits<qint32>::max();
}

QVariant TIntegerField::convertIn(const QVariant& value) const
{
    if (value.isNull())
        return QVariant();
    qint64 n = 0;
    switch (value.typeId()) {
    case QMetaType::QString: {
        const QString text = value.toString().trimmed();
        if (text.isEmpty())
            return QVariant();
        bool ok = false;
        n = text.toLongLong(&ok);
        if (!ok) {
            throw EDatabaseError(
                QStringLiteral("«%1» не є цілим числом; поле «%2»").arg(value.toString(), DisplayName()));
        }
        break;
    }
    case QMetaType::Double: {
        const double d = value.toDouble();
        if (!std::isfinite(d) || std::fabs(d) > 9.2e18)
            throw EDatabaseError(QStringLiteral("«%1» не є цілим числом; поле «%2»").arg(FloatToStr(d), DisplayName()));
        n = std::llround(d);
        break;
    }
    case QMetaType::Bool: n = value.toBool() ? 1 : 0; break;
    default: n = value.toLongLong();
    }
    if (n < minValue() || n > maxValue()) {
        throw EDatabaseError(QStringLiteral("Значення %1 не вміщується в поле «%2»: допустимі значення від %3 до %4")
                                 .arg(n)
                                 .arg(DisplayName())
                                 .arg(minValue())
                                 .arg(maxValue()));
    }
    return static_cast<int>(n);
}

TSmallintField::TSmallintField(TApolloTable* dataSet, const QString& fieldName)
    : TIntegerField(dataSet, fieldName, ftSmallint)
{
}

qint64 TSmallintField::minValue() const
{
    return -32768;
}

qint64 TSmallintField::maxValue() const
{
    return 32767;
}

TFloatField::TFloatField(TApolloTable* dataSet, const QString& fieldName) : TField(dataSet, fieldName, ftFloat, 0) { }

QVariant TFloatField::convertIn(const QVariant& value) const
{
    if (value.isNull())
        return QVariant();
    if (value.typeId() == QMetaType::QString) {
        if (value.toString().trimmed().isEmpty())
            return QVariant();
        bool ok = false;
        const QVariant d = parseFloatText(value.toString(), systemDecimalPoint(), &ok);
        if (!ok) {
            throw EDatabaseError(QStringLiteral("'%1' is not a valid floating point value for field '%2'")
                                     .arg(value.toString(), DisplayName()));
        }
        return d;
    }
    bool ok = false;
    const double d = value.toDouble(&ok);
    if (!ok || !std::isfinite(d)) {
        throw EDatabaseError(QStringLiteral("'%1' is not a valid floating point value for field '%2'")
                                 .arg(value.toString(), DisplayName()));
    }
    return d;
}

QString TFloatField::textOf(const QVariant& value) const
{
    if (value.isNull())
        return QString();
    return FloatToStr(value.toDouble());
}

TBooleanField::TBooleanField(TApolloTable* dataSet, const QString& fieldName) : TField(dataSet, fieldName, ftBoolean, 0)
{
}

QVariant TBooleanField::convertIn(const QVariant& value) const
{
    if (value.isNull())
        return QVariant();
    if (value.typeId() == QMetaType::QString) {
        const QString s = value.toString().trimmed().toUpper();
        if (s.isEmpty())
            return QVariant();
        if (s == u"TRUE" || s == u"T" || s == u"Y" || s == u"YES")
            return true;
        if (s == u"FALSE" || s == u"F" || s == u"N" || s == u"NO")
            return false;
        throw EDatabaseError(
            QStringLiteral("«%1» не є логічним значенням; поле «%2»").arg(value.toString(), DisplayName()));
    }
    return value.toBool();
}

QString TBooleanField::textOf(const QVariant& value) const
{
    if (value.isNull())
        return QString();
    return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
}

TDateField::TDateField(TApolloTable* dataSet, const QString& fieldName) : TField(dataSet, fieldName, ftDate, 0) { }

QVariant TDateField::convertIn(const QVariant& value) const
{
    if (value.isNull())
        return QVariant();
    if (value.typeId() == QMetaType::QDate)
        return value.toDate().isValid() ? value : QVariant();
    const QString text = value.toString().trimmed();
    if (text.isEmpty())
        return QVariant();
    QDate date = QLocale::system().toDate(text, QLocale::ShortFormat);
    if (!date.isValid())
        date = QDate::fromString(text, Qt::ISODate);
    if (!date.isValid())
        throw EDatabaseError(QStringLiteral("«%1» не є датою; поле «%2»").arg(text, DisplayName()));
    return date;
}

QString TDateField::textOf(const QVariant& value) const
{
    if (value.isNull())
        return QString();
    return QLocale::system().toString(value.toDate(), QLocale::ShortFormat);
}
