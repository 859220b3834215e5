#include <cstdio>
#include <memory>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>

#include "clicommands.h"
#include "shell/apppaths.h"

using namespace emlo;

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
    // The command line is parsed before the application exists: the command,
    // wherever its options stand, decides which kind of application it needs.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const emlo::cli::CliRequest request = emlo::cli::ParseCommandLine(arguments, QString());

    // The print form needs fonts, which only a GUI application has; it runs
    // on the offscreen platform so that no display is needed.
    const bool needsFonts = request.Kind == emlo::cli::CliRequest::RunCommand && request.Command->NeedsFonts;
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
    emlo::cli::CliRequest run = request;
    // Installed, the reference tables lie in share/emlo, not beside the tool.
    if (run.ProgramDir.isEmpty())
        run.ProgramDir = AppPaths::forExecutable(QCoreApplication::applicationFilePath()).tablesFolder();
    return emlo::cli::RunRequest(run, out, err);
}
