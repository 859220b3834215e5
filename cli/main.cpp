#include <cstdio>
#include <memory>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>

#include "clicommands.h"
#include "shell/AppPaths.h"

// stderr carries only the commands' own errors; the toolkit's notes (e.g. on
// XDG_RUNTIME_DIR under the offscreen platform) would read as failures to scripts.
static void quietToolkit(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", message.toUtf8().constData());
}

int main(int argc, char** argv)
{
    qInstallMessageHandler(quietToolkit);
    // The print form needs fonts, which only a GUI application has; it runs
    // on the offscreen platform so that no display is needed.
    const bool needsFonts = argc > 1 && QByteArray(argv[1]) == "print";
    std::unique_ptr<QCoreApplication> app;
    if (needsFonts) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    // Installed, the reference tables lie in share/emlo, not beside the tool.
    const QString tables = TAppPaths::forExecutable(QCoreApplication::applicationFilePath()).tablesFolder();
    return emlo::cli::RunCommandLine(arguments, tables, out, err);
}
