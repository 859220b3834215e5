// The working-folder command of the main window: the question for new files,
// the tables reopened, a pending edit posted to the old folder first, and
// folders that cannot be made or named in the settings file. Modal boxes and
// the folder dialog are answered through the dialog seam.
#include <QAction>
#include <QApplication>
#include <QTest>

#include "shell/tests/support/windowtest.h"
#include "shell/ui/main.h"
#include "store/errors.h"
#include "store/filecase.h"
#include "widgets/errorbox.h"
#include "widgets/testing/scripteddialogs.h"

using namespace emlo;
using namespace shelltest;

class TestWorkFolder : public shelltest::WindowTest {
    Q_OBJECT
private slots:
    void folderNameWithLineBreakIsNotWrittenIntoSettings();
    void folderChangeAsksForNewFiles_data();
    void folderChangeAsksForNewFiles();
    void folderWithAttrIsTakenWithoutQuestion();
    void cancelledFolderDialogChangesNothing();
    void currentFolderChosenAgainReopensTables();
    void folderChangePostsPendingEditToOldFolder();
    void folderChangeKeepsFolderWhenPostFails();
    void uncreatableFolderIsReportedAndChangesNothing();
    void folderNameOutsideWindows1251IsNotSavedGarbled();
};

void TestWorkFolder::folderNameWithLineBreakIsNotWrittenIntoSettings()
{
    WindowFolder folder;
    folder.setSetting(folder.program.toUtf8());
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    const QString odd = folder.folder(QStringLiteral("firm\n[General]\nPath=/etc"));
    dialogs.queueFolder(true, odd);
    dialogs.queueAnswer(MsgAnswer::Yes);
    w->actPath->trigger();
    QCOMPARE(w->WorkPath(), odd);
    w->close();
    QVERIFY(!w->isVisible());
    QCOMPARE(dialogs.messages().size(), 2);
    QCOMPARE(dialogs.messages().last().kind, MsgKind::Error);
    QVERIFY2(dialogs.messages().last().text.contains(QStringLiteral("розрив рядка")),
             qPrintable(dialogs.messages().last().text));
    QCOMPARE(readFile(folder.settings), QStringLiteral("[General]\r\nPath=") + folder.program + QStringLiteral("\r\n"));
}

void TestWorkFolder::folderChangeAsksForNewFiles_data()
{
    QTest::addColumn<MsgAnswer>("answer");
    QTest::addColumn<bool>("changes");
    QTest::newRow("yes") << MsgAnswer::Yes << true;
    QTest::newRow("no") << MsgAnswer::No << false;
    QTest::newRow("cancel") << MsgAnswer::Cancel << false;
}

void TestWorkFolder::folderChangeAsksForNewFiles()
{
    QFETCH(MsgAnswer, answer);
    QFETCH(bool, changes);
    WindowFolder folder;
    const QString before = folder.folder(QStringLiteral("before"));
    folder.setSetting(before.toUtf8());
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    const QString empty = folder.folder(QStringLiteral("empty"));
    dialogs.queueFolder(true, empty.chopped(1));
    dialogs.queueAnswer(answer);
    w->actPath->trigger();

    // Opened on the current folder, which the reference tables made the
    // program folder, and naming it.
    QCOMPARE(dialogs.folderRequests(), QStringList{folder.program.chopped(1)});
    QCOMPARE(dialogs.messages().size(), 1);
    const MessageRequest& question = dialogs.messages().first();
    QCOMPARE(question.text, QStringLiteral("Робочі файли не знайдені.\r\nУтворити нові файли?"));
    QCOMPARE(question.kind, MsgKind::Warning);
    QCOMPARE(question.buttons, MsgButton::Yes | MsgButton::No | MsgButton::Cancel);
    QCOMPARE(question.helpTopic, 0);

    const QString expected = changes ? empty : before;
    QCOMPARE(w->WorkPath(), expected);
    QCOMPARE(w->actPath->toolTip(), QStringLiteral("Змiнити робочу папку з ") + expected);
    QCOMPARE(QFileInfo(w->DataModule->tblAttr->FilePath()).absolutePath() + QLatin1Char('/'), expected);
    QCOMPARE(QFileInfo(w->DataModule->tblData->FilePath()).absolutePath() + QLatin1Char('/'), expected);
    QVERIFY(w->DataModule->tblAttr->Active());
    QVERIFY(w->DataModule->tblAttr->IsEmpty() || !changes);
    for (const char* file : {"attr.dbf", "data.dbf", "data.idx"})
        QCOMPARE(FileExistsNoCase(empty + QString::fromLatin1(file)), changes);
    QVERIFY(QApplication::overrideCursor() == nullptr);
    w->close();
    QCOMPARE(readFile(folder.settings), QStringLiteral("[General]\r\nPath=") + expected + QStringLiteral("\r\n"));
}

void TestWorkFolder::folderWithAttrIsTakenWithoutQuestion()
{
    WindowFolder folder;
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    // Only ATTR.DBF counts: DATA.DBF and DATA.IDX are made as needed.
    const QString other = folder.folder(QStringLiteral("other"));
    QVERIFY(
        QFile::copy(MatchFileCase(folder.program + QStringLiteral("ATTR.DBF")), other + QStringLiteral("Attr.Dbf")));
    dialogs.queueFolder(true, other);
    w->actPath->trigger();
    QVERIFY(dialogs.messages().isEmpty());
    QCOMPARE(w->WorkPath(), other);
    QVERIFY(FileExistsNoCase(other + QStringLiteral("data.dbf")));
    QVERIFY(FileExistsNoCase(other + QStringLiteral("data.idx")));
    QVERIFY(!QFileInfo::exists(other + QStringLiteral("attr.dbf")));
    w->close();
}

void TestWorkFolder::cancelledFolderDialogChangesNothing()
{
    WindowFolder folder;
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    int reopened = 0;
    w->DataModule->tblAttr->AfterOpen.add([&](TApolloTable&) { ++reopened; });
    dialogs.queueFolder(false);
    w->actPath->trigger();
    QVERIFY(dialogs.messages().isEmpty());
    QCOMPARE(w->WorkPath(), folder.program);
    QCOMPARE(reopened, 0);
    w->close();
}

void TestWorkFolder::currentFolderChosenAgainReopensTables()
{
    WindowFolder folder;
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    TDataModule* dm = w->DataModule;
    const QString attrFile = dm->tblAttr->FilePath();
    const QString dataFile = dm->tblData->FilePath();
    int attrOpens = 0, dataOpens = 0;
    dm->tblAttr->AfterOpen.add([&](TApolloTable&) { ++attrOpens; });
    dm->tblData->AfterOpen.add([&](TApolloTable&) { ++dataOpens; });
    dialogs.queueFolder(true, folder.program.chopped(1));
    w->actPath->trigger();
    QVERIFY(dialogs.messages().isEmpty());
    QCOMPARE(w->WorkPath(), folder.program);
    QCOMPARE(attrOpens, 1);
    QCOMPARE(dataOpens, 1);
    QCOMPARE(dm->tblAttr->FilePath(), attrFile);
    QCOMPARE(dm->tblData->FilePath(), dataFile);
    w->close();
}

void TestWorkFolder::folderChangePostsPendingEditToOldFolder()
{
    WindowFolder folder;
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    beginAttrEdit(*w, QStringLiteral("ТОВ Старе"));
    const QString next = folder.folder(QStringLiteral("next"));
    dialogs.queueFolder(true, next);
    dialogs.queueAnswer(MsgAnswer::Yes);
    w->actPath->trigger();
    QCOMPARE(w->WorkPath(), next);
    QVERIFY(!w->AttrModified());
    QVERIFY(w->DataModule->tblAttr->IsEmpty());
    w.reset();
    QCOMPARE(storedAttr(folder.program, QStringLiteral("ENNAME")), QStringLiteral("ТОВ Старе"));
}

void TestWorkFolder::folderChangeKeepsFolderWhenPostFails()
{
    WindowFolder folder;
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    beginAttrEdit(*w, QStringLiteral("ТОВ Старе"));
    const int lockFailure = w->DataModule->tblAttr->BeforePost.add([](TApolloTable&) {
        throw EApolloError(QStringLiteral("Record Lock Failure. May be locked by another user or task."));
    });
    const QString next = folder.folder(QStringLiteral("next"));
    dialogs.queueFolder(true, next);
    dialogs.queueAnswer(MsgAnswer::Yes);
    w->actPath->trigger();

    QCOMPARE(dialogs.texts().last(), QStringLiteral("Record Lock Failure. May be locked by another user or task."));
    QCOMPARE(dialogs.messages().last().kind, MsgKind::Error);
    QCOMPARE(w->WorkPath(), folder.program);
    QCOMPARE(w->actPath->toolTip(), QStringLiteral("Змiнити робочу папку з ") + folder.program);
    QVERIFY(w->AttrModified());
    QCOMPARE(w->DataModule->tblAttr->State(), dsInsert);
    QCOMPARE(w->DataModule->tblAttr->FieldByName(QStringLiteral("ENNAME"))->AsString(), QStringLiteral("ТОВ Старе"));
    QVERIFY(!FileExistsNoCase(next + QStringLiteral("attr.dbf")));
    QVERIFY(QApplication::overrideCursor() == nullptr);

    // Once the post succeeds the change goes through, the edit in the old folder.
    w->DataModule->tblAttr->BeforePost.remove(lockFailure);
    dialogs.queueFolder(true, next);
    dialogs.queueAnswer(MsgAnswer::Yes);
    w->actPath->trigger();
    QCOMPARE(w->WorkPath(), next);
    w.reset();
    QCOMPARE(storedAttr(folder.program, QStringLiteral("ENNAME")), QStringLiteral("ТОВ Старе"));
}

void TestWorkFolder::uncreatableFolderIsReportedAndChangesNothing()
{
    WindowFolder folder;
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    const QStringList refused = {QString(),
                                 MatchFileCase(folder.program + QStringLiteral("CONT.DBF")) + QStringLiteral("/sub")};
    for (const QString& name : refused) {
        dialogs.clear();
        dialogs.queueFolder(true, name);
        w->actPath->trigger();
        QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("Неможливо утворити дiректорiю")});
        QCOMPARE(dialogs.messages().first().effectiveTitle(), QStringLiteral("Dazodevur"));
        QCOMPARE(dialogs.messages().first().kind, MsgKind::Error);
        QCOMPARE(w->WorkPath(), folder.program);
        QVERIFY(w->DataModule->tblAttr->Active());
    }
    QCOMPARE(m_endRequests, 0);
    w->close();
}

void TestWorkFolder::folderNameOutsideWindows1251IsNotSavedGarbled()
{
    WindowFolder folder;
    folder.setSetting(folder.program.toUtf8());
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    const QString foreign = folder.folder(QStringLiteral("firm-工厂"));
    dialogs.queueFolder(true, foreign);
    dialogs.queueAnswer(MsgAnswer::Yes);
    w->actPath->trigger();
    QCOMPARE(w->WorkPath(), foreign);
    w->close();
    // The settings file cannot hold the name: the user is told, the window
    // still closes, and the file keeps the folder it named before.
    QVERIFY(!w->isVisible());
    QCOMPARE(dialogs.messages().size(), 2);
    QCOMPARE(dialogs.messages().last().kind, MsgKind::Error);
    QVERIFY(dialogs.messages().last().text.contains(QStringLiteral("工厂")));
    QCOMPARE(readFile(folder.settings), QStringLiteral("[General]\r\nPath=") + folder.program + QStringLiteral("\r\n"));
}

int main(int argc, char** argv)
{
    Application app(argc, argv);
    TestWorkFolder test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_workfolder.moc"
