// The registry's reports: the sums by each grouping, and the files for
// spreadsheets and browsers. Runs on both engines (see support/registrytest.h).
#include <utility>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include "registry/registrydb.h"
#include "registry/report.h"
#include "registry/tests/support/registrytest.h"

using namespace emlo;

using namespace emlo::registry;
using namespace registrytest;

class TestRegistryReports : public RegistryTest {
    Q_OBJECT

private slots:
    void reportsSumWithoutGroupTotals();
    void reportFilesForSpreadsheetsAndBrowsers();
};

void TestRegistryReports::reportsSumWithoutGroupTotals()
{
    RegistryDb db;
    openDb(db);
    StoreOutcome outcome;
    QString error;
    // Dnipro: iron (3) and its group total 132, which repeats it; Crimea (code
    // with a leading zero). A replaced submission must not count.
    QVERIFY(db.Store(makeSubmission(QStringLiteral("11111111"), QStringLiteral("1200000000"),
                                    QStringLiteral("1210100000"), QStringLiteral("24.10"), {row(3, 100, 100)}, "old"),
                     2024, QStringLiteral("/a"), &outcome, &error));
    QVERIFY(db.Store(makeSubmission(QStringLiteral("11111111"), QStringLiteral("1200000000"),
                                    QStringLiteral("1210100000"), QStringLiteral("24.10"),
                                    {row(3, 0.2, 0.05), row(23, 5, 4), row(132, 0.2, 0.05)}, "new"),
                     2024, QStringLiteral("/b"), &outcome, &error));
    QCOMPARE(outcome, StoreOutcome::Replaced);
    QVERIFY(
        db.Store(makeSubmission(QStringLiteral("22222222"), QStringLiteral("100000000"), QStringLiteral("120410100"),
                                QStringLiteral("35.11"), {row(23, 1, 0.5), row(1, 0.0005, 0.0001)}, "crimea"),
                 2024, QStringLiteral("/c"), &outcome, &error));
    QVERIFY(
        db.Store(makeSubmission(QStringLiteral("11111111"), QStringLiteral("1200000000"), QStringLiteral("1210100000"),
                                QStringLiteral("24.10"), {row(23, 2, 2)}, "last year"),
                 2023, QStringLiteral("/d"), &outcome, &error));

    RegistryReport report;
    ReportRequest request;
    request.Year = 2024;
    request.By = Grouping::Region;
    QVERIFY2(BuildReport(db, request, &report, &error), qPrintable(error));
    QCOMPARE(report.Groups.size(), 2);
    QCOMPARE(report.Groups.at(0).Code, QStringLiteral("0100000000"));
    QCOMPARE(report.Groups.at(0).Name, QStringLiteral("АВТОНОМНА РЕСПУБЛІКА КРИМ"));
    QCOMPARE(report.Groups.at(0).HasPrevious, false);
    const ReportGroup& dnipro = report.Groups.at(1);
    QCOMPARE(dnipro.Name, QStringLiteral("ДНІПРОПЕТРОВСЬКА ОБЛАСТЬ"));
    QCOMPARE(dnipro.Enterprises, 1);
    QCOMPARE(dnipro.Poten, 5.2);  // 132 left out; the replaced 100 too
    QCOMPARE(dnipro.Fact, 4.05);
    QVERIFY(dnipro.HasPrevious);
    QCOMPARE(dnipro.PrevFact, 2.0);
    QCOMPARE(report.Total.Fact, 4.05 + 0.5001);
    QCOMPARE(report.Total.Enterprises, 2);
    // Thresholds: iron 0.2 >= 0.1; arsenic 0.0005 < 0.001.
    QCOMPARE(report.OverLimit.size(), 1);
    QCOMPARE(report.OverLimit.first().Edrpou, QStringLiteral("11111111"));
    QCOMPARE(report.OverLimit.first().PollutantCode, QStringLiteral("01003"));
    QCOMPARE(report.OverLimit.first().Limit, 0.1);

    request.By = Grouping::Pollutant;
    QVERIFY(BuildReport(db, request, &report, &error));
    QStringList codes;
    for (const ReportGroup& g : report.Groups)
        codes << g.Code + (g.IsGroupTotal ? QStringLiteral("*") : QString());
    QCOMPARE(codes,
             (QStringList{QStringLiteral("01000*"), QStringLiteral("01001"), QStringLiteral("01003"),
                          QStringLiteral("05001")}));
    QCOMPARE(report.Total.Fact, 0.0001 + 0.05 + 4.5);
    QCOMPARE(report.Total.Enterprises, 2);

    request.By = Grouping::District;
    request.PollutantCode = QStringLiteral("05001");
    QVERIFY2(BuildReport(db, request, &report, &error), qPrintable(error));
    QCOMPARE(report.Groups.size(), 2);
    QCOMPARE(report.Groups.at(0).Name, QStringLiteral("БАХЧИСАРАЙСЬКИЙ РАЙОН/М.БАХЧИСАРАЙ"));
    QCOMPARE(report.Groups.at(1).Code, QStringLiteral("1210100000"));
    QCOMPARE(report.Groups.at(1).PrevFact, 2.0);
    QVERIFY(report.OverLimit.isEmpty());

    request.By = Grouping::Activity;
    request.PollutantCode.clear();
    QVERIFY(BuildReport(db, request, &report, &error));
    QCOMPARE(report.Groups.size(), 2);
    QCOMPARE(report.Groups.at(0).Code, QStringLiteral("24.10"));
    QCOMPARE(report.Groups.at(0).Name, QStringLiteral("Виробництво чавуну, сталі та феросплавів"));
}

void TestRegistryReports::reportFilesForSpreadsheetsAndBrowsers()
{
    const QString folder = m_dir.filePath(QStringLiteral("files-%1").arg(m_case));
    for (int i = 0; i < 6; ++i)
        write(i, folder + QStringLiteral("/%1").arg(i));
    QCOMPARE(runImport({folder}), 0);
    const QString csv = m_dir.filePath(QStringLiteral("report-%1.csv").arg(m_case));
    const QString html = m_dir.filePath(QStringLiteral("report-%1.html").arg(m_case));
    for (const auto& [format, path] :
         {std::pair{QStringLiteral("csv"), csv}, std::pair{QStringLiteral("html"), html}}) {
        QProcess process;
        process.start(QStringLiteral(EMLO_REGISTRY_PATH),
                      {QStringLiteral("report"), QStringLiteral("--db"), dbSpec(), QStringLiteral("--year"),
                       QStringLiteral("2024"), QStringLiteral("--by"), QStringLiteral("region"),
                       QStringLiteral("--format"), format, QStringLiteral("--output"), path});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.readAllStandardError(), QByteArray());
        QCOMPARE(process.exitCode(), 0);
    }
    QFile csvFile(csv);
    QVERIFY(csvFile.open(QIODevice::ReadOnly));
    const QByteArray bytes = csvFile.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.at(1).split(u';').size(), 9);
    QVERIFY(lines.at(1).startsWith(QStringLiteral("Код;Область;Підприємств;")));
    // Numbers with a comma, never a point, so a Ukrainian spreadsheet reads them as numbers.
    const QStringList cells = lines.at(2).split(u';');
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d+,\\d{3,7}$")).match(cells.at(4)).hasMatch(),
             qPrintable(lines.at(2)));
    QVERIFY(lines.contains(QStringLiteral("Підприємства, чиї потенційні викиди досягають порогового значення")));

    QFile htmlFile(html);
    QVERIFY(htmlFile.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(htmlFile.readAll());
    QVERIFY(page.startsWith(QStringLiteral("<!DOCTYPE html>")));
    QCOMPARE(page.count(QStringLiteral("<svg ")), 2);
    // Self-contained: nothing fetched from elsewhere, no script.
    QVERIFY(!page.contains(QStringLiteral("<script")));
    QVERIFY(!page.contains(QStringLiteral("src=")));
    QVERIFY(!page.contains(QStringLiteral("href=")));
    QVERIFY(page.contains(QStringLiteral("&quot;")) || page.contains(QStringLiteral("Разом")));
}

QTEST_GUILESS_MAIN(TestRegistryReports)

#include "tst_registryreports.moc"
