#include "beep.h"

#include <QApplication>

namespace emlo {

namespace {
std::function<void()>& beepHook()
{
    static std::function<void()> hook;
    return hook;
}
}  // namespace

void Beep()
{
    if (beepHook())
        beepHook()();
    else
        QApplication::beep();
}

void setBeepHook(std::function<void()> hook)
{
    beepHook() = std::move(hook);
}

}  // namespace emlo
