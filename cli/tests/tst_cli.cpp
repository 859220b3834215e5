// emlo-cli run as a process on program and working folders made for each case.
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtTest>

#include <memory>
#include <vector>

#include <QDir>
#include <QProcess>

#include "check/tests/support/checkfixture.h"

using namespace emlo::testing;

namespace {

struct CliRun {
    int ExitCode = -1;
    QByteArray Out;
    QByteArray Err;
};

// Who runs the tool: the test's own user, or, when the tests run as root (for
// whom file permissions do not apply), the unprivileged user "nobody".
enum class RunAs { Self, Unprivileged };

CliRun runCli(const QStringList& arguments, const QString& program = QStringLiteral(EMLO_CLI_PATH),
              RunAs user = RunAs::Self, const QString& locale = QStringLiteral("C.UTF-8"),
              rlim_t fileSizeLimit = RLIM_INFINITY)
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

QStringList dataLines(CheckFixture& fx)
{
    fx.Open();
    QStringList lines;
    for (const DataRow& row : fx.DataRows())
        lines << RowText(row);
    fx.Close();
    return lines;
}

bool hasFileIgnoringCase(const QString& folder, const QString& name)
{
    for (const QString& entry : QDir(folder).entryList(QDir::Files)) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

}  // namespace

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    // One folder per case: the input tables as text, the expected output and
    // the emission records expected afterwards.
    void goldenCases_data()
    {
        QTest::addColumn<QString>("folder");
        const QDir golden(QStringLiteral(EMLO_CLI_GOLDEN_DIR));
        for (const QString& name : golden.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
            QTest::newRow(qPrintable(name)) << golden.filePath(name);
    }

    void goldenCases()
    {
        QFETCH(QString, folder);
        CheckFixture fx;
        QVERIFY(fx.IsValid());
        fx.Open();
        fx.LoadCase(folder);
        fx.Close();

        const CliRun run =
            runCli({QStringLiteral("check"), fx.WorkDir(), QStringLiteral("--program-dir"), fx.ProgramDir()});
        const QByteArray expected = readFile(folder + QStringLiteral("/expected.txt"));
        QCOMPARE(QString::fromUtf8(run.Err), QString());
        QCOMPARE(QString::fromUtf8(run.Out), QString::fromUtf8(expected));
        QCOMPARE(run.ExitCode, expected == "Все гаразд\t\n" ? 0 : 1);

        const QString expectedData = QString::fromUtf8(readFile(folder + QStringLiteral("/expected_data.txt")));
        if (!expectedData.isEmpty())
            QCOMPARE(dataLines(fx), expectedData.split(QLatin1Char('\n'), Qt::SkipEmptyParts));
    }

    // A folder without work tables (never opened in the window, or a table
    // gone missing) is an error: nothing is created, nothing exported.
    void missingWorkTablesAreAnError()
    {
        CheckFixture fx;
        QVERIFY(fx.IsValid());
        CliRun run =
            runCli({QStringLiteral("check"), fx.WorkDir(), QStringLiteral("--program-dir=") + fx.ProgramDir()});
        QCOMPARE(run.ExitCode, 2);
        QCOMPARE(QString::fromUtf8(run.Out), QString());
        QCOMPARE(QString::fromUtf8(run.Err),
                 QStringLiteral("Помилка відкриття робочіх таблиць:\nУ робочій папці %1 немає "
                                "робочих таблиць: DATA.DBF, ATTR.DBF\nПодальша робота "
                                "програми неможлива.\n")
                     .arg(fx.WorkDir()));
        QCOMPARE(QDir(fx.WorkDir()).entryList(QDir::Files), QStringList());

        // DATA.DBF lost beside an existing ATTR.DBF: no empty submission.
        fx.Open();
        fx.WriteAttr(CheckFixture::FullAttr());
        fx.AddData(1, 1.5, 0.25);
        fx.Close();
        for (const QString& name : QDir(fx.WorkDir()).entryList(QDir::Files)) {
            if (name.startsWith(QLatin1String("data"), Qt::CaseInsensitive))
                QVERIFY(QFile::remove(fx.WorkDir() + name));
        }
        const QString out = fx.WorkDir() + QStringLiteral("out");
        run = runCli({QStringLiteral("export"), fx.WorkDir(), out, QStringLiteral("--program-dir=") + fx.ProgramDir()});
        QCOMPARE(run.ExitCode, 2);
        QVERIFY2(QString::fromUtf8(run.Err).contains(QStringLiteral("немає робочих таблиць: DATA.DBF\n")),
                 run.Err.constData());
        QVERIFY(!hasFileIgnoringCase(fx.WorkDir(), QStringLiteral("data.dbf")));
        QVERIFY(!QFile::exists(out + QStringLiteral("/data.xml")));
    }

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

    void errors_data()
    {
        QTest::addColumn<QStringList>("arguments");  // "%work" and "%program" are replaced
        QTest::addColumn<QString>("removeFromProgram");
        QTest::addColumn<QString>("stderrHolds");

        QTest::newRow("missing working folder") << QStringList{"check", "%work/нема", "--program-dir", "%program"}
                                                << QString() << "Робоча папка не знайдена: ";
        QTest::newRow("missing program folder") << QStringList{"check", "%work", "--program-dir", "%program/нема"}
                                                << QString() << "Папка програми не знайдена: ";
        QTest::newRow("missing reference table")
            << QStringList{"check", "%work", "--program-dir", "%program"} << "ow.dbf"
            << "Помилка відкриття робочих таблиць:\nнеможливо відкрити довідник форм власності\n"
               "Подальша робота програми неможлива.\n";
        QTest::newRow("unknown command") << QStringList{"verify", "%work"} << QString() << "Невідома команда: verify";
        QTest::newRow("working folder not given")
            << QStringList{"check"} << QString() << "Використання: emlo-cli check";
        QTest::newRow("two working folders")
            << QStringList{"check", "%work", "%work"} << QString() << "Використання: emlo-cli check";
        QTest::newRow("unknown option") << QStringList{"check", "%work", "--fast"} << QString()
                                        << "Невідомий параметр: --fast";
        QTest::newRow("option without its folder")
            << QStringList{"check", "%work", "--program-dir"} << QString() << "Не вказана папка після --program-dir";
        QTest::newRow("no command") << QStringList() << QString() << "Використання: emlo-cli";
        QTest::newRow("separator that is neither comma nor point")
            << QStringList{"export", "%work", "%work/out", "--decimal-separator", ";"} << QString()
            << "Десятковий роздільник має бути \",\" або \".\"";
        QTest::newRow("separator for a command without numbers in text")
            << QStringList{"--decimal-separator=,", "check", "%work"} << QString()
            << "Параметр --decimal-separator діє лише в команді export";
        QTest::newRow("separator option without its sign")
            << QStringList{"export", "%work", "%work/out", "--decimal-separator"} << QString()
            << "Не вказаний знак після --decimal-separator";
    }

    void errors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, removeFromProgram);
        QFETCH(QString, stderrHolds);
        CheckFixture fx;
        QVERIFY(fx.IsValid());
        if (!removeFromProgram.isEmpty())
            QVERIFY(QFile::remove(fx.ProgramDir() + removeFromProgram));
        for (QString& argument : arguments) {
            argument.replace(QStringLiteral("%work/"), fx.WorkDir());
            argument.replace(QStringLiteral("%work"), fx.WorkDir());
            argument.replace(QStringLiteral("%program/"), fx.ProgramDir());
            argument.replace(QStringLiteral("%program"), fx.ProgramDir());
        }
        const CliRun run = runCli(arguments);
        QCOMPARE(run.ExitCode, 2);
        QCOMPARE(QString::fromUtf8(run.Out), QString());
        QVERIFY2(QString::fromUtf8(run.Err).contains(stderrHolds), run.Err.constData());
    }

    // The print command writes the form only after a check without remarks.
    void printWritesTheFormAsPdf()
    {
        CheckFixture fx;
        QVERIFY(fx.IsValid());
        fx.Open();
        fx.WriteAttr(CheckFixture::FullAttr());
        fx.AddData(1, 1.5, 0.25);
        fx.Close();
        const QString pdf = fx.WorkDir() + QStringLiteral("out/form.pdf");
        QVERIFY(QDir().mkpath(fx.WorkDir() + QStringLiteral("out")));
        const CliRun run =
            runCli({QStringLiteral("print"), fx.WorkDir(), pdf, QStringLiteral("--program-dir"), fx.ProgramDir()});
        QCOMPARE(QString::fromUtf8(run.Err), QString());
        QCOMPARE(run.ExitCode, 0);
        QVERIFY(readFile(pdf).startsWith("%PDF"));

        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(),
                 "pdftotext is missing; scripts/install-deps.sh installs poppler-utils");
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(30000));
        const QString content = QString::fromUtf8(text.readAllStandardOutput());
        for (const QString& expected :
             {QStringLiteral("ЗАГАЛЬНІ ВІДОМОСТІ"), QStringLiteral("05393056"),
              QStringLiteral("Коваленко Іван Петрович"), QStringLiteral("1,500"), QStringLiteral("0,250")})
            QVERIFY2(content.contains(expected), qPrintable(expected + QStringLiteral(" missing in:\n") + content));
    }

    void printWithRemarksWritesNothing()
    {
        CheckFixture fx;
        QVERIFY(fx.IsValid());
        fx.Open();  // empty work tables: every attribute is missing
        fx.Close();
        const QString pdf = fx.WorkDir() + QStringLiteral("form.pdf");
        const CliRun run =
            runCli({QStringLiteral("print"), fx.WorkDir(), pdf, QStringLiteral("--program-dir"), fx.ProgramDir()});
        QCOMPARE(run.ExitCode, 1);
        QVERIFY(QString::fromUtf8(run.Out).startsWith(QStringLiteral("Не вказана назва підприємства\tРеквізити\n")));
        QCOMPARE(QString::fromUtf8(run.Err),
                 QStringLiteral("Помилка при перевірці данних.\nНажаль вигрузка не можлива.\n"));
        QVERIFY(!QFile::exists(pdf));
    }

    // An installed program folder belongs to root and cannot be written: the
    // reference tables are only read, so check, export and print still work.
    void readOnlyProgramFolderChecksExportsAndPrints()
    {
        CheckFixture fx;
        QVERIFY(fx.IsValid());
        fx.Open();  // builds cy.idx, as the installed package ships it
        fx.WriteAttr(CheckFixture::FullAttr());
        fx.AddData(1, 1.5, 0.25);
        fx.Close();
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

    // Options may stand before the command; the print command then still
    // gets the GUI application its layout needs.
    void optionsBeforeTheCommand_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("print") << QStringLiteral("print");
        QTest::newRow("export") << QStringLiteral("export");
    }

    void optionsBeforeTheCommand()
    {
        QFETCH(QString, command);
        CheckFixture fx;
        QVERIFY(fx.IsValid());
        fx.Open();
        fx.WriteAttr(CheckFixture::FullAttr());
        fx.AddData(1, 1.5, 0.25);
        fx.Close();
        const QString target =
            fx.WorkDir() + (command == QLatin1String("print") ? QStringLiteral("form.pdf") : QStringLiteral("out"));
        const CliRun run = runCli({QStringLiteral("--program-dir"), fx.ProgramDir(), command, fx.WorkDir(), target});
        QCOMPARE(QString::fromUtf8(run.Err), QString());
        QCOMPARE(run.ExitCode, 0);
        if (command == QLatin1String("print"))
            QVERIFY(readFile(target).startsWith("%PDF"));
        else
            QVERIFY(readFile(target + QStringLiteral("/data.xml")).startsWith("<?xml"));
    }

    // A command line that is refused is refused before any table is opened:
    // the check would otherwise already have rewritten the group totals.
    void refusedCommandLineLeavesTheTablesAlone_data()
    {
        QTest::addColumn<QStringList>("arguments");  // "%work", "%program" replaced
        QTest::newRow("separator for print")
            << QStringList{"--decimal-separator", ".", "print", "%work", "%work/form.pdf", "--program-dir", "%program"};
        QTest::newRow("bad separator after the folders")
            << QStringList{"export", "%work", "%work/out", "--program-dir", "%program", "--decimal-separator=;"};
        QTest::newRow("unknown option at the end")
            << QStringList{"--program-dir", "%program", "print", "%work", "%work/form.pdf", "--landscape"};
        QTest::newRow("one argument too many") << QStringList{"--program-dir", "%program", "check", "%work", "%work"};
    }

    void refusedCommandLineLeavesTheTablesAlone()
    {
        QFETCH(QStringList, arguments);
        CheckFixture fx;
        QVERIFY(fx.IsValid());
        fx.Open();
        fx.LoadCase(QStringLiteral(EMLO_CLI_GOLDEN_DIR) + QStringLiteral("/all_clear_with_totals"));
        fx.Close();
        const QStringList before = dataLines(fx);
        for (QString& argument : arguments) {
            argument.replace(QStringLiteral("%work"), fx.WorkDir());
            argument.replace(QStringLiteral("%program"), fx.ProgramDir());
        }
        const CliRun run = runCli(arguments);
        QCOMPARE(run.ExitCode, 2);
        QCOMPARE(QString::fromUtf8(run.Out), QString());
        QCOMPARE(dataLines(fx), before);
        QVERIFY(!QFile::exists(fx.WorkDir() + QStringLiteral("form.pdf")));
        QVERIFY(!QFile::exists(fx.WorkDir() + QStringLiteral("out")));
    }

    // Numbers in the XML follow the system's decimal separator unless the
    // command line names one.
    void exportDecimalSeparator_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("poten");
        QTest::newRow("system with point") << "C.UTF-8" << QStringList() << QByteArray("POTEN=\"1.500\"");
        QTest::newRow("system with comma") << "uk_UA.UTF-8" << QStringList() << QByteArray("POTEN=\"1,500\"");
        QTest::newRow("comma asked on a point system")
            << "C.UTF-8" << QStringList{"--decimal-separator", ","} << QByteArray("POTEN=\"1,500\"");
        QTest::newRow("point asked on a comma system")
            << "uk_UA.UTF-8" << QStringList{"--decimal-separator=."} << QByteArray("POTEN=\"1.500\"");
    }

    void exportDecimalSeparator()
    {
        QFETCH(QString, locale);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, poten);
        CheckFixture fx;
        QVERIFY(fx.IsValid());
        fx.Open();
        fx.WriteAttr(CheckFixture::FullAttr());
        fx.AddData(1, 1.5, 0.25);
        fx.Close();
        const QString out = fx.WorkDir() + QStringLiteral("out");
        const CliRun run = runCli(options
                                      + QStringList{QStringLiteral("export"), fx.WorkDir(), out,
                                                    QStringLiteral("--program-dir"), fx.ProgramDir()},
                                  QStringLiteral(EMLO_CLI_PATH), RunAs::Self, locale);
        QCOMPARE(QString::fromUtf8(run.Err), QString());
        QCOMPARE(run.ExitCode, 0);
        const QByteArray data = readFile(out + QStringLiteral("/data.xml"));
        QVERIFY2(data.contains(poten), data.constData());
    }

    // Two to four checks at once on one folder (two windows, a window and
    // scheduled runs): each group total is stored once, no half-made record
    // is seen, and the next check is clean.
    void concurrentChecksKeepEachTotalOnce()
    {
        CheckFixture fx;
        QVERIFY(fx.IsValid());
        fx.Open();
        fx.WriteAttr(CheckFixture::FullAttr());
        // Members of all seven groups.
        for (int id : {1, 2, 12, 19, 21, 30, 35, 41, 96})
            fx.AddData(id, id * 0.5, 1.0);
        fx.Close();
        const QStringList check = {QStringLiteral("check"), fx.WorkDir(),
                                   QStringLiteral("--program-dir=") + fx.ProgramDir()};
        constexpr int kRounds = 6;
        for (int round = 0; round < kRounds; ++round) {
            // Every round the totals are missing again, so every check races
            // to add them; the amounts change so that they are due anyway.
            fx.Open();
            for (const DataRow& row : fx.DataRows()) {
                const int id = row.ContId.toInt();
                if (QList<int>{18, 34, 40, 95, 132, 133, 135}.contains(id))
                    fx.DeleteData(row.RecNo);
                else
                    fx.SetAmounts(row.RecNo, id * 0.5 + round, 1.0);
            }
            fx.Close();
            const int processes = 2 + round % 3;
            std::vector<std::unique_ptr<QProcess>> running;
            for (int i = 0; i < processes; ++i) {
                auto process = std::make_unique<QProcess>();
                process->start(QStringLiteral(EMLO_CLI_PATH), check);
                running.push_back(std::move(process));
            }
            for (auto& process : running) {
                QVERIFY(process->waitForFinished(60000));
                QCOMPARE(QString::fromUtf8(process->readAllStandardError()), QString());
                QCOMPARE(QString::fromUtf8(process->readAllStandardOutput()), QStringLiteral("Все гаразд\t\n"));
                QCOMPARE(process->exitCode(), 0);
            }
            fx.Open();
            QMap<int, int> seen;
            for (const DataRow& row : fx.DataRows()) {
                QVERIFY2(!row.ContId.isNull() && !row.Poten.isNull() && !row.Fact.isNull(), qPrintable(RowText(row)));
                ++seen[row.ContId.toInt()];
            }
            fx.Close();
            for (auto it = seen.cbegin(); it != seen.cend(); ++it)
                QVERIFY2(it.value() == 1,
                         qPrintable(QStringLiteral("round %1: pollutant %2 stored %3 times")
                                        .arg(round)
                                        .arg(it.key())
                                        .arg(it.value())));
            QCOMPARE(seen.size(), 9 + 7);
            const CliRun next = runCli(check);
            QCOMPARE(QString::fromUtf8(next.Out), QStringLiteral("Все гаразд\t\n"));
            QCOMPARE(next.ExitCode, 0);
        }
    }

    // A full disk during a check: the totals (or their index) cannot be
    // written, and the user hears so instead of "Все гаразд" and exit 0.
    void fullDiskDuringCheckIsReported_data()
    {
        QTest::addColumn<QString>("file");  // the file whose growth fails
        QTest::newRow("the table cannot grow") << "data.dbf";
        QTest::newRow("the index cannot be rewritten") << "data.idx";
    }

    void fullDiskDuringCheckIsReported()
    {
        QFETCH(QString, file);
        CheckFixture fx;
        QVERIFY(fx.IsValid());
        fx.Open();
        fx.WriteAttr(CheckFixture::FullAttr());
        for (int id : {1, 12, 21, 30, 35, 41, 96})
            fx.AddData(id, 1.5, 0.5);
        fx.Close();
        const QString dbf = fx.WorkDir() + QStringLiteral("data.dbf");
        const QString idx = fx.WorkDir() + QStringLiteral("data.idx");
        const qint64 tableSize = QFileInfo(dbf).size();
        const qint64 indexSize = QFileInfo(idx).size();
        // The seven totals add seven records: past the table's end, or, with
        // a limit just above the table, past what a rewritten index needs.
        const rlim_t limit = file == u"data.dbf" ? rlim_t(tableSize - 1) : rlim_t(tableSize + 7 * 42 + 64);
        QVERIFY(file == u"data.dbf" || qint64(limit) < indexSize + 7 * 16);
        const QByteArray before = readFile(dbf);
        const CliRun run =
            runCli({QStringLiteral("check"), fx.WorkDir(), QStringLiteral("--program-dir=") + fx.ProgramDir()},
                   QStringLiteral(EMLO_CLI_PATH), RunAs::Self, QStringLiteral("C.UTF-8"), limit);
        QCOMPARE(run.ExitCode, 2);
        QCOMPARE(QString::fromUtf8(run.Out), QString());
        // The engine tells a full disk (the table) from a failed rewrite (the index).
        const QString err = QString::fromUtf8(run.Err);
        QVERIFY2(
            err.contains(QStringLiteral("Недостатньо місця на диску для запису файлу: "))
                || (file == u"data.idx" && err.contains(QStringLiteral("Помилка читання або запису на диску, файл: "))),
            run.Err.constData());
        if (file == u"data.dbf")
            QCOMPARE(readFile(dbf), before);
        // With room again the next check stores the totals and is clean.
        const CliRun next =
            runCli({QStringLiteral("check"), fx.WorkDir(), QStringLiteral("--program-dir=") + fx.ProgramDir()});
        QCOMPARE(QString::fromUtf8(next.Err), QString());
        QCOMPARE(next.ExitCode, 0);
        QCOMPARE(dataLines(fx).size(), 7 + 7);
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

    void helpInUkrainian()
    {
        for (const QString& option : {QStringLiteral("--help"), QStringLiteral("-h")}) {
            const CliRun run = runCli({option});
            QCOMPARE(run.ExitCode, 0);
            const QString text = QString::fromUtf8(run.Out);
            QVERIFY(text.contains(QStringLiteral("Використання: emlo-cli КОМАНДА")));
            QVERIFY(text.contains(QStringLiteral("  check РОБОЧА_ПАПКА [--program-dir ПАПКА]")));
            QVERIFY(text.contains(QStringLiteral("  print РОБОЧА_ПАПКА ФАЙЛ.pdf [--program-dir ПАПКА]")));
            QVERIFY(text.contains(QStringLiteral("0 — зауважень немає, 1 — є зауваження, 2 — помилка")));
            QVERIFY(run.Err.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
