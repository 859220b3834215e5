#pragma once

#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>

#include "datasetmodel.h"
#include "store/apollotable.h"

namespace emlo {

// The indicator column: the current record's row carries an arrow while the
// record is browsed, an I-beam while it is edited, a star while it is new.
class IndicatorHeader : public QHeaderView {
public:
    IndicatorHeader(DataSetModel* model, QWidget* parent) : QHeaderView(Qt::Vertical, parent), m_model(model)
    {
        setSectionResizeMode(QHeaderView::Fixed);
        setSectionsClickable(false);
        setHighlightSections(false);
    }

    QSize sizeHint() const override { return QSize(12, QHeaderView::sizeHint().height()); }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override
    {
        QStyleOptionHeader option;
        initStyleOption(&option);
        option.rect = rect;
        option.text.clear();
        style()->drawControl(QStyle::CE_HeaderSection, &option, painter, this);
        if (logicalIndex != m_model->CurrentRow())
            return;
        const TApolloTable* table = m_model->DataSet();
        const TDataSetState state = table ? table->State() : dsInactive;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const QColor ink = palette().color(QPalette::ButtonText);
        painter->setPen(QPen(ink, 1));
        painter->setBrush(ink);
        const QPointF c = QRectF(rect).center();
        if (state == dsInsert) {
            painter->drawText(rect, Qt::AlignCenter, QStringLiteral("*"));
        } else if (state == dsEdit) {
            painter->drawLine(QPointF(c.x(), c.y() - 4), QPointF(c.x(), c.y() + 4));
            painter->drawLine(QPointF(c.x() - 2, c.y() - 4), QPointF(c.x() + 2, c.y() - 4));
            painter->drawLine(QPointF(c.x() - 2, c.y() + 4), QPointF(c.x() + 2, c.y() + 4));
        } else {
            QPainterPath arrow;
            arrow.moveTo(c.x() - 2, c.y() - 4);
            arrow.lineTo(c.x() + 3, c.y());
            arrow.lineTo(c.x() - 2, c.y() + 4);
            arrow.closeSubpath();
            painter->drawPath(arrow);
        }
        painter->restore();
    }

private:
    DataSetModel* m_model;
};

}  // namespace emlo
