#include "fieldkind.h"

namespace emlo {

namespace {

using MakeField = std::unique_ptr<TField> (*)(TApolloTable*, const QString&, int);

template <class Field> std::unique_ptr<TField> make(TApolloTable* table, const QString& name, int)
{
    return std::make_unique<Field>(table, name);
}

std::unique_ptr<TField> makeString(TApolloTable* table, const QString& name, int width)
{
    return std::make_unique<TStringField>(table, name, width);
}

struct FieldKindRow {
    char engineType;
    bool narrowWhole;  // N/F only: no decimals and at most 4 characters wide
    ValueKind kind;
    TFieldType dataType;
    MakeField makeField;
};

// clang-format off
const FieldKindRow kRows[] = {
    {'C', false, ValueKind::String,   ftString,   makeString},
    {'N', true,  ValueKind::Smallint, ftSmallint, make<TSmallintField>},
    {'N', false, ValueKind::Float,    ftFloat,    make<TFloatField>},
    {'F', true,  ValueKind::Smallint, ftSmallint, make<TSmallintField>},
    {'F', false, ValueKind::Float,    ftFloat,    make<TFloatField>},
    {'I', false, ValueKind::Integer,  ftInteger,  make<TIntegerField>},
    {'L', false, ValueKind::Boolean,  ftBoolean,  make<TBooleanField>},
    {'D', false, ValueKind::Date,     ftDate,     make<TDateField>},
};
// clang-format on

const FieldKindRow* rowOf(ValueKind kind)
{
    for (const FieldKindRow& row : kRows) {
        if (row.kind == kind)
            return &row;
    }
    return nullptr;
}

}  // namespace

ValueKind valueKindOf(char engineType, int width, int decimals)
{
    const bool numeric = engineType == 'N' || engineType == 'F';
    const bool narrowWhole = numeric && decimals <= 0 && width <= 4;
    for (const FieldKindRow& row : kRows) {
        if (row.engineType == engineType && (!numeric || row.narrowWhole == narrowWhole))
            return row.kind;
    }
    return ValueKind::Unsupported;
}

TFieldType dataTypeOf(ValueKind kind)
{
    const FieldKindRow* row = rowOf(kind);
    return row ? row->dataType : ftUnknown;
}

std::unique_ptr<TField> makeField(ValueKind kind, TApolloTable* table, const QString& name, int width)
{
    const FieldKindRow* row = rowOf(kind);
    return row ? row->makeField(table, name, width) : nullptr;
}

QString fieldDefinitionError(const QString& name, const QString& type, int width)
{
    const QChar first = name.isEmpty() ? QChar() : name.at(0);
    if (!((first >= u'A' && first <= u'Z') || (first >= u'a' && first <= u'z')))
        return QStringLiteral("Invalid field name. Field names must begin with a letter");
    if (type.isEmpty())
        return QStringLiteral("Invalid field type");
    if (width < 1)
        return QStringLiteral("Invalid field length.");
    return QString();
}

}  // namespace emlo
