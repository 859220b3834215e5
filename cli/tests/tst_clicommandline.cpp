// emlo-cli's command line: the errors it reports, options before the
// command, a refused line that leaves the tables alone, and the help.

#include <QtTest>

#include <QDir>
#include <QProcess>

#include "check/tests/support/checkfixture.h"
#include "cli/tests/support/clitest.h"

using namespace emlo::testing;
using namespace clitest;

class TestCliCommandLine : public CliTest {
    Q_OBJECT

private slots:
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
        writeCleanCase(fx);
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

QTEST_GUILESS_MAIN(TestCliCommandLine)
#include "tst_clicommandline.moc"
