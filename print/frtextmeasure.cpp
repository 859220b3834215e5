#include "frtextmeasure.h"

#include <QFontMetricsF>
#include <QTextLayout>

#include <cmath>

namespace emlo::print {

using namespace Qt::StringLiterals;

TfrTextMeasurer::TfrTextMeasurer() : m_device(8, 8, QImage::Format_RGB32)
{
    const int dotsPerMeter = int(std::lround(kDpi / 0.0254));
    m_device.setDotsPerMeterX(dotsPerMeter);
    m_device.setDotsPerMeterY(dotsPerMeter);
}

QFont TfrTextMeasurer::QtFont(const TfrFont& font)
{
    // The form was drawn with Windows fonts; the Liberation fonts have the
    // same advance widths, so lines break where they broke there.
    QString family = font.family;
    if (family.compare(u"Times New Roman"_s, Qt::CaseInsensitive) == 0)
        family = u"Liberation Serif"_s;
    else if (family.compare(u"Arial"_s, Qt::CaseInsensitive) == 0)
        family = u"Liberation Sans"_s;
    else if (family.compare(u"Courier New"_s, Qt::CaseInsensitive) == 0)
        family = u"Liberation Mono"_s;
    QFont f(family);
    f.setPointSizeF(font.size);
    f.setBold(font.bold);
    f.setItalic(font.italic);
    // Unhinted outlines keep advances proportional to the size, so text
    // measured here takes the same room on a screen, a PDF and paper.
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setKerning(false);
    return f;
}

double TfrTextMeasurer::lineHeight(const TfrFont& font) const
{
    const QFontMetricsF fm(QtFont(font), &m_device);
    return toUnits(fm.ascent() + fm.descent());
}

double TfrTextMeasurer::ascent(const TfrFont& font) const
{
    const QFontMetricsF fm(QtFont(font), &m_device);
    return toUnits(fm.ascent());
}

double TfrTextMeasurer::width(const TfrFont& font, const QString& text) const
{
    const QFontMetricsF fm(QtFont(font), &m_device);
    return toUnits(fm.horizontalAdvance(text));
}

QStringList TfrTextMeasurer::wrap(const TfrFont& font, const QString& text, double width) const
{
    const QFont qfont = QtFont(font);
    const double widthPx = qMax(1.0, toPixels(width));
    QStringList out;
    for (const QString& paragraph : text.split(u'\n')) {
        if (paragraph.isEmpty()) {
            out.append(QString());
            continue;
        }
        QTextLayout layout(paragraph, qfont, &m_device);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        QStringList lines;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(widthPx);
            lines.append(paragraph.mid(line.textStart(), line.textLength()));
        }
        layout.endLayout();
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            QString& l = lines[i];
            while (!l.isEmpty() && l.back().isSpace())
                l.chop(1);
        }
        out += lines;
    }
    return out;
}

}  // namespace emlo::print
