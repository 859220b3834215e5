#include "lookuplistmodel.h"

#include "lookuplist.h"
#include "store/apollotable.h"
#include "store/fields.h"

namespace emlo {

LookupListModel::LookupListModel(std::shared_ptr<LookupList> list, const QStringList& fields, QObject* parent)
    : QAbstractTableModel(parent), m_list(std::move(list)), m_fields(fields)
{
    // The rows are counted when a view asks: counting reads the entries.
    connect(m_list.get(), &LookupList::contentChanged, this, [this] {
        beginResetModel();
        m_rows = -1;
        endResetModel();
    });
}

int LookupListModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    if (m_rows < 0)
        m_rows = m_list->Count();
    return m_rows;
}

int LookupListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_fields.size());
}

QVariant LookupListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= m_fields.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return m_list->Text(index.row(), m_fields.at(index.column()));
    return {};
}

QVariant LookupListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= m_fields.size())
        return {};
    const TApolloTable* table = m_list->Table();
    const TField* field = table ? table->FindField(m_fields.at(section)) : nullptr;
    return field ? field->DisplayName() : m_fields.at(section);
}

int LookupListModel::DisplayWidth(int column) const
{
    const TApolloTable* table = m_list->Table();
    const TField* field = table ? table->FindField(m_fields.value(column)) : nullptr;
    return field ? field->DisplayWidth() : 10;
}

}  // namespace emlo
