#pragma once

namespace emlo {

// The hourglass over the whole application while a long step runs (opening
// a folder's tables, laying out the print form, writing the export), and
// the cursor from before it afterwards, also when the step throws.
class WaitCursor {
public:
    // Repaint: first repaints what is pending (after a dialog closed), so
    // the window shows the state the step starts from. NoRepaint: nothing
    // else runs before the step (a modal window that follows must open
    // before any queued call).
    enum Start { Repaint, NoRepaint };

    explicit WaitCursor(Start start = Repaint) { start == Repaint ? show() : setCursor(); }
    ~WaitCursor() { release(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

    // Gives the cursor back before the guard ends (to show a message).
    void release();

    // The two halves, for code that keeps the hourglass across its own
    // steps: show() as WaitCursor(Repaint); each show() is undone by one hide().
    static void show();
    static void hide();

private:
    static void setCursor();

    bool m_shown = true;
};

}  // namespace emlo
