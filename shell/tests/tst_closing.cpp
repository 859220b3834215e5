// How the program ends: closing the main window with a pending edit, when
// its post fails, and a fatal stop, which ends the program only at the event
// loop. Modal boxes are answered through the dialog seam.
#include <QAction>
#include <QEventLoop>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

#include "shell/tests/support/windowtest.h"
#include "shell/ui/main.h"
#include "store/errors.h"
#include "widgets/errorbox.h"
#include "widgets/testing/scripteddialogs.h"

using namespace emlo;
using namespace shelltest;

class TestClosing : public shelltest::WindowTest {
    Q_OBJECT
private slots:
    void closingPostsPendingEditBeforeSettings();
    void closingWhenPostFailsAsks_data();
    void closingWhenPostFailsAsks();
    void fatalStopEndsProgramOnlyAtEventLoop();
};

void TestClosing::closingPostsPendingEditBeforeSettings()
{
    WindowFolder folder;
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    beginAttrEdit(*w, QStringLiteral("ПАТ «Завод»"));
    bool settingsExistedAtPost = true;
    w->DataModule->tblAttr->AfterPost.add(
        [&](TApolloTable&) { settingsExistedAtPost = QFileInfo::exists(folder.settings); });
    w->actExit->trigger();
    QVERIFY(!w->isVisible());
    QVERIFY(!settingsExistedAtPost);
    QVERIFY(!w->AttrModified());
    QVERIFY(QFileInfo::exists(folder.settings));
    w.reset();
    QCOMPARE(storedAttr(folder.program, QStringLiteral("ENNAME")), QStringLiteral("ПАТ «Завод»"));
}

void TestClosing::closingWhenPostFailsAsks_data()
{
    QTest::addColumn<MsgAnswer>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("yes closes without the edit") << MsgAnswer::Yes << true;
    QTest::newRow("no keeps the window") << MsgAnswer::No << false;
}

void TestClosing::closingWhenPostFailsAsks()
{
    QFETCH(MsgAnswer, answer);
    QFETCH(bool, closes);
    WindowFolder folder;
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    bool closedSignal = false;
    connect(w.get(), &TfrmMain::closed, this, [&] { closedSignal = true; });
    beginAttrEdit(*w, QStringLiteral("Не вийде"));
    const int refusal = w->DataModule->tblAttr->BeforePost.add(
        [](TApolloTable&) { throw EApolloError(QStringLiteral("Translate error. Value out of bounds")); });
    dialogs.queueAnswer(MsgAnswer::Ok);
    dialogs.queueAnswer(answer);
    w->close();

    QCOMPARE(dialogs.messages().size(), 2);
    const MessageRequest& error = dialogs.messages().at(0);
    QCOMPARE(error.text, QStringLiteral("Translate error. Value out of bounds"));
    QCOMPARE(error.kind, MsgKind::Error);
    const MessageRequest& question = dialogs.messages().at(1);
    QCOMPARE(question.kind, MsgKind::Confirmation);
    QCOMPARE(question.buttons, MsgButton::Yes | MsgButton::No);

    QCOMPARE(w->isVisible(), !closes);
    QCOMPARE(closedSignal, closes);
    QCOMPARE(QFileInfo::exists(folder.settings), closes);
    QCOMPARE(w->AttrModified(), !closes);
    if (!closes) {
        // The edit is still there to be stored once the cause is gone.
        QCOMPARE(w->DataModule->tblAttr->FieldByName(QStringLiteral("ENNAME"))->AsString(), QStringLiteral("Не вийде"));
        w->DataModule->tblAttr->BeforePost.remove(refusal);
        w->close();
        QVERIFY(!w->isVisible());
        w.reset();
        QCOMPARE(storedAttr(folder.program, QStringLiteral("ENNAME")), QStringLiteral("Не вийде"));
    } else {
        w.reset();
        QCOMPARE(storedAttr(folder.program, QStringLiteral("ENNAME")), QStringLiteral("<no record>"));
    }
}

// Last of all: once the application has been told to exit, no event loop of
// this process runs again.
void TestClosing::fatalStopEndsProgramOnlyAtEventLoop()
{
    SetProgramEndHandler(nullptr);
    testing::ScriptedDialogs dialogs;
    bool ranOn = false;
    FatalStop();
    FatalStop();  // a second stop shows its message too
    ranOn = true;
    QVERIFY(ProgramEndRequested());
    QCOMPARE(dialogs.texts(), (QStringList{kFatal, kFatal}));

    // The request waits for the event loop, which then ends with a failure code.
    QEventLoop loop;
    QTimer::singleShot(5000, &loop, [&] { loop.exit(99); });
    QCOMPARE(loop.exec(), 1);
    QVERIFY(ranOn);
}

int main(int argc, char** argv)
{
    Application app(argc, argv);
    TestClosing test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_closing.moc"
