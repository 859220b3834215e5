#include "datasetmodel.h"

#include "fieldtext.h"
#include "store/apollotable.h"
#include "store/fields.h"

namespace emlo {

DataSetModel::DataSetModel(QObject* parent) : QAbstractTableModel(parent) { }

DataSetModel::~DataSetModel() = default;

void DataSetModel::setDataSource(TDataSource* source)
{
    TDataLink::setDataSource(source);
    sync();
}

int DataSetModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return int(m_recNos.size()) + (m_insertRow >= 0 ? 1 : 0);
}

int DataSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

TField* DataSetModel::ColumnField(int column) const
{
    return column >= 0 && column < m_columns.size() ? m_columns.at(column) : nullptr;
}

int DataSetModel::ColumnOf(const QString& fieldName) const
{
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns.at(i)->FieldName().compare(fieldName, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

qint32 DataSetModel::RecNoAt(int row) const
{
    if (row < 0 || row == m_insertRow)
        return 0;
    const int at = (m_insertRow >= 0 && row > m_insertRow) ? row - 1 : row;
    return at < m_recNos.size() ? m_recNos.at(at) : 0;
}

int DataSetModel::CurrentRow() const
{
    if (m_insertRow >= 0)
        return m_insertRow;
    const TApolloTable* table = DataSet();
    if (!table || !Active())
        return -1;
    const qint32 recNo = table->RecNo();
    const int at = int(m_recNos.indexOf(recNo));
    return recNo > 0 ? at : -1;
}

QVariant DataSetModel::rowValue(int row, const TField* field) const
{
    const TApolloTable* table = DataSet();
    if (!table || !field || !Active())
        return {};
    const qint32 recNo = RecNoAt(row);
    // The current record may hold unposted values: read it from the buffer.
    if (recNo == 0 || (recNo == table->RecNo() && table->State() != dsBrowse))
        return table->FieldValueAt(recNo, field);
    auto it = m_cache.find(recNo);
    if (it == m_cache.end()) {
        QVector<QVariant> values;
        values.reserve(table->FieldCount());
        for (int i = 0; i < table->FieldCount(); ++i)
            values.append(table->FieldValueAt(recNo, table->Fields(i)));
        it = m_cache.insert(recNo, values);
    }
    const int index = field->Index();
    return index >= 0 && index < it->size() ? it->at(index) : QVariant();
}

QVariant DataSetModel::ValueAt(int row, const QString& fieldName) const
{
    const TApolloTable* table = DataSet();
    return table ? rowValue(row, table->FindField(fieldName)) : QVariant();
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TField* field = ColumnField(index.column());
    if (!field)
        return {};
    switch (role) {
    case Qt::DisplayRole: return FieldDisplayText(field, rowValue(index.row(), field));
    case Qt::EditRole:
        if (field->FieldKind() == fkLookup)
            return ValueAt(index.row(), field->KeyFields());
        return FieldEditText(field, rowValue(index.row(), field));
    case Qt::TextAlignmentRole:
        if (field->DataType() == ftString)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    case FieldNameRole: return field->FieldName();
    case RecNoRole: return RecNoAt(index.row());
    case ValueRole: return rowValue(index.row(), field);
    default: return {};
    }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        const TField* field = ColumnField(section);
        if (!field)
            return {};
        if (role == Qt::DisplayRole)
            return field->DisplayName();
        if (role == FieldNameRole)
            return field->FieldName();
        return {};
    }
    if (role == Qt::DisplayRole && section >= 0 && section < rowCount())
        return QString();
    return {};
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const TField* field = ColumnField(index.column());
    const TApolloTable* table = DataSet();
    if (!field || !table || !table->CanModify() || ReadOnly() || field->ReadOnly())
        return result;
    if (field->FieldKind() == fkData) {
        result |= Qt::ItemIsEditable;
    } else if (field->FieldKind() == fkLookup) {
        const TField* key = table->FindField(field->KeyFields());
        if (key && !key->ReadOnly() && key->FieldKind() == fkData)
            result |= Qt::ItemIsEditable;
    }
    return result;
}

bool DataSetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !(flags(index) & Qt::ItemIsEditable))
        return false;
    if (index.row() != CurrentRow())
        return false;
    TField* field = ColumnField(index.column());
    if (!Edit())
        return false;
    if (field->FieldKind() == fkLookup) {
        TField* key = DataSet()->FieldByName(field->KeyFields());
        if (value.isNull())
            key->Clear();
        else
            key->setAsVariant(value);
    } else {
        field->setAsString(value.toString());
    }
    return true;
}

void DataSetModel::MoveTo(int row)
{
    TApolloTable* table = DataSet();
    if (!table || !Active() || row == CurrentRow())
        return;
    const qint32 recNo = RecNoAt(row);
    if (recNo > 0)
        table->setRecNo(recNo);
}

QVector<TField*> DataSetModel::visibleColumns() const
{
    QVector<TField*> columns;
    const TApolloTable* table = DataSet();
    if (!table || !Active())
        return columns;
    for (int i = 0; i < table->FieldCount(); ++i) {
        TField* field = table->Fields(i);
        if (field->Visible())
            columns.append(field);
    }
    return columns;
}

void DataSetModel::sync()
{
    const TApolloTable* table = DataSet();
    const bool active = Active();
    const QVector<TField*> columns = visibleColumns();
    const QVector<qint32> recNos = active ? table->VisibleRecNos() : QVector<qint32>();
    const bool inserting = active && table->State() == dsInsert;

    int insertRow = -1;
    if (inserting) {
        if (m_insertRow >= 0)
            insertRow = qMin(m_insertRow, int(recNos.size()));
        else if (m_appending)
            insertRow = int(recNos.size());
        else {
            // A new record stands before the record that was current.
            const int at = int(recNos.indexOf(m_lastRecNo));
            insertRow = at >= 0 ? at : int(recNos.size());
        }
    } else if (active) {
        m_lastRecNo = table->RecNo();
        m_appending = false;
    }

    m_cache.clear();
    if (recNos != m_recNos || insertRow != m_insertRow || columns != m_columns) {
        beginResetModel();
        m_columns = columns;
        m_recNos = recNos;
        m_insertRow = insertRow;
        endResetModel();
    } else if (rowCount() > 0 && columnCount() > 0) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }
    emit currentRowChanged(CurrentRow());
}

void DataSetModel::ActiveChanged()
{
    sync();
}

void DataSetModel::RecordChanged(TField* field)
{
    if (!field) {
        sync();
        return;
    }
    const int row = CurrentRow();
    m_cache.remove(RecNoAt(row));
    if (row >= 0 && columnCount() > 0)
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void DataSetModel::DataSetChanged()
{
    sync();
}

void DataSetModel::EditingChanged()
{
    sync();
    if (!Editing())
        emit editingEnded();
}

void DataSetModel::UpdateData()
{
    if (OnUpdateData)
        OnUpdateData();
}

}  // namespace emlo
