// emlo-cli check: the golden cases, missing work tables, checks at once on
// one folder, and a full disk.

#include <QtTest>

#include <memory>
#include <vector>

#include <QDir>
#include <QProcess>

#include "check/tests/support/checkfixture.h"
#include "cli/tests/support/clitest.h"

using namespace emlo::testing;
using namespace clitest;

namespace {

bool hasFileIgnoringCase(const QString& folder, const QString& name)
{
    for (const QString& entry : QDir(folder).entryList(QDir::Files)) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

}  // namespace

class TestCliCheck : public CliTest {
    Q_OBJECT

private slots:
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
        writeCleanCase(fx);
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
};

QTEST_GUILESS_MAIN(TestCliCheck)
#include "tst_clicheck.moc"
