// emlo-cli's folders: the program folder by default, a relative working
// folder, and program and working folders that cannot be written.

#include <sys/stat.h>

#include <QtTest>

#include <QDir>
#include <QProcess>

#include "check/tests/support/checkfixture.h"
#include "cli/tests/support/clitest.h"

using namespace emlo::testing;
using namespace clitest;

class TestCliFolders : public CliTest {
    Q_OBJECT

private slots:
    void programFolderDefaultsToFolderOfTheTool()
    {
        CheckFixture fx;
        QVERIFY(fx.IsValid());
        fx.Open();
        fx.WriteAttr(CheckFixture::FullAttr());
        fx.Close();
        // A copy of the tool beside the fixture's reference tables.
        const QString tool = fx.ProgramDir() + QStringLiteral("emlo-cli");
        QVERIFY(QFile::copy(QStringLiteral(EMLO_CLI_PATH), tool));
        QVERIFY(QFile::copy(QFileInfo(QStringLiteral(EMLO_CLI_PATH)).absolutePath() + QStringLiteral("/libsde50.so"),
                            fx.ProgramDir() + QStringLiteral("libsde50.so")));
        const CliRun run = runCli({QStringLiteral("check"), fx.WorkDir()}, tool);
        QCOMPARE(QString::fromUtf8(run.Err), QString());
        QCOMPARE(QString::fromUtf8(run.Out), QStringLiteral("Все гаразд\t\n"));
        QCOMPARE(run.ExitCode, 0);
    }

    void relativeWorkFolder()
    {
        CheckFixture fx;
        QVERIFY(fx.IsValid());
        fx.Open();  // the work tables, as the window makes them
        fx.Close();
        QProcess process;
        process.setWorkingDirectory(fx.WorkDir());
        process.start(QStringLiteral(EMLO_CLI_PATH),
                      {QStringLiteral("check"), QStringLiteral("."), QStringLiteral("--program-dir"), fx.ProgramDir()});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()), QString());
        QCOMPARE(process.exitCode(), 1);
    }

    // An installed program folder belongs to root and cannot be written: the
    // reference tables are only read, so check, export and print still work.
    void readOnlyProgramFolderChecksExportsAndPrints()
    {
        CheckFixture fx;
        QVERIFY(fx.IsValid());
        writeCleanCase(fx);  // opening builds cy.idx, as the installed package ships it
        const QDir program(fx.ProgramDir());
        for (const QString& file : program.entryList(QDir::Files))
            QVERIFY(::chmod(QFile::encodeName(program.filePath(file)).constData(), 0444) == 0);
        QVERIFY(::chmod(QFile::encodeName(fx.ProgramDir()).constData(), 0555) == 0);
        // The working folder belongs to the user who runs the tool.
        const QDir work(fx.WorkDir());
        for (const QString& file : work.entryList(QDir::Files))
            QVERIFY(::chmod(QFile::encodeName(work.filePath(file)).constData(), 0666) == 0);
        QVERIFY(::chmod(QFile::encodeName(fx.WorkDir()).constData(), 0777) == 0);
        const auto restore = qScopeGuard([&] { ::chmod(QFile::encodeName(fx.ProgramDir()).constData(), 0755); });

        const QString programOption = QStringLiteral("--program-dir=") + fx.ProgramDir();
        CliRun run = runCli({QStringLiteral("check"), fx.WorkDir(), programOption}, QStringLiteral(EMLO_CLI_PATH),
                            RunAs::Unprivileged);
        QCOMPARE(QString::fromUtf8(run.Err), QString());
        QCOMPARE(QString::fromUtf8(run.Out), QStringLiteral("Все гаразд\t\n"));
        QCOMPARE(run.ExitCode, 0);

        const QString out = fx.WorkDir() + QStringLiteral("out");
        run = runCli({QStringLiteral("export"), fx.WorkDir(), out, programOption}, QStringLiteral(EMLO_CLI_PATH),
                     RunAs::Unprivileged);
        QCOMPARE(QString::fromUtf8(run.Err), QString());
        QCOMPARE(run.ExitCode, 0);
        QVERIFY(QFile::exists(out + QStringLiteral("/data.xml")));

        const QString pdf = fx.WorkDir() + QStringLiteral("form.pdf");
        run = runCli({QStringLiteral("print"), fx.WorkDir(), pdf, programOption}, QStringLiteral(EMLO_CLI_PATH),
                     RunAs::Unprivileged);
        QCOMPARE(QString::fromUtf8(run.Err), QString());
        QCOMPARE(run.ExitCode, 0);
        QVERIFY(readFile(pdf).startsWith("%PDF"));
    }

    // A working folder that cannot be written (a read-only share, an archive
    // copy): the tables are only read; check, print and export run while the
    // totals are up to date, and a due total says the folder is read-only.
    void readOnlyWorkingFolder()
    {
        CheckFixture fx;
        QVERIFY(fx.IsValid());
        fx.Open();
        fx.WriteAttr(CheckFixture::FullAttr());
        fx.AddData(1, 1.5, 0.25);
        fx.AddData(132, 1.5, 0.25);  // its total, already right
        fx.Close();
        QTemporaryDir outFolder;
        QVERIFY(::chmod(QFile::encodeName(outFolder.path()).constData(), 0777) == 0);
        QVERIFY(::chmod(QFile::encodeName(fx.ProgramDir()).constData(), 0755) == 0);
        const QDir work(fx.WorkDir());
        for (const QString& name : work.entryList(QDir::Files))
            QVERIFY(::chmod(QFile::encodeName(work.filePath(name)).constData(), 0444) == 0);
        QVERIFY(::chmod(QFile::encodeName(fx.WorkDir()).constData(), 0555) == 0);
        const auto restore = qScopeGuard([&] { ::chmod(QFile::encodeName(fx.WorkDir()).constData(), 0755); });
        const QString programOption = QStringLiteral("--program-dir=") + fx.ProgramDir();
        const auto cli = [&](const QStringList& arguments) {
            return runCli(arguments, QStringLiteral(EMLO_CLI_PATH), RunAs::Unprivileged);
        };

        CliRun run = cli({QStringLiteral("check"), fx.WorkDir(), programOption});
        QCOMPARE(QString::fromUtf8(run.Err), QString());
        QCOMPARE(QString::fromUtf8(run.Out), QStringLiteral("Все гаразд\t\n"));
        QCOMPARE(run.ExitCode, 0);
        run = cli({QStringLiteral("export"), fx.WorkDir(), outFolder.path(), programOption});
        QCOMPARE(QString::fromUtf8(run.Err), QString());
        QCOMPARE(run.ExitCode, 0);
        QVERIFY(QFile::exists(outFolder.path() + QStringLiteral("/data.xml")));
        run =
            cli({QStringLiteral("print"), fx.WorkDir(), outFolder.path() + QStringLiteral("/form.pdf"), programOption});
        QCOMPARE(QString::fromUtf8(run.Err), QString());
        QCOMPARE(run.ExitCode, 0);

        // A total that is due cannot be stored: the folder is named as read-only.
        ::chmod(QFile::encodeName(fx.WorkDir()).constData(), 0755);
        for (const QString& name : work.entryList(QDir::Files))
            ::chmod(QFile::encodeName(work.filePath(name)).constData(), 0644);
        fx.Open();
        fx.SetAmounts(1, 2.5, 0.25);
        fx.Close();
        for (const QString& name : work.entryList(QDir::Files))
            ::chmod(QFile::encodeName(work.filePath(name)).constData(), 0444);
        ::chmod(QFile::encodeName(fx.WorkDir()).constData(), 0555);
        run = cli({QStringLiteral("check"), fx.WorkDir(), programOption});
        QCOMPARE(run.ExitCode, 2);
        QCOMPARE(
            QString::fromUtf8(run.Err),
            QStringLiteral("Робоча папка доступна лише для читання, зміни не можна зберегти: %1\n").arg(fx.WorkDir()));
    }
};

QTEST_GUILESS_MAIN(TestCliFolders)
#include "tst_clifolders.moc"
