#include "fielddatalink.h"

#include "store/apollotable.h"

namespace emlo {

TField* FieldDataLink::Field() const
{
    TApolloTable* table = DataSet();
    if (!table || !table->Active() || m_fieldName.isEmpty())
        return nullptr;
    return table->FindField(m_fieldName);
}

bool FieldDataLink::CanModify() const
{
    const TField* field = Field();
    return field && !ReadOnly() && !field->ReadOnly() && DataSet()->CanModify();
}

void FieldDataLink::ActiveChanged()
{
    if (onDataChange)
        onDataChange();
}

void FieldDataLink::RecordChanged(TField* field)
{
    if (field && field != Field())
        return;
    if (onDataChange)
        onDataChange();
}

void FieldDataLink::DataSetChanged()
{
    if (onDataChange)
        onDataChange();
}

void FieldDataLink::EditingChanged()
{
    if (onEditingChange)
        onEditingChange();
}

void FieldDataLink::UpdateData()
{
    if (onUpdateData)
        onUpdateData();
}

}  // namespace emlo
