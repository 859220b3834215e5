// Icons rendered by the build: at the rendered sizes they must be the very
// pixels the SVG icon gives, in every mode; at any other size the SVG icon
// itself; and a damaged store must not be taken for images.
#include <QApplication>
#include <QPainter>
#include <QTest>

#include "widgets/prerenderedicon.h"

using namespace emlo;

Q_DECLARE_METATYPE(QIcon::Mode)

namespace {

const QString kSvg = QStringLiteral(":/emlo/widgets/msg-error.svg");

QList<QImage> renderedAs(const QIcon& icon, const QList<int>& sizes)
{
    QList<QImage> images;
    for (int size : sizes)
        images.append(icon.pixmap(QSize(size, size)).toImage());
    return images;
}

QImage pixels(const QPixmap& pixmap)
{
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

class TestPrerenderedIcon : public QObject {
    Q_OBJECT
private slots:
    void sameAsTheSvgIcon_data();
    void sameAsTheSvgIcon();
    void renderedImagesAreServedAtTheirSizes();
    void sizesFollowTheDrawing_data();
    void sizesFollowTheDrawing();
    void storeKeepsThePixelsExactly();
    void damagedStoreGivesNoImages_data();
    void damagedStoreGivesNoImages();
    void withoutAStoreTheSvgIsUsed();
};

void TestPrerenderedIcon::sameAsTheSvgIcon_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QIcon::Mode>("mode");
    QTest::newRow("rendered, normal") << 32 << QIcon::Normal;
    QTest::newRow("rendered, hovered") << 32 << QIcon::Active;
    QTest::newRow("rendered, disabled") << 32 << QIcon::Disabled;
    QTest::newRow("rendered, selected") << 32 << QIcon::Selected;
    QTest::newRow("smaller rendered size") << 16 << QIcon::Normal;
    QTest::newRow("not rendered") << 24 << QIcon::Normal;
    QTest::newRow("not rendered, disabled") << 48 << QIcon::Disabled;
}

void TestPrerenderedIcon::sameAsTheSvgIcon()
{
    QFETCH(int, size);
    QFETCH(QIcon::Mode, mode);
    const QIcon svg(kSvg);
    const QIcon icon = PrerenderedIcon(kSvg, renderedAs(svg, {16, 32}));
    QCOMPARE(pixels(icon.pixmap(QSize(size, size), mode)), pixels(svg.pixmap(QSize(size, size), mode)));
    // Painted into a rectangle, as item views and menus draw icons.
    const auto paint = [size, mode](const QIcon& which) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        which.paint(&painter, QRect(0, 0, size, size), Qt::AlignCenter, mode);
        return image;
    };
    const QImage painted = paint(icon);
    const QImage expected = paint(svg);
    QCOMPARE(painted, expected);
}

// The images are what is served, not a fresh rendering that happens to agree.
void TestPrerenderedIcon::renderedImagesAreServedAtTheirSizes()
{
    QImage red(32, 32, QImage::Format_ARGB32_Premultiplied);
    red.fill(Qt::red);
    const QIcon icon = PrerenderedIcon(kSvg, {red});
    QCOMPARE(pixels(icon.pixmap(QSize(32, 32))), red);
    QVERIFY(pixels(icon.pixmap(QSize(32, 32), QIcon::Disabled)) != red);  // greyed by the style
    QCOMPARE(pixels(icon.pixmap(QSize(24, 24))), pixels(QIcon(kSvg).pixmap(QSize(24, 24))));
}

void TestPrerenderedIcon::sizesFollowTheDrawing_data()
{
    QTest::addColumn<QSize>("asked");
    QTest::newRow("square") << QSize(32, 32);
    QTest::newRow("wide") << QSize(48, 20);
    QTest::newRow("tall") << QSize(10, 40);
}

void TestPrerenderedIcon::sizesFollowTheDrawing()
{
    QFETCH(QSize, asked);
    const QIcon svg(kSvg);
    const QIcon icon = PrerenderedIcon(kSvg, renderedAs(svg, {16, 32, 64}));
    QCOMPARE(icon.actualSize(asked), svg.actualSize(asked));
    // The window manager is handed the rendered sizes.
    QCOMPARE(icon.availableSizes(), (QList<QSize>{QSize(16, 16), QSize(32, 32), QSize(64, 64)}));
}

void TestPrerenderedIcon::storeKeepsThePixelsExactly()
{
    // Half-transparent pixels are where a conversion would round.
    QImage wide(5, 3, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < wide.height(); ++y)
        for (int x = 0; x < wide.width(); ++x)
            wide.setPixel(x, y, qRgba(x * 13, y * 7, x * y, 40 + x * 30 + y));
    const QList<QImage> images = {wide, renderedAs(QIcon(kSvg), {32}).first()};
    const QList<QImage> back = DecodeRenderedImages(EncodeRenderedImages(images));
    QCOMPARE(back.size(), images.size());
    for (int i = 0; i < images.size(); ++i)
        QCOMPARE(back[i].convertToFormat(QImage::Format_ARGB32_Premultiplied),
                 images[i].convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

void TestPrerenderedIcon::damagedStoreGivesNoImages_data()
{
    QImage image(4, 4, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::blue);
    const QByteArray good = EncodeRenderedImages({image});
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("cut in the pixels") << good.left(good.size() - 1);
    QTest::newRow("cut in the header") << good.left(6);
    QByteArray magic = good;
    magic[0] = 'X';
    QTest::newRow("other file") << magic;
    QByteArray huge = good;
    huge[12] = char(0x7f);  // the first image's width
    QTest::newRow("absurd size") << huge;
}

void TestPrerenderedIcon::damagedStoreGivesNoImages()
{
    QFETCH(QByteArray, data);
    QCOMPARE(DecodeRenderedImages(data).size(), 0);
}

void TestPrerenderedIcon::withoutAStoreTheSvgIsUsed()
{
    const QIcon icon = PrerenderedIcon(kSvg);
    QVERIFY(!icon.isNull());
    QCOMPARE(pixels(icon.pixmap(QSize(32, 32))), pixels(QIcon(kSvg).pixmap(QSize(32, 32))));
}

QTEST_MAIN(TestPrerenderedIcon)
#include "tst_prerenderedicon.moc"
