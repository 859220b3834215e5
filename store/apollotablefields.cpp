// TApolloTable's fields: their definition, and the reading and writing of
// their values in the record buffer (for the fields' own accessors) and in
// any record (for grids).

#include "apollotable.h"
#include "apollotable_p.h"

#include "datasource.h"
#include "errors.h"
#include "fieldkind.h"
#include "recordcodec.h"

namespace emlo {

using emlo::FieldDesc;
using emlo::RecordCodec;

TField* TApolloTable::AddField(std::unique_ptr<TField> field)
{
    if (Active())
        fail(QStringLiteral("Cannot perform this operation on an open table"));
    field->m_dataSet = this;
    return d->fields.define(std::move(field));
}

TStringField* TApolloTable::AddStringField(const QString& name, int size)
{
    return static_cast<TStringField*>(AddField(std::make_unique<TStringField>(this, name, size)));
}

TSmallintField* TApolloTable::AddSmallintField(const QString& name)
{
    return static_cast<TSmallintField*>(AddField(std::make_unique<TSmallintField>(this, name)));
}

TIntegerField* TApolloTable::AddIntegerField(const QString& name)
{
    return static_cast<TIntegerField*>(AddField(std::make_unique<TIntegerField>(this, name)));
}

TFloatField* TApolloTable::AddFloatField(const QString& name)
{
    return static_cast<TFloatField*>(AddField(std::make_unique<TFloatField>(this, name)));
}

TField* TApolloTable::AddLookupField(const QString& name, TFieldType type, int size, TApolloTable* lookupDataSet,
                                     const QString& lookupKeyFields, const QString& lookupResultField,
                                     const QString& keyFields)
{
    std::unique_ptr<TField> field;
    switch (type) {
    case ftString: field = std::make_unique<TStringField>(this, name, size); break;
    case ftSmallint: field = std::make_unique<TSmallintField>(this, name); break;
    case ftInteger: field = std::make_unique<TIntegerField>(this, name); break;
    case ftFloat: field = std::make_unique<TFloatField>(this, name); break;
    default: throw EDatabaseError(QStringLiteral("Unsupported look-up field type for field '%1'").arg(name));
    }
    field->setLookup(lookupDataSet, lookupKeyFields, lookupResultField, keyFields);
    return AddField(std::move(field));
}

int TApolloTable::FieldCount() const
{
    return d->fields.count();
}

TField* TApolloTable::Fields(int index) const
{
    return d->fields.at(index);
}

TField* TApolloTable::FindField(const QString& name) const
{
    return d->fields.find(name);
}

TField* TApolloTable::FieldByName(const QString& name) const
{
    TField* field = FindField(name);
    if (!field)
        throw EDatabaseError(QStringLiteral("%1: Field '%2' not found").arg(Name(), name));
    return field;
}

QVariant TApolloTable::fieldValue(const TField* field) const
{
    if (!Active())
        return QVariant();
    if (field->FieldKind() == fkLookup) {
        const TField* keyField = FindField(field->KeyFields());
        if (!keyField || keyField == field || !field->LookupDataSet())
            return QVariant();
        return field->LookupDataSet()->lookupNoMove(field->LookupKeyFields(), keyField->AsVariant(),
                                                    field->LookupResultField());
    }
    if (field->m_valueIndex < 0 || (m_state == dsBrowse && d->cursor.recNo == 0))
        return QVariant();
    return d->cursor.value(field->m_valueIndex).toVariant();
}

void TApolloTable::setFieldValue(TField* field, const QVariant& value)
{
    if (!Active())
        throw EDatabaseError(QStringLiteral("%1: Cannot perform this operation on a closed dataset").arg(Name()));
    if (field->FieldKind() != fkData || field->ReadOnly() || field->m_valueIndex < 0)
        throw EDatabaseError(QStringLiteral("Field '%1' cannot be modified").arg(field->DisplayName()));
    if (m_state != dsEdit && m_state != dsInsert)
        throw EDatabaseError(QStringLiteral("%1: Dataset not in edit or insert mode").arg(Name()));
    const QVariant previous = d->cursor.value(field->m_valueIndex).toVariant();
    d->cursor.setValue(field->m_valueIndex, value);
    if (field->OnValidate) {
        try {
            field->OnValidate(*field);
        } catch (...) {
            d->cursor.setValue(field->m_valueIndex, previous);
            throw;
        }
    }
    d->cursor.markDirty(field->m_valueIndex);
    m_modified = true;
    d->notify(TDataSource::Event::FieldChange, field);
    // Look-up fields keyed on this one show another record now.
    for (TField* other : d->fields.bound()) {
        if (other->FieldKind() == fkLookup && other->KeyFields().compare(field->FieldName(), Qt::CaseInsensitive) == 0)
            d->notify(TDataSource::Event::FieldChange, other);
    }
    if (field->OnChange)
        field->OnChange(*field);
}

QVariant TApolloTable::lookupNoMove(const QString& keyField, const QVariant& keyValue, const QString& resultField) const
{
    if (!Active() || keyValue.isNull())
        return QVariant();
    const int keyColumn = d->requireColumn(keyField);
    const int resultColumn = d->requireColumn(resultField);
    return d->lookup.cachedResult(keyColumn, keyValue, resultColumn);
}

QVariant TApolloTable::FieldValueAt(qint32 recNo, const TField* field) const
{
    if (!Active() || !field || field->DataSet() != this)
        return QVariant();
    const bool current =
        (m_state == dsInsert && recNo == 0) || (m_state != dsInsert && recNo == d->cursor.recNo && recNo > 0);
    if (current)
        return fieldValue(field);
    d->cursor.select();  // the record count below is the current work area's
    if (recNo < 1 || recNo > ApolloEngine::Api().sx_RecCount())
        return QVariant();
    QByteArray record;
    try {
        record = d->cursor.readImage(recNo);
    } catch (const EApolloError&) {
        // Read for display (a grid row): an unreadable record shows nothing
        // rather than end the paint; the next command meets the failure.
        d->cursor.sync();
        return QVariant();
    }
    d->cursor.sync();
    if (field->FieldKind() == fkLookup) {
        const TField* keyField = FindField(field->KeyFields());
        if (!keyField || keyField->m_valueIndex < 0 || !field->LookupDataSet())
            return QVariant();
        const QVariant key = RecordCodec::decode(d->codec.column(keyField->m_valueIndex), record.constData());
        return field->LookupDataSet()->lookupNoMove(field->LookupKeyFields(), key, field->LookupResultField());
    }
    if (field->m_valueIndex < 0)
        return QVariant();
    return RecordCodec::decode(d->codec.column(field->m_valueIndex), record.constData());
}

bool TApolloTable::StoresAs(const TField* field, const QVariant& value)
{
    if (!Active() || !field || field->DataSet() != this || field->m_valueIndex < 0 || d->cursor.recNo == 0)
        return false;
    const FieldDesc& fd = d->codec.column(field->m_valueIndex);
    const QString lastError = m_lastErrorText;
    try {
        return d->encode(fd, value) == QByteArrayView(d->cursor.image).sliced(fd.offset, fd.width);
    } catch (const EApolloError&) {
        m_lastErrorText = lastError;  // a question, not a failed operation
        return false;
    }
}

}  // namespace emlo
