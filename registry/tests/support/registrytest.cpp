#include "registrytest.h"

#include <QDir>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

using namespace emlo::registry;

namespace registrytest {

void RegistryTest::initTestCase()
{
    m_engine = qEnvironmentVariable("EMLO_TEST_ENGINE", QStringLiteral("sqlite"));
    if (postgres())
        QVERIFY2(!qEnvironmentVariableIsEmpty("EMLO_TEST_PG"), "run under registry/tests/with-postgres.sh");
    QVERIFY(m_dir.isValid());
}

QString RegistryTest::dbSpec() const
{
    return postgres() ? qEnvironmentVariable("EMLO_TEST_PG")
                      : m_dir.filePath(QStringLiteral("registry-%1.sqlite").arg(m_case));
}

void RegistryTest::dropAll()
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

void RegistryTest::init()
{
    m_db.reset();
    ++m_case;
    if (postgres())
        dropAll();
}

void RegistryTest::openDb(RegistryDb& db, int version)
{
    DbTarget target;
    QString error;
    QVERIFY(DbTarget::Parse(dbSpec(), &target, &error));
    QVERIFY2(db.Open(target, QStringLiteral(EMLO_PROGRAM_DIR "/refdata"), &error, version), qPrintable(error));
}

qint64 RegistryTest::scalar(const QString& sql)
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

void RegistryTest::write(int index, const QString& folder, quint32 seed, Breakage breakage)
{
    SubmissionGenerator generator(QStringLiteral(EMLO_PROGRAM_DIR), seed);
    QVERIFY2(generator.Write(generator.MakeEnterprise(index), folder, breakage), qPrintable(generator.ErrorString()));
}

QProcess* RegistryTest::startImport(const QStringList& paths, int year)
{
    auto* process = new QProcess(this);
    process->start(QStringLiteral(EMLO_REGISTRY_PATH),
                   QStringList{QStringLiteral("import"), QStringLiteral("--db"), dbSpec(), QStringLiteral("--year"),
                               QString::number(year)}
                       + paths);
    return process;
}

int RegistryTest::runImport(const QStringList& paths, QString* out, int year)
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

}  // namespace registrytest
