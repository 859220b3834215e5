// The start-up's font warm-up runs beside the main thread: whatever the
// start-up does with it (announce the application or not, wait or not), it
// must end without blocking the program, and leave the fonts listed.
#include <QApplication>
#include <QFontDatabase>
#include <QTest>

#include "shell/ui/fontwarmup.h"

using namespace emlo;

class TestFontWarmUp : public QObject {
    Q_OBJECT
private slots:
    void fontsAreListedOnceTheApplicationIsAnnounced()
    {
        FontWarmUp warmUp;
        warmUp.applicationReady({QApplication::font(), QFont(QStringLiteral("Liberation Sans"), 8)});
        warmUp.waitForFontList();
        QVERIFY(!QFontDatabase::families().isEmpty());
        warmUp.finish();
        warmUp.finish();
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
