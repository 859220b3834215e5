#include "fieldtext.h"

#include <QDate>

#include "store/fields.h"

namespace emlo {

QString FieldEditText(const TField* field, const QVariant& value)
{
    if (!field || value.isNull())
        return {};
    switch (field->DataType()) {
    case ftFloat:
    case ftCurrency:
    case ftBCD: return FloatToStr(value.toDouble());
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint: return QString::number(value.toLongLong());
    case ftBoolean: return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case ftDate: return value.toDate().toString(QStringLiteral("dd.MM.yyyy"));
    default: return value.toString();
    }
}

QString FieldDisplayText(const TField* field, const QVariant& value)
{
    if (!field || value.isNull())
        return {};
    if (field->DataType() == ftFloat && !field->DisplayFormat().isEmpty())
        return FormatFloat(field->DisplayFormat(), value.toDouble());
    return FieldEditText(field, value);
}

}  // namespace emlo
