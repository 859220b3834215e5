// Program entry: the application, the main window, the check report window.
#include "Main.h"
#include "check/ui/report.h"
#include "Screenshots.h"
#include "SignalClose.h"
#include "store/Engine.h"
#include "widgets/ErrorBox.h"
#include "widgets/MessageBox.h"
#include "widgets/QtTranslations.h"

using namespace emlo;

int main(int argc, char** argv)
{
    Application app(argc, argv);
    installQtTranslations(app);
    Application::setTitle(QStringLiteral("Dazodevur"));
    app.setWindowIcon(TfrmMain::ApplicationIcon());
    // The main window's closing ends the program, whatever other windows are open.
    app.setQuitOnLastWindowClosed(false);

    InstallEngineLoadFailureHandler();

    QGuiApplication::setDesktopFileName(QStringLiteral("ua.emlo.Emlo"));
    const TAppPaths paths = TAppPaths::forExecutable(QCoreApplication::applicationFilePath());
    paths.prepareUserFolders();
    TfrmMain frmMain(paths);
    QObject::connect(&frmMain, &TfrmMain::closed, &app, [] { QCoreApplication::exit(0); });

    // The check report window, created hidden after the main window.
    const std::unique_ptr<TfrmReport> frmReport = CreateReportWindow(&frmMain, *frmMain.DataModule);
    frmMain.frmReport = frmReport.get();

    // After a fatal stop the event loop ends at its first turn.
    if (!ProgramEndRequested()) {
        closeOnTerminationSignals(&frmMain);
        frmMain.show();
        // Pictures for the documentation (scripts/screenshots.sh).
        const QString screenshots = qEnvironmentVariable("EMLO_SCREENSHOT_DIR");
        if (!screenshots.isEmpty())
            scheduleScreenshots(frmMain, screenshots);
    }
    return app.exec();
}
