#include "registrydb.h"

// The store road of the registry: one submission after another, each all or
// nothing, and the group commit of imports into SQLite.

#include <sqlite3.h>

#include <QSqlDriver>
#include <QSqlError>

#include "check/datacheck.h"

namespace emlo::registry {

namespace {

// A text column never holds NULL: an absent value is stored as "".
QString notNull(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

// Deadlocks and serialisation failures of PostgreSQL are worth another try.
bool isRetryable(const QSqlError& error)
{
    const QString state = error.nativeErrorCode();
    return state == QLatin1String("40001") || state == QLatin1String("40P01");
}

}  // namespace

bool RegistryDb::Store(const SubmissionData& submission, int year, const QString& sourcePath, StoreOutcome* outcome,
                       QString* error)
{
    if (m_groupCommit && !m_target.Postgres)
        return storeInGroup(submission, year, sourcePath, outcome, error);
    for (int attempt = 0;; ++attempt) {
        bool retry = false;
        if (storeOnce(submission, year, sourcePath, outcome, error, &retry))
            return true;
        rollback();
        if (!retry || attempt >= 5)
            return false;
    }
}

bool RegistryDb::storeOnce(const SubmissionData& s, int year, const QString& sourcePath, StoreOutcome* outcome,
                           QString* error, bool* retry)
{
    if (m_target.Postgres && !m_asyncCommits) {
        if (!exec(QStringLiteral("SET synchronous_commit TO off"), error))
            return false;
        m_asyncCommits = true;
    }
    if (!begin(error))
        return false;
    if (!writeSubmission(s, year, sourcePath, outcome, error, retry))
        return false;
    if (*outcome == StoreOutcome::Unchanged)
        return exec(QStringLiteral("ROLLBACK"), error);
    if (!commit(error))
        return false;
    m_unflushedEdrpou = s.AttrText(QStringLiteral("EDRPOU")).trimmed();
    return true;
}

// One submission under a savepoint of the open group transaction, which is
// begun here when none is open: all of the submission or none of it.
bool RegistryDb::storeInGroup(const SubmissionData& s, int year, const QString& sourcePath, StoreOutcome* outcome,
                              QString* error)
{
    if (!m_groupOpen) {
        if (!begin(error))
            return false;
        m_groupOpen = true;
        m_groupStores = 0;
        m_groupAge.start();
    }
    if (!execCached(QStringLiteral("SAVEPOINT submission"), error)) {
        abandonGroup();
        return false;
    }
    bool retry = false;
    const bool written = writeSubmission(s, year, sourcePath, outcome, error, &retry);
    if (written && *outcome != StoreOutcome::Unchanged) {
        if (!execCached(QStringLiteral("RELEASE submission"), error)) {
            abandonGroup();
            return false;
        }
        ++m_groupStores;
        m_unflushedEdrpou = s.AttrText(QStringLiteral("EDRPOU")).trimmed();
        return true;
    }
    // A failed submission leaves the earlier ones of the group as they were;
    // where SQLite already undid the whole transaction (a full disk), the
    // group is lost and its commit says so.
    QString undoError;
    if (!execCached(QStringLiteral("ROLLBACK TO submission"), &undoError)
        || !execCached(QStringLiteral("RELEASE submission"), &undoError)) {
        abandonGroup();
        if (written) {
            *error = undoError;
            return false;
        }
    }
    return written;
}

void RegistryDb::abandonGroup()
{
    if (m_groupOpen)
        rollback();
    m_groupOpen = false;
    m_groupLost = true;
}

void RegistryDb::SetGroupCommit(bool on)
{
    m_groupCommit = on;
}

bool RegistryDb::GroupDue() const
{
    // Short enough that another importer waiting for the write lock hardly
    // notices, long enough that commits stop dominating an import.
    return m_groupOpen && (m_groupStores >= 500 || m_groupAge.elapsed() >= 250);
}

bool RegistryDb::CommitGroup(QString* error)
{
    if (m_groupLost) {
        m_groupLost = false;
        *error = QStringLiteral("Помилка бази даних: останні подання не збережено, бо транзакцію скасовано");
        return false;
    }
    if (!m_groupOpen)
        return true;
    m_groupOpen = false;
    if (commit(error))
        return true;
    rollback();
    return false;
}

bool RegistryDb::writeSubmission(const SubmissionData& s, int year, const QString& sourcePath, StoreOutcome* outcome,
                                 QString* error, bool* retry)
{
    bool ok = true;
    const auto failed = [&](QSqlQuery& q) {
        *retry = isRetryable(q.lastError());
        *error = QStringLiteral("Помилка бази даних: %1").arg(DbErrorText(q.lastError()));
        return false;
    };
    const QString edrpou = s.AttrText(QStringLiteral("EDRPOU")).trimmed();
    const QString now = nowText();

    // The upsert locks the enterprise row until the end of the transaction:
    // a second importer of the same enterprise waits here, then sees what
    // the first committed.
    QSqlQuery& enterprise = prepared(
        QStringLiteral("enterprise"),
        QStringLiteral("INSERT INTO enterprise (edrpou, enname, updated_at) VALUES (?, ?, ?) "
                       "ON CONFLICT (edrpou) DO UPDATE SET enname = excluded.enname, updated_at = excluded.updated_at"),
        &ok, error);
    if (!ok)
        return false;
    enterprise.addBindValue(edrpou);
    enterprise.addBindValue(notNull(s.AttrText(QStringLiteral("ENNAME")).trimmed()));
    enterprise.addBindValue(now);
    if (!enterprise.exec())
        return failed(enterprise);

    QSqlQuery& current = prepared(
        QStringLiteral("current"),
        QStringLiteral("SELECT id, content_hash FROM submission WHERE edrpou = ? AND year = ? AND is_current = 1"), &ok,
        error);
    if (!ok)
        return false;
    current.addBindValue(edrpou);
    current.addBindValue(year);
    if (!current.exec())
        return failed(current);
    qint64 previousId = -1;
    if (current.next()) {
        previousId = current.value(0).toLongLong();
        if (!s.ContentHash.isEmpty() && current.value(1).toString().toLatin1() == s.ContentHash) {
            current.finish();
            *outcome = StoreOutcome::Unchanged;
            return true;
        }
    }
    current.finish();

    if (previousId >= 0) {
        QSqlQuery& replace =
            prepared(QStringLiteral("replace"),
                     QStringLiteral("UPDATE submission SET is_current = 0, replaced_at = ? WHERE id = ?"), &ok, error);
        if (!ok)
            return false;
        replace.addBindValue(now);
        replace.addBindValue(previousId);
        if (!replace.exec())
            return failed(replace);
    }

    static const char* const textFields[] = {"ENNAME",     "ENADDR",     "ENCH_POS",   "ENCH_NAME", "ENPHONE",
                                             "OBL_DESCR",  "REGN_DESCR", "CITY_DESCR", "SPODU_D",   "SPODU_ID",
                                             "KVED_DESCR", "KVED_ID",    "KFV_DESCR",  "KFV_ID"};
    static const char* const coordFields[] = {"X1", "X2", "X3", "Y1", "Y2", "Y3"};
    QSqlQuery& insert = prepared(
        QStringLiteral("submission"),
        QStringLiteral("INSERT INTO submission (edrpou, year, is_current, imported_at, source_path, content_hash, "
                       "enname, enaddr, ench_pos, ench_name, enphone, obl_descr, regn_descr, city_descr, spodu_d, "
                       "spodu_id, kved_descr, kved_id, kfv_descr, kfv_id, obl_code, regn_code, city_code, "
                       "x1, x2, x3, y1, y2, y3, total_poten, total_fact) VALUES (?, ?, 1, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                       "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"),
        &ok, error);
    if (!ok)
        return false;
    insert.addBindValue(edrpou);
    insert.addBindValue(year);
    insert.addBindValue(now);
    insert.addBindValue(sourcePath);
    insert.addBindValue(QString::fromLatin1(s.ContentHash));
    for (const char* field : textFields)
        insert.addBindValue(notNull(s.AttrText(QString::fromLatin1(field)).trimmed()));
    insert.addBindValue(notNull(s.KoatuuCode(QStringLiteral("OBL_ID"))));
    insert.addBindValue(notNull(s.KoatuuCode(QStringLiteral("REGN_ID"))));
    insert.addBindValue(notNull(s.KoatuuCode(QStringLiteral("CITY_ID"))));
    for (const char* field : coordFields)
        insert.addBindValue(s.AttrInt(QString::fromLatin1(field)));
    double totalPoten = 0;
    double totalFact = 0;
    for (const EmissionRow& row : s.Rows) {
        if (!IsGroupTotalId(qint32(row.ContId.value_or(0)))) {
            totalPoten += row.Poten.value_or(0.0);
            totalFact += row.Fact.value_or(0.0);
        }
    }
    insert.addBindValue(totalPoten);
    insert.addBindValue(totalFact);
    if (!insert.exec() || !insert.next())
        return failed(insert);
    const qint64 id = insert.value(0).toLongLong();
    insert.finish();

    if (!insertEmissions(id, s, error))
        return false;
    *outcome = previousId >= 0 ? StoreOutcome::Replaced : StoreOutcome::Added;
    return true;
}

bool RegistryDb::insertEmissions(qint64 submissionId, const SubmissionData& s, QString* error)
{
    if (!m_target.Postgres) {
        if (!m_emissionInsert && !prepareSqliteEmissionInsert(error))
            return false;
        if (m_emissionInsert)
            return insertEmissionsSqlite(submissionId, s, error);
    }

    // Several rows per statement: one round trip to a server for a whole
    // submission of usual size.
    const qsizetype chunk = 64;
    for (qsizetype start = 0; start < s.Rows.size(); start += chunk) {
        const qsizetype count = std::min(chunk, s.Rows.size() - start);
        QStringList values(count, QStringLiteral("(?, ?, ?, ?)"));
        bool ok = true;
        QSqlQuery& insert = prepared(QStringLiteral("emission%1").arg(count),
                                     QStringLiteral("INSERT INTO emission (submission_id, contid, poten, fact) VALUES ")
                                         + values.join(u','),
                                     &ok, error);
        if (!ok)
            return false;
        for (qsizetype i = start; i < start + count; ++i) {
            const EmissionRow& row = s.Rows.at(i);
            insert.addBindValue(submissionId);
            insert.addBindValue(qint32(row.ContId.value_or(0)));
            insert.addBindValue(row.Poten.value_or(0.0));
            insert.addBindValue(row.Fact.value_or(0.0));
        }
        if (!insert.exec()) {
            *error = QStringLiteral("Помилка бази даних: %1").arg(DbErrorText(insert.lastError()));
            return false;
        }
    }
    return true;
}

// Qt SQL's binding costs several times more per value than SQLite's insert
// itself, so on SQLite the emission rows, most of what an import writes, go
// through SQLite's own interface on the same connection and transaction.
bool RegistryDb::prepareSqliteEmissionInsert(QString* error)
{
    const QVariant handle = Database().driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return true;  // another build of the driver: Qt's road below
    sqlite3* db = *static_cast<sqlite3* const*>(handle.constData());
    if (sqlite3_prepare_v3(db, "INSERT INTO emission (submission_id, contid, poten, fact) VALUES (?, ?, ?, ?)", -1,
                           SQLITE_PREPARE_PERSISTENT, &m_emissionInsert, nullptr)
        != SQLITE_OK) {
        *error = QStringLiteral("Помилка бази даних: %1").arg(QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_finalize(m_emissionInsert);
        m_emissionInsert = nullptr;
        return false;
    }
    return true;
}

bool RegistryDb::insertEmissionsSqlite(qint64 submissionId, const SubmissionData& s, QString* error)
{
    sqlite3_stmt* insert = m_emissionInsert;
    for (const EmissionRow& row : s.Rows) {
        sqlite3_bind_int64(insert, 1, submissionId);
        sqlite3_bind_int(insert, 2, qint32(row.ContId.value_or(0)));
        sqlite3_bind_double(insert, 3, row.Poten.value_or(0.0));
        sqlite3_bind_double(insert, 4, row.Fact.value_or(0.0));
        const int rc = sqlite3_step(insert);
        sqlite3_reset(insert);
        if (rc != SQLITE_DONE) {
            *error = QStringLiteral("Помилка бази даних: %1")
                         .arg(QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(insert))));
            return false;
        }
    }
    return true;
}

}  // namespace emlo::registry
