// Program entry: the application, the main window, the check report window.
#include "Main.h"
#include "Screenshots.h"
#include "store/Engine.h"
#include "widgets/ErrorBox.h"
#include "widgets/MessageBox.h"

using namespace emlo;

int main(int argc, char** argv)
{
    Application app(argc, argv);
    Application::setTitle(QStringLiteral("Dazodevur"));
    app.setWindowIcon(TfrmMain::ApplicationIcon());
    // The main window's closing ends the program, whatever other windows are open.
    app.setQuitOnLastWindowClosed(false);

    TApolloEngine::setLoadFailureHandler([](const QString& message) {
        messageDlg(message, MsgKind::Error, MsgButton::Ok);
        RequestProgramEnd();
    });

    TfrmMain frmMain(TAppPaths::forExecutable(QCoreApplication::applicationFilePath()));
    QObject::connect(&frmMain, &TfrmMain::closed, &app, [] { QCoreApplication::exit(0); });

    // The check report window (hidden) is created here, after the main window:
    // frmMain.frmReport = ...;

    // After a fatal stop the event loop ends at its first turn.
    if (!ProgramEndRequested()) {
        frmMain.show();
        // Pictures for the documentation (scripts/screenshots.sh).
        const QString screenshots = qEnvironmentVariable("EMLO_SCREENSHOT_DIR");
        if (!screenshots.isEmpty())
            scheduleScreenshots(frmMain, screenshots);
    }
    return app.exec();
}
