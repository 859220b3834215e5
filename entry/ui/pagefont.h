#pragma once

class QWidget;

namespace emlo {

// The pages are laid out in pixels for a small dialog font (8 points): the
// page and everything on it take the application's font family at that size.
void UsePageFont(QWidget& page);

}  // namespace emlo
