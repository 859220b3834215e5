#pragma once

#include <QString>
#include <QVariant>

namespace emlo {
class TField;

// The text a field shows for a value of any record: its display format for
// numbers, the general form without one; "" for null. (TField::DisplayText
// does the same for the current record only.)
QString FieldDisplayText(const TField* field, const QVariant& value);

// The text a field is edited in: numbers in general form; "" for null.
QString FieldEditText(const TField* field, const QVariant& value);

}  // namespace emlo
