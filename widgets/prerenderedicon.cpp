#include "prerenderedicon.h"

#include <memory>

#include <QApplication>
#include <QDataStream>
#include <QIODevice>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QResource>
#include <QStyle>
#include <QStyleOption>

namespace emlo {

namespace {

constexpr quint32 kMagic = 0x454d4943;  // "EMIC"
constexpr quint32 kVersion = 1;
constexpr int kMaxSide = 1024;

// Serves the images it holds at their sizes and the SVG file at all others.
// The other modes (active, disabled, selected) are made from the normal
// image by the style, as the SVG icon engine makes them.
class PrerenderedIconEngine : public QIconEngine {
public:
    PrerenderedIconEngine(const QString& svgFile, const QList<QImage>& images) : m_svgFile(svgFile)
    {
        for (const QImage& image : images)
            m_pixmaps.append(QPixmap::fromImage(image.convertToFormat(QImage::Format_ARGB32_Premultiplied)));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        for (const QPixmap& pixmap : std::as_const(m_pixmaps)) {
            if (pixmap.size() == size)
                return mode == QIcon::Normal ? pixmap : styled(mode, pixmap);
        }
        return svg().pixmap(size, mode, state);
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        QSize size = rect.size();
        if (painter->device())
            size *= painter->device()->devicePixelRatio();
        painter->drawPixmap(rect, pixmap(size, mode, state));
    }

    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        if (m_pixmaps.isEmpty())
            return svg().actualSize(size, mode, state);
        // The drawing's own proportions, fitted into the size.
        QSize actual = m_pixmaps.constLast().size();
        actual.scale(size, Qt::KeepAspectRatio);
        return actual;
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State) override
    {
        QList<QSize> sizes;
        if (mode == QIcon::Normal) {
            for (const QPixmap& pixmap : std::as_const(m_pixmaps))
                sizes.append(pixmap.size());
        }
        return sizes;
    }

    QString key() const override { return QStringLiteral("emlo-prerendered"); }

    QIconEngine* clone() const override { return new PrerenderedIconEngine(*this); }

private:
    PrerenderedIconEngine(const PrerenderedIconEngine& other)
        : QIconEngine(other), m_svgFile(other.m_svgFile), m_pixmaps(other.m_pixmaps)
    {
    }

    static QPixmap styled(QIcon::Mode mode, const QPixmap& pixmap)
    {
        QStyleOption option;
        option.palette = QGuiApplication::palette();
        const QPixmap generated = QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
        return generated.isNull() ? pixmap : generated;
    }

    QIcon& svg()
    {
        if (m_svg.isNull())
            m_svg = QIcon(m_svgFile);
        return m_svg;
    }

    QString m_svgFile;
    QList<QPixmap> m_pixmaps;
    QIcon m_svg;  // read when first needed
};

}  // namespace

QIcon PrerenderedIcon(const QString& svgFile, const QList<QImage>& images)
{
    return QIcon(new PrerenderedIconEngine(svgFile, images));
}

QIcon PrerenderedIcon(const QString& svgFile)
{
    const QResource rendered(svgFile + QStringLiteral(".rendered"));
    if (!rendered.isValid())
        return QIcon(svgFile);
    return PrerenderedIcon(svgFile, DecodeRenderedImages(rendered.uncompressedData()));
}

// A header (magic, version, count), then each image: width, height and its
// pixels as premultiplied RGBA bytes, which read the same on any machine.
QByteArray EncodeRenderedImages(const QList<QImage>& images)
{
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out << kMagic << kVersion << quint32(images.size());
    for (const QImage& image : images) {
        const QImage pixels = image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
        out << quint32(pixels.width()) << quint32(pixels.height());
        for (int y = 0; y < pixels.height(); ++y)
            out.writeRawData(reinterpret_cast<const char*>(pixels.constScanLine(y)), pixels.width() * 4);
    }
    return data;
}

QList<QImage> DecodeRenderedImages(const QByteArray& data)
{
    QDataStream in(data);
    quint32 magic = 0;
    quint32 version = 0;
    quint32 count = 0;
    in >> magic >> version >> count;
    if (in.status() != QDataStream::Ok || magic != kMagic || version != kVersion)
        return {};
    QList<QImage> images;
    for (quint32 i = 0; i < count; ++i) {
        quint32 width = 0;
        quint32 height = 0;
        in >> width >> height;
        if (in.status() != QDataStream::Ok || width == 0 || height == 0 || width > kMaxSide || height > kMaxSide)
            return {};
        QImage image(int(width), int(height), QImage::Format_RGBA8888_Premultiplied);
        for (int y = 0; y < image.height(); ++y) {
            if (in.readRawData(reinterpret_cast<char*>(image.scanLine(y)), image.width() * 4) != image.width() * 4)
                return {};
        }
        images.append(image);
    }
    return images;
}

}  // namespace emlo
