// What the registry stores and how: schema upgrades, importers running at
// once, group commits, every column read back, and the reference tables'
// reload. Runs on both engines (see support/registrytest.h).
#include <algorithm>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include "check/datacheck.h"
#include "registry/importer.h"
#include "registry/registrydb.h"
#include "registry/report.h"
#include "registry/submissionreader.h"
#include "registry/submissionscan.h"
#include "registry/tests/support/registrytest.h"

using namespace emlo;

using namespace emlo::registry;
using namespace registrytest;

class TestRegistryStorage : public RegistryTest {
    Q_OBJECT

private slots:
    void migrationsUpgradeAndRefuseNewer();
    void concurrentImportsLoseAndDuplicateNothing();
    void referenceTablesReloadedWholeOrNotAtAll();
    void groupCommitCountsOnlyWhatWasCommitted_data();
    void groupCommitCountsOnlyWhatWasCommitted();
    void storedSubmissionReadsBackAsSent();
};

void TestRegistryStorage::migrationsUpgradeAndRefuseNewer()
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

void TestRegistryStorage::concurrentImportsLoseAndDuplicateNothing()
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

void TestRegistryStorage::referenceTablesReloadedWholeOrNotAtAll()
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

// An import into SQLite commits many submissions at once, each under a
// savepoint. A database failure in one of them must leave the earlier ones
// of the same group stored and counted; a failure that undoes the whole
// transaction must leave them counted as not stored.
void TestRegistryStorage::groupCommitCountsOnlyWhatWasCommitted_data()
{
    QTest::addColumn<QString>("raise");
    QTest::addColumn<int>("stored");
    QTest::newRow("the submission alone undone") << QStringLiteral("ABORT") << 2;
    QTest::newRow("the whole transaction undone") << QStringLiteral("ROLLBACK") << 0;
}

void TestRegistryStorage::groupCommitCountsOnlyWhatWasCommitted()
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
void TestRegistryStorage::storedSubmissionReadsBackAsSent()
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

QTEST_GUILESS_MAIN(TestRegistryStorage)

#include "tst_registrystorage.moc"
