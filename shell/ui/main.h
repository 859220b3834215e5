#pragma once

#include <functional>
#include <memory>

#include <QList>
#include <QMainWindow>

#include "shell/apppaths.h"
#include "store/datamodule.h"

class QAction;
class QGroupBox;
class QTabWidget;
class QToolBar;

namespace emlo {

class OutlookBar;
class TfrmReport;

// How the window is asked to close: caNone keeps it open.
enum CloseAction { caNone, caHide, caFree, caMinimize };

// The main window: the frame of the program (tool bar with the commands, the
// navigation bar, the page control with the three data pages), the settings
// file that remembers the working folder, the working-folder command, closing.
// It owns the data module with the eight tables; the pages, the check, print
// and export commands are filled in by their own parts of the program.
class TfrmMain : public QMainWindow, public DataModuleReporter {
    Q_OBJECT
public:
    // Builds the window and runs FormCreate: settings, help file, tables.
    explicit TfrmMain(const AppPaths& paths, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // ---- state ----
    TDataModule* DataModule = nullptr;  // owned
    // The check report window: made hidden when a command first needs it
    // (ReportWindow()); null until then.
    std::unique_ptr<TfrmReport> frmReport;
    // The report window, made on first use: it stays hidden until a check
    // shows it, so the first frame does not wait for it.
    TfrmReport* ReportWindow();
    const AppPaths& Paths() const { return m_paths; }
    // The working folder, always with a trailing "/".
    QString WorkPath() const { return DataModule->WorkPath; }
    bool AttrModified() const { return DataModule->AttrModified; }

    // ---- components ----
    QToolBar* ToolBar = nullptr;
    OutlookBar* Outlook = nullptr;
    QTabWidget* pc = nullptr;
    QWidget* tsAttr = nullptr;
    QWidget* tsCodes = nullptr;
    QWidget* tsData = nullptr;
    QGroupBox* gbAttr = nullptr;  // the page containers; the pages fill them
    QGroupBox* gbCode = nullptr;
    QGroupBox* gbData = nullptr;
    QList<QIcon> ImageList;  // the eight tool-bar images, by index
    QAction* actPath = nullptr;
    QAction* actCheck = nullptr;
    QAction* actPrintPreview = nullptr;
    QAction* actTransfer = nullptr;
    QAction* actHelp = nullptr;
    QAction* actAbout = nullptr;
    QAction* actExit = nullptr;

    // ---- procedures ----
    void FormCreate(QObject* sender);
    void FormClose(QObject* sender, CloseAction& action);
    void LoadSettings();
    void SaveSettings();
    // Makes `folder` the working folder (stored as given: callers supply the
    // trailing "/") and names it in the hint of "Робоча папка".
    void SetWorkPath(const QString& folder);
    void OutlookItemClick(QObject* sender, const QString& text);

    // DataModuleReporter: the data module's failures as message boxes.
    void ShowError(const QString& text, int helpTopic) override;
    void FatalStop() override;

    // The application's icon.
    static QIcon ApplicationIcon();

signals:
    // The window has closed through FormClose: the program is to end.
    void closed();

public slots:
    void actPathExecute();
    void actCheckExecute();
    void actPrintPreviewExecute();
    void actTransferExecute();
    void actHelpExecute();
    void actAboutExecute();
    void actExitExecute();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildActions();
    void buildToolBar();
    void buildOutlook();
    void buildPages();
    void placeEmissionsNavigators();
    bool postPendingAttr();
    bool postPendingData();
    void showPageOnly(QWidget* page);

    AppPaths m_paths;
    // A relative Path of the settings file as it was written, and the folder
    // it named at start-up: written back unchanged while that folder is the
    // working folder.
    QString m_relativeSetting;
    QString m_relativeSettingFolder;
};

// "Подальша робота програми неможлива." and a request to end the program.
// The request does not interrupt the running code: the program ends when
// control returns to the event loop, without FormClose.
void FatalStop();

// Requests the end of the program without a message (FatalStop's second half).
void RequestProgramEnd();
// Whether the end of the program has been requested.
bool ProgramEndRequested();
// Who carries out the request; by default a queued exit of the event loop.
// Tests install their own and reset the request between cases.
void SetProgramEndHandler(std::function<void()> handler);
void ResetProgramEndRequest();

// Makes a failed load of the engine library one error box followed by the
// end of the program.
void InstallEngineLoadFailureHandler();

}  // namespace emlo
