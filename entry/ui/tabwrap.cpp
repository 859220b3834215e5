#include "tabwrap.h"

#include <QApplication>
#include <QWidget>

namespace emlo {

bool WrapTabOrder(QWidget* first, QWidget* last, bool next)
{
    const QWidget* focused = QApplication::focusWidget();
    if (next && focused == last) {
        first->setFocus(Qt::TabFocusReason);
        return true;
    }
    if (!next && focused == first) {
        last->setFocus(Qt::BacktabFocusReason);
        return true;
    }
    return false;
}

}  // namespace emlo
