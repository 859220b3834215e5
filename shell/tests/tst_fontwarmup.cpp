// The start-up's font warm-up runs beside the main thread: whatever the
// start-up does with it (announce the application or not, wait or not), it
// must end without blocking the program, and leave the fonts listed.
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include <QApplication>
#include <QFontDatabase>
#include <QTest>

#include "shell/ui/fontwarmup.h"

using namespace emlo;

class TestFontWarmUp : public QObject {
    Q_OBJECT
private slots:
    // The fonts are listed beside the main thread, and the wait returns only
    // once they are: the main thread then measures its first text on a made list.
    void fontsAreListedBesideTheMainThreadBeforeTheWaitReturns()
    {
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        std::atomic<bool> listed{false};
        std::thread::id listedOn;
        FontWarmUp warmUp([&] {
            listedOn = std::this_thread::get_id();
            released.wait();
            listed = true;
        });
        warmUp.applicationReady({QApplication::font()});
        auto waited = std::async(std::launch::async, [&] { warmUp.waitForFontList(); });
        QCOMPARE(waited.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
        release.set_value();
        waited.get();
        QVERIFY(listed);
        QVERIFY(listedOn != std::this_thread::get_id());
        warmUp.finish();
        warmUp.finish();
    }

    void theToolkitsFontListIsMade()
    {
        FontWarmUp warmUp;
        warmUp.applicationReady({QApplication::font(), QFont(QStringLiteral("Liberation Sans"), 8)});
        warmUp.waitForFontList();
        warmUp.finish();
        QVERIFY(!QFontDatabase::families().isEmpty());
    }

    // A start-up that stops before announcing the application (a failed
    // start, an exception) must not leave the warm-up waiting for it.
    void endsWithoutTheApplicationAnnounced_data()
    {
        QTest::addColumn<bool>("waitFirst");
        QTest::newRow("waited for") << true;
        QTest::newRow("only destroyed") << false;
    }

    void endsWithoutTheApplicationAnnounced()
    {
        QFETCH(bool, waitFirst);
        FontWarmUp warmUp;
        if (waitFirst)
            warmUp.waitForFontList();
    }

    // Announcing after the wait has given up is ignored, not a second answer.
    void lateAnnouncementIsIgnored()
    {
        FontWarmUp warmUp;
        warmUp.waitForFontList();
        warmUp.applicationReady({QApplication::font()});
        warmUp.finish();
    }
};

QTEST_MAIN(TestFontWarmUp)
#include "tst_fontwarmup.moc"
