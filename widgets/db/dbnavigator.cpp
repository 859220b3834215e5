#include "dbnavigator.h"

#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

#include "store/apollotable.h"
#include "store/errors.h"
#include "widgets/dialogseam.h"
#include "widgets/errorbox.h"

namespace emlo {

namespace {

// The button pictures, drawn rather than loaded: a few strokes each.
QIcon buttonIcon(DbNavigator::Button which)
{
    constexpr int side = 16;
    QPixmap pixmap(side * 2, side * 2);
    pixmap.setDevicePixelRatio(2.0);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x20, 0x30, 0x60);
    p.setPen(QPen(ink, 1.5));
    p.setBrush(ink);
    auto triangle = [&](qreal left, qreal right) {
        QPainterPath path;
        path.moveTo(left, 8);
        path.lineTo(right, 3.5);
        path.lineTo(right, 12.5);
        path.closeSubpath();
        p.drawPath(path);
    };
    switch (which) {
    case DbNavigator::First:
        p.drawLine(QPointF(4, 3.5), QPointF(4, 12.5));
        triangle(5.5, 12);
        break;
    case DbNavigator::Prior: triangle(4.5, 11); break;
    case DbNavigator::Next: triangle(11.5, 5); break;
    case DbNavigator::Last:
        triangle(10.5, 4);
        p.drawLine(QPointF(12, 3.5), QPointF(12, 12.5));
        break;
    case DbNavigator::Insert:
        p.setPen(QPen(ink, 2));
        p.drawLine(QPointF(8, 3), QPointF(8, 13));
        p.drawLine(QPointF(3, 8), QPointF(13, 8));
        break;
    case DbNavigator::Delete:
        p.setPen(QPen(ink, 2));
        p.drawLine(QPointF(3, 8), QPointF(13, 8));
        break;
    case DbNavigator::Edit: {
        QPainterPath path;
        path.moveTo(8, 3.5);
        path.lineTo(13, 12);
        path.lineTo(3, 12);
        path.closeSubpath();
        p.drawPath(path);
        break;
    }
    case DbNavigator::Post:
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0x10, 0x70, 0x20), 2));
        p.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
        break;
    case DbNavigator::Cancel:
        p.setPen(QPen(QColor(0xa0, 0x10, 0x10), 2));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    case DbNavigator::Refresh: {
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(3, 3, 10, 10), 60 * 16, 280 * 16);
        p.setBrush(ink);
        QPainterPath head;
        head.moveTo(10.5, 1.5);
        head.lineTo(13.5, 4.5);
        head.lineTo(9.5, 5.5);
        head.closeSubpath();
        p.drawPath(head);
        break;
    }
    }
    return QIcon(pixmap);
}

QString buttonName(DbNavigator::Button which)
{
    static const char* const names[] = {"First",  "Prior", "Next", "Last",   "Insert",
                                        "Delete", "Edit",  "Post", "Cancel", "Refresh"};
    return QStringLiteral("nb") + QLatin1String(names[which]);
}

}  // namespace

bool ConfirmDeleteRecord(QWidget* parent)
{
    MessageRequest request;
    request.kind = MsgKind::Confirmation;
    request.text = QStringLiteral("Delete record?");
    request.buttons = MsgButton::Ok | MsgButton::Cancel;
    return DialogSeam::ask(request, parent) == MsgAnswer::Ok;
}

DbNavigator::DbNavigator(QWidget* parent) : QWidget(parent) { }

DbNavigator::~DbNavigator() = default;

void DbNavigator::setDataSource(TDataSource* source)
{
    TDataLink::setDataSource(source);
    updateButtons();
}

void DbNavigator::setButtons(const QList<Button>& buttons, const QStringList& hints)
{
    qDeleteAll(m_buttons);
    m_buttons.clear();
    m_order = buttons;
    for (int i = 0; i < buttons.size(); ++i) {
        const Button which = buttons.at(i);
        auto* btn = new QToolButton(this);
        btn->setObjectName(buttonName(which));
        btn->setIcon(buttonIcon(which));
        btn->setToolTip(hints.value(i));
        btn->setFocusPolicy(Qt::NoFocus);
        btn->setAutoRaise(false);
        connect(btn, &QToolButton::clicked, this, [this, which] { BtnClick(which); });
        m_buttons.insert(which, btn);
        btn->show();
    }
    layoutButtons();
    updateButtons();
}

void DbNavigator::layoutButtons()
{
    if (m_order.isEmpty())
        return;
    const int count = int(m_order.size());
    const int base = width() / count;
    int extra = width() - base * count;
    int x = 0;
    for (const Button which : std::as_const(m_order)) {
        const int w = base + (extra-- > 0 ? 1 : 0);
        m_buttons.value(which)->setGeometry(x, 0, w, height());
        x += w;
    }
}

void DbNavigator::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutButtons();
}

bool DbNavigator::CanDo(Button which) const
{
    const TApolloTable* table = DataSet();
    if (!table || !Active())
        return false;
    const TDataSetState state = table->State();
    const bool editing = state == dsEdit || state == dsInsert;
    const bool canModify = table->CanModify() && !ReadOnly();
    switch (which) {
    case First:
    case Prior:
    case Next:
    case Last: {
        const QVector<qint32> records = table->VisibleRecNos();
        if (records.isEmpty())
            return false;
        if (state == dsInsert)
            return true;  // a move gives the new record its place or gives it up
        const bool atStart = which == First || which == Prior;
        return (atStart ? records.first() : records.last()) != table->RecNo();
    }
    case Insert: return canModify;
    case Delete: return canModify && (state == dsInsert || !table->IsEmpty());
    case Edit: return canModify && !editing;
    case Post:
    case Cancel: return canModify && editing;
    case Refresh: return true;
    }
    return false;
}

void DbNavigator::updateButtons()
{
    for (auto it = m_buttons.cbegin(); it != m_buttons.cend(); ++it)
        it.value()->setEnabled(CanDo(Button(it.key())));
}

void DbNavigator::BtnClick(Button which)
{
    TApolloTable* table = DataSet();
    if (!table || !CanDo(which))
        return;
    try {
        switch (which) {
        case First: table->First(); break;
        case Prior: table->Prior(); break;
        case Next: table->Next(); break;
        case Last: table->Last(); break;
        case Insert: table->Insert(); break;
        case Delete:
            if (ConfirmDeleteRecord(window()))
                table->Delete();
            break;
        case Edit: table->Edit(); break;
        case Post: table->Post(); break;
        case Cancel: table->Cancel(); break;
        case Refresh:
            table->CheckBrowseMode();
            table->Refresh();
            break;
        }
    } catch (const std::exception& error) {
        showException(error);
        updateButtons();
        return;
    }
    updateButtons();
    if (OnClick)
        OnClick(*this, which);
}

}  // namespace emlo
