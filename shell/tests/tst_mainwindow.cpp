// The main window as a user meets it: start-up with its settings file, help
// file and tables, the frame, the working-folder command, closing. Modal
// boxes are answered through the dialog seam; the end of the program is
// recorded instead of carried out.
#include <QAction>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QScopeGuard>
#include <QToolBar>
#include <QToolButton>

#include <cmath>
#include <memory>

#include "check/ui/report.h"
#include "shell/ui/main.h"
#include "store/engine.h"
#include "store/errors.h"
#include "store/filecase.h"
#include "testsupport/programfolder.h"
#include "testsupport/testtables.h"
#include "widgets/aboutbox.h"
#include "widgets/errorbox.h"
#include "widgets/helpviewer.h"
#include "widgets/outlookbar.h"
#include "widgets/testing/scripteddialogs.h"

using namespace emlo;

Q_DECLARE_METATYPE(emlo::MsgAnswer)

namespace {

const QString kOwMissing =
    QStringLiteral("Помилка відкриття робочих таблиць:\r\nнеможливо відкрити довідник форм власності");
const QString kFatal = QStringLiteral("Подальша робота програми неможлива.");
const QString kNoHelp = QStringLiteral("Відсутній файл довідки 'emlo.hlp'.");

QString readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QStringLiteral("<absent>");
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

// The tests' program folder (three pollutants, the other reference tables
// empty) with what the main window reads besides its tables: a help file and
// (maybe) a settings file, and room for working folders beside it. A table
// named in `skip` is missing.
struct WindowFolder : testing::ProgramFolder {
    explicit WindowFolder(const QStringList& skip = {})
        : testing::ProgramFolder({{10, QStringLiteral("00010"), QStringLiteral("Пил"), 1.5},
                                  {20, QStringLiteral("00020"), QStringLiteral("Сажа"), 2.0},
                                  {30, QStringLiteral("00030"), QStringLiteral("Оксид"), 3.0}}),
          program(ProgramDir()),
          settings(program + QStringLiteral("emlo.ini"))
    {
        for (const QString& table : skip)
            QFile::remove(MatchFileCase(program + table));
        writeFile(program + QStringLiteral("EMLO.HLP"),
                  "@topic 0 Contents\nAll.\n@topic 1000 Main window\nThe main window.\n");
    }

    const QString program;  // with a trailing "/"
    const QString settings;

    // The folder that holds the program folder and the others.
    QString root() const { return QDir::cleanPath(program + QStringLiteral("..")); }
    QString folder(const QString& name) const
    {
        const QString path = root() + QLatin1Char('/') + name + QLatin1Char('/');
        QDir().mkpath(path);
        return path;
    }
    AppPaths paths() const
    {
        AppPaths p;
        p.programFolder = program;
        p.settingsFile = settings;
        return p;
    }
    void setSetting(const QByteArray& path) { writeFile(settings, "[General]\r\nPath=" + path + "\r\n"); }
};

// A value of the attribute record as stored in the file.
QString storedAttr(const QString& folder, const QString& field)
{
    TApolloTable table(QStringLiteral("tblCheck"));
    table.setTableName(MatchFileCase(folder + QStringLiteral("attr.dbf")));
    table.Open();
    table.First();
    const QString value = table.IsEmpty() ? QStringLiteral("<no record>") : table.FieldByName(field)->AsString();
    table.Close();
    return value;
}

QList<qint32> contIds(TApolloTable* table)
{
    QList<qint32> ids;
    for (table->First(); !table->Eof(); table->Next())
        ids.append(table->FieldByName(QStringLiteral("CONTID"))->AsInteger());
    return ids;
}

// Starts an edit of the attribute record, as typing into a page would.
void beginAttrEdit(TfrmMain& w, const QString& name)
{
    w.DataModule->tblAttr->Edit();
    w.DataModule->tblAttr->FieldByName(QStringLiteral("ENNAME"))->setAsString(name);
    w.DataModule->AttrModified = true;
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void frameHasItsCommandsAndPages();
    void navigationSwitchesPages_data();
    void navigationSwitchesPages();
    void navigationCaptionsStayReadable();
    void firstStartWorksInProgramFolderAndSavesIt();
    void rememberedFolderIsUsed_data();
    void rememberedFolderIsUsed();
    void deletedRememberedFolderWarnsOnce();
    void relativeFolderIsTakenFromStartFolderAndKept_data();
    void relativeFolderIsTakenFromStartFolderAndKept();
    void folderNameWithLineBreakIsNotWrittenIntoSettings();
    void missingEngineLibraryGivesOneMessageAndEnds();
    void settingsKeepOtherEntries();
    void missingHelpFileWarnsOnce();
    void helpFileOfOtherLetterCaseIsFound();
    void missingReferenceTableEndsProgram();
    void missingDataIndexIsRebuilt();
    void folderChangeAsksForNewFiles_data();
    void folderChangeAsksForNewFiles();
    void folderWithAttrIsTakenWithoutQuestion();
    void cancelledFolderDialogChangesNothing();
    void currentFolderChosenAgainReopensTables();
    void folderChangePostsPendingEditToOldFolder();
    void folderChangeKeepsFolderWhenPostFails();
    void uncreatableFolderIsReportedAndChangesNothing();
    void closingPostsPendingEditBeforeSettings();
    void folderNameOutsideWindows1251IsNotSavedGarbled();
    void closingWhenPostFailsAsks_data();
    void closingWhenPostFailsAsks();
    void helpAndAboutCommands();
    void reportWindowIsMadeWhenACheckFirstNeedsIt();
    void fatalStopEndsProgramOnlyAtEventLoop();

private:
    std::unique_ptr<TfrmMain> start(const WindowFolder& folder);

    int m_endRequests = 0;
    QString m_savedCurrent;
};

void TestMainWindow::initTestCase()
{
    Application::setTitle(QStringLiteral("Dazodevur"));
    m_savedCurrent = QDir::currentPath();
}

void TestMainWindow::init()
{
    m_endRequests = 0;
    ResetProgramEndRequest();
    SetProgramEndHandler([this] { ++m_endRequests; });
}

void TestMainWindow::cleanup()
{
    if (HelpSystem::viewer())
        delete HelpSystem::viewer();
    HelpSystem::setHelpFile(QString());
    SetProgramEndHandler(nullptr);
    ResetProgramEndRequest();
    QDir::setCurrent(m_savedCurrent);
}

std::unique_ptr<TfrmMain> TestMainWindow::start(const WindowFolder& folder)
{
    auto window = std::make_unique<TfrmMain>(folder.paths());
    window->show();
    return window;
}

void TestMainWindow::frameHasItsCommandsAndPages()
{
    WindowFolder folder;
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    QVERIFY(dialogs.messages().isEmpty());

    QCOMPARE(w->windowTitle(), QStringLiteral("Державний облік викидів промислових підприємств"));
    QCOMPARE(w->minimumSize(), QSize(600, 350));
    QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w->windowFlags() & Qt::WindowMinimizeButtonHint);

    // Tool bar: actions in order, separators between the groups.
    QStringList bar;
    for (QAction* a : w->ToolBar->actions())
        bar.append(a->isSeparator() ? QStringLiteral("|") : a->objectName());
    QCOMPARE(bar,
             (QStringList{"actPath", "|", "actCheck", "actPrintPreview", "actTransfer", "|", "actHelp", "actAbout", "|",
                          "actExit"}));
    const struct {
        QAction* action;
        const char* caption;
        const char* hint;
        int image;
    } rows[] = {
        {w->actCheck, "Перевiрити", "Перевiрити iнформацію на заповнення", 0},
        {w->actPrintPreview, "Друк", "Попередній перегляд", 1},
        {w->actTransfer, "Вигрузити", "Вигрузити для управлiння в формат Tarvel", 2},
        {w->actHelp, "Допомога", "Допомога щодо роботи з програмою", 4},
        {w->actAbout, "Об авторах...", "Відомості про авторів та версію програми", 7},
        {w->actExit, "Вихід", "Зачинити програму", 3},
        {w->actPath, "Робоча папка", nullptr, 6},
    };
    QCOMPARE(w->ImageList.size(), 8);
    for (const auto& row : rows) {
        QCOMPARE(row.action->text(), QString::fromUtf8(row.caption));
        if (row.hint)
            QCOMPARE(row.action->toolTip(), QString::fromUtf8(row.hint));
        QVERIFY(!row.action->icon().pixmap(32, 32).isNull());
        QCOMPARE(row.action->icon().pixmap(32, 32).toImage(), w->ImageList.at(row.image).pixmap(32, 32).toImage());
        QWidget* button = w->ToolBar->widgetForAction(row.action);
        QCOMPARE(button->size(), QSize(39, 38));
    }
    QCOMPARE(w->actPath->toolTip(), QStringLiteral("Змiнити робочу папку з ") + folder.program);

    // Navigation bar and pages.
    QCOMPARE(w->Outlook->width(), 110);
    QCOMPARE(w->Outlook->activeGroup(), 1);
    QVERIFY(w->Outlook->itemButton(QStringLiteral("Реквізити")));
    QVERIFY(w->Outlook->itemButton(QStringLiteral("Статистичні коди")));
    QVERIFY(w->Outlook->itemButton(QStringLiteral("Викиди")));
    QCOMPARE(w->pc->count(), 3);
    QCOMPARE(w->pc->widget(0), w->tsAttr);
    QCOMPARE(w->pc->widget(1), w->tsCodes);
    QCOMPARE(w->pc->widget(2), w->tsData);
    QCOMPARE(w->pc->tabText(1), QStringLiteral("Коди"));
    QCOMPARE(w->gbAttr->title(), QStringLiteral("Реквізити"));
    QCOMPARE(w->gbCode->title(), QStringLiteral("Статистичні коди"));
    QCOMPARE(w->gbData->title(), QStringLiteral("Викиди"));
    QVERIFY(!w->pc->tabBar()->isVisible());
    QCOMPARE(w->pc->currentWidget(), w->tsAttr);
    w->close();
}

void TestMainWindow::navigationSwitchesPages_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("page");
    QTest::newRow("codes") << QStringLiteral("Статистичні коди") << 1;
    QTest::newRow("emissions") << QStringLiteral("Викиди") << 2;
    QTest::newRow("attributes") << QStringLiteral("Реквізити") << 0;
}

void TestMainWindow::navigationSwitchesPages()
{
    QFETCH(QString, item);
    QFETCH(int, page);
    WindowFolder folder;
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    w->activateWindow();
    // The focus is real only in an active window.
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    w->pc->setCurrentIndex(page == 1 ? 2 : 1);
    QWidget* focused = nullptr;
    for (QWidget* child : w->pc->currentWidget()->findChildren<QWidget*>()) {
        if (child->isVisible() && child->isEnabled() && (child->focusPolicy() & Qt::TabFocus)) {
            focused = child;
            break;
        }
    }
    QVERIFY(focused);
    focused->setFocus(Qt::MouseFocusReason);
    QCOMPARE(QApplication::focusWidget(), focused);

    // The page changes; the focus stays where the user left it.
    QTest::mouseClick(w->Outlook->itemButton(item), Qt::LeftButton);
    QCOMPARE(w->pc->currentIndex(), page);
    QCOMPARE(QApplication::focusWidget(), focused);
    QTest::mouseClick(w->Outlook->itemButton(item), Qt::LeftButton);
    QCOMPARE(w->pc->currentIndex(), page);

    w->OutlookItemClick(w->Outlook, QStringLiteral("Інше"));
    QCOMPARE(w->pc->currentIndex(), page);
    // Only the first group's items lead anywhere.
    w->Outlook->setActiveGroup(w->Outlook->addGroup(QStringLiteral("Iнше")));
    w->OutlookItemClick(w->Outlook, page == 0 ? QStringLiteral("Викиди") : QStringLiteral("Реквізити"));
    QCOMPARE(w->pc->currentIndex(), page);
    w->close();
}

// White captions on the grey bar: hovered and pressed tiles keep a dark
// enough background for them (the style's own panels are near-white).
void TestMainWindow::navigationCaptionsStayReadable()
{
    WindowFolder folder;
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    QToolButton* tile = w->Outlook->itemButton(QStringLiteral("Статистичні коди"));
    QVERIFY(tile);
    const auto luminance = [](QColor c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    for (const char* state : {"plain", "hovered", "pressed"}) {
        tile->setAttribute(Qt::WA_UnderMouse, qstrcmp(state, "plain") != 0);
        tile->setDown(qstrcmp(state, "pressed") == 0);
        // The bar as shown, the grey under the tile included; the background
        // is taken in the middle of the tile's left margin, beside icon and caption.
        const QImage image = w->Outlook->grab().toImage();
        const QColor background = image.pixelColor(tile->mapTo(w->Outlook, QPoint(4, tile->height() / 2)));
        const double lighter = qMax(luminance(background), luminance(QColor(Qt::white)));
        const double darker = qMin(luminance(background), luminance(QColor(Qt::white)));
        QVERIFY2((lighter + 0.05) / (darker + 0.05) >= 3.0, state);
    }
    tile->setDown(false);
    tile->setAttribute(Qt::WA_UnderMouse, false);
    w->close();
}

void TestMainWindow::firstStartWorksInProgramFolderAndSavesIt()
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

void TestMainWindow::rememberedFolderIsUsed_data()
{
    QTest::addColumn<bool>("trailingSeparator");
    QTest::newRow("with separator") << true;
    QTest::newRow("without separator") << false;
}

void TestMainWindow::rememberedFolderIsUsed()
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

void TestMainWindow::deletedRememberedFolderWarnsOnce()
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

void TestMainWindow::relativeFolderIsTakenFromStartFolderAndKept_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("saved");
    QTest::newRow("with separator") << QStringLiteral("firm/") << QStringLiteral("firm/");
    QTest::newRow("without separator") << QStringLiteral("firm") << QStringLiteral("firm/");
    QTest::newRow("upwards") << QStringLiteral("start/../firm/") << QStringLiteral("start/../firm/");
}

// A relative Path names a folder from where the program was started, not
// from the program folder, and goes back into the file as it was written.
void TestMainWindow::relativeFolderIsTakenFromStartFolderAndKept()
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

void TestMainWindow::folderNameWithLineBreakIsNotWrittenIntoSettings()
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

// Without the engine library nothing can be opened: its one message, then
// the end of the program; no table errors, no fatal-stop message, no help
// warning after it.
void TestMainWindow::missingEngineLibraryGivesOneMessageAndEnds()
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

void TestMainWindow::settingsKeepOtherEntries()
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

void TestMainWindow::missingHelpFileWarnsOnce()
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

void TestMainWindow::helpFileOfOtherLetterCaseIsFound()
{
    WindowFolder folder;
    QVERIFY(QFile::rename(folder.program + QStringLiteral("EMLO.HLP"), folder.program + QStringLiteral("emlo.hlp")));
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    QVERIFY(dialogs.messages().isEmpty());
    QCOMPARE(HelpSystem::helpFile(), folder.program + QStringLiteral("emlo.hlp"));
    w->close();
}

void TestMainWindow::missingReferenceTableEndsProgram()
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

void TestMainWindow::missingDataIndexIsRebuilt()
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

void TestMainWindow::folderChangeAsksForNewFiles_data()
{
    QTest::addColumn<MsgAnswer>("answer");
    QTest::addColumn<bool>("changes");
    QTest::newRow("yes") << MsgAnswer::Yes << true;
    QTest::newRow("no") << MsgAnswer::No << false;
    QTest::newRow("cancel") << MsgAnswer::Cancel << false;
}

void TestMainWindow::folderChangeAsksForNewFiles()
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

void TestMainWindow::folderWithAttrIsTakenWithoutQuestion()
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

void TestMainWindow::cancelledFolderDialogChangesNothing()
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

void TestMainWindow::currentFolderChosenAgainReopensTables()
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

void TestMainWindow::folderChangePostsPendingEditToOldFolder()
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

void TestMainWindow::folderChangeKeepsFolderWhenPostFails()
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

void TestMainWindow::uncreatableFolderIsReportedAndChangesNothing()
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

void TestMainWindow::closingPostsPendingEditBeforeSettings()
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

void TestMainWindow::folderNameOutsideWindows1251IsNotSavedGarbled()
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

void TestMainWindow::closingWhenPostFailsAsks_data()
{
    QTest::addColumn<MsgAnswer>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("yes closes without the edit") << MsgAnswer::Yes << true;
    QTest::newRow("no keeps the window") << MsgAnswer::No << false;
}

void TestMainWindow::closingWhenPostFailsAsks()
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

void TestMainWindow::helpAndAboutCommands()
{
    WindowFolder folder;
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);

    w->actHelp->trigger();
    QVERIFY(HelpSystem::viewer());
    QCOMPARE(HelpSystem::viewer()->currentTopic(), 0);
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    QTest::keyClick(w.get(), Qt::Key_F1);
    QCOMPARE(HelpSystem::viewer()->currentTopic(), 1000);

    QStringList shown;
    bool iconShown = false;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<AboutBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        for (QLabel* label : box->findChildren<QLabel*>()) {
            if (!label->text().isEmpty())
                shown.append(label->text());
            if (label->objectName() == QStringLiteral("aboutIcon"))
                iconShown = !label->pixmap().isNull();
        }
        box->accept();
    });
    w->actAbout->trigger();
    QVERIFY(shown.contains(QStringLiteral("Emlo, вер. 1.3")));
    QVERIFY(shown.contains(QStringLiteral("Державний облік викидів промислових підприємств")));
    QVERIFY(iconShown);
    w->close();
}

// Last of all: once the application has been told to exit, no event loop of
// this process runs again.
// The report window is not made at start-up (it is hidden until a check
// shows it): a folder change before any check has no report to clear, and
// the first check makes it and shows its remarks; later checks reuse it.
void TestMainWindow::reportWindowIsMadeWhenACheckFirstNeedsIt()
{
    WindowFolder folder;
    const QString work = folder.folder(QStringLiteral("work"));
    folder.setSetting(work.toUtf8());
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    QVERIFY(!w->frmReport);
    QVERIFY(!w->findChild<TfrmReport*>());

    dialogs.queueFolder(true, folder.folder(QStringLiteral("other")));
    dialogs.queueAnswer(MsgAnswer::Yes);
    w->actPath->trigger();
    QCOMPARE(w->WorkPath(), folder.folder(QStringLiteral("other")));
    QVERIFY(!w->frmReport);

    w->actCheck->trigger();
    TfrmReport* report = w->frmReport;
    QVERIFY(report);
    QVERIFY(report->isVisible());
    QVERIFY(report->RemarkCount() > 0);  // the new folder's empty record
    w->actCheck->trigger();
    QCOMPARE(w->frmReport, report);
}

void TestMainWindow::fatalStopEndsProgramOnlyAtEventLoop()
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
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
