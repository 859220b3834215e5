// Importing submissions into the registry: history kept across imports,
// rejections that store nothing, the progress line and the command line's
// refusals. Runs on both engines (see support/registrytest.h).
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QtTest>

#include "registry/registrydb.h"
#include "registry/tests/support/registrytest.h"

using namespace emlo;

using namespace emlo::registry;
using namespace registrytest;

class TestRegistryImport : public RegistryTest {
    Q_OBJECT

private slots:
    void importKeepsHistoryAndExitCodes();
    void rejectedSubmissionLeavesNothing();
    void progressLineOnlyWhenAsked();
    void commandLineErrorsExitWithTwo_data();
    void commandLineErrorsExitWithTwo();
};

void TestRegistryImport::importKeepsHistoryAndExitCodes()
{
    const QString first = m_dir.filePath(QStringLiteral("history-%1/first").arg(m_case));
    for (int i = 0; i < 3; ++i)
        write(i, first + QStringLiteral("/region/%1").arg(i));
    QString out;
    QCOMPARE(runImport({first}, &out), 0);
    QVERIFY2(out.contains(QStringLiteral("прийнято: 3 (нових: 3, замінено: 0, без змін: 0); відхилено: 0")),
             qPrintable(out));
    // The same files again: nothing new is stored.
    QCOMPARE(runImport({first}, &out), 0);
    QVERIFY(out.contains(QStringLiteral("нових: 0, замінено: 0, без змін: 3")));
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM submission")), 3);

    // A corrected submission of enterprise 0 replaces the first; the first
    // stays as history, with where it came from and when it was replaced.
    const QString second = m_dir.filePath(QStringLiteral("history-%1/second").arg(m_case));
    write(0, second, 99);
    QCOMPARE(runImport({second}, &out), 0);
    QVERIFY(out.contains(QStringLiteral("нових: 0, замінено: 1, без змін: 0")));
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM submission WHERE edrpou = '30000000'")), 2);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM submission WHERE edrpou = '30000000' AND is_current = 1")), 1);
    QSqlQuery query(m_db->Database());
    QVERIFY(query.exec(QStringLiteral("SELECT is_current, source_path, replaced_at, imported_at FROM submission "
                                      "WHERE edrpou = '30000000' ORDER BY id")));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), 0);
    QCOMPARE(query.value(1).toString(), QDir(first + QStringLiteral("/region/0")).absolutePath());
    QVERIFY(!query.value(2).toString().isEmpty());
    QVERIFY(!query.value(3).toString().isEmpty());
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), 1);
    QCOMPARE(query.value(1).toString(), QDir(second).absolutePath());
    QVERIFY(query.value(2).isNull());
    query.finish();
    // Each submission keeps its own emission rows.
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM emission")), 4 * 30);
    // A year is a submission of its own, not a replacement.
    QCOMPARE(runImport({first}, &out, 2023), 0);
    QVERIFY(out.contains(QStringLiteral("нових: 3")));
}

void TestRegistryImport::rejectedSubmissionLeavesNothing()
{
    const QString folder = m_dir.filePath(QStringLiteral("rejected-%1").arg(m_case));
    write(0, folder + QStringLiteral("/good"));
    write(1, folder + QStringLiteral("/repeated"), 5, Breakage::RepeatedPollutant);
    write(2, folder + QStringLiteral("/unknown"), 5, Breakage::UnknownPollutant);
    QString out;
    QCOMPARE(runImport({folder}, &out), 1);
    const QRegularExpression repeated(QStringLiteral("Відхилено: %1/repeated\n  data.xml, запис \\d+, поле CONTID: "
                                                     "Забруднююча речовина вже вказана\n")
                                          .arg(QDir(folder).absolutePath()));
    QVERIFY2(repeated.match(out).hasMatch(), qPrintable(out));
    QVERIFY(out.contains(QStringLiteral("відхилено: 2")));
    // Nothing of a rejected submission is stored: not its enterprise, not one row.
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM enterprise")), 1);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM emission")), 30);
}

void TestRegistryImport::progressLineOnlyWhenAsked()
{
    // Not a terminal: scripts get the summary on stdout and nothing on stderr
    // (the concurrent test checks that); --progress draws the line anyway.
    const QString folder = m_dir.filePath(QStringLiteral("progress-%1").arg(m_case));
    write(0, folder + QStringLiteral("/ok"));
    write(1, folder + QStringLiteral("/bad"), 5, Breakage::BadEdrpou);
    QProcess process;
    process.start(QStringLiteral(EMLO_REGISTRY_PATH),
                  {QStringLiteral("import"), QStringLiteral("--db"), dbSpec(), QStringLiteral("--year"),
                   QStringLiteral("2024"), QStringLiteral("--progress"), folder});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 1);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(QRegularExpression(QStringLiteral("\\rОброблено 2 з 2 \\(\\d+ подань/с\\), відхилено 1 *\n$"))
                 .match(err)
                 .hasMatch(),
             qPrintable(err));
}

void TestRegistryImport::commandLineErrorsExitWithTwo_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("no year") << QStringList{QStringLiteral("import"), QStringLiteral("--db"), QStringLiteral("@DB@"),
                                            QStringLiteral(".")}
                             << QStringLiteral("Не вказано рік: --year РРРР");
    QTest::newRow("missing folder") << QStringList{QStringLiteral("import"), QStringLiteral("--db"),
                                                   QStringLiteral("@DB@"),   QStringLiteral("--year"),
                                                   QStringLiteral("2024"),   QStringLiteral("/no/such/folder")}
                                    << QStringLiteral("Папку не знайдено: /no/such/folder");
    QTest::newRow("unknown command") << QStringList{QStringLiteral("export")}
                                     << QStringLiteral("Невідома команда: export");
    QTest::newRow("unknown grouping") << QStringList{QStringLiteral("report"), QStringLiteral("--db"),
                                                     QStringLiteral("@DB@"),   QStringLiteral("--year"),
                                                     QStringLiteral("2024"),   QStringLiteral("--by"),
                                                     QStringLiteral("city")}
                                      << QStringLiteral("Вкажіть угруповання: --by region|district|activity|pollutant");
    QTest::newRow("unknown pollutant")
        << QStringList{QStringLiteral("report"), QStringLiteral("--db"),        QStringLiteral("@DB@"),
                       QStringLiteral("--year"), QStringLiteral("2024"),        QStringLiteral("--by"),
                       QStringLiteral("region"), QStringLiteral("--pollutant"), QStringLiteral("77777")}
        << QStringLiteral("Забруднюючої речовини з кодом 77777 немає в довіднику речовин");
    QTest::newRow("server unreachable") << QStringList{
        QStringLiteral("report"), QStringLiteral("--db"), QStringLiteral("postgresql://nobody@/none?host=/nonexistent"),
        QStringLiteral("--year"), QStringLiteral("2024"), QStringLiteral("--by"),
        QStringLiteral("region")} << QStringLiteral("Неможливо відкрити базу даних none");
    QTest::newRow("report from no registry")
        << QStringList{QStringLiteral("report"), QStringLiteral("--db"), QStringLiteral("/no/such/registry.sqlite"),
                       QStringLiteral("--year"), QStringLiteral("2024"), QStringLiteral("--by"),
                       QStringLiteral("region")}
        << QStringLiteral("Файлу бази даних /no/such/registry.sqlite немає");
    QTest::newRow("reference reload into no registry")
        << QStringList{QStringLiteral("refdata"), QStringLiteral("--db"), QStringLiteral("/no/such/registry.sqlite")}
        << QStringLiteral("Файлу бази даних /no/such/registry.sqlite немає");
}

void TestRegistryImport::commandLineErrorsExitWithTwo()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    if (args.contains(QStringLiteral("@DB@"))) {
        // The registry exists: the refusal is about the arguments.
        RegistryDb db;
        openDb(db);
    }
    args.replaceInStrings(QStringLiteral("@DB@"), dbSpec());
    QProcess process;
    process.start(QStringLiteral(EMLO_REGISTRY_PATH), args);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 2);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(err.startsWith(message), qPrintable(err));
}

QTEST_GUILESS_MAIN(TestRegistryImport)

#include "tst_registryimport.moc"
