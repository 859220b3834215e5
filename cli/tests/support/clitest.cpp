#include "clitest.h"

#include <grp.h>
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QProcessEnvironment>

using namespace emlo::testing;

namespace clitest {

CliRun runCli(const QStringList& arguments, const QString& program, RunAs user, const QString& locale,
              rlim_t fileSizeLimit)
{
    QProcess process;
    if (fileSizeLimit != RLIM_INFINITY) {
        // Writes at or past the limit fail as on a full disk (EFBIG).
        process.setChildProcessModifier([fileSizeLimit] {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = fileSizeLimit;
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                _exit(127);
        });
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), locale);
    if (user == RunAs::Unprivileged) {
        env.insert(QStringLiteral("HOME"), QDir::tempPath());
        process.setChildProcessModifier([] {
            if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
                _exit(127);
        });
    }
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    CliRun run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.ExitCode = process.exitCode();
    run.Out = process.readAllStandardOutput();
    run.Err = process.readAllStandardError();
    return run;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeCleanCase(CheckFixture& fx)
{
    fx.Open();
    fx.WriteAttr(CheckFixture::FullAttr());
    fx.AddData(1, 1.5, 0.25);
    fx.Close();
}

QStringList dataLines(CheckFixture& fx)
{
    fx.Open();
    QStringList lines;
    for (const DataRow& row : fx.DataRows())
        lines << RowText(row);
    fx.Close();
    return lines;
}

void CliTest::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

}  // namespace clitest
