#pragma once

#include <QImage>
#include <QString>

#include "frdocument.h"

class QPagedPaintDevice;
class QPainter;

namespace emlo::print {

/// Draws one laid-out page: frames, text lines and rules, with pixelsPerUnit
/// device pixels to a form unit and the origin at the sheet's top-left
/// corner. Draws no background.
void PaintPage(QPainter& painter, const TfrPage& page, double pixelsPerUnit);

/// Pages firstPage..lastPage (counted from 0; lastPage -1 is the last) of the
/// document, one sheet each, on a paged device at its own resolution. The
/// device's origin must be the sheet's corner: no margins, or a printer in
/// full-page mode. Returns false and sets *error when nothing could be drawn.
bool PaintDocument(QPagedPaintDevice& device, const TfrDocument& document, QString* error, int firstPage = 0,
                   int lastPage = -1);

/// Writes the document as a PDF file, A4 sheets with the document's title.
/// The file is replaced only when it was written in full. Returns false and
/// sets *error (the reason, for a message) on failure or for an empty document.
bool RenderPdf(const TfrDocument& document, const QString& path, QString* error);

/// One page as a white image at the given resolution in dots per inch.
QImage RenderPageImage(const TfrPage& page, double dpi);

}  // namespace emlo::print
