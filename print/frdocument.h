#pragma once

#include <QLineF>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QVector>

#include "frtemplate.h"

namespace emlo::print {

/// One line of text placed on a page: its text and the left end of its
/// baseline, in units from the sheet's top-left corner.
struct TfrPlacedLine {
    QString text;
    QPointF origin;
    double width = 0;
};

/// A text box as it lands on a page: everything the painter needs, already
/// measured and positioned, so painting is only drawing.
struct TfrPlacedBox {
    QString name;  ///< the box's name in the template
    QString band;  ///< the band that placed it
    QRectF rect;   ///< units from the sheet's top-left corner
    QString text;  ///< the text printed, lines joined with '\n'; empty when suppressed
    QVector<TfrPlacedLine> lines;
    QVector<QLineF> underlines;
    TfrFont font;
    TfrFrame frame;
    TfrHAlign hAlign = TfrHAlign::Left;
    TfrVAlign vAlign = TfrVAlign::Top;
    bool overflow = false;  ///< some lines did not fit the box and were left out
};

struct TfrPage {
    QSizeF size;  ///< the sheet in units
    int section = 0;
    QVector<TfrPlacedBox> boxes;

    /// The boxes whose text is exactly the given one.
    QVector<const TfrPlacedBox*> boxesWithText(const QString& text) const;
    /// The first box with the template name placed by the band, or nullptr.
    const TfrPlacedBox* box(const QString& band, const QString& name) const;
    /// The boxes a band placed on this page, in order.
    QVector<const TfrPlacedBox*> boxesOfBand(const QString& band) const;
};

/// A prepared report: its pages in order. Empty when the data gave no page.
struct TfrDocument {
    QString title;
    QVector<TfrPage> pages;

    bool isEmpty() const { return pages.isEmpty(); }
};

}  // namespace emlo::print
