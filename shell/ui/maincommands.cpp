// The main window's procedures: start-up, settings, working folder, closing,
// and the commands that belong to the frame.
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QTabBar>
#include <QTabWidget>

#include "main.h"
#include "check/ui/checkcommands.h"
#include "check/ui/report.h"
#include "export/ui/transfercommand.h"
#include "print/ui/showprintform.h"
#include "shell/inifile.h"
#include "store/engine.h"
#include "store/errors.h"
#include "store/filecase.h"
#include "widgets/aboutbox.h"
#include "widgets/errorbox.h"
#include "widgets/folderdialog.h"
#include "widgets/helpviewer.h"
#include "widgets/messagebox.h"
#include "widgets/outlookbar.h"
#include "widgets/waitcursor.h"
#include "widgets/db/focushold.h"

namespace emlo {

namespace {

const QString kSettingsSection = QStringLiteral("General");
const QString kSettingsKey = QStringLiteral("Path");
constexpr int kFatalStopHelpTopic = 9000;

bool g_endRequested = false;
std::function<void()> g_endHandler;

void defaultProgramEnd()
{
    // Queued: the request must not cut short the code that is running, and
    // before the event loop runs a direct exit would be lost.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
}

}  // namespace

void FatalStop()
{
    messageDlg(QStringLiteral("Подальша робота програми неможлива."), MsgKind::Information,
               MsgButton::Ok | MsgButton::Help, kFatalStopHelpTopic);
    RequestProgramEnd();
}

void RequestProgramEnd()
{
    if (g_endRequested)
        return;
    g_endRequested = true;
    if (g_endHandler)
        g_endHandler();
    else
        defaultProgramEnd();
}

bool ProgramEndRequested()
{
    return g_endRequested;
}

void SetProgramEndHandler(std::function<void()> handler)
{
    g_endHandler = std::move(handler);
}

void ResetProgramEndRequest()
{
    g_endRequested = false;
}

void InstallEngineLoadFailureHandler()
{
    ApolloEngine::setLoadFailureHandler([](const QString& message) {
        messageDlg(message, MsgKind::Error, MsgButton::Ok);
        RequestProgramEnd();
    });
}

void TfrmMain::ShowError(const QString& text, int helpTopic)
{
    showErrorMessage(text, helpTopic, this);
}

void TfrmMain::FatalStop()
{
    emlo::FatalStop();
}

void TfrmMain::FormCreate(QObject* /*sender*/)
{
    DataModule->AttrModified = false;
    SetWorkPath(m_paths.defaultWorkFolder());

    const QString helpFile = m_paths.tablesFolder() + QStringLiteral("EMLO.HLP");
    if (FileExistsNoCase(helpFile)) {
        HelpSystem::setHelpFile(MatchFileCase(helpFile));
    } else {
        HelpSystem::setHelpFile(QString());
        messageDlg(QStringLiteral("Відсутній файл довідки 'emlo.hlp'."), MsgKind::Warning, MsgButton::Ok, 0, this);
    }

    LoadSettings();
    DataModule->ProgramPath = m_paths.tablesFolder();
    DataModule->OpenReferenceTables();
    DataModule->OpenWorkTables();

    pc->tabBar()->hide();
    pc->setCurrentWidget(tsAttr);
    placeEmissionsNavigators();
}

void TfrmMain::LoadSettings()
{
    const IniFile settings(m_paths.settingsFile);
    const QString value = settings.readString(kSettingsSection, kSettingsKey, m_paths.defaultWorkFolder());
    // A relative folder is looked for from the folder the program was
    // started in, and written back as it stands.
    QString folder = workFolderFromSetting(value, QDir::currentPath());
    m_relativeSetting.clear();
    m_relativeSettingFolder.clear();
    if (QDir::isRelativePath(value)) {
        m_relativeSetting = IncludeTrailingSlash(value);
        m_relativeSettingFolder = folder;
    }
    if (!FolderExistsNoCase(folder)) {
        messageDlg(QStringLiteral("В останнiй раз Ви працювали з папкою: ") + folder
                       + QStringLiteral("\r\nНажаль зараз такої папки немає."),
                   MsgKind::Warning, MsgButton::Ok, 0, this);
        folder = m_paths.defaultWorkFolder();
    }
    SetWorkPath(folder);
}

void TfrmMain::SaveSettings()
{
    if (WorkPath().isEmpty())
        return;
    const QString value =
        !m_relativeSetting.isEmpty() && WorkPath() == m_relativeSettingFolder ? m_relativeSetting : WorkPath();
    IniFile settings(m_paths.settingsFile);
    if (!settings.writeString(kSettingsSection, kSettingsKey, value))
        throw EInOutError(settings.errorString());
}

void TfrmMain::SetWorkPath(const QString& folder)
{
    DataModule->WorkPath = folder;
    actPath->setToolTip(QStringLiteral("Змiнити робочу папку з ") + folder);
    actPath->setStatusTip(actPath->toolTip());
}

void TfrmMain::OutlookItemClick(QObject* /*sender*/, const QString& text)
{
    if (Outlook->activeGroup() != 1)
        return;
    if (text == QStringLiteral("Реквізити"))
        showPageOnly(tsAttr);
    else if (text == QStringLiteral("Статистичні коди"))
        showPageOnly(tsCodes);
    else if (text == QStringLiteral("Викиди"))
        showPageOnly(tsData);
}

// Only the page changes: the toolkit would move the focus into the new page,
// and the box left behind would commit its pending change at once.
void TfrmMain::showPageOnly(QWidget* page)
{
    QWidget* focused = QApplication::focusWidget();
    if (page == pc->currentWidget() || !focused || !isAncestorOf(focused)) {
        pc->setCurrentWidget(page);
        return;
    }
    const HoldFocusChanges hold;
    pc->setCurrentWidget(page);
    focused->setFocus(Qt::OtherFocusReason);
}

// Posts a pending attribute edit. A failure is shown in the application's
// error box and reported as false; the edit then stays pending.
bool TfrmMain::postPendingAttr()
{
    try {
        DataModule->PostPendingAttr();
    } catch (const std::exception& error) {
        showException(error);
        return false;
    }
    return !DataModule->AttrModified;
}

// Posts a pending emission edit, with what the grid's open cell holds; a
// new record that received no entry is given up, as a move would. A failure
// is shown and reported as false; the edit then stays pending.
bool TfrmMain::postPendingData()
{
    TApolloTable* table = DataModule->tblData;
    if (!table->Active() || (table->State() != dsEdit && table->State() != dsInsert))
        return true;
    try {
        table->CheckBrowseMode();
    } catch (const std::exception& error) {
        showException(error);
        return false;
    }
    // A record without a pollutant is refused silently and stays in editing.
    return table->State() == dsBrowse;
}

void TfrmMain::FormClose(QObject* /*sender*/, CloseAction& action)
{
    if (!postPendingData()) {
        const MsgAnswer answer =
            messageDlg(QStringLiteral("Зміни викидів не збережено.\r\nЗачинити програму без їх збереження?"),
                       MsgKind::Confirmation, MsgButton::Yes | MsgButton::No, 0, this);
        if (answer != MsgAnswer::Yes) {
            action = caNone;
            return;
        }
        DataModule->tblData->Cancel();
    }
    if (!postPendingAttr()) {
        // The edit could not be stored: closing now would lose it unasked.
        const MsgAnswer answer =
            messageDlg(QStringLiteral("Зміни реквізитів не збережено.\r\nЗачинити програму без їх збереження?"),
                       MsgKind::Confirmation, MsgButton::Yes | MsgButton::No, 0, this);
        if (answer != MsgAnswer::Yes) {
            action = caNone;
            return;
        }
        DataModule->tblAttr->Cancel();
        DataModule->AttrModified = false;
    }
    runGuarded([this] { SaveSettings(); });
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    // After a fatal stop the program ends without FormClose: nothing is
    // posted and the settings file is not written.
    if (ProgramEndRequested()) {
        event->accept();
        return;
    }
    CloseAction action = caFree;
    FormClose(this, action);
    if (action == caNone) {
        event->ignore();
        return;
    }
    event->accept();
    emit closed();
}

void TfrmMain::actPathExecute()
{
    QString folder;
    if (!SelectDirectory(folder, this))
        return;
    folder = IncludeTrailingSlash(folder);
    if (!FileExistsNoCase(folder + QStringLiteral("attr.dbf"))) {
        const MsgAnswer answer =
            messageDlg(QStringLiteral("Робочі файли не знайдені.\r\nУтворити нові файли?"), MsgKind::Warning,
                       MsgButton::Yes | MsgButton::No | MsgButton::Cancel, 0, this);
        if (answer != MsgAnswer::Yes)
            return;
    }
    // The pending edit belongs to the old folder's ATTR.DBF. When it cannot
    // be stored, the folder is not changed, so neither the edit nor the open
    // tables are lost.
    if (!postPendingData() || !postPendingAttr())
        return;
    SetWorkPath(folder);
    // The remarks of the last check, and their record numbers, belong to the old folder.
    if (frmReport)
        frmReport->ClearReport();
    const WaitCursor wait;
    DataModule->OpenWorkTables();
}

TfrmReport* TfrmMain::ReportWindow()
{
    if (!frmReport)
        frmReport = CreateReportWindow(this, *DataModule);
    return frmReport.get();
}

void TfrmMain::actCheckExecute()
{
    emlo::actCheckExecute(*DataModule, *ReportWindow());
}

void TfrmMain::actPrintPreviewExecute()
{
    if (!emlo::CheckBeforeOutput(*DataModule, ReportWindow(), this))
        return;
    emlo::print::ShowPrintForm(DataModule->tblAttr, DataModule->tblData, this);
}

void TfrmMain::actTransferExecute()
{
    emlo::TransferCommand transfer(
        *DataModule, [this] { return emlo::CheckBeforeOutput(*DataModule, ReportWindow(), this); }, this);
    transfer.actTransferExecute();
}

void TfrmMain::actHelpExecute()
{
    HelpSystem::showContents();
}

void TfrmMain::actAboutExecute()
{
    showAboutBox(this, QStringLiteral("Emlo, вер. 1.3"),
                 QStringLiteral("Державний облік викидів промислових підприємств"), ApplicationIcon());
}

void TfrmMain::actExitExecute()
{
    close();
}

}  // namespace emlo
