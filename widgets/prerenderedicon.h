#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QString>

namespace emlo {

// Icons drawn from SVG files cost a parse when made and a render at each new
// size; at start-up that was a fifth of the work before the first frame. The
// build renders each icon of the main window once, at the sizes the window
// shows it (emlo-render-icons), into a resource beside the SVG file named
// "<svg>.rendered". An icon made here serves those sizes from the images, in
// every mode, and goes to the SVG file, read only then, for any other size.

// The SVG icon `svgFile`, served from "<svgFile>.rendered" where that exists.
QIcon PrerenderedIcon(const QString& svgFile);
// The same with the images given (each a size the icon is drawn at).
QIcon PrerenderedIcon(const QString& svgFile, const QList<QImage>& images);

// The images as the build stores them, and back; an empty list for data that
// is not such a store.
QByteArray EncodeRenderedImages(const QList<QImage>& images);
QList<QImage> DecodeRenderedImages(const QByteArray& data);

}  // namespace emlo
