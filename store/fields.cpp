#include "fields.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include <QLocale>

#include "apollotable.h"
#include "apollotable_p.h"
#include "cp1251.h"
#include "errors.h"

namespace emlo {

namespace {

const char* const kTypeNames[] = {
    "ftUnknown",    "ftString",     "ftSmallint", "ftInteger",     "ftWord",      "ftBoolean",
    "ftFloat",      "ftCurrency",   "ftBCD",      "ftDate",        "ftTime",      "ftDateTime",
    "ftBytes",      "ftVarBytes",   "ftAutoInc",  "ftBlob",        "ftMemo",      "ftGraphic",
    "ftFmtMemo",    "ftParadoxOle", "ftDBaseOle", "ftTypedBinary", "ftCursor",    "ftFixedChar",
    "ftWideString", "ftLargeint",   "ftADT",      "ftArray",       "ftReference", "ftDataSet",
    "ftOraBlob",    "ftOraClob",    "ftVariant",  "ftInterface",   "ftIDispatch", "ftGuid",
};

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
    // A text column read in a scan: no QVariant in between.
    if (const emlo::FieldValue* v = m_dataSet ? m_dataSet->d->slotOf(*this) : nullptr) {
        if (v->kind == emlo::FieldValue::Text && m_dataType == ftString)
            return v->text;
    }
    return textOf(AsVariant());
}

void TField::setAsString(const QString& text)
{
    store(convertIn(QVariant(text)));
}

qint32 TField::AsInteger() const
{
    if (const emlo::FieldValue* v = m_dataSet ? m_dataSet->d->slotOf(*this) : nullptr) {
        switch (v->kind) {
        case emlo::FieldValue::Null: return 0;
        case emlo::FieldValue::Int: return v->integer;
        case emlo::FieldValue::Real: return static_cast<qint32>(std::llround(v->real));
        default: break;
        }
    }
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
    if (const emlo::FieldValue* v = m_dataSet ? m_dataSet->d->slotOf(*this) : nullptr) {
        switch (v->kind) {
        case emlo::FieldValue::Null: return 0.0;
        case emlo::FieldValue::Int: return v->integer;
        case emlo::FieldValue::Real: return v->real;
        default: break;
        }
    }
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

}  // namespace emlo
