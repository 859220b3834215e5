#pragma once

#include <QObject>

namespace emlo {

// While one lives, the widgets of the application are told of no focus
// change: a page can be switched and the focus put back where it was, and
// the box being edited neither commits nor loses its pending change.
class HoldFocusChanges : public QObject {
public:
    HoldFocusChanges();
    ~HoldFocusChanges() override;
    HoldFocusChanges(const HoldFocusChanges&) = delete;
    HoldFocusChanges& operator=(const HoldFocusChanges&) = delete;

    // Whether a hold is in place (for code that hears focus changes otherwise).
    static bool Active();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace emlo
