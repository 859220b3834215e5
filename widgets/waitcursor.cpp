#include "waitcursor.h"

#include <QApplication>
#include <QCursor>

namespace emlo {

void WaitCursor::release()
{
    if (m_shown)
        hide();
    m_shown = false;
}

void WaitCursor::show()
{
    QCoreApplication::processEvents();
    setCursor();
}

void WaitCursor::setCursor()
{
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void WaitCursor::hide()
{
    QApplication::restoreOverrideCursor();
}

}  // namespace emlo
