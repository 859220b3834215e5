#include "focushold.h"

#include <QApplication>
#include <QEvent>

namespace emlo {

namespace {
int g_holds = 0;
}

HoldFocusChanges::HoldFocusChanges()
{
    ++g_holds;
    qApp->installEventFilter(this);
}

HoldFocusChanges::~HoldFocusChanges()
{
    qApp->removeEventFilter(this);
    --g_holds;
}

bool HoldFocusChanges::Active()
{
    return g_holds > 0;
}

bool HoldFocusChanges::eventFilter(QObject*, QEvent* event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::FocusAboutToChange: return true;
    default: return false;
    }
}

}  // namespace emlo
