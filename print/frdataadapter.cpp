#include "frdataadapter.h"

namespace emlo::print {

TfrMemoryDataSet::TfrMemoryDataSet(QString dataSetName, QVector<Field> fields)
    : m_name(std::move(dataSetName)), m_fields(std::move(fields))
{
}

void TfrMemoryDataSet::AppendRecord(const QVariantList& values)
{
    QVariantList row = values;
    while (row.size() < m_fields.size())
        row.append(QVariant());
    m_rows.append(row);
}

void TfrMemoryDataSet::Next()
{
    if (m_pos < m_rows.size())
        ++m_pos;
}

bool TfrMemoryDataSet::IsCharField(const QString& name) const
{
    const qsizetype i = fieldIndex(name);
    return i >= 0 && m_fields[i].isChar;
}

bool TfrMemoryDataSet::IsNull(const QString& name) const
{
    const qsizetype i = fieldIndex(name);
    return i < 0 || Eof() || m_rows[m_pos][i].isNull();
}

QVariant TfrMemoryDataSet::Value(const QString& name) const
{
    const qsizetype i = fieldIndex(name);
    if (i < 0 || Eof())
        return QVariant();
    return m_rows[m_pos][i];
}

qsizetype TfrMemoryDataSet::fieldIndex(const QString& name) const
{
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

}  // namespace emlo::print
