#include "fieldlist.h"

#include "apollotable.h"
#include "errors.h"
#include "fieldkind.h"
#include "recordcodec.h"

namespace emlo {

TField* FieldList::define(std::unique_ptr<TField> field)
{
    m_defined.push_back(std::move(field));
    return m_defined.back().get();
}

int FieldList::count() const
{
    if (!m_fields.empty())
        return static_cast<int>(m_fields.size());
    return static_cast<int>(m_defined.size());
}

TField* FieldList::at(int index) const
{
    if (index < 0 || index >= count())
        return nullptr;
    if (!m_fields.empty())
        return m_fields[static_cast<std::size_t>(index)];
    return m_defined[static_cast<std::size_t>(index)].get();
}

TField* FieldList::find(const QString& name) const
{
    for (int i = 0; i < count(); ++i) {
        TField* field = at(i);
        if (field->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return field;
    }
    return nullptr;
}

void FieldList::bind(TApolloTable* table, const RecordCodec& codec)
{
    unbind();
    const std::vector<FieldDesc>& columns = codec.columns();
    if (m_defined.empty()) {
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const FieldDesc& fd = columns[i];
            std::unique_ptr<TField> field = makeField(fd.kind, table, fd.name, fd.width);
            if (!field)
                continue;
            field->m_fieldNo = static_cast<int>(i) + 1;
            field->m_valueIndex = static_cast<int>(i);
            m_fields.push_back(field.get());
            m_made.push_back(std::move(field));
        }
        return;
    }
    for (const auto& field : m_defined) {
        if (field->FieldKind() != fkData) {
            field->m_fieldNo = 0;
            field->m_valueIndex = -1;
            m_fields.push_back(field.get());
            continue;
        }
        const int column = codec.columnOf(field->FieldName());
        if (column < 0)
            throw EDatabaseError(QStringLiteral("%1: Field '%2' not found").arg(table->Name(), field->FieldName()));
        const TFieldType expected = dataTypeOf(codec.column(column).kind);
        if (expected != field->DataType()) {
            throw EDatabaseError(QStringLiteral("Type mismatch for field '%1', expecting: %2 actual: %3")
                                     .arg(field->DisplayName(), FieldTypeName(field->DataType()).mid(2),
                                          FieldTypeName(expected).mid(2)));
        }
        field->m_fieldNo = column + 1;
        field->m_valueIndex = column;
        m_fields.push_back(field.get());
    }
}

void FieldList::unbind()
{
    m_fields.clear();
    m_made.clear();
}

}  // namespace emlo
