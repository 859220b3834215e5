#pragma once

#include <memory>

#include <QAbstractTableModel>
#include <QStringList>

namespace emlo {

class LookupList;

// The entries of a reference list as an item model: one row per entry, one
// column per listed field; the header titles are the fields' display labels.
class LookupListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    LookupListModel(std::shared_ptr<LookupList> list, const QStringList& fields, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    const QStringList& Fields() const { return m_fields; }
    LookupList& List() const { return *m_list; }
    // Display width of a column in characters (the field's DisplayWidth).
    int DisplayWidth(int column) const;

private:
    std::shared_ptr<LookupList> m_list;
    QStringList m_fields;
    mutable int m_rows = -1;  // -1: not counted since the last change
};

}  // namespace emlo
