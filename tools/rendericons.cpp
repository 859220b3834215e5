// emlo-render-icons: renders an SVG icon at the sizes given into the store
// that PrerenderedIcon (widgets/prerenderedicon.h) serves at run time. It
// renders through QIcon, as the program would at those sizes, so the images
// are the pixels the program showed before.
//   emlo-render-icons <icon.svg> <out.rendered> <size>[,<size>...]
#include <cstdio>

#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QStringList>

#include "widgets/prerenderedicon.h"

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: emlo-render-icons <icon.svg> <out.rendered> <size>[,<size>...]\n");
        return 2;
    }
    // A build step: no display, device pixel ratio 1.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString svgFile = QString::fromLocal8Bit(argv[1]);
    const QString outFile = QString::fromLocal8Bit(argv[2]);
    const QIcon icon(svgFile);
    QList<QImage> images;
    for (const QString& side : QString::fromLatin1(argv[3]).split(QLatin1Char(','))) {
        bool ok = false;
        const int size = side.toInt(&ok);
        const QImage image = ok && size > 0 ? icon.pixmap(QSize(size, size)).toImage() : QImage();
        if (image.isNull()) {
            std::fprintf(stderr, "emlo-render-icons: cannot render %s at size %s\n", argv[1], qPrintable(side));
            return 1;
        }
        images.append(image);
    }
    QFile out(outFile);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(emlo::EncodeRenderedImages(images)) < 0
        || !out.flush()) {
        std::fprintf(stderr, "emlo-render-icons: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
