#pragma once

#include <functional>

#include <QColor>
#include <QFont>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTableView>

namespace emlo {
class TDataSource;
class TField;

class DataSetModel;
class IndicatorHeader;
class TwoLevelHeader;

// What the cell-colour event may change for one data cell.
struct CellParams {
    QString FieldName;  // the cell's column
    QFont Font;         // the font to draw with
    QColor FontColor;   // left invalid: the grid's own text colour
    // The value of any field of the cell's row, hidden and look-up fields included.
    std::function<QVariant(const QString& fieldName)> Value;
};

// A grid over a table: one row per record, one column per visible field
// with two-level titles, an indicator column that marks the current record
// and its state, and column widths that always fill the grid (resizing a
// column resizes the columns to its right) without cutting a word of a title.
//
// Cells are edited in place (read-only fields excepted); look-up columns
// offer the look-up table in a drop-down list that opens on typing, and a
// double-click there takes the list's next entry. Keys: Insert starts a new
// record before the current one; Down on the last row appends one, and on a
// new record without entry gives it up; Escape cancels the record's changes;
// Ctrl+Delete deletes after "Delete record?". Only copy (Ctrl+C) and select
// all (Ctrl+A) are offered of the clipboard commands. Leaving the grid gives
// up a new record without entry.
class DbGrid : public QTableView {
    Q_OBJECT
public:
    explicit DbGrid(QWidget* parent = nullptr);
    ~DbGrid() override;

    void setDataSource(TDataSource* source);
    TDataSource* DataSource() const;
    DataSetModel* DataModel() const { return m_model; }
    // The list of look-up columns' entries: the source over each look-up field's table.
    void setLookupSource(TDataSource* source) { m_lookupSource = source; }
    TDataSource* LookupSource() const { return m_lookupSource; }

    // The text the grid copies for the selected cells (tab between cells, a
    // line per row), or the current cell when nothing is selected.
    QString SelectionText() const;
    // Puts the table into editing for an in-place edit; false when it cannot.
    bool BeginEdit();
    // Puts what the open cell editor holds into the record (nothing without
    // an editor). Errors of the field pass to the caller; the editor stays.
    void TakeEditorValue();
    // Takes the look-up list's next entry for the current record's look-up column.
    void SelectNextLookupEntry(int column);
    // Column widths that fill the grid, in proportion to the fields' display
    // widths, none narrower than its title's longest word.
    void FitColumns();

    std::function<void(DbGrid& sender, CellParams& params)> OnGetCellParams;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

private:
    friend class DbGridDelegate;
    void followTable(int row);
    void columnResized(int logical, int oldSize, int newSize);
    void focusChanged(QWidget* old, QWidget* now);
    bool isWithin(const QWidget* widget) const;
    void guarded(const std::function<void()>& action);
    void appendRecord();
    bool lookupColumn(int column) const;
    int minimumColumnWidth(int column) const;
    void dropEditor();

    DataSetModel* m_model;
    TwoLevelHeader* m_header;
    IndicatorHeader* m_indicator;
    TDataSource* m_lookupSource = nullptr;
    bool m_following = false;
    bool m_fitting = false;
    QPointer<QWidget> m_editor;           // the open cell editor
    QPersistentModelIndex m_editorIndex;  // and its cell
    bool m_refused = false;               // the delegate could not take the editor's value
    bool m_keptEditor = false;            // ... so the editor was kept open
    bool m_closing = false;
    int m_column = 0;  // the current cell's column, kept across resets
};

}  // namespace emlo
