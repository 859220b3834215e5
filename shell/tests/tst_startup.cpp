// The main window's start-up: the working folder its settings file names,
// the help file, the engine library and the tables it opens, and what it says
// when one is missing. The end of the program is recorded instead of carried
// out; modal boxes are answered through the dialog seam.
#include <QAction>
#include <QScopeGuard>
#include <QTest>

#include "shell/tests/support/windowtest.h"
#include "shell/ui/main.h"
#include "store/engine.h"
#include "store/filecase.h"
#include "testsupport/testtables.h"
#include "widgets/errorbox.h"
#include "widgets/helpviewer.h"
#include "widgets/testing/scripteddialogs.h"

using namespace emlo;
using namespace shelltest;

namespace {

const QString kOwMissing =
    QStringLiteral("Помилка відкриття робочих таблиць:\r\nнеможливо відкрити довідник форм власності");
const QString kNoHelp = QStringLiteral("Відсутній файл довідки 'emlo.hlp'.");

QList<qint32> contIds(TApolloTable* table)
{
    QList<qint32> ids;
    for (table->First(); !table->Eof(); table->Next())
        ids.append(table->FieldByName(QStringLiteral("CONTID"))->AsInteger());
    return ids;
}

}  // namespace

class TestStartup : public shelltest::WindowTest {
    Q_OBJECT
private slots:
    void firstStartWorksInProgramFolderAndSavesIt();
    void rememberedFolderIsUsed_data();
    void rememberedFolderIsUsed();
    void deletedRememberedFolderWarnsOnce();
    void relativeFolderIsTakenFromStartFolderAndKept_data();
    void relativeFolderIsTakenFromStartFolderAndKept();
    void missingEngineLibraryGivesOneMessageAndEnds();
    void settingsKeepOtherEntries();
    void missingHelpFileWarnsOnce();
    void helpFileOfOtherLetterCaseIsFound();
    void missingReferenceTableEndsProgram();
    void missingDataIndexIsRebuilt();
};

void TestStartup::firstStartWorksInProgramFolderAndSavesIt()
{
    WindowFolder folder;
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    QVERIFY(dialogs.messages().isEmpty());
    QCOMPARE(w->WorkPath(), folder.program);
    QVERIFY(w->DataModule->tblAttr->Active());
    QVERIFY(w->DataModule->tblData->Active());
    for (const char* file : {"attr.dbf", "data.dbf", "data.idx"})
        QVERIFY2(FileExistsNoCase(folder.program + QString::fromLatin1(file)), file);
    QCOMPARE(readFile(folder.settings), QStringLiteral("<absent>"));
    w->close();
    QCOMPARE(readFile(folder.settings), QStringLiteral("[General]\r\nPath=") + folder.program + QStringLiteral("\r\n"));
    QCOMPARE(m_endRequests, 0);
}

void TestStartup::rememberedFolderIsUsed_data()
{
    QTest::addColumn<bool>("trailingSeparator");
    QTest::newRow("with separator") << true;
    QTest::newRow("without separator") << false;
}

void TestStartup::rememberedFolderIsUsed()
{
    QFETCH(bool, trailingSeparator);
    WindowFolder folder;
    const QString firm = folder.folder(QStringLiteral("firm"));
    folder.setSetting((trailingSeparator ? firm : firm.chopped(1)).toUtf8());
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    QVERIFY(dialogs.messages().isEmpty());
    QCOMPARE(w->WorkPath(), firm);
    QCOMPARE(w->actPath->toolTip(), QStringLiteral("Змiнити робочу папку з ") + firm);
    QVERIFY(FileExistsNoCase(firm + QStringLiteral("ATTR.DBF")));
    QVERIFY(!FileExistsNoCase(folder.program + QStringLiteral("ATTR.DBF")));
    w->close();
    QCOMPARE(readFile(folder.settings), QStringLiteral("[General]\r\nPath=") + firm + QStringLiteral("\r\n"));
}

void TestStartup::deletedRememberedFolderWarnsOnce()
{
    WindowFolder folder;
    const QString gone = folder.root() + QStringLiteral("/gone/");
    folder.setSetting(gone.toUtf8());
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    QCOMPARE(dialogs.messages().size(), 1);
    const MessageRequest& warning = dialogs.messages().first();
    QCOMPARE(warning.text,
             QStringLiteral("В останнiй раз Ви працювали з папкою: ") + gone
                 + QStringLiteral("\r\nНажаль зараз такої папки немає."));
    QCOMPARE(warning.kind, MsgKind::Warning);
    QCOMPARE(warning.buttons, MsgButtons(MsgButton::Ok));
    QCOMPARE(warning.helpTopic, 0);
    QCOMPARE(w->WorkPath(), folder.program);
    QVERIFY(!QFileInfo::exists(gone));
    w->close();
    QCOMPARE(readFile(folder.settings), QStringLiteral("[General]\r\nPath=") + folder.program + QStringLiteral("\r\n"));
}

void TestStartup::relativeFolderIsTakenFromStartFolderAndKept_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("saved");
    QTest::newRow("with separator") << QStringLiteral("firm/") << QStringLiteral("firm/");
    QTest::newRow("without separator") << QStringLiteral("firm") << QStringLiteral("firm/");
    QTest::newRow("upwards") << QStringLiteral("start/../firm/") << QStringLiteral("start/../firm/");
}

// A relative Path names a folder from where the program was started, not
// from the program folder, and goes back into the file as it was written.
void TestStartup::relativeFolderIsTakenFromStartFolderAndKept()
{
    QFETCH(QString, setting);
    QFETCH(QString, saved);
    WindowFolder folder;
    const QString firm = folder.folder(QStringLiteral("firm"));
    folder.folder(QStringLiteral("start"));
    // A folder of the same name in the program folder must not be taken.
    QVERIFY(QDir().mkpath(folder.program + QStringLiteral("firm")));
    QVERIFY(QDir::setCurrent(folder.root()));
    folder.setSetting(setting.toUtf8());
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    QCOMPARE(dialogs.texts(), QStringList());
    QCOMPARE(QFileInfo(w->WorkPath()).canonicalFilePath(), QFileInfo(firm).canonicalFilePath());
    QVERIFY(FileExistsNoCase(firm + QStringLiteral("attr.dbf")));
    QVERIFY(!FileExistsNoCase(folder.program + QStringLiteral("firm/attr.dbf")));
    // Browsing in a folder dialog moves the current folder; the open tables
    // and the saved value stay with the folder found at start-up.
    QVERIFY(QDir::setCurrent(folder.program));
    w->close();
    QCOMPARE(readFile(folder.settings), QStringLiteral("[General]\r\nPath=") + saved + QStringLiteral("\r\n"));
}

// Without the engine library nothing can be opened: its one message, then
// the end of the program; no table errors, no fatal-stop message, no help
// warning after it.
void TestStartup::missingEngineLibraryGivesOneMessageAndEnds()
{
    WindowFolder folder;
    QFile::remove(folder.program + QStringLiteral("EMLO.HLP"));
    ApolloEngine::Reset();
    ApolloEngine::setLibraryFileName(folder.program + QStringLiteral("libsde50.so"));
    InstallEngineLoadFailureHandler();
    const auto restore = qScopeGuard([] {
        ApolloEngine::setLoadFailureHandler(nullptr);
        ApolloEngine::setLibraryFileName(QStringLiteral("libsde50.so"));
        ApolloEngine::Reset();
    });
    testing::ScriptedDialogs dialogs;
    auto w = std::make_unique<TfrmMain>(folder.paths());
    QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("Unable to load required Apollo DLL: SDE50.DLL")});
    QCOMPARE(dialogs.messages().first().kind, MsgKind::Error);
    QCOMPARE(dialogs.messages().first().buttons, MsgButtons(MsgButton::Ok));
    QCOMPARE(m_endRequests, 1);
    QVERIFY(ProgramEndRequested());
    QVERIFY(!FileExistsNoCase(folder.program + QStringLiteral("attr.dbf")));
    w->close();
    QCOMPARE(readFile(folder.settings), QStringLiteral("<absent>"));
}

void TestStartup::settingsKeepOtherEntries()
{
    WindowFolder folder;
    const QString firm = folder.folder(QStringLiteral("Підприємство"));
    writeFile(folder.settings,
              "; settings\r\n[Window]\r\nLeft=10\r\n\r\n[general]\r\npath=" + firm.toUtf8() + "\r\nZoom=2\r\n");
    // The remembered folder is stored in Windows-1251, so the UTF-8 above does
    // not name an existing folder: the program folder is taken and saved.
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    QCOMPARE(dialogs.messages().size(), 1);
    dialogs.queueFolder(true, firm);
    dialogs.queueAnswer(MsgAnswer::Yes);
    w->actPath->trigger();
    QCOMPARE(w->WorkPath(), firm);
    w->close();
    QFile file(folder.settings);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray expected = "; settings\r\n[Window]\r\nLeft=10\r\n\r\n[general]\r\nPath="
        + firm.toUtf8().replace("Підприємство", "\xcf\xb3\xe4\xef\xf0\xe8\xba\xec\xf1\xf2\xe2\xee") + "\r\nZoom=2\r\n";
    QCOMPARE(file.readAll(), expected);

    // Read back in the next run.
    dialogs.clear();
    auto next = start(folder);
    QVERIFY(dialogs.messages().isEmpty());
    QCOMPARE(next->WorkPath(), firm);
    next->close();
}

void TestStartup::missingHelpFileWarnsOnce()
{
    WindowFolder folder;
    QFile::remove(folder.program + QStringLiteral("EMLO.HLP"));
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    QCOMPARE(dialogs.messages().size(), 1);
    const MessageRequest& warning = dialogs.messages().first();
    QCOMPARE(warning.text, kNoHelp);
    QCOMPARE(warning.kind, MsgKind::Warning);
    QCOMPARE(warning.buttons, MsgButtons(MsgButton::Ok));
    QCOMPARE(warning.helpTopic, 0);
    QVERIFY(w->DataModule->tblAttr->Active());
    // Without a help file the help command has nothing to open.
    w->actHelp->trigger();
    QVERIFY(!HelpSystem::viewer());
    QCOMPARE(dialogs.messages().size(), 1);
    w->close();
    QCOMPARE(m_endRequests, 0);
}

void TestStartup::helpFileOfOtherLetterCaseIsFound()
{
    WindowFolder folder;
    QVERIFY(QFile::rename(folder.program + QStringLiteral("EMLO.HLP"), folder.program + QStringLiteral("emlo.hlp")));
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    QVERIFY(dialogs.messages().isEmpty());
    QCOMPARE(HelpSystem::helpFile(), folder.program + QStringLiteral("emlo.hlp"));
    w->close();
}

void TestStartup::missingReferenceTableEndsProgram()
{
    WindowFolder folder({QStringLiteral("OW.DBF")});
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    QCOMPARE(dialogs.texts(), (QStringList{kOwMissing, kFatal}));
    const MessageRequest& error = dialogs.messages().at(0);
    QCOMPARE(error.kind, MsgKind::Error);
    QCOMPARE(error.buttons, MsgButton::Ok | MsgButton::Help);
    QCOMPARE(error.helpTopic, 20002);
    const MessageRequest& fatal = dialogs.messages().at(1);
    QCOMPARE(fatal.kind, MsgKind::Information);
    QCOMPARE(fatal.buttons, MsgButton::Ok | MsgButton::Help);
    QCOMPARE(fatal.helpTopic, 9000);

    TDataModule* dm = w->DataModule;
    QVERIFY(dm->tblCont->Active());
    for (TApolloTable* closed : {dm->tblOW, dm->tblDP, dm->tblEA, dm->tblOBL, dm->tblCY})
        QVERIFY2(!closed->Active(), qPrintable(closed->Name()));
    // The work tables are still opened (and created) before the program ends.
    QVERIFY(dm->tblAttr->Active());
    QVERIFY(dm->tblData->Active());
    QVERIFY(FileExistsNoCase(folder.program + QStringLiteral("attr.dbf")));
    QCOMPARE(m_endRequests, 1);
    QVERIFY(ProgramEndRequested());

    // The program ends without FormClose: nothing posted, no settings file.
    beginAttrEdit(*w, QStringLiteral("Не записується"));
    w->close();
    QCOMPARE(readFile(folder.settings), QStringLiteral("<absent>"));
    w.reset();
    QCOMPARE(storedAttr(folder.program, QStringLiteral("ENNAME")), QStringLiteral("<no record>"));
}

void TestStartup::missingDataIndexIsRebuilt()
{
    WindowFolder folder;
    const QString firm = folder.folder(QStringLiteral("firm"));
    const QVector<testing::Column> data = {{QStringLiteral("CONTID"), 'N', 5, 0},
                                           {QStringLiteral("POTEN"), 'N', 18, 7},
                                           {QStringLiteral("FACT"), 'N', 18, 7}};
    testing::createTable(firm + QStringLiteral("DATA.DBF"), data);
    testing::appendRows(firm + QStringLiteral("DATA.DBF"), {{30, 1.0, 0.5}, {10, 2.0, 1.0}, {20, 3.0, 1.5}});
    folder.setSetting(firm.toUtf8());
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    QVERIFY(dialogs.messages().isEmpty());
    QVERIFY(FileExistsNoCase(firm + QStringLiteral("data.idx")));
    QCOMPARE(contIds(w->DataModule->tblData), (QList<qint32>{10, 20, 30}));
    w->close();
}

int main(int argc, char** argv)
{
    Application app(argc, argv);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
