#include "frdbdataset.h"

#include "store/apollotable.h"

namespace emlo::print {

TfrDBDataSet::TfrDBDataSet(TApolloTable* table) : m_table(table) { }

QString TfrDBDataSet::DataSetName() const
{
    return m_table->Name();
}

void TfrDBDataSet::First()
{
    m_table->First();
}

void TfrDBDataSet::Next()
{
    m_table->Next();
}

bool TfrDBDataSet::Eof() const
{
    return m_table->Eof();
}

bool TfrDBDataSet::HasField(const QString& name) const
{
    return m_table->FindField(name) != nullptr;
}

bool TfrDBDataSet::IsCharField(const QString& name) const
{
    const TField* f = m_table->FindField(name);
    if (!f)
        return false;
    const TFieldType t = f->DataType();
    return t == ftString || t == ftFixedChar || t == ftWideString || t == ftMemo;
}

bool TfrDBDataSet::IsNull(const QString& name) const
{
    return m_table->FieldByName(name)->IsNull();
}

QVariant TfrDBDataSet::Value(const QString& name) const
{
    return m_table->FieldByName(name)->AsVariant();
}

}  // namespace emlo::print
