#include "twolevelheader.h"

#include <QPainter>
#include <QStyleOptionHeader>
#include <QTextLayout>

namespace emlo {

namespace {
constexpr int kMaxLinesPerLevel = 3;
constexpr int kPadding = 2;
}  // namespace

int WrappedLineCount(const QFont& font, const QString& text, int width)
{
    if (text.isEmpty())
        return 1;
    QTextLayout layout(text);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.setFont(font);
    int lines = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(qMax(1, width));
        ++lines;
    }
    layout.endLayout();
    return qMax(1, lines);
}

void DrawWrappedText(QPainter& painter, const QRect& rect, const QString& text, Qt::Alignment alignment)
{
    const QFontMetrics metrics = painter.fontMetrics();
    const int maxLines = qMax(1, rect.height() / metrics.height());
    QStringList lines;
    QTextLayout layout(text, painter.font());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(qMax(1, rect.width()));
        if (lines.size() == maxLines - 1) {
            // The last line that fits takes the rest of the text, cut with an ellipsis.
            lines.append(metrics.elidedText(text.mid(line.textStart()).simplified(), Qt::ElideRight, rect.width()));
            break;
        }
        lines.append(
            metrics.elidedText(text.mid(line.textStart(), line.textLength()).trimmed(), Qt::ElideRight, rect.width()));
    }
    layout.endLayout();
    const int height = int(lines.size()) * metrics.height();
    int y = rect.top() + (rect.height() - height) / 2;
    if (alignment & Qt::AlignTop)
        y = rect.top();
    for (const QString& line : std::as_const(lines)) {
        painter.drawText(QRect(rect.left(), y, rect.width(), metrics.height()),
                         int((alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter), line);
        y += metrics.height();
    }
}

TwoLevelHeader::TwoLevelHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(false);
    setHighlightSections(false);
    setDefaultAlignment(Qt::AlignCenter);
    connect(this, &QHeaderView::sectionResized, this, [this] { recalcHeight(); });
    connect(this, &QHeaderView::sectionCountChanged, this, [this] { recalcHeight(); });
}

QPair<QString, QString> TwoLevelHeader::SplitTitle(const QString& title)
{
    const auto bar = title.indexOf(QLatin1Char('|'));
    if (bar < 0)
        return {QString(), title};
    return {title.left(bar), title.mid(bar + 1)};
}

int TwoLevelHeader::minimumTitleWidth(int logicalIndex) const
{
    const QFontMetrics metrics(font());
    int widest = 0;
    const QStringList words = SplitTitle(title(logicalIndex)).second.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& word : words)
        widest = qMax(widest, metrics.horizontalAdvance(word));
    // One pixel more than the text: the wrapping compares widths exclusively.
    return widest + 2 * kPadding + 1;
}

QString TwoLevelHeader::title(int logicalIndex) const
{
    return model() ? model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString() : QString();
}

QPair<int, int> TwoLevelHeader::upperSpan(int visual) const
{
    const QString upper = SplitTitle(title(logicalIndex(visual))).first;
    int first = visual;
    int last = visual;
    if (upper.isEmpty())
        return {first, last};
    auto sameUpper = [&](int v) {
        const int logical = logicalIndex(v);
        return logical >= 0 && !isSectionHidden(logical) && SplitTitle(title(logical)).first == upper;
    };
    while (first > 0 && sameUpper(first - 1))
        --first;
    while (last + 1 < count() && sameUpper(last + 1))
        ++last;
    return {first, last};
}

int TwoLevelHeader::spanWidth(int firstVisual, int lastVisual) const
{
    int width = 0;
    for (int v = firstVisual; v <= lastVisual; ++v)
        width += sectionSize(logicalIndex(v));
    return width;
}

int TwoLevelHeader::linesPerLevel() const
{
    const QFont& metrics = font();
    int lines = 1;
    for (int v = 0; v < count(); ++v) {
        const int logical = logicalIndex(v);
        if (isSectionHidden(logical))
            continue;
        const auto [upper, lower] = SplitTitle(title(logical));
        const int width = sectionSize(logical) - 2 * kPadding;
        if (upper.isEmpty()) {
            lines = qMax(lines, (WrappedLineCount(metrics, lower, width) + 1) / 2);
        } else {
            const auto [first, last] = upperSpan(v);
            lines = qMax(lines, WrappedLineCount(metrics, upper, spanWidth(first, last) - 2 * kPadding));
            lines = qMax(lines, WrappedLineCount(metrics, lower, width));
        }
    }
    return qMin(lines, kMaxLinesPerLevel);
}

QSize TwoLevelHeader::sizeHint() const
{
    QSize hint = QHeaderView::sizeHint();
    const int level = linesPerLevel() * fontMetrics().height() + 2 * kPadding + 2;
    hint.setHeight(2 * level);
    return hint;
}

TwoLevelHeader::ResizeBatch::ResizeBatch(TwoLevelHeader& header) : m_header(header)
{
    ++m_header.m_batches;
}

TwoLevelHeader::ResizeBatch::~ResizeBatch()
{
    if (--m_header.m_batches == 0 && m_header.m_recalcHeld) {
        m_header.m_recalcHeld = false;
        m_header.recalcHeight();
    }
}

void TwoLevelHeader::recalcHeight()
{
    if (m_batches > 0) {
        m_recalcHeld = true;
        return;
    }
    const int height = sizeHint().height();
    if (height != m_lastHeight) {
        m_lastHeight = height;
        updateGeometry();
        emit geometriesChanged();
    }
    viewport()->update();
}

void TwoLevelHeader::drawCell(QPainter& painter, const QRect& rect, const QString& text, int logicalIndex) const
{
    QStyleOptionHeader option;
    initStyleOption(&option);
    option.rect = rect;
    option.section = logicalIndex;
    option.position = QStyleOptionHeader::Middle;
    option.text.clear();
    style()->drawControl(QStyle::CE_HeaderSection, &option, &painter, this);
    painter.setPen(palette().color(QPalette::ButtonText));
    DrawWrappedText(painter, rect.adjusted(kPadding, kPadding, -kPadding, -kPadding), text, Qt::AlignHCenter);
}

void TwoLevelHeader::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.setFont(font());
    const int half = viewport()->height() / 2;
    const int firstVisual = qMax(0, visualIndexAt(0));
    int lastVisual = visualIndexAt(viewport()->width() - 1);
    if (lastVisual < 0)
        lastVisual = count() - 1;
    int drawnSpanUntil = -1;
    for (int v = firstVisual; v <= lastVisual; ++v) {
        const int logical = logicalIndex(v);
        if (logical < 0 || isSectionHidden(logical))
            continue;
        const QRect cell(sectionViewportPosition(logical), 0, sectionSize(logical), viewport()->height());
        const auto [upper, lower] = SplitTitle(title(logical));
        if (upper.isEmpty()) {
            drawCell(painter, cell, lower, logical);
            continue;
        }
        if (v > drawnSpanUntil) {
            const auto [first, last] = upperSpan(v);
            const int left = sectionViewportPosition(logicalIndex(first));
            drawCell(painter, QRect(left, 0, spanWidth(first, last), half), upper, logical);
            drawnSpanUntil = last;
        }
        drawCell(painter, QRect(cell.left(), half, cell.width(), viewport()->height() - half), lower, logical);
    }
    // The empty part right of the last column.
    const int end = length() - offset();
    if (end < viewport()->width()) {
        QStyleOptionHeader option;
        initStyleOption(&option);
        option.rect = QRect(end, 0, viewport()->width() - end, viewport()->height());
        style()->drawControl(QStyle::CE_HeaderEmptyArea, &option, &painter, this);
    }
}

}  // namespace emlo
