#pragma once

#include <QPixmap>
#include <QProxyStyle>

namespace emlo {

// The desktop's style with two of Fusion's pictures read without the image
// plugins. Fusion reads its group-box frame and the tool bar's overflow arrow
// from PNG files by name; reading an image by name makes the toolkit load
// every image-format plugin first (GIF, ICO, JPEG, SVG with their libraries),
// about 4 million instructions and a sixth of the memory touched before the
// first frame, for images the program never shows. Here the same files are
// read with the built-in PNG reader and drawn as Fusion draws them; every
// other style, and everything else, is the base style's own.
class ProgramStyle : public QProxyStyle {
public:
    // Wraps `base` (owned).
    explicit ProgramStyle(QStyle* base);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;

private:
    bool fusion() const;

    mutable QPixmap m_groupBoxFrame;
};

}  // namespace emlo
