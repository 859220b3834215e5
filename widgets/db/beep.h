#pragma once

#include <functional>

namespace emlo {

// The system's default beep, sounded when a control refuses a typed
// character. Tests install a hook to count the beeps; the hook replaces the
// sound while installed.
void Beep();
void setBeepHook(std::function<void()> hook);

}  // namespace emlo
