#pragma once

#include <functional>
#include <future>
#include <optional>
#include <thread>

#include <QFont>
#include <QList>

namespace emlo {

// The first text the program measures makes the toolkit read fontconfig's
// configuration and font caches, list every installed font, and ask
// fontconfig for the fallback families of each font: a third of the work
// before the first frame, none of it tied to the main thread. A warm-up does
// it in a second thread: fontconfig's part at once (before the application
// exists), the font list and the fallbacks of the fonts the window will use
// once applicationReady() says the application exists. The toolkit keeps
// both for every thread and guards them, so the main thread, measuring its
// first text, finds them made or waits for them.
class FontWarmUp {
public:
    FontWarmUp();
    // The same with what lists the fonts given (a test sees when it runs).
    explicit FontWarmUp(std::function<void()> listFonts);
    ~FontWarmUp();
    FontWarmUp(const FontWarmUp&) = delete;
    FontWarmUp& operator=(const FontWarmUp&) = delete;

    void applicationReady(const QList<QFont>& fonts);
    // Returns once the font list is made (at once without the application).
    void waitForFontList();
    // Returns once the warm-up has ended; call before the application goes.
    void finish();

private:
    void release(std::optional<QList<QFont>> fonts);

    std::promise<std::optional<QList<QFont>>> m_application;
    std::promise<void> m_listed;
    std::future<void> m_listedFuture = m_listed.get_future();
    bool m_released = false;
    std::thread m_thread;
};

}  // namespace emlo
