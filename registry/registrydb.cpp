#include "registrydb.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QFile>
#include <QSqlError>
#include <QUrl>
#include <QUrlQuery>

#include "tools/reftables.h"
#include "check/datacheck.h"

namespace emlo::registry {

namespace {

// One migration: the statements that take the schema from the previous
// version to this one. {ID} is the engine's spelling of a generated key.
// Statements that only one engine needs (its storage, not the tables'
// meaning) come after the shared ones.
struct Migration {
    int Version;
    QStringList Statements;
    QStringList SqliteOnly = {};
    QStringList PostgresOnly = {};
};

const QList<Migration>& migrations()
{
    static const QList<Migration> list = {
        {1,
         {
             QStringLiteral("CREATE TABLE ref_cont (contid INTEGER PRIMARY KEY, code VARCHAR(5) NOT NULL, "
                            "descr VARCHAR(80) NOT NULL, threshold DOUBLE PRECISION NOT NULL)"),
             QStringLiteral("CREATE TABLE ref_obl (code VARCHAR(10) PRIMARY KEY, descr VARCHAR(100) NOT NULL)"),
             QStringLiteral("CREATE TABLE ref_cy (code VARCHAR(10) PRIMARY KEY, descr VARCHAR(100) NOT NULL)"),
             QStringLiteral("CREATE TABLE ref_ea (code VARCHAR(10) PRIMARY KEY, descr VARCHAR(250) NOT NULL)"),
             QStringLiteral("CREATE TABLE ref_ow (code VARCHAR(2) PRIMARY KEY, descr VARCHAR(70) NOT NULL)"),
             QStringLiteral("CREATE TABLE ref_dp (code VARCHAR(6) PRIMARY KEY, descr VARCHAR(150) NOT NULL)"),
             QStringLiteral("CREATE TABLE enterprise (edrpou VARCHAR(8) PRIMARY KEY, enname VARCHAR(100) NOT NULL, "
                            "updated_at VARCHAR(32) NOT NULL)"),
             QStringLiteral(
                 "CREATE TABLE submission (id {ID}, edrpou VARCHAR(8) NOT NULL REFERENCES enterprise (edrpou), "
                 "year INTEGER NOT NULL, is_current SMALLINT NOT NULL, imported_at VARCHAR(32) NOT NULL, "
                 "replaced_at VARCHAR(32), source_path TEXT NOT NULL, content_hash VARCHAR(64) NOT NULL, "
                 "enname VARCHAR(100) NOT NULL, enaddr VARCHAR(100) NOT NULL, ench_pos VARCHAR(60) NOT NULL, "
                 "ench_name VARCHAR(60) NOT NULL, enphone VARCHAR(20) NOT NULL, "
                 "obl_descr VARCHAR(100) NOT NULL, obl_code VARCHAR(10) NOT NULL, "
                 "regn_descr VARCHAR(100) NOT NULL, regn_code VARCHAR(10) NOT NULL, "
                 "city_descr VARCHAR(100) NOT NULL, city_code VARCHAR(10) NOT NULL, "
                 "spodu_d VARCHAR(100) NOT NULL, spodu_id VARCHAR(5) NOT NULL, "
                 "kved_descr VARCHAR(100) NOT NULL, kved_id VARCHAR(8) NOT NULL, "
                 "kfv_descr VARCHAR(100) NOT NULL, kfv_id VARCHAR(2) NOT NULL, "
                 "x1 INTEGER, x2 INTEGER, x3 INTEGER, y1 INTEGER, y2 INTEGER, y3 INTEGER)"),
             // At most one current submission per enterprise and year, whatever the
             // importers do; replaced ones stay beside it as history.
             QStringLiteral("CREATE UNIQUE INDEX submission_current ON submission (edrpou, year) "
                            "WHERE is_current = 1"),
             QStringLiteral("CREATE TABLE emission (submission_id BIGINT NOT NULL REFERENCES submission (id) "
                            "ON DELETE CASCADE, contid INTEGER NOT NULL, poten DOUBLE PRECISION NOT NULL, "
                            "fact DOUBLE PRECISION NOT NULL, PRIMARY KEY (submission_id, contid))"),
         }},
        {2,
         {
             // The reports read one year's current submissions and then their emission
             // rows by submission (the primary key), or one pollutant's rows.
             QStringLiteral("CREATE INDEX submission_year ON submission (year, is_current, obl_code)"),
             QStringLiteral("CREATE INDEX emission_contid ON emission (contid)"),
         }},
        {3,
         {
             // Each submission's own sums (group totals left out), so that reports
             // over all pollutants read one row per enterprise, not thirty.
             QStringLiteral("ALTER TABLE submission ADD COLUMN total_poten DOUBLE PRECISION NOT NULL DEFAULT 0"),
             QStringLiteral("ALTER TABLE submission ADD COLUMN total_fact DOUBLE PRECISION NOT NULL DEFAULT 0"),
             QStringLiteral("UPDATE submission SET "
                            "total_poten = (SELECT COALESCE(SUM(poten), 0) FROM emission e WHERE e.submission_id = "
                            "submission.id AND e.contid NOT IN ({TOTALS})), "
                            "total_fact = (SELECT COALESCE(SUM(fact), 0) FROM emission e WHERE e.submission_id = "
                            "submission.id AND e.contid NOT IN ({TOTALS}))"),
         }},
        {4,
         {
             // Every import wrote about thirty scattered pages of this index per
             // submission; the reports now reach a pollutant's rows through
             // their submissions and the primary key instead.
             QStringLiteral("DROP INDEX emission_contid"),
         },
         {
             // Emission rows kept in the primary key's order: one submission's
             // rows share a page or two at the end of the table, and a report
             // reads them without a second look-up per row.
             QStringLiteral("CREATE TABLE emission_rebuilt (submission_id BIGINT NOT NULL REFERENCES submission (id) "
                            "ON DELETE CASCADE, contid INTEGER NOT NULL, poten DOUBLE PRECISION NOT NULL, "
                            "fact DOUBLE PRECISION NOT NULL, PRIMARY KEY (submission_id, contid)) WITHOUT ROWID"),
             QStringLiteral("INSERT INTO emission_rebuilt SELECT submission_id, contid, poten, fact FROM emission"),
             QStringLiteral("DROP TABLE emission"),
             QStringLiteral("ALTER TABLE emission_rebuilt RENAME TO emission"),
         }},
    };
    return list;
}

// The group-total pollutants, as the data check keeps them.
QString groupTotalIdList()
{
    QStringList ids;
    for (const GroupTotalRow& group : GroupTotals())
        ids << QString::number(group.TotalId);
    return ids.join(QStringLiteral(", "));
}

}  // namespace

QString RegistryDb::nowText()
{
    // Made once a millisecond: an import stores several submissions in one.
    thread_local qint64 madeAt = -1;
    thread_local QString text;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now != madeAt) {
        madeAt = now;
        text = QDateTime::fromMSecsSinceEpoch(now, Qt::UTC).toString(Qt::ISODateWithMs);
    }
    return text;
}

QString DbErrorText(const QSqlError& error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    return text;
}

QString DbFailure(const QString& detail)
{
    return QStringLiteral("Помилка бази даних: ") + detail;
}

QString DbFailure(const QSqlError& error)
{
    return DbFailure(DbErrorText(error));
}

bool DbTarget::Parse(const QString& spec, DbTarget* target, QString* error)
{
    *target = DbTarget();
    if (!spec.startsWith(QLatin1String("postgresql://")) && !spec.startsWith(QLatin1String("postgres://"))) {
        target->Path = spec;
        return true;
    }
    const QUrl url(spec);
    if (!url.isValid()) {
        *error = QStringLiteral("Неправильна адреса бази даних: %1").arg(spec);
        return false;
    }
    target->Postgres = true;
    target->Host = url.host();
    target->Port = url.port(-1);
    target->User = url.userName();
    target->Password = url.password();
    target->Database = url.path().mid(1);
    const QUrlQuery query(url);
    if (query.hasQueryItem(QStringLiteral("host")))
        target->Host = query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
    if (query.hasQueryItem(QStringLiteral("port")))
        target->Port = query.queryItemValue(QStringLiteral("port")).toInt();
    if (target->Database.isEmpty()) {
        *error = QStringLiteral("В адресі бази даних не вказано назву бази: %1").arg(spec);
        return false;
    }
    return true;
}

RegistryDb::RegistryDb()
{
    static QAtomicInteger<int> counter;
    m_connection = QStringLiteral("emlo-registry-%1").arg(counter.fetchAndAddRelaxed(1));
}

RegistryDb::~RegistryDb()
{
    if (m_groupOpen)
        rollback();  // never flushed: nothing of it was reported as stored
    // Statements of the connection go before it closes, or SQLite keeps it open.
    m_statements.clear();
    m_emissionInserts.clear();
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

QSqlDatabase RegistryDb::Database() const
{
    return QSqlDatabase::database(m_connection, false);
}

int RegistryDb::LatestVersion()
{
    return migrations().constLast().Version;
}

bool RegistryDb::exec(const QString& sql, QString* error)
{
    QSqlQuery query(Database());
    if (query.exec(sql))
        return true;
    *error = DbFailure(query.lastError());
    return false;
}

bool RegistryDb::Open(const DbTarget& target, const QString& refdataDir, QString* error, int version)
{
    m_target = target;
    const QString driver = target.Postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        *error = QStringLiteral("Немає драйвера бази даних %1 (пакет libqt6sql6-%2)")
                     .arg(driver, target.Postgres ? QStringLiteral("psql") : QStringLiteral("sqlite"));
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, m_connection);
    if (target.Postgres) {
        db.setHostName(target.Host);
        if (target.Port > 0)
            db.setPort(target.Port);
        db.setDatabaseName(target.Database);
        db.setUserName(target.User);
        db.setPassword(target.Password);
    } else {
        db.setDatabaseName(target.Path);
        // Another importer holding the write lock is waited for, not failed on.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=60000"));
    }
    if (!db.open()) {
        *error = QStringLiteral("Неможливо відкрити базу даних %1: %2")
                     .arg(target.Postgres ? target.Database : target.Path, DbErrorText(db.lastError()));
        return false;
    }
    if (!target.Postgres) {
        m_sqlite = Statement::SqliteHandle(db);
        // WAL lets reports read while an import writes; NORMAL keeps each
        // commit durable against a crash of the program, not of the machine.
        if (!exec(QStringLiteral("PRAGMA journal_mode=WAL"), error)
            || !exec(QStringLiteral("PRAGMA synchronous=NORMAL"), error)
            || !exec(QStringLiteral("PRAGMA foreign_keys=ON"), error))
            return false;
    } else if (!exec(QStringLiteral("SET client_min_messages TO WARNING"), error)) {
        return false;
    }
    return migrate(refdataDir, version < 0 ? LatestVersion() : version, error);
}

bool RegistryDb::execCached(const QString& sql, QString* error)
{
    Statement* statement = this->statement(sql, error);
    if (statement == nullptr)
        return false;
    const bool ok = statement->Exec();
    if (!ok)
        *error = DbFailure(statement->ErrorText());
    statement->Reset();
    return ok;
}

bool RegistryDb::begin(QString* error)
{
    // SQLite: take the write lock at once, so two importers never both read
    // and then deadlock on the upgrade to writing. PostgreSQL prepares no
    // transaction statements.
    return m_target.Postgres ? exec(QStringLiteral("BEGIN"), error)
                             : execCached(QStringLiteral("BEGIN IMMEDIATE"), error);
}

bool RegistryDb::beginExclusive(QString* error)
{
    // SQLite's write lock already excludes every other writer.
    if (!begin(error))
        return false;
    if (m_target.Postgres && !exec(QStringLiteral("SELECT pg_advisory_xact_lock(1402202614)"), error)) {
        rollback();
        return false;
    }
    return true;
}

void RegistryDb::rollback()
{
    QString ignored;
    exec(QStringLiteral("ROLLBACK"), &ignored);
}

bool RegistryDb::commit(QString* error)
{
    return m_target.Postgres ? exec(QStringLiteral("COMMIT"), error) : execCached(QStringLiteral("COMMIT"), error);
}

bool RegistryDb::Flush(QString* error)
{
    if (!CommitGroup(error))
        return false;
    if (m_unflushedEdrpou.isEmpty())
        return true;
    // A commit that waits for the disk writes out the log up to itself, so
    // also every earlier commit. It needs a change to commit: the last
    // stored enterprise's row, rewritten as it is.
    const bool pg = m_target.Postgres;
    if (!exec(pg ? QStringLiteral("SET synchronous_commit TO on") : QStringLiteral("PRAGMA synchronous=FULL"), error))
        return false;
    m_asyncCommits = false;
    QSqlQuery touch(Database());
    touch.prepare(QStringLiteral("UPDATE enterprise SET updated_at = updated_at WHERE edrpou = ?"));
    touch.addBindValue(m_unflushedEdrpou);
    bool ok = begin(error);
    if (ok && !touch.exec()) {
        *error = DbFailure(touch.lastError());
        ok = false;
    }
    ok = ok && commit(error);
    if (!ok)
        rollback();
    QString restoreError;
    if (!pg && !exec(QStringLiteral("PRAGMA synchronous=NORMAL"), &restoreError) && ok) {
        *error = restoreError;
        return false;
    }
    if (ok)
        m_unflushedEdrpou.clear();
    return ok;
}

int RegistryDb::SchemaVersion()
{
    QSqlQuery query(Database());
    if (!query.exec(QStringLiteral("SELECT MAX(version) FROM schema_migration")) || !query.next())
        return 0;
    return query.value(0).toInt();
}

bool RegistryDb::migrate(const QString& refdataDir, int version, QString* error)
{
    // Several importers may start on a fresh database at once: one migrates,
    // the others wait for it and then find the schema done.
    if (!beginExclusive(error))
        return false;
    const auto fail = [this]() {
        rollback();
        return false;
    };
    if (!exec(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_migration (version INTEGER PRIMARY KEY, "
                             "applied_at VARCHAR(32) NOT NULL)"),
              error))
        return fail();
    const int current = SchemaVersion();
    if (current > LatestVersion()) {
        *error = QStringLiteral("База даних має новішу схему (версія %1), ніж знає ця програма (%2)")
                     .arg(current)
                     .arg(LatestVersion());
        return fail();
    }
    const QString id = m_target.Postgres ? QStringLiteral("BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY")
                                         : QStringLiteral("INTEGER PRIMARY KEY");
    for (const Migration& migration : migrations()) {
        if (migration.Version <= current || migration.Version > version)
            continue;
        const QStringList statements =
            migration.Statements + (m_target.Postgres ? migration.PostgresOnly : migration.SqliteOnly);
        for (QString sql : statements) {
            sql.replace(QLatin1String("{ID}"), id).replace(QLatin1String("{TOTALS}"), groupTotalIdList());
            if (!exec(sql, error))
                return fail();
        }
        QSqlQuery mark(Database());
        mark.prepare(QStringLiteral("INSERT INTO schema_migration (version, applied_at) VALUES (?, ?)"));
        mark.addBindValue(migration.Version);
        mark.addBindValue(nowText());
        if (!mark.exec()) {
            *error = DbFailure(mark.lastError());
            return fail();
        }
        if (migration.Version == 1 && !loadReferenceTables(refdataDir, error))
            return fail();
    }
    return exec(QStringLiteral("COMMIT"), error);
}

namespace {

struct RefLoad {
    const char* Csv;
    const char* Table;
    const char* Columns;
    int Count;
    const char* Title;
};

// Columns of the CSV files after their id column (CONT keeps its id).
const RefLoad refLoads[] = {
    {"cont.csv", "ref_cont", "contid, code, descr, threshold", 4, "забруднюючі речовини"},
    {"obl.csv", "ref_obl", "code, descr", 2, "області"},
    {"cy.csv", "ref_cy", "code, descr", 2, "населені пункти і райони"},
    {"ea.csv", "ref_ea", "code, descr", 2, "види економічної діяльності"},
    {"ow.csv", "ref_ow", "code, descr", 2, "форми власності"},
    {"dp.csv", "ref_dp", "code, descr", 2, "органи державного управління"},
};

}  // namespace

bool RegistryDb::count(const QString& sql, qint64* value, QString* error)
{
    QSqlQuery query(Database());
    if (!query.exec(sql) || !query.next()) {
        *error = DbFailure(query.lastError());
        return false;
    }
    *value = query.value(0).toLongLong();
    return true;
}

bool RegistryDb::ReloadReferenceTables(const QString& refdataDir, QList<ReferenceCount>* counts, QString* error)
{
    counts->clear();
    // One reload at a time, and none while a migration fills the tables.
    if (!beginExclusive(error))
        return false;
    const auto fail = [this]() {
        rollback();
        return false;
    };
    for (const RefLoad& load : refLoads) {
        ReferenceCount c{QString::fromLatin1(load.Csv), QString::fromUtf8(load.Title)};
        if (!count(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(load.Table)), &c.Before, error)
            || !exec(QStringLiteral("DELETE FROM %1").arg(QLatin1String(load.Table)), error))
            return fail();
        counts->append(c);
    }
    if (!loadReferenceTables(refdataDir, error))
        return fail();
    for (qsizetype i = 0; i < counts->size(); ++i) {
        if (!count(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(refLoads[i].Table)), &(*counts)[i].After,
                   error))
            return fail();
    }
    return commit(error) || fail();
}

bool RegistryDb::MissingReferenceCodes(QList<MissingCodes>* missing, int limit, QString* error)
{
    missing->clear();
    struct ReferenceCheck {
        const char* Title;
        const char* Sql;
    };
    const ReferenceCheck checks[] = {
        {"забруднюючі речовини (CONTID)",
         "SELECT DISTINCT e.contid FROM submission s JOIN emission e ON e.submission_id = s.id "
         "WHERE s.is_current = 1 AND NOT EXISTS (SELECT 1 FROM ref_cont r WHERE r.contid = e.contid) ORDER BY 1"},
        {"області (OBL_ID)",
         "SELECT DISTINCT obl_code FROM submission s WHERE is_current = 1 AND obl_code <> '' "
         "AND NOT EXISTS (SELECT 1 FROM ref_obl r WHERE r.code = s.obl_code) ORDER BY 1"},
        {"райони (REGN_ID)",
         "SELECT DISTINCT regn_code FROM submission s WHERE is_current = 1 AND regn_code <> '' "
         "AND NOT EXISTS (SELECT 1 FROM ref_cy r WHERE r.code = s.regn_code) ORDER BY 1"},
        {"населені пункти (CITY_ID)",
         "SELECT DISTINCT city_code FROM submission s WHERE is_current = 1 AND city_code <> '' "
         "AND NOT EXISTS (SELECT 1 FROM ref_cy r WHERE r.code = s.city_code) ORDER BY 1"},
    };
    QSqlQuery query(Database());
    query.setForwardOnly(true);
    for (const ReferenceCheck& check : checks) {
        if (!query.exec(QStringLiteral("%1 LIMIT %2").arg(QString::fromLatin1(check.Sql)).arg(limit))) {
            *error = DbFailure(query.lastError());
            return false;
        }
        MissingCodes codes{QString::fromUtf8(check.Title), {}};
        while (query.next())
            codes.Codes << query.value(0).toString();
        if (!codes.Codes.isEmpty())
            missing->append(codes);
    }
    return true;
}

bool RegistryDb::loadReferenceTables(const QString& refdataDir, QString* error)
{
    const int chunk = 200;
    for (const RefLoad& load : refLoads) {
        const QString path = refdataDir + QLatin1Char('/') + QString::fromLatin1(load.Csv);
        QFile file(path);
        QVector<QStringList> rows;
        QString parseError;
        if (!file.open(QIODevice::ReadOnly) || !ParseCsv(file.readAll(), &rows, &parseError)) {
            *error = QStringLiteral("Неможливо прочитати довідник %1 %2").arg(path, parseError);
            return false;
        }
        const QStringList problems =
            ValidateRows(*std::find_if(ReferenceTables().begin(), ReferenceTables().end(),
                                       [&](const RefTable& t) { return t.csvName == load.Csv; }),
                         rows);
        if (!problems.isEmpty()) {
            *error = QStringLiteral("Помилка в довіднику: %1").arg(problems.first());
            return false;
        }
        const int skip = load.Count == 4 ? 0 : 1;
        const QString placeholders =
            QStringLiteral("(") + QStringList(load.Count, QStringLiteral("?")).join(u',') + QStringLiteral(")");
        for (qsizetype start = 1; start < rows.size(); start += chunk) {
            const qsizetype end = std::min(rows.size(), start + chunk);
            QStringList values;
            for (qsizetype r = start; r < end; ++r)
                values << placeholders;
            QSqlQuery insert(Database());
            insert.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                               .arg(QLatin1String(load.Table), QLatin1String(load.Columns), values.join(u',')));
            for (qsizetype r = start; r < end; ++r) {
                const QStringList& row = rows.at(r);
                for (int c = 0; c < load.Count; ++c) {
                    const QString& value = row.at(c + skip);
                    if (load.Count == 4 && (c == 0))
                        insert.addBindValue(value.toInt());
                    else if (load.Count == 4 && c == 3)
                        insert.addBindValue(value.toDouble());
                    else
                        insert.addBindValue(value);
                }
            }
            if (!insert.exec()) {
                *error = QStringLiteral("Помилка завантаження довідника %1: %2")
                             .arg(QString::fromLatin1(load.Csv), DbErrorText(insert.lastError()));
                return false;
            }
        }
    }
    return true;
}

void RegistryDb::UpdateStatistics()
{
    QString ignored;
    if (m_target.Postgres)
        exec(QStringLiteral("ANALYZE submission, emission, enterprise"), &ignored);
    else
        exec(QStringLiteral("ANALYZE"), &ignored);
}

bool RegistryDb::ReadReferenceSets(ReferenceSets* sets, QString* error)
{
    *sets = ReferenceSets();
    QSqlQuery query(Database());
    query.setForwardOnly(true);
    const auto read = [&](const QString& sql, auto add) {
        if (!query.exec(sql)) {
            *error = DbFailure(query.lastError());
            return false;
        }
        while (query.next())
            add(query);
        return true;
    };
    return read(QStringLiteral("SELECT code FROM ref_obl"),
                [&](QSqlQuery& q) { sets->RegionCodes.insert(q.value(0).toString()); })
        && read(QStringLiteral("SELECT code FROM ref_cy"),
                [&](QSqlQuery& q) { sets->SettlementCodes.insert(q.value(0).toString()); })
        && read(QStringLiteral("SELECT contid FROM ref_cont"),
                [&](QSqlQuery& q) { sets->PollutantIds.insert(q.value(0).toInt()); });
}

Statement* RegistryDb::statement(const QString& sql, QString* error)
{
    auto it = m_statements.find(sql);
    if (it == m_statements.end()) {
        auto statement = std::make_unique<Statement>(Database(), m_sqlite, sql);
        if (!statement->IsPrepared()) {
            *error = DbFailure(statement->ErrorText());
            return nullptr;
        }
        it = m_statements.emplace(sql, std::move(statement)).first;
    }
    return it->second.get();
}

Statement* RegistryDb::emissionInsert(qsizetype rows, QString* error)
{
    // The text is made once for each number of rows.
    Statement*& cached = m_emissionInserts[rows];
    if (cached == nullptr) {
        const QStringList values(rows, QStringLiteral("(?, ?, ?, ?)"));
        cached = statement(QStringLiteral("INSERT INTO emission (submission_id, contid, poten, fact) VALUES ")
                               + values.join(u','),
                           error);
    }
    return cached;
}

}  // namespace emlo::registry
