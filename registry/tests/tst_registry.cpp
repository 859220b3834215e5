// The registry against a real database: SQLite, and PostgreSQL when the test
// runs under with-postgres.sh (EMLO_TEST_ENGINE=postgresql). The same tests
// run on both engines.
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "check/datacheck.h"
#include "registry/generator/submissiongenerator.h"
#include "registry/importer.h"
#include "registry/registrydb.h"
#include "registry/report.h"
#include "registry/reportwriter.h"
#include "registry/submissionreader.h"

using namespace emlo;

using namespace emlo::registry;

class TestRegistry : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void importKeepsHistoryAndExitCodes();
    void rejectedSubmissionLeavesNothing();
    void progressLineOnlyWhenAsked();
    void commandLineErrorsExitWithTwo_data();
    void commandLineErrorsExitWithTwo();
    void migrationsUpgradeAndRefuseNewer();
    void concurrentImportsLoseAndDuplicateNothing();
    void reportsSumWithoutGroupTotals();
    void reportFilesForSpreadsheetsAndBrowsers();
    void referenceTablesReloadedWholeOrNotAtAll();
    void groupCommitCountsOnlyWhatWasCommitted_data();
    void groupCommitCountsOnlyWhatWasCommitted();
    void storedSubmissionReadsBackAsSent();

private:
    bool postgres() const { return m_engine == QLatin1String("postgresql"); }
    QString dbSpec() const;
    void dropAll();
    QProcess* startImport(const QStringList& paths, int year = 2024);
    int runImport(const QStringList& paths, QString* out = nullptr, int year = 2024);
    qint64 scalar(const QString& sql);
    void openDb(RegistryDb& db, int version = -1);
    void write(int index, const QString& folder, quint32 seed = 5, Breakage breakage = Breakage::None);

    QString m_engine;
    QTemporaryDir m_dir;
    std::unique_ptr<RegistryDb> m_db;
    int m_case = 0;
};

void TestRegistry::initTestCase()
{
    m_engine = qEnvironmentVariable("EMLO_TEST_ENGINE", QStringLiteral("sqlite"));
    if (postgres())
        QVERIFY2(!qEnvironmentVariableIsEmpty("EMLO_TEST_PG"), "run under registry/tests/with-postgres.sh");
    QVERIFY(m_dir.isValid());
}

QString TestRegistry::dbSpec() const
{
    return postgres() ? qEnvironmentVariable("EMLO_TEST_PG")
                      : m_dir.filePath(QStringLiteral("registry-%1.sqlite").arg(m_case));
}

void TestRegistry::dropAll()
{
    DbTarget target;
    QString error;
    QVERIFY(DbTarget::Parse(dbSpec(), &target, &error));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("drop"));
    db.setHostName(target.Host);
    db.setDatabaseName(target.Database);
    db.setUserName(target.User);
    QVERIFY(db.open());
    QSqlQuery(db).exec(QStringLiteral("DROP TABLE IF EXISTS emission, submission, enterprise, ref_cont, ref_obl, "
                                      "ref_cy, ref_ea, ref_ow, ref_dp, schema_migration CASCADE"));
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("drop"));
}

void TestRegistry::init()
{
    m_db.reset();
    ++m_case;
    if (postgres())
        dropAll();
}

void TestRegistry::openDb(RegistryDb& db, int version)
{
    DbTarget target;
    QString error;
    QVERIFY(DbTarget::Parse(dbSpec(), &target, &error));
    QVERIFY2(db.Open(target, QStringLiteral(EMLO_PROGRAM_DIR "/refdata"), &error, version), qPrintable(error));
}

qint64 TestRegistry::scalar(const QString& sql)
{
    if (!m_db) {
        m_db = std::make_unique<RegistryDb>();
        openDb(*m_db);
    }
    QSqlQuery query(m_db->Database());
    if (!query.exec(sql) || !query.next()) {
        qWarning() << sql << DbErrorText(query.lastError());
        return -1;
    }
    return query.value(0).toLongLong();
}

void TestRegistry::write(int index, const QString& folder, quint32 seed, Breakage breakage)
{
    SubmissionGenerator generator(QStringLiteral(EMLO_PROGRAM_DIR), seed);
    QVERIFY2(generator.Write(generator.MakeEnterprise(index), folder, breakage), qPrintable(generator.ErrorString()));
}

QProcess* TestRegistry::startImport(const QStringList& paths, int year)
{
    auto* process = new QProcess(this);
    process->start(QStringLiteral(EMLO_REGISTRY_PATH),
                   QStringList{QStringLiteral("import"), QStringLiteral("--db"), dbSpec(), QStringLiteral("--year"),
                               QString::number(year)}
                       + paths);
    return process;
}

int TestRegistry::runImport(const QStringList& paths, QString* out, int year)
{
    QProcess* process = startImport(paths, year);
    process->waitForFinished(120000);
    if (out != nullptr)
        *out = QString::fromUtf8(process->readAllStandardOutput());
    const QByteArray err = process->readAllStandardError();
    if (!err.isEmpty())
        qInfo() << err;
    const int code = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    delete process;
    return code;
}

void TestRegistry::importKeepsHistoryAndExitCodes()
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

void TestRegistry::rejectedSubmissionLeavesNothing()
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

void TestRegistry::progressLineOnlyWhenAsked()
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

void TestRegistry::commandLineErrorsExitWithTwo_data()
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

void TestRegistry::commandLineErrorsExitWithTwo()
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

void TestRegistry::migrationsUpgradeAndRefuseNewer()
{
    {
        // A registry of the second version with one submission in it, group total included.
        RegistryDb db;
        openDb(db, 2);
        QCOMPARE(db.SchemaVersion(), 2);
        QSqlQuery query(db.Database());
        QVERIFY(query.exec(QStringLiteral("INSERT INTO enterprise VALUES ('12345678', 'x', 't')")));
        QVERIFY2(
            query.exec(QStringLiteral(
                "INSERT INTO submission (edrpou, year, is_current, imported_at, source_path, content_hash, enname, "
                "enaddr, ench_pos, ench_name, enphone, obl_descr, obl_code, regn_descr, regn_code, city_descr, "
                "city_code, spodu_d, spodu_id, kved_descr, kved_id, kfv_descr, kfv_id) VALUES ('12345678', 2024, 1, "
                "'t', '/x', 'h', 'x', '', '', '', '', '', '1200000000', '', '', '', '', '', '', '', '', '', '')")),
            qPrintable(DbErrorText(query.lastError())));
        QVERIFY(query.exec(QStringLiteral("INSERT INTO emission SELECT id, 3, 1.5, 0.5 FROM submission")));
        QVERIFY(query.exec(QStringLiteral("INSERT INTO emission SELECT id, 23, 2, 1 FROM submission")));
        QVERIFY(query.exec(QStringLiteral("INSERT INTO emission SELECT id, 132, 1.5, 0.5 FROM submission")));
    }
    RegistryDb db;
    openDb(db);
    QCOMPARE(db.SchemaVersion(), RegistryDb::LatestVersion());
    // The upgrade fills the new per-submission sums from the rows already there, group total left out.
    QSqlQuery sums(db.Database());
    QVERIFY(sums.exec(QStringLiteral("SELECT total_poten, total_fact FROM submission")) && sums.next());
    QCOMPARE(sums.value(0).toDouble(), 3.5);
    QCOMPARE(sums.value(1).toDouble(), 1.5);
    sums.finish();
    // The emission rows came through the table's rebuild whole.
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM emission WHERE contid IN (3, 23, 132)")), 3);
    QCOMPARE(scalar(QStringLiteral("SELECT SUM(poten) FROM emission")), 5);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM ref_cy")), 30316);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM ref_cont WHERE threshold > 0")), 8);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM schema_migration")), RegistryDb::LatestVersion());
    QSqlQuery(db.Database()).exec(QStringLiteral("INSERT INTO schema_migration VALUES (99, 'x')"));
    DbTarget target;
    QString error;
    QVERIFY(DbTarget::Parse(dbSpec(), &target, &error));
    RegistryDb newer;
    QVERIFY(!newer.Open(target, QStringLiteral(EMLO_PROGRAM_DIR "/refdata"), &error));
    QVERIFY2(error.startsWith(QStringLiteral("База даних має новішу схему (версія 99)")), qPrintable(error));
}

void TestRegistry::concurrentImportsLoseAndDuplicateNothing()
{
    // Four importers at once on a fresh database: all of them import one
    // shared folder, each also a folder of its own, and two versions of five
    // enterprises fight over being current.
    const QString base = m_dir.filePath(QStringLiteral("concurrent-%1").arg(m_case));
    for (int i = 0; i < 12; ++i)
        write(i, base + QStringLiteral("/shared/%1").arg(i));
    for (int p = 0; p < 4; ++p) {
        for (int i = 0; i < 4; ++i)
            write(100 + p * 4 + i, base + QStringLiteral("/own%1/%2").arg(p).arg(i));
    }
    for (int i = 0; i < 5; ++i) {
        write(200 + i, base + QStringLiteral("/version1/%1").arg(i), 1);
        write(200 + i, base + QStringLiteral("/version2/%1").arg(i), 2);
    }
    QList<QProcess*> processes;
    for (int p = 0; p < 4; ++p)
        processes << startImport({base + QStringLiteral("/shared"), base + QStringLiteral("/own%1").arg(p),
                                  base + (p % 2 ? QStringLiteral("/version1") : QStringLiteral("/version2"))});
    for (QProcess* process : processes) {
        QVERIFY(process->waitForFinished(180000));
        QCOMPARE(process->readAllStandardError(), QByteArray());
        QCOMPARE(process->exitCode(), 0);
        delete process;
    }
    // Every enterprise exactly once current; the shared files stored once.
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM submission WHERE is_current = 1")), 12 + 16 + 5);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(DISTINCT edrpou) FROM submission")), 12 + 16 + 5);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM submission WHERE edrpou < '30000200'")), 12 + 16);
    // The contested ones: between 2 and 4 versions each, never two current.
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM (SELECT edrpou FROM submission GROUP BY edrpou "
                                   "HAVING SUM(is_current) <> 1) x")),
             0);
    QVERIFY(scalar(QStringLiteral("SELECT MIN(n) FROM (SELECT COUNT(*) AS n FROM submission WHERE edrpou >= '30000200' "
                                  "GROUP BY edrpou) x"))
            >= 1);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM emission")),
             30 * scalar(QStringLiteral("SELECT COUNT(*) FROM submission")));
}

namespace {

SubmissionData makeSubmission(const QString& edrpou, const QString& obl, const QString& city, const QString& kved,
                              const QList<EmissionRow>& rows, const QByteArray& hash)
{
    SubmissionData s;
    s.HasAttrRecord = true;
    s.Attr.insert(QStringLiteral("EDRPOU"), edrpou);
    s.Attr.insert(QStringLiteral("ENNAME"), QStringLiteral("Підприємство ") + edrpou);
    s.Attr.insert(QStringLiteral("OBL_DESCR"), QStringLiteral("область"));
    s.Attr.insert(QStringLiteral("KVED_ID"), kved);
    s.AttrNumbers.insert(QStringLiteral("OBL_ID"), obl.toDouble());
    s.AttrNumbers.insert(QStringLiteral("REGN_ID"),
                         (city.rightJustified(10, u'0').left(5) + QStringLiteral("00000")).toDouble());
    s.AttrNumbers.insert(QStringLiteral("CITY_ID"), city.toDouble());
    s.Rows = rows;
    s.ContentHash = hash;
    return s;
}

EmissionRow row(int contId, double poten, double fact)
{
    EmissionRow r;
    r.ContId = contId;
    r.Poten = poten;
    r.Fact = fact;
    return r;
}

}  // namespace

void TestRegistry::reportsSumWithoutGroupTotals()
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

void TestRegistry::reportFilesForSpreadsheetsAndBrowsers()
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

// An import into SQLite commits many submissions at once, each under a
// savepoint. A database failure in one of them must leave the earlier ones
// of the same group stored and counted; a failure that undoes the whole
// transaction must leave them counted as not stored.
void TestRegistry::groupCommitCountsOnlyWhatWasCommitted_data()
{
    QTest::addColumn<QString>("raise");
    QTest::addColumn<int>("stored");
    QTest::newRow("the submission alone undone") << QStringLiteral("ABORT") << 2;
    QTest::newRow("the whole transaction undone") << QStringLiteral("ROLLBACK") << 0;
}

void TestRegistry::groupCommitCountsOnlyWhatWasCommitted()
{
    if (postgres())
        QSKIP("PostgreSQL commits every submission on its own");
    QFETCH(QString, raise);
    QFETCH(int, stored);
    const QString folder = m_dir.filePath(QStringLiteral("group-%1").arg(m_case));
    for (int i = 0; i < 5; ++i)
        write(i, folder + QStringLiteral("/%1").arg(i));
    RegistryDb db;
    openDb(db);
    // The third submission fails in the database, after its enterprise row was written.
    QSqlQuery trigger(db.Database());
    QVERIFY(trigger.exec(QStringLiteral("CREATE TRIGGER failing BEFORE INSERT ON submission "
                                        "WHEN NEW.edrpou = '30000002' BEGIN SELECT RAISE(%1, 'disk trouble'); END")
                             .arg(raise)));
    ReferenceSets reference;
    QString error;
    QVERIFY2(db.ReadReferenceSets(&reference, &error), qPrintable(error));
    QStringList missing;
    const QList<SubmissionFiles> found = FindSubmissions({folder}, &missing);
    QCOMPARE(found.size(), 5);

    Importer importer(db, reference);
    ImportCounts counts;
    QVERIFY(!importer.Run(found, 2024, &counts, &error));
    QVERIFY2(error.contains(QStringLiteral("disk trouble")) && error.contains(QStringLiteral("/2")), qPrintable(error));
    QCOMPARE(counts.Added, stored);
    QCOMPARE(counts.Done, stored);
    QCOMPARE(counts.Rows, stored * 30);

    // What another connection sees is what was counted, whole.
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM submission")), stored);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM enterprise")), stored);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM emission")), stored * 30);
}

// Every column of a stored submission and its emission rows reads back as
// the reader gave it: texts beyond the Cyrillic letters, an absent text, a
// code with a leading zero, the coordinates and the sums.
void TestRegistry::storedSubmissionReadsBackAsSent()
{
    const QString folder = m_dir.filePath(QStringLiteral("readback-%1").arg(m_case));
    write(7, folder);
    SubmissionData s;
    RejectionList reasons;
    QVERIFY(SubmissionReader().Read(folder + QStringLiteral("/attr.xml"), folder + QStringLiteral("/data.xml"), &s,
                                    &reasons));
    s.Attr[QStringLiteral("ENADDR")] = QStringLiteral("  вул. Лесі Українки, 1 — «Їжак» 😀 ");
    s.Attr[QStringLiteral("ENPHONE")] = QString();
    s.AttrNumbers[QStringLiteral("OBL_ID")] = 100000000;
    QVERIFY(s.Rows.size() >= 20);

    RegistryDb db;
    openDb(db);
    StoreOutcome outcome;
    QString error;
    QVERIFY2(db.Store(s, 2024, folder, &outcome, &error), qPrintable(error));
    const QStringList texts = {QStringLiteral("ENNAME"),     QStringLiteral("ENADDR"),     QStringLiteral("ENCH_POS"),
                               QStringLiteral("ENCH_NAME"),  QStringLiteral("ENPHONE"),    QStringLiteral("OBL_DESCR"),
                               QStringLiteral("REGN_DESCR"), QStringLiteral("CITY_DESCR"), QStringLiteral("SPODU_D"),
                               QStringLiteral("SPODU_ID"),   QStringLiteral("KVED_DESCR"), QStringLiteral("KVED_ID"),
                               QStringLiteral("KFV_DESCR"),  QStringLiteral("KFV_ID")};
    const QStringList numbers = {QStringLiteral("X1"), QStringLiteral("X2"), QStringLiteral("X3"),
                                 QStringLiteral("Y1"), QStringLiteral("Y2"), QStringLiteral("Y3")};
    QSqlQuery query(db.Database());
    QVERIFY(
        query.exec(QStringLiteral("SELECT edrpou, year, is_current, source_path, content_hash, obl_code, regn_code, "
                                  "city_code, total_poten, total_fact, %1, %2 FROM submission")
                       .arg(texts.join(u','), numbers.join(u','))));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toString(), s.AttrText(QStringLiteral("EDRPOU")).trimmed());
    QCOMPARE(query.value(1).toInt(), 2024);
    QCOMPARE(query.value(2).toInt(), 1);
    QCOMPARE(query.value(3).toString(), folder);
    QCOMPARE(query.value(4).toString().toLatin1(), s.ContentHash);
    QCOMPARE(query.value(5).toString(), QStringLiteral("0100000000"));
    QCOMPARE(query.value(6).toString(), s.KoatuuCode(QStringLiteral("REGN_ID")));
    QCOMPARE(query.value(7).toString(), s.KoatuuCode(QStringLiteral("CITY_ID")));
    double poten = 0;
    double fact = 0;
    for (const EmissionRow& row : s.Rows) {
        if (!emlo::IsGroupTotalId(int(*row.ContId))) {
            poten += *row.Poten;
            fact += *row.Fact;
        }
    }
    QCOMPARE(query.value(8).toDouble(), poten);
    QCOMPARE(query.value(9).toDouble(), fact);
    for (qsizetype i = 0; i < texts.size(); ++i) {
        QVERIFY(!query.value(10 + int(i)).isNull());
        QCOMPARE(query.value(10 + int(i)).toString(), s.AttrText(texts.at(i)).trimmed());
    }
    QCOMPARE(query.value(11).toString(), QStringLiteral("вул. Лесі Українки, 1 — «Їжак» 😀"));
    for (qsizetype i = 0; i < numbers.size(); ++i)
        QCOMPARE(query.value(10 + int(texts.size() + i)).toInt(), s.AttrInt(numbers.at(i)));

    QVERIFY(query.exec(QStringLiteral("SELECT contid, poten, fact FROM emission ORDER BY contid")));
    QList<EmissionRow> rows = s.Rows;
    std::sort(rows.begin(), rows.end(), [](const EmissionRow& a, const EmissionRow& b) { return a.ContId < b.ContId; });
    for (const EmissionRow& row : rows) {
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toInt(), int(*row.ContId));
        QCOMPARE(query.value(1).toDouble(), *row.Poten);
        QCOMPARE(query.value(2).toDouble(), *row.Fact);
    }
    QVERIFY(!query.next());
}

void TestRegistry::referenceTablesReloadedWholeOrNotAtAll()
{
    {
        RegistryDb db;
        openDb(db);
        StoreOutcome outcome;
        QString error;
        QVERIFY(db.Store(makeSubmission(QStringLiteral("11111111"), QStringLiteral("1200000000"),
                                        QStringLiteral("1210100000"), QStringLiteral("24.10"),
                                        {row(3, 0.2, 0.05), row(1, 0.0005, 0.0001)}, "a"),
                         2024, QStringLiteral("/a"), &outcome, &error));
    }
    // Newer classifiers: iron's threshold raised above the enterprise's 0.2,
    // arsenic's lowered below its 0.0005, pollutant 1 renamed, 5 dropped.
    const QString folder = m_dir.filePath(QStringLiteral("refdata-%1").arg(m_case));
    QVERIFY(QDir().mkpath(folder));
    const QDir source(QStringLiteral(EMLO_PROGRAM_DIR "/refdata"));
    for (const QString& name : source.entryList({QStringLiteral("*.csv")}, QDir::Files))
        QVERIFY(QFile::copy(source.filePath(name), folder + QLatin1Char('/') + name));
    QFile cont(folder + QStringLiteral("/cont.csv"));
    QVERIFY(cont.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = cont.readAll().split('\n');
    cont.close();
    const qsizetype before = lines.size();
    for (qsizetype i = lines.size() - 1; i > 0; --i) {
        if (lines.at(i).startsWith("1,"))
            lines[i] = "1,01001,Арсен (новий класифікатор),0.0001";
        else if (lines.at(i).startsWith("3,"))
            lines[i] = "3,01003,Залізо та його сполуки,0.5";
        else if (lines.at(i).startsWith("5,"))
            lines.removeAt(i);
    }
    QCOMPARE(lines.size(), before - 1);
    QVERIFY(cont.open(QIODevice::WriteOnly | QIODevice::Truncate));
    cont.write(lines.join('\n'));
    cont.close();

    const auto reload = [&](QString* out, QString* err) {
        QProcess process;
        process.start(
            QStringLiteral(EMLO_REGISTRY_PATH),
            {QStringLiteral("refdata"), QStringLiteral("--db"), dbSpec(), QStringLiteral("--refdata"), folder});
        process.waitForFinished(120000);
        *out = QString::fromUtf8(process.readAllStandardOutput());
        *err = QString::fromUtf8(process.readAllStandardError());
        return process.exitCode();
    };
    const qint64 pollutants = scalar(QStringLiteral("SELECT COUNT(*) FROM ref_cont"));
    m_db.reset();
    QString out;
    QString err;
    QCOMPARE(reload(&out, &err), 0);
    QVERIFY2(
        out.contains(
            QStringLiteral("забруднюючі речовини (cont.csv): записів %1, було %2").arg(pollutants - 1).arg(pollutants)),
        qPrintable(out + err));
    QVERIFY(out.contains(QStringLiteral("населені пункти і райони (cy.csv): записів 30316, було 30316")));
    QVERIFY(!out.contains(QStringLiteral("Увага")));
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM ref_cont WHERE contid = 5")), 0);
    // The reports judge the stored submission by the new thresholds at once.
    RegistryReport report;
    ReportRequest request;
    request.Year = 2024;
    request.By = Grouping::Pollutant;
    QString error;
    QVERIFY2(BuildReport(*m_db, request, &report, &error), qPrintable(error));
    QCOMPARE(report.OverLimit.size(), 1);
    QCOMPARE(report.OverLimit.first().PollutantCode, QStringLiteral("01001"));
    QCOMPARE(report.OverLimit.first().PollutantName, QStringLiteral("Арсен (новий класифікатор)"));

    // A classifier that drops a code a current submission uses: reloaded,
    // and the code named, since the reports can no longer name it.
    lines.removeIf([](const QByteArray& line) { return line.startsWith("3,"); });
    QVERIFY(cont.open(QIODevice::WriteOnly | QIODevice::Truncate));
    cont.write(lines.join('\n'));
    cont.close();
    m_db.reset();
    QCOMPARE(reload(&out, &err), 0);
    QVERIFY2(out.contains(QStringLiteral("Увага: поточні подання містять коди, яких немає в довіднику "
                                         "«забруднюючі речовини (CONTID)»: 3\n")),
             qPrintable(out));

    // A faulty row in a table loaded after CONT: nothing changes, CONT neither.
    QFile cy(folder + QStringLiteral("/cy.csv"));
    QVERIFY(cy.open(QIODevice::Append));
    cy.write("99999,1234567890\n");
    cy.close();
    m_db.reset();
    QCOMPARE(reload(&out, &err), 2);
    QVERIFY2(err.startsWith(QStringLiteral("Довідники не оновлено, вони лишилися як були: ")), qPrintable(err));
    QVERIFY(err.contains(QStringLiteral("cy.csv")));
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM ref_cont")), pollutants - 2);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM ref_cy")), 30316);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM ref_cont WHERE contid = 1 AND threshold = 0.0001")), 1);
}

QTEST_GUILESS_MAIN(TestRegistry)

#include "tst_registry.moc"
