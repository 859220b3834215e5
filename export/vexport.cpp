#include "vexport.h"

#include <QDate>

#include "store/apollotable.h"
#include "store/errors.h"
#include "store/fields.h"

namespace emlo {

namespace {

// The part before the first "=" of a "key=value" line, trimmed, and the rest.
bool splitSetting(const QString& line, QString& key, QString& value)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0)
        return false;
    key = line.left(eq).trimmed();
    value = line.mid(eq + 1).trimmed();
    return true;
}

bool isBlobType(TFieldType type)
{
    switch (type) {
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
    case ftOraClob: return true;
    default: return false;
    }
}

}  // namespace

TVExport::TVExport(QObject* parent) : QObject(parent) { }

TVExport::~TVExport() = default;

bool TVExport::Execute()
{
    if (FileName.isEmpty())
        throw Exception(QStringLiteral("Invalid file name!"));
    if (!m_dataset)
        throw Exception(QStringLiteral("Dataset not assigned!"));
    if (!m_dataset->Active())
        throw Exception(QStringLiteral("Dataset not active!"));

    m_displayNames.clear();
    for (int i = 0; i < m_dataset->FieldCount(); ++i) {
        QString name = m_dataset->Fields(i)->DisplayName();
        for (const QString& line : Captions) {
            QString key, caption;
            if (splitSetting(line, key, caption) && key.compare(name, Qt::CaseInsensitive) == 0) {
                name = caption;
                break;
            }
        }
        m_displayNames << name;
    }

    if (GoToFirstRecord)
        m_dataset->First();
    return true;
}

QString TVExport::userFormatFor(const TField& field) const
{
    for (const QString& line : UserFormats) {
        QString key, pattern;
        if (splitSetting(line, key, pattern)
            && (key.compare(field.DisplayName(), Qt::CaseInsensitive) == 0
                || key.compare(field.FieldName(), Qt::CaseInsensitive) == 0))
            return pattern;
    }
    return QString();
}

QString TVExport::GetFieldText(const TField& field) const
{
    if (field.IsNull())
        return QString();
    const QString text = field.AsString();
    const QString userPattern = userFormatFor(field);
    auto pattern = [&](const QString& standard) { return userPattern.isEmpty() ? standard : userPattern; };
    auto format = [&](const QString& standard, double value) {
        return DecimalSeparator.isNull() ? FormatFloat(pattern(standard), value)
                                         : FormatFloat(pattern(standard), value, DecimalSeparator, QChar(u' '));
    };

    switch (field.DataType()) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
        // Numbers take the separators of the user's locale, which the
        // program never changes.
        return format(Formats.IntegerFormat, field.AsInteger());
    case ftBoolean: return field.AsBoolean() ? Formats.BooleanTrue : Formats.BooleanFalse;
    case ftFloat:
    case ftBCD: return format(Formats.FloatFormat, field.AsFloat());
    case ftCurrency: return format(Formats.CurrencyFormat, field.AsFloat());
    case ftDate: return field.AsDate().toString(pattern(Formats.DateFormat));
    default:
        // The table layer has no time or date-time fields; their patterns
        // stay unused like those of any kind it cannot deliver.
        return text;
    }
}

QString TVExport::EscapeText(const QString& text) const
{
    return text;
}

bool TVExport::IsFieldExported(const TField& field) const
{
    if (ExportedFields.isEmpty())
        return field.Visible() && !isBlobType(field.DataType());
    return ExportedFields.contains(field.FieldName(), Qt::CaseInsensitive)
        || ExportedFields.contains(field.DisplayName(), Qt::CaseInsensitive);
}

}  // namespace emlo
