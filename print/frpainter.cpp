#include "frpainter.h"

#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cmath>

#include "frtextmeasure.h"

namespace emlo::print {

using namespace Qt::StringLiterals;

namespace {

QPageSize pageSizeOf(const TfrPage& page)
{
    const QSizeF mm(page.size.width() / kUnitsPerInch * 25.4, page.size.height() / kUnitsPerInch * 25.4);
    return QPageSize(mm, QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch);
}

void drawFrame(QPainter& painter, const TfrPlacedBox& box, double ppu)
{
    if (!box.frame.any())
        return;
    const double width = qMax(box.frame.width * ppu, 1.0);
    QPen pen(Qt::black, width < 2 ? 0 : width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    painter.setPen(pen);
    const QRectF r(box.rect.left() * ppu, box.rect.top() * ppu, box.rect.width() * ppu, box.rect.height() * ppu);
    if (box.frame.all()) {
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r);
        return;
    }
    if (box.frame.left)
        painter.drawLine(r.topLeft(), r.bottomLeft());
    if (box.frame.top)
        painter.drawLine(r.topLeft(), r.topRight());
    if (box.frame.right)
        painter.drawLine(r.topRight(), r.bottomRight());
    if (box.frame.bottom)
        painter.drawLine(r.bottomLeft(), r.bottomRight());
}

}  // namespace

void PaintPage(QPainter& painter, const TfrPage& page, double pixelsPerUnit)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const double ppu = pixelsPerUnit;
    // Fonts are sized in points of the device; scale them so that a point of
    // the form takes kUnitsPerInch/72 units at this many pixels per unit.
    const double deviceDpi = painter.device() ? painter.device()->logicalDpiY() : 72;

    // Lines thinner than two pixels are drawn crisp: smoothed, a one-pixel
    // line between two rows of pixels turns into a grey band, and the rows
    // of a table look ruled unevenly on a screen.
    const bool thinLines = ppu < 2;

    for (const TfrPlacedBox& box : page.boxes) {
        painter.setRenderHint(QPainter::Antialiasing, !thinLines);
        drawFrame(painter, box, ppu);
        if (!box.underlines.isEmpty()) {
            painter.setPen(QPen(Qt::black, thinLines ? 0 : ppu, Qt::SolidLine, Qt::FlatCap));
            for (const QLineF& u : box.underlines)
                painter.drawLine(QLineF(u.p1() * ppu, u.p2() * ppu));
        }
        painter.setRenderHint(QPainter::Antialiasing, true);
        if (box.lines.isEmpty())
            continue;
        QFont font = TfrTextMeasurer::QtFont(box.font);
        font.setPointSizeF(box.font.size * kUnitsPerInch * ppu / deviceDpi);
        painter.setFont(font);
        painter.setPen(Qt::black);
        for (const TfrPlacedLine& line : box.lines)
            painter.drawText(line.origin * ppu, line.text);
    }
    painter.restore();
}

bool PaintDocument(QPagedPaintDevice& device, const TfrDocument& document, QString* error, int firstPage, int lastPage)
{
    const int count = int(document.pages.size());
    if (lastPage < 0 || lastPage >= count)
        lastPage = count - 1;
    firstPage = qMax(firstPage, 0);
    if (firstPage > lastPage) {
        if (error)
            *error = u"Звіт не має жодної сторінки для друку"_s;
        return false;
    }

    device.setPageSize(pageSizeOf(document.pages[firstPage]));
    QPainter painter;
    if (!painter.begin(&device)) {
        if (error)
            *error = u"Не вдалося почати друк"_s;
        return false;
    }
    for (int i = firstPage; i <= lastPage; ++i) {
        if (i > firstPage) {
            device.setPageSize(pageSizeOf(document.pages[i]));
            if (!device.newPage()) {
                if (error)
                    *error = u"Не вдалося почати нову сторінку"_s;
                painter.end();
                return false;
            }
        }
        PaintPage(painter, document.pages[i], device.logicalDpiX() / kUnitsPerInch);
    }
    return painter.end();
}

bool RenderPdf(const TfrDocument& document, const QString& path, QString* error)
{
    if (document.isEmpty()) {
        if (error)
            *error = u"Звіт не має жодної сторінки"_s;
        return false;
    }
    // A missing folder is made, as the export makes its folder.
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = u"Неможливо створити файл %1 (%2)"_s.arg(path, file.errorString());
        return false;
    }
    {
        QPdfWriter writer(&file);
        writer.setTitle(document.title);
        writer.setCreator(u"Emlo"_s);
        writer.setResolution(1200);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        if (!PaintDocument(writer, document, error)) {
            file.cancelWriting();
            return false;
        }
    }
    if (!file.commit()) {
        if (error)
            *error = u"Неможливо записати файл %1 (%2)"_s.arg(path, file.errorString());
        return false;
    }
    return true;
}

QImage RenderPageImage(const TfrPage& page, double dpi)
{
    const double ppu = dpi / kUnitsPerInch;
    QImage image(int(std::ceil(page.size.width() * ppu)), int(std::ceil(page.size.height() * ppu)),
                 QImage::Format_RGB32);
    const int dotsPerMeter = int(std::lround(dpi / 0.0254));
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.fill(Qt::white);
    QPainter painter(&image);
    PaintPage(painter, page, ppu);
    return image;
}

}  // namespace emlo::print
