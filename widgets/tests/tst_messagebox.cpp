// The program's message box: titles, icons and buttons by kind, the answer
// each way of closing gives, and Help opening the message's topic.
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "widgets/helpviewer.h"
#include "widgets/messagebox.h"
#include "widgets/testing/scripteddialogs.h"

using namespace emlo;

Q_DECLARE_METATYPE(emlo::MsgKind)
Q_DECLARE_METATYPE(emlo::MsgButtons)
Q_DECLARE_METATYPE(emlo::MsgAnswer)

class TestMessageBox : public QObject {
    Q_OBJECT
private slots:
    void titleFollowsKind_data();
    void titleFollowsKind();
    void buttonsInOrderWithCaptions_data();
    void buttonsInOrderWithCaptions();
    void closingWithoutButtonGivesSafestAnswer_data();
    void closingWithoutButtonGivesSafestAnswer();
    void clickedButtonIsTheAnswer();
    void textLineBreaksAreShownAsLines();
    void textIsNeitherCutNorBrokenInsideALine_data();
    void textIsNeitherCutNorBrokenInsideALine();
    void helpOpensTopicAndKeepsBoxOpen();
    void seamRoutesToResponder();
};

void TestMessageBox::titleFollowsKind_data()
{
    QTest::addColumn<MsgKind>("kind");
    QTest::addColumn<QString>("title");
    QTest::newRow("warning") << MsgKind::Warning << QStringLiteral("Попередження");
    QTest::newRow("error") << MsgKind::Error << QStringLiteral("Помилка");
    QTest::newRow("information") << MsgKind::Information << QStringLiteral("Iнформацiя");
    QTest::newRow("confirmation") << MsgKind::Confirmation << QStringLiteral("Пiдтвердження");
}

void TestMessageBox::titleFollowsKind()
{
    QFETCH(MsgKind, kind);
    QFETCH(QString, title);
    MessageRequest request;
    request.kind = kind;
    request.text = QStringLiteral("x");
    MessageBox box(request);
    QCOMPARE(box.windowTitle(), title);
    // Each kind has its own picture: an icon that failed to load is null.
    auto* icon = box.findChild<QLabel*>(QStringLiteral("iconLabel"));
    QVERIFY(icon);
    QVERIFY(!icon->pixmap().isNull());
    QVERIFY(msgKindIcon(kind).pixmap(32, 32).toImage()
            != msgKindIcon(kind == MsgKind::Error ? MsgKind::Warning : MsgKind::Error).pixmap(32, 32).toImage());
}

void TestMessageBox::buttonsInOrderWithCaptions_data()
{
    QTest::addColumn<MsgButtons>("buttons");
    QTest::addColumn<QStringList>("captions");
    QTest::newRow("ok+help") << (MsgButton::Ok | MsgButton::Help)
                             << QStringList{QStringLiteral("OK"), QStringLiteral("Допомога")};
    QTest::newRow("yes/no/cancel") << (MsgButton::Cancel | MsgButton::No | MsgButton::Yes)
                                   << QStringList{QStringLiteral("Так"), QStringLiteral("Нi"),
                                                  QStringLiteral("Вiдмова")};
    QTest::newRow("yes/no") << (MsgButton::Yes | MsgButton::No)
                            << QStringList{QStringLiteral("Так"), QStringLiteral("Нi")};
}

void TestMessageBox::buttonsInOrderWithCaptions()
{
    QFETCH(MsgButtons, buttons);
    QFETCH(QStringList, captions);
    MessageRequest request;
    request.buttons = buttons;
    MessageBox box(request);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    auto found = box.findChildren<QPushButton*>();
    std::sort(found.begin(), found.end(), [](QPushButton* a, QPushButton* b) { return a->x() < b->x(); });
    QStringList shown;
    for (QPushButton* b : found)
        shown.append(b->text());
    QCOMPARE(shown, captions);
}

void TestMessageBox::closingWithoutButtonGivesSafestAnswer_data()
{
    QTest::addColumn<MsgButtons>("buttons");
    QTest::addColumn<MsgAnswer>("answer");
    QTest::newRow("ok only") << MsgButtons(MsgButton::Ok) << MsgAnswer::Ok;
    QTest::newRow("yes/no") << (MsgButton::Yes | MsgButton::No) << MsgAnswer::No;
    QTest::newRow("yes/no/cancel") << (MsgButton::Yes | MsgButton::No | MsgButton::Cancel) << MsgAnswer::Cancel;
}

void TestMessageBox::closingWithoutButtonGivesSafestAnswer()
{
    QFETCH(MsgButtons, buttons);
    QFETCH(MsgAnswer, answer);
    for (bool escape : {true, false}) {
        MessageRequest request;
        request.buttons = buttons;
        MessageBox box(request);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        if (escape)
            QTest::keyClick(&box, Qt::Key_Escape);
        else
            box.close();
        QVERIFY(!box.isVisible());
        QCOMPARE(box.answer(), answer);
    }
}

void TestMessageBox::clickedButtonIsTheAnswer()
{
    const std::pair<MsgButton, MsgAnswer> rows[] = {
        {MsgButton::Yes, MsgAnswer::Yes}, {MsgButton::No, MsgAnswer::No}, {MsgButton::Cancel, MsgAnswer::Cancel}};
    for (auto [button, answer] : rows) {
        MessageRequest request;
        request.buttons = MsgButton::Yes | MsgButton::No | MsgButton::Cancel;
        MessageBox box(request);
        box.show();
        QTest::mouseClick(box.button(button), Qt::LeftButton);
        QVERIFY(!box.isVisible());
        QCOMPARE(box.answer(), answer);
    }
}

void TestMessageBox::textLineBreaksAreShownAsLines()
{
    MessageRequest request;
    request.text = QStringLiteral("Помилка вигрузки інформації:\r\nCannot create file /x/attr.xml");
    MessageBox box(request);
    auto* label = box.findChild<QLabel*>(QStringLiteral("textLabel"));
    QCOMPARE(label->text(), QStringLiteral("Помилка вигрузки інформації:\nCannot create file /x/attr.xml"));
}

void TestMessageBox::textIsNeitherCutNorBrokenInsideALine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<MsgKind>("kind");
    const QString path = QStringLiteral("/tmp/emlo-test-folder-long-name/підприємство/");
    QTest::newRow("folder warning") << QStringLiteral("В останнiй раз Ви працювали з папкою: ") + path
            + QStringLiteral("\r\nНажаль зараз такої папки немає.")
                                    << MsgKind::Warning;
    QTest::newRow("short line wider than the old limit")
        << QStringLiteral("Помилка вигрузки інформації:\r\nCannot create file ") + path + QStringLiteral("attr.xml")
        << MsgKind::Error;
    QTest::newRow("delete confirmation") << QStringLiteral("Delete record?") << MsgKind::Confirmation;
}

void TestMessageBox::textIsNeitherCutNorBrokenInsideALine()
{
    QFETCH(QString, text);
    QFETCH(MsgKind, kind);
    MessageRequest request;
    request.kind = kind;
    request.text = text;
    request.buttons = MsgButton::Ok | MsgButton::Cancel;
    MessageBox box(request);
    box.show();
    auto* label = box.findChild<QLabel*>(QStringLiteral("textLabel"));
    const QFontMetrics metrics(label->font());
    int lines = 0;
    for (const QString& line : label->text().split(QLatin1Char('\n'))) {
        // Each line fits whole: the label is at least as wide, and as high as the lines.
        QVERIFY2(metrics.horizontalAdvance(line) <= label->width(), qPrintable(line));
        ++lines;
    }
    QVERIFY(label->height() >= lines * metrics.lineSpacing());
    QVERIFY(label->height() < (lines + 1) * metrics.lineSpacing());
    // The title has room in the title bar.
    QVERIFY(box.width() >= QFontMetrics(QApplication::font()).horizontalAdvance(box.windowTitle()) + 100);
}

void TestMessageBox::helpOpensTopicAndKeepsBoxOpen()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("EMLO.HLP"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("@topic 0 Contents\nc\n@topic 20002 Opening tables\nThe tables could not be opened.\n");
    file.close();
    HelpSystem::setHelpFile(path);

    MessageRequest request;
    request.kind = MsgKind::Error;
    request.buttons = MsgButton::Ok | MsgButton::Help;
    request.helpTopic = 20002;
    MessageBox box(request);
    box.show();
    QTest::mouseClick(box.button(MsgButton::Help), Qt::LeftButton);
    QVERIFY(box.isVisible());
    QVERIFY(HelpSystem::viewer());
    QCOMPARE(HelpSystem::viewer()->currentTopic(), 20002);
    QVERIFY(HelpSystem::viewer()->currentText().contains(QStringLiteral("could not be opened")));

    QTest::mouseClick(box.button(MsgButton::Ok), Qt::LeftButton);
    QCOMPARE(box.answer(), MsgAnswer::Ok);
    HelpSystem::viewer()->close();
    HelpSystem::setHelpFile(QString());
}

void TestMessageBox::seamRoutesToResponder()
{
    testing::ScriptedDialogs dialogs;
    dialogs.queueAnswer(MsgAnswer::No);
    const MsgAnswer answer = messageDlg(QStringLiteral("Утворити нові файли?"), MsgKind::Warning,
                                        MsgButton::Yes | MsgButton::No | MsgButton::Cancel);
    QCOMPARE(answer, MsgAnswer::No);
    QCOMPARE(dialogs.messages().size(), 1);
    const MessageRequest& asked = dialogs.messages().first();
    QCOMPARE(asked.kind, MsgKind::Warning);
    QCOMPARE(asked.effectiveTitle(), QStringLiteral("Попередження"));
    QCOMPARE(asked.buttons, MsgButton::Yes | MsgButton::No | MsgButton::Cancel);
    QCOMPARE(asked.helpTopic, 0);
}

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
