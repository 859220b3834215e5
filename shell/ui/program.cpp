// The program entry: the application and the main window.
#include "program.h"

#include <QScopeGuard>
#include <QStyleFactory>

#include "fontwarmup.h"
#include "main.h"
#include "signalclose.h"
#include "entry/ui/pagefont.h"
#include "widgets/errorbox.h"
#include "widgets/programstyle.h"
#include "widgets/qttranslations.h"

namespace emlo {

int RunProgram(int& argc, char** argv, const ProgramOptions& options)
{
    FontWarmUp fonts;
    Application app(argc, argv);
    // The warm-up uses the application: it ends before the application does.
    const auto fontsFinished = qScopeGuard([&fonts] { fonts.finish(); });
    // The style the toolkit chose (the desktop's, or the one asked for),
    // drawing Fusion's pictures without the image plugins.
    QApplication::setStyle(new ProgramStyle(QStyleFactory::create(QApplication::style()->name())));
    fonts.applicationReady({QApplication::font(), PageFont(QApplication::font())});
    installQtTranslations(app);
    Application::setTitle(QStringLiteral("Dazodevur"));
    app.setWindowIcon(TfrmMain::ApplicationIcon());
    // The main window's closing ends the program, whatever other windows are open.
    app.setQuitOnLastWindowClosed(false);

    InstallEngineLoadFailureHandler();

    QGuiApplication::setDesktopFileName(QStringLiteral("ua.emlo.Emlo"));
    const QString programFile =
        options.programFile.isEmpty() ? QCoreApplication::applicationFilePath() : options.programFile;
    const AppPaths paths = AppPaths::forExecutable(programFile);
    paths.prepareUserFolders();
    // The window measures text from its first widgets on.
    fonts.waitForFontList();
    TfrmMain frmMain(paths);
    QObject::connect(&frmMain, &TfrmMain::closed, &app, [] { QCoreApplication::exit(0); });

    // After a fatal stop the event loop ends at its first turn.
    if (!ProgramEndRequested()) {
        closeOnTerminationSignals(&frmMain);
        frmMain.show();
        if (options.shown)
            options.shown(frmMain);
    }
    return app.exec();
}

}  // namespace emlo
