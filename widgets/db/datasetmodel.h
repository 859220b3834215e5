#pragma once

#include <functional>

#include <QAbstractTableModel>
#include <QHash>
#include <QVector>

#include "store/datasource.h"

namespace emlo {

// The rows of a table as an item model for a grid: one row per visible
// record in the table's current order, one column per visible field (look-up
// fields included). While the table inserts, the new record is one more row,
// before the record that was current (or at the end after Append).
//
// DisplayRole is the field's display text (numbers in their display format
// with the locale's separator), EditRole the text the value is edited in;
// for a look-up column EditRole is the value of its key field. Writing
// EditRole puts the table into editing and stores the value in the current
// record; errors of the field (a text that is not a number) pass to the
// caller as exceptions.
class DataSetModel : public QAbstractTableModel, public TDataLink {
    Q_OBJECT
public:
    enum Role {
        FieldNameRole = Qt::UserRole + 1,  // the column's field name
        RecNoRole,                         // the row's record number, 0 for a new record
        ValueRole,                         // the raw value (null, number, text)
    };

    explicit DataSetModel(QObject* parent = nullptr);
    ~DataSetModel() override;

    void setDataSource(TDataSource* source);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    TField* ColumnField(int column) const;
    int ColumnOf(const QString& fieldName) const;
    // The row of the table's current record (the new record's row while
    // inserting); -1 when there is none.
    int CurrentRow() const;
    qint32 RecNoAt(int row) const;
    bool IsInsertRow(int row) const { return row >= 0 && row == m_insertRow; }
    // Any field's raw value in a row, hidden and look-up fields included.
    QVariant ValueAt(int row, const QString& fieldName) const;
    // Makes the row's record current (a pending edit is settled first, which
    // may refuse the move by throwing). Nothing happens for the current row.
    void MoveTo(int row);
    // The next insert shows its row at the end (the table appends).
    void setAppending(bool appending) { m_appending = appending; }

    // Asked, before every post and every move of the table, to put what a
    // cell editor holds into the record; may throw to refuse the post.
    std::function<void()> OnUpdateData;

signals:
    // The current record, or the table's state, changed.
    void currentRowChanged(int row);
    // The table has left edit or insert state (posted or cancelled).
    void editingEnded();

protected:
    void ActiveChanged() override;
    void RecordChanged(TField* field) override;
    void DataSetChanged() override;
    void EditingChanged() override;
    void UpdateData() override;

private:
    void sync();
    QVector<TField*> visibleColumns() const;
    QVariant rowValue(int row, const TField* field) const;

    QVector<TField*> m_columns;
    QVector<qint32> m_recNos;
    int m_insertRow = -1;
    qint32 m_lastRecNo = 0;
    bool m_appending = false;
    mutable QHash<qint32, QVector<QVariant>> m_cache;  // stored rows, by record number
};

}  // namespace emlo
