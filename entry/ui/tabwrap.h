#pragma once

class QWidget;

namespace emlo {

// A page's boxes form a ring, as on a form: Tab in the last box goes to the
// first, Shift+Tab in the first to the last. Returns whether it moved the
// focus; otherwise the usual order applies. Leaving the box commits it.
bool WrapTabOrder(QWidget* first, QWidget* last, bool next);

}  // namespace emlo
