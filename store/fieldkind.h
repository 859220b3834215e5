#pragma once

// The one table of field kinds: an engine column type (with its width and
// decimals) gives a value kind, the kind gives the field class a table makes
// for the column and the data type a defined field must have.

#include <memory>

#include "store/fields.h"
#include "store/recordcodec.h"

namespace emlo {

// C text, L logical, D date, I binary integer; N and F numbers: without
// decimals and at most 4 characters wide a small integer, else floating.
// Any other type is Unsupported (no field is made for it).
ValueKind valueKindOf(char engineType, int width, int decimals);

// The data type of a field of that kind; ftUnknown for Unsupported.
TFieldType dataTypeOf(ValueKind kind);

// A field of the class of that kind for a column; nullptr for Unsupported.
std::unique_ptr<TField> makeField(ValueKind kind, TApolloTable* table, const QString& name, int width);

// Why a column definition for a new table is refused (a name that does not
// begin with a letter, no type, no width); empty when it is accepted.
QString fieldDefinitionError(const QString& name, const QString& type, int width);

}  // namespace emlo
