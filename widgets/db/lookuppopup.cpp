#include "lookuppopup.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollBar>
#include <QSizeGrip>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include "lookuplistmodel.h"
#include "twolevelheader.h"

namespace emlo {

LookupPopup::LookupPopup(QWidget* owner) : QFrame(owner, Qt::Popup)
{
    setObjectName(QStringLiteral("lookupPopup"));
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);

    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("lookupList"));
    m_header = new TwoLevelHeader(m_view);
    m_view->setHorizontalHeader(m_header);
    m_header->setSectionResizeMode(QHeaderView::Interactive);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 4);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setTextElideMode(Qt::ElideRight);
    m_view->setWordWrap(false);
    m_view->setShowGrid(true);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_view->installEventFilter(this);
    layout->addWidget(m_view);

    auto* gripRow = new QHBoxLayout;
    gripRow->setContentsMargins(0, 0, 0, 0);
    gripRow->addStretch(1);
    auto* grip = new QSizeGrip(this);
    grip->setObjectName(QStringLiteral("lookupSizeGrip"));
    gripRow->addWidget(grip, 0, Qt::AlignBottom | Qt::AlignRight);
    layout->addLayout(gripRow);

    connect(m_view, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit rowChosen(index.row());
    });
}

void LookupPopup::setModel(LookupListModel* model)
{
    m_model = model;
    m_view->setModel(model);
    for (int column = 0; column < model->columnCount(); ++column)
        m_header->resizeSection(column, columnWidth(column));
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        for (int column = 0; column < m_model->columnCount(); ++column)
            m_header->resizeSection(column, columnWidth(column));
    });
}

int LookupPopup::columnWidth(int column) const
{
    // A display width counts characters as wide as a digit; the cell adds
    // its text margins on both sides.
    const int chars = m_model ? m_model->DisplayWidth(column) : 10;
    const int margin = m_view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_view) + 1;
    return qMax(24, chars * m_view->fontMetrics().horizontalAdvance(QLatin1Char('0')) + 2 * margin + 4);
}

int LookupPopup::CurrentRow() const
{
    return m_view->currentIndex().isValid() ? m_view->currentIndex().row() : -1;
}

void LookupPopup::setCurrentRow(int row)
{
    if (!m_model || row < 0 || row >= m_model->rowCount()) {
        m_view->clearSelection();
        m_view->setCurrentIndex(QModelIndex());
        return;
    }
    const QModelIndex index = m_model->index(row, 0);
    m_view->setCurrentIndex(index);
    m_view->selectRow(row);
    m_view->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void LookupPopup::ShowBelow(QWidget* anchor)
{
    int columns = 0;
    for (int column = 0; column < m_header->count(); ++column)
        columns += m_header->sectionSize(column);
    const int rows = m_model ? qMin(kVisibleRows, m_model->rowCount()) : 0;
    const int rowHeight = m_view->verticalHeader()->defaultSectionSize();
    const bool scrolling = m_model && m_model->rowCount() > kVisibleRows;
    const int scrollWidth = scrolling ? m_view->verticalScrollBar()->sizeHint().width() : 0;
    const int gripHeight = 10;

    int width = qMax(anchor->width(), columns + scrollWidth + 2 * frameWidth() + 4);
    const int height = m_header->sizeHint().height() + qMax(1, rows) * rowHeight + gripHeight + 2 * frameWidth() + 4;

    const QRect screen = anchor->screen() ? anchor->screen()->availableGeometry() : QRect(0, 0, 4096, 4096);
    width = qMin(width, screen.width());
    QPoint at = anchor->mapToGlobal(QPoint(0, anchor->height()));
    if (at.y() + height > screen.bottom() && anchor->mapToGlobal(QPoint(0, 0)).y() - height >= screen.top())
        at.setY(anchor->mapToGlobal(QPoint(0, 0)).y() - height);
    if (at.x() + width > screen.right())
        at.setX(qMax(screen.left(), screen.right() - width));
    setGeometry(QRect(at, QSize(width, height)));
    show();
    // The frame, the grip and a scroll bar take what the style gives them:
    // settle the height so that exactly the rows wanted are seen.
    layout()->activate();
    const int missing = qMax(1, rows) * rowHeight - m_view->viewport()->height();
    if (missing != 0)
        resize(this->width(), this->height() + missing);
    m_view->setFocus();
}

bool LookupPopup::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (CurrentRow() >= 0)
                emit rowChosen(CurrentRow());
            else
                hide();
            return true;
        case Qt::Key_Escape: hide(); return true;
        case Qt::Key_F4: hide(); return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (key->modifiers() & Qt::AltModifier) {
                hide();
                return true;
            }
            return false;
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Left:
        case Qt::Key_Right: return false;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            // Tab takes the highlighted entry and moves on, as it does from the
            // closed box; swallowing it left the next keys in the same cell.
            if (CurrentRow() >= 0)
                emit rowChosen(CurrentRow());
            else
                hide();
            emit tabForwarded(key->key(), key->modifiers());
            return true;
        default: emit keyForwarded(key); return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void LookupPopup::hideEvent(QHideEvent* event)
{
    QFrame::hideEvent(event);
    emit closed();
}

}  // namespace emlo
