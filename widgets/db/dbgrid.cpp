#include "dbgrid.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMetaProperty>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyledItemDelegate>

#include "datasetmodel.h"
#include "dbgriddelegate.h"
#include "dbnavigator.h"
#include "focushold.h"
#include "indicatorheader.h"
#include "lookupbox.h"
#include "lookuplist.h"
#include "lookuppopup.h"
#include "twolevelheader.h"
#include "store/apollotable.h"
#include "store/errors.h"
#include "store/fields.h"
#include "widgets/errorbox.h"

namespace emlo {

DbGrid::DbGrid(QWidget* parent) : QTableView(parent), m_model(new DataSetModel(this))
{
    m_header = new TwoLevelHeader(this);
    setHorizontalHeader(m_header);
    m_indicator = new IndicatorHeader(m_model, this);
    setVerticalHeader(m_indicator);
    m_indicator->setDefaultSectionSize(fontMetrics().height() + 6);
    setModel(m_model);
    setItemDelegate(new DbGridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked
                    | QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setTabKeyNavigation(true);
    setShowGrid(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setCornerButtonEnabled(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_header->setSectionResizeMode(QHeaderView::Interactive);
    m_header->setStretchLastSection(false);

    connect(m_model, &DataSetModel::currentRowChanged, this, [this](int row) { followTable(row); });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        FitColumns();
        followTable(m_model->CurrentRow());
    });
    connect(m_header, &QHeaderView::sectionResized, this, &DbGrid::columnResized);
    connect(qApp, &QApplication::focusChanged, this, &DbGrid::focusChanged);
    // Every post and every move first takes what the open cell editor holds.
    m_model->OnUpdateData = [this] { TakeEditorValue(); };
    // Once the record is posted or given up, the editor has nothing left to hold.
    connect(m_model, &DataSetModel::editingEnded, this, [this] { dropEditor(); });
}

DbGrid::~DbGrid()
{
    disconnect(qApp, &QApplication::focusChanged, this, &DbGrid::focusChanged);
}

void DbGrid::setDataSource(TDataSource* source)
{
    m_model->setDataSource(source);
    FitColumns();
    followTable(m_model->CurrentRow());
}

TDataSource* DbGrid::DataSource() const
{
    return m_model->DataSource();
}

void DbGrid::guarded(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& error) {
        showException(error);
    }
    followTable(m_model->CurrentRow());
}

void DbGrid::followTable(int row)
{
    m_following = true;
    // A reset of the rows forgets the current cell; the column is kept.
    const int column = qMax(0, currentIndex().isValid() ? currentIndex().column() : m_column);
    if (row >= 0 && row < m_model->rowCount() && column < m_model->columnCount()) {
        const QModelIndex index = m_model->index(row, column);
        if (currentIndex() != index)
            setCurrentIndex(index);
    }
    m_following = false;
    m_indicator->viewport()->update();
}

void DbGrid::TakeEditorValue()
{
    QWidget* editor = m_editor.data();
    if (!editor || state() != QAbstractItemView::EditingState || !m_editorIndex.isValid())
        return;
    DbGridDelegate::TakeValue(editor, m_model, m_editorIndex);
}

void DbGrid::dropEditor()
{
    QWidget* editor = m_editor.data();
    if (!editor || m_closing)
        return;
    m_editor = nullptr;
    m_closing = true;
    QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    m_closing = false;
}

void DbGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    m_keptEditor = false;
    if (current.isValid())
        m_column = current.column();
    QTableView::currentChanged(current, previous);
    if (m_keptEditor && !m_following) {
        // The editor's text was refused: the cursor stays in its cell.
        m_keptEditor = false;
        m_following = true;
        setCurrentIndex(previous);
        m_following = false;
        if (m_editor)
            m_editor->setFocus();
        return;
    }
    if (m_following || !current.isValid() || current.row() == m_model->CurrentRow())
        return;
    // A move to another row settles the record first (posts a changed one,
    // gives up an unchanged new one); a refused post keeps the grid where it was.
    guarded([&] { m_model->MoveTo(current.row()); });
}

bool DbGrid::BeginEdit()
{
    const TApolloTable* table = m_model->DataSet();
    if (!table || !table->Active())
        return false;
    try {
        return m_model->Edit();
    } catch (const std::exception& error) {
        showException(error);
        return false;
    }
}

bool DbGrid::lookupColumn(int column) const
{
    const TField* field = m_model->ColumnField(column);
    return field && field->FieldKind() == fkLookup;
}

bool DbGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    // A double-click on a look-up cell takes the next entry instead.
    if (trigger == QAbstractItemView::DoubleClicked && lookupColumn(index.column()))
        return false;
    return QTableView::edit(index, trigger, event);
}

void DbGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (m_refused) {
        // A refused value stays in its editor for the user to correct.
        m_refused = false;
        m_keptEditor = true;
        editor->setFocus();
        return;
    }
    if (editor == m_editor)
        m_editor = nullptr;
    QTableView::closeEditor(editor, hint);
    if (hint == QAbstractItemDelegate::RevertModelCache) {
        // Escape in a cell gives up the changes of the whole record.
        if (TApolloTable* table = m_model->DataSet())
            guarded([table] { table->Cancel(); });
    }
}

void DbGrid::SelectNextLookupEntry(int column)
{
    const TField* field = m_model->ColumnField(column);
    if (!field || field->FieldKind() != fkLookup || !m_lookupSource)
        return;
    const int row = m_model->CurrentRow();
    if (row < 0 || !(m_model->flags(m_model->index(row, column)) & Qt::ItemIsEditable))
        return;
    auto list = LookupList::ForSource(m_lookupSource);
    if (list->Count() == 0)
        return;
    const QVariant key = m_model->ValueAt(row, field->KeyFields());
    const int at = list->FindKey(field->LookupKeyFields(), key);
    const int next = (at + 1) % list->Count();
    const TApolloTable* table = list->Table();
    const QVariant nextKey = table->FieldValueAt(list->RecNoAt(next), table->FindField(field->LookupKeyFields()));
    guarded([&] { m_model->setData(m_model->index(row, column), nextKey, Qt::EditRole); });
}

void DbGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && lookupColumn(index.column()) && index.row() == m_model->CurrentRow()) {
        SelectNextLookupEntry(index.column());
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
}

void DbGrid::appendRecord()
{
    TApolloTable* table = m_model->DataSet();
    if (!table || !table->CanModify())
        return;
    guarded([&] {
        table->CheckBrowseMode();
        m_model->setAppending(true);
        table->Append();
    });
}

QString DbGrid::SelectionText() const
{
    QModelIndexList cells = selectionModel() ? selectionModel()->selectedIndexes() : QModelIndexList();
    if (cells.isEmpty() && currentIndex().isValid())
        cells.append(currentIndex());
    std::sort(cells.begin(), cells.end(), [](const QModelIndex& a, const QModelIndex& b) {
        return a.row() != b.row() ? a.row() < b.row() : a.column() < b.column();
    });
    QString text;
    int row = -1;
    for (const QModelIndex& cell : std::as_const(cells)) {
        if (row >= 0)
            text += cell.row() == row ? QLatin1Char('\t') : QLatin1Char('\n');
        row = cell.row();
        text += cell.data(Qt::DisplayRole).toString();
    }
    return text;
}

void DbGrid::keyPressEvent(QKeyEvent* event)
{
    TApolloTable* table = m_model->DataSet();
    const auto modifiers = event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    const int key = event->key();
    if (!table || !table->Active()) {
        QTableView::keyPressEvent(event);
        return;
    }
    if (modifiers == Qt::ControlModifier) {
        switch (key) {
        case Qt::Key_C: QApplication::clipboard()->setText(SelectionText()); return;
        case Qt::Key_A: selectAll(); return;
        case Qt::Key_Delete:
            if (table->CanModify() && (table->State() == dsInsert || !table->IsEmpty())
                && ConfirmDeleteRecord(window()))
                guarded([table] { table->Delete(); });
            return;
        default:
            // Cut, paste and the other clipboard commands are not offered.
            return;
        }
    }
    if (modifiers == Qt::NoModifier) {
        switch (key) {
        case Qt::Key_Insert:
            if (table->CanModify()) {
                guarded([&] {
                    table->CheckBrowseMode();
                    m_model->setAppending(false);
                    table->Insert();
                });
            }
            return;
        case Qt::Key_Down:
            if (table->State() == dsInsert && !table->Modified()) {
                guarded([table] { table->Cancel(); });
                return;
            }
            if (m_model->CurrentRow() == m_model->rowCount() - 1) {
                appendRecord();
                return;
            }
            break;
        case Qt::Key_Escape:
            if (table->State() == dsEdit || table->State() == dsInsert)
                guarded([table] { table->Cancel(); });
            return;
        default: break;
        }
    }
    QTableView::keyPressEvent(event);
}

bool DbGrid::isWithin(const QWidget* widget) const
{
    // Drop-down lists are windows of their own; follow parents across windows.
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (w == this)
            return true;
    }
    return false;
}

void DbGrid::focusChanged(QWidget* old, QWidget* now)
{
    if (!old || !now || !isWithin(old) || isWithin(now) || QApplication::activeModalWidget()
        || HoldFocusChanges::Active())
        return;
    TApolloTable* table = m_model->DataSet();
    if (table && table->Active() && table->State() == dsInsert && !table->Modified())
        guarded([table] { table->Cancel(); });
}

int DbGrid::minimumColumnWidth(int column) const
{
    int width = m_header->minimumTitleWidth(column);
    const TField* field = m_model->ColumnField(column);
    if (field && field->FieldKind() == fkLookup && field->Size() > 0 && field->Size() <= field->DisplayWidth()) {
        // A column meant to show its whole value (the pollutant's code) shows
        // it whole in the cell editor too, beside the drop-down button.
        const int text = fontMetrics().horizontalAdvance(QString(field->Size(), QLatin1Char('0')));
        // The box's button takes the icon, 6 pixels around it and a quarter
        // of the icon beside it (as the line edit lays out its actions).
        const int icon = style()->pixelMetric(QStyle::PM_SmallIconSize);
        width = qMax(width, text + icon + 6 + icon / 4 + kEditorMargins);
    }
    return width;
}

void DbGrid::FitColumns()
{
    const int count = m_model->columnCount();
    const int available = viewport()->width();
    if (count == 0 || available <= 0)
        return;
    QVector<int> weights(count);
    QVector<int> minimum(count);
    for (int column = 0; column < count; ++column) {
        const TField* field = m_model->ColumnField(column);
        weights[column] = qMax(1, field ? field->DisplayWidth() : 10);
        minimum[column] = minimumColumnWidth(column);
    }
    // Shares in proportion to the display widths; a column whose share would
    // cut its title takes its minimum, and the others share what is left.
    // The pass that marks no more columns leaves what the others share in
    // room and their weight in total.
    QVector<bool> atMinimum(count, false);
    int room = available;
    int total = 0;
    for (bool again = true; again;) {
        again = false;
        room = available;
        total = 0;
        for (int column = 0; column < count; ++column) {
            if (atMinimum[column])
                room -= minimum[column];
            else
                total += weights[column];
        }
        for (int column = 0; column < count && total > 0; ++column) {
            if (!atMinimum[column] && qMax(0, room) * weights[column] / total < minimum[column]) {
                atMinimum[column] = true;
                again = true;
            }
        }
    }
    m_fitting = true;
    const TwoLevelHeader::ResizeBatch batch(*m_header);
    int used = 0;
    for (int column = 0; column < count; ++column) {
        int width = atMinimum[column] ? minimum[column] : room * weights[column] / total;
        if (column == count - 1)
            width = qMax(minimum[column], available - used);
        m_header->resizeSection(column, qMax(8, width));
        used += width;
    }
    m_fitting = false;
}

void DbGrid::columnResized(int logical, int, int)
{
    if (m_fitting)
        return;
    const int count = m_header->count();
    const int available = viewport()->width();
    const int visual = m_header->visualIndex(logical);
    int left = 0;
    for (int v = 0; v <= visual; ++v)
        left += m_header->sectionSize(m_header->logicalIndex(v));
    m_fitting = true;
    const TwoLevelHeader::ResizeBatch batch(*m_header);
    if (visual == count - 1) {
        // The last column has nothing to its right to give way: it keeps filling.
        m_header->resizeSection(logical, qMax(8, available - (left - m_header->sectionSize(logical))));
    } else {
        int rest = 0;
        for (int v = visual + 1; v < count; ++v)
            rest += m_header->sectionSize(m_header->logicalIndex(v));
        const int room = qMax(8 * (count - visual - 1), available - left);
        int used = 0;
        for (int v = visual + 1; v < count; ++v) {
            const int section = m_header->logicalIndex(v);
            const int width = v == count - 1
                ? room - used
                : (rest > 0 ? room * m_header->sectionSize(section) / rest : room / (count - visual - 1));
            m_header->resizeSection(section, qMax(8, width));
            used += width;
        }
    }
    m_fitting = false;
}

void DbGrid::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    FitColumns();
}

}  // namespace emlo
