#pragma once

#include <QHeaderView>

namespace emlo {

// A horizontal header whose titles may have two levels: a title
// "Забруднююча речовина|Код" puts "Забруднююча речовина" in the upper level
// and "Код" below it; neighbouring columns with the same upper part share one
// upper cell across them. A title without a bar fills both levels. Titles
// wrap within their cell and end with an ellipsis when they still do not
// fit; the header grows to up to three lines per level to show them.
class TwoLevelHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit TwoLevelHeader(QWidget* parent = nullptr);

    QSize sizeHint() const override;

    // The two parts of a title; the upper part is empty for a single-level title.
    static QPair<QString, QString> SplitTitle(const QString& title);
    // The narrowest section in which each word of the column's own title
    // (the lower part) fits on a line: titles wrap between words only.
    int minimumTitleWidth(int logicalIndex) const;

    // Holds the height back while a batch of sections is resized: measuring
    // the wrapped titles after each one costs more than all the resizing, so
    // the height is measured once, when the last hold ends.
    class ResizeBatch {
    public:
        explicit ResizeBatch(TwoLevelHeader& header);
        ~ResizeBatch();
        ResizeBatch(const ResizeBatch&) = delete;
        ResizeBatch& operator=(const ResizeBatch&) = delete;

    private:
        TwoLevelHeader& m_header;
    };

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString title(int logicalIndex) const;
    // The visual range [first, last] of columns sharing the upper part of visual.
    QPair<int, int> upperSpan(int visual) const;
    int spanWidth(int firstVisual, int lastVisual) const;
    int linesPerLevel() const;
    void drawCell(QPainter& painter, const QRect& rect, const QString& text, int logicalIndex) const;
    void recalcHeight();

    int m_lastHeight = 0;
    int m_batches = 0;
    bool m_recalcHeld = false;
};

// Draws text wrapped into rect, centred, the last line that fits ending with
// an ellipsis when the text is longer.
void DrawWrappedText(QPainter& painter, const QRect& rect, const QString& text, Qt::Alignment alignment);
// Lines the text takes when wrapped to width.
int WrappedLineCount(const QFont& font, const QString& text, int width);

}  // namespace emlo
