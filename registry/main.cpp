#include <cstdio>

#include <unistd.h>

#include <QCoreApplication>
#include <QTextStream>

#include "registry/registrycli.h"
#include "shell/apppaths.h"

using namespace emlo;

// stderr carries the program's own texts only; the toolkit's notes would read
// as failures to the scripts that run imports.
static void quietToolkit(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", message.toUtf8().constData());
}

int main(int argc, char** argv)
{
    qInstallMessageHandler(quietToolkit);
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    // Portable, the classifier files lie beside the program; installed, in share/emlo.
    const QString refdata =
        AppPaths::forExecutable(QCoreApplication::applicationFilePath()).tablesFolder() + QStringLiteral("refdata");
    emlo::registry::RegistryIo io{out, err, refdata, isatty(STDERR_FILENO) == 1};
    const int status = emlo::registry::RunRegistry(arguments, io);
    out.flush();
    err.flush();
    return status;
}
