// The application's error box: an error no command caught is shown with the
// application title, the error icon and OK, and the program goes on.
#include <QTest>

#include "store/errors.h"
#include "widgets/errorbox.h"
#include "widgets/testing/scripteddialogs.h"

using namespace emlo;

namespace {

// Throws what it is told to from its event handler, as a command would.
class Thrower : public QObject {
public:
    enum Kind { Own, Silent, Standard, None };
    Kind next = None;
    int handled = 0;

    bool event(QEvent* e) override
    {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        ++handled;
        switch (next) {
        case Own: throw EApolloError(QStringLiteral("Record Lock Failure. May be locked by another user or task."));
        case Silent: ::Abort();
        case Standard: throw std::runtime_error("plain failure");
        case None: break;
        }
        return true;
    }
};

}  // namespace

class TestErrorBox : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void uncaughtErrorIsShownAndProgramGoesOn();
    void silentAbortShowsNothing();
    void foreignExceptionShowsItsText();
    void guardedCommandShowsItsError();
};

void TestErrorBox::initTestCase()
{
    Application::setTitle(QStringLiteral("Dazodevur"));
}

void TestErrorBox::uncaughtErrorIsShownAndProgramGoesOn()
{
    testing::ScriptedDialogs dialogs;
    Thrower thrower;
    thrower.next = Thrower::Own;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&thrower);
    QCOMPARE(dialogs.messages().size(), 1);
    const MessageRequest& box = dialogs.messages().first();
    QCOMPARE(box.effectiveTitle(), QStringLiteral("Dazodevur"));
    QCOMPARE(box.kind, MsgKind::Error);
    QCOMPARE(box.buttons, MsgButtons(MsgButton::Ok));
    QCOMPARE(box.text, QStringLiteral("Record Lock Failure. May be locked by another user or task."));

    thrower.next = Thrower::None;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&thrower);
    QCOMPARE(thrower.handled, 2);
    QCOMPARE(dialogs.messages().size(), 1);
}

void TestErrorBox::silentAbortShowsNothing()
{
    testing::ScriptedDialogs dialogs;
    Thrower thrower;
    thrower.next = Thrower::Silent;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&thrower, &event);
    QCOMPARE(thrower.handled, 1);
    QVERIFY(dialogs.messages().isEmpty());
}

void TestErrorBox::foreignExceptionShowsItsText()
{
    testing::ScriptedDialogs dialogs;
    Thrower thrower;
    thrower.next = Thrower::Standard;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&thrower, &event);
    QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("plain failure")});
}

void TestErrorBox::guardedCommandShowsItsError()
{
    testing::ScriptedDialogs dialogs;
    bool after = false;
    runGuarded([] { throw EInOutError(QStringLiteral("Неможливо утворити дiректорiю")); });
    runGuarded([&] { after = true; });
    QVERIFY(after);
    QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("Неможливо утворити дiректорiю")});
    QCOMPARE(dialogs.messages().first().effectiveTitle(), QStringLiteral("Dazodevur"));
}

int main(int argc, char** argv)
{
    Application app(argc, argv);
    TestErrorBox test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_errorbox.moc"
