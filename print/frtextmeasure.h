#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <QStringList>

#include "frtemplate.h"

namespace emlo::print {

/// Measures and breaks text in form units on a fixed resolution, so that a
/// layout comes out the same on every screen and printer. Maps the form's
/// Windows font names to their metric-compatible Liberation fonts. Needs a
/// QGuiApplication (the font database).
class TfrTextMeasurer {
public:
    TfrTextMeasurer();

    /// The Qt font for a form font, its point size unchanged.
    static QFont QtFont(const TfrFont& font);

    double lineHeight(const TfrFont& font) const;  ///< ascent + descent
    double ascent(const TfrFont& font) const;
    double width(const TfrFont& font, const QString& text) const;  ///< trailing blanks count

    /// Breaks text into lines no wider than width (units): at line breaks, and
    /// where a line is too long at word boundaries (or inside a word longer
    /// than the width). Blanks at a soft break are dropped; leading blanks and
    /// the blanks that end a paragraph are kept. An empty text is one empty line.
    QStringList wrap(const TfrFont& font, const QString& text, double width) const;

    /// The resolution the measures are taken at, in dots per inch.
    static constexpr int kDpi = 1200;

private:
    double toUnits(double px) const { return px * kUnitsPerInch / kDpi; }
    double toPixels(double units) const { return units * kDpi / kUnitsPerInch; }

    QImage m_device;
};

}  // namespace emlo::print
