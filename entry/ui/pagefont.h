#pragma once

#include <QFont>

class QWidget;

namespace emlo {

// The pages are laid out in pixels for a small dialog font (8 points, the
// metrics of Arial): the page and everything on it take that font, made from
// the widgets' font `base`.
QFont PageFont(const QFont& base);
void UsePageFont(QWidget& page);

}  // namespace emlo
