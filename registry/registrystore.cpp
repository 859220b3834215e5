#include "registrydb.h"

// The store road of the registry: one submission after another, each all or
// nothing, and the group commit of imports into SQLite.

#include "check/datacheck.h"
#include "statement.h"

namespace emlo::registry {

namespace {

// A text column never holds NULL: an absent value is stored as "".
QString notNull(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

}  // namespace

bool RegistryDb::Store(const SubmissionData& submission, int year, const QString& sourcePath, StoreOutcome* outcome,
                       QString* error)
{
    static const QString edrpouField = QStringLiteral("EDRPOU");
    const QString edrpou = submission.AttrText(edrpouField).trimmed();
    if (m_groupCommit && !m_target.Postgres)
        return storeInGroup(submission, edrpou, year, sourcePath, outcome, error);
    for (int attempt = 0;; ++attempt) {
        bool retry = false;
        if (storeOnce(submission, edrpou, year, sourcePath, outcome, error, &retry))
            return true;
        rollback();
        if (!retry || attempt >= 5)
            return false;
    }
}

bool RegistryDb::storeOnce(const SubmissionData& s, const QString& edrpou, int year, const QString& sourcePath,
                           StoreOutcome* outcome, QString* error, bool* retry)
{
    if (m_target.Postgres && !m_asyncCommits) {
        if (!exec(QStringLiteral("SET synchronous_commit TO off"), error))
            return false;
        m_asyncCommits = true;
    }
    if (!begin(error))
        return false;
    if (!writeSubmission(s, edrpou, year, sourcePath, outcome, error, retry))
        return false;
    if (*outcome == StoreOutcome::Unchanged)
        return exec(QStringLiteral("ROLLBACK"), error);
    if (!commit(error))
        return false;
    m_unflushedEdrpou = edrpou;
    return true;
}

// One submission under a savepoint of the open group transaction, which is
// begun here when none is open: all of the submission or none of it.
bool RegistryDb::storeInGroup(const SubmissionData& s, const QString& edrpou, int year, const QString& sourcePath,
                              StoreOutcome* outcome, QString* error)
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
    const bool written = writeSubmission(s, edrpou, year, sourcePath, outcome, error, &retry);
    if (written && *outcome != StoreOutcome::Unchanged) {
        if (!execCached(QStringLiteral("RELEASE submission"), error)) {
            abandonGroup();
            return false;
        }
        ++m_groupStores;
        m_unflushedEdrpou = edrpou;
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
    // A store's savepoint journal holds the pages the store changed. SQLite
    // moves a journal that outgrows 64 KiB into a temporary file, and every
    // later store of the connection then writes its pages there by system
    // calls. Kept in memory it is as large as one store's changes.
    if (on && !m_target.Postgres) {
        QString ignored;
        exec(QStringLiteral("PRAGMA temp_store = MEMORY"), &ignored);  // speed only
    }
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
        *error = DbFailure(QStringLiteral("останні подання не збережено, бо транзакцію скасовано"));
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

bool RegistryDb::writeSubmission(const SubmissionData& s, const QString& edrpou, int year, const QString& sourcePath,
                                 StoreOutcome* outcome, QString* error, bool* retry)
{
    Statement* statement = nullptr;
    const auto failed = [&] {
        *retry = statement->Retryable();
        *error = DbFailure(statement->ErrorText());
        statement->Reset();
        return false;
    };
    static const QString ennameField = QStringLiteral("ENNAME");
    const QString now = nowText();

    // The upsert locks the enterprise row until the end of the transaction:
    // a second importer of the same enterprise waits here, then sees what
    // the first committed.
    static const QString enterpriseSql =
        QStringLiteral("INSERT INTO enterprise (edrpou, enname, updated_at) VALUES (?, ?, ?) "
                       "ON CONFLICT (edrpou) DO UPDATE SET enname = excluded.enname, updated_at = excluded.updated_at");
    if (!(statement = this->statement(enterpriseSql, error)))
        return false;
    statement->Bind(edrpou).Bind(notNull(s.AttrText(ennameField).trimmed())).Bind(now);
    if (!statement->Exec())
        return failed();
    statement->Reset();

    static const QString currentSql =
        QStringLiteral("SELECT id, content_hash FROM submission WHERE edrpou = ? AND year = ? AND is_current = 1");
    if (!(statement = this->statement(currentSql, error)))
        return false;
    statement->Bind(edrpou).Bind(year);
    if (!statement->Exec())
        return failed();
    qint64 previousId = -1;
    if (statement->Next()) {
        previousId = statement->Int64(0);
        if (!s.ContentHash.isEmpty() && statement->Latin1(1) == s.ContentHash) {
            statement->Reset();
            *outcome = StoreOutcome::Unchanged;
            return true;
        }
    }
    statement->Reset();

    if (previousId >= 0) {
        static const QString replaceSql =
            QStringLiteral("UPDATE submission SET is_current = 0, replaced_at = ? WHERE id = ?");
        if (!(statement = this->statement(replaceSql, error)))
            return false;
        statement->Bind(now).Bind(previousId);
        if (!statement->Exec())
            return failed();
        statement->Reset();
    }

    static const QString submissionSql =
        QStringLiteral("INSERT INTO submission (edrpou, year, is_current, imported_at, source_path, content_hash, "
                       "enname, enaddr, ench_pos, ench_name, enphone, obl_descr, regn_descr, city_descr, spodu_d, "
                       "spodu_id, kved_descr, kved_id, kfv_descr, kfv_id, obl_code, regn_code, city_code, "
                       "x1, x2, x3, y1, y2, y3, total_poten, total_fact) VALUES (?, ?, 1, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                       "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id");
    static const QString textFields[] = {
        QStringLiteral("ENNAME"),     QStringLiteral("ENADDR"),     QStringLiteral("ENCH_POS"),
        QStringLiteral("ENCH_NAME"),  QStringLiteral("ENPHONE"),    QStringLiteral("OBL_DESCR"),
        QStringLiteral("REGN_DESCR"), QStringLiteral("CITY_DESCR"), QStringLiteral("SPODU_D"),
        QStringLiteral("SPODU_ID"),   QStringLiteral("KVED_DESCR"), QStringLiteral("KVED_ID"),
        QStringLiteral("KFV_DESCR"),  QStringLiteral("KFV_ID")};
    static const QString codeFields[] = {QStringLiteral("OBL_ID"), QStringLiteral("REGN_ID"),
                                         QStringLiteral("CITY_ID")};
    static const QString coordFields[] = {QStringLiteral("X1"), QStringLiteral("X2"), QStringLiteral("X3"),
                                          QStringLiteral("Y1"), QStringLiteral("Y2"), QStringLiteral("Y3")};
    if (!(statement = this->statement(submissionSql, error)))
        return false;
    statement->Bind(edrpou).Bind(year).Bind(now).Bind(sourcePath).Bind(QString::fromLatin1(s.ContentHash));
    for (const QString& field : textFields)
        statement->Bind(notNull(s.AttrText(field).trimmed()));
    for (const QString& field : codeFields)
        statement->Bind(notNull(s.KoatuuCode(field)));
    for (const QString& field : coordFields)
        statement->Bind(s.AttrInt(field));
    double totalPoten = 0;
    double totalFact = 0;
    for (const EmissionRow& row : s.Rows) {
        if (!IsGroupTotalId(qint32(row.ContId.value_or(0)))) {
            totalPoten += row.Poten.value_or(0.0);
            totalFact += row.Fact.value_or(0.0);
        }
    }
    statement->Bind(totalPoten).Bind(totalFact);
    if (!statement->Exec() || !statement->Next())
        return failed();
    const qint64 id = statement->Int64(0);
    statement->Reset();

    if (!insertEmissions(id, s, error))
        return false;
    *outcome = previousId >= 0 ? StoreOutcome::Replaced : StoreOutcome::Added;
    return true;
}

bool RegistryDb::insertEmissions(qint64 submissionId, const SubmissionData& s, QString* error)
{
    // Several rows per statement: one round trip to a server for a whole
    // submission of usual size, and on SQLite half the work of one
    // statement per row.
    const qsizetype chunk = 64;
    for (qsizetype start = 0; start < s.Rows.size(); start += chunk) {
        const qsizetype count = std::min(chunk, s.Rows.size() - start);
        Statement* insert = emissionInsert(count, error);
        if (insert == nullptr)
            return false;
        for (qsizetype i = start; i < start + count; ++i) {
            const EmissionRow& row = s.Rows.at(i);
            insert->Bind(submissionId)
                .Bind(qint32(row.ContId.value_or(0)))
                .Bind(row.Poten.value_or(0.0))
                .Bind(row.Fact.value_or(0.0));
        }
        const bool inserted = insert->Exec();
        if (!inserted)
            *error = DbFailure(insert->ErrorText());
        insert->Reset();
        if (!inserted)
            return false;
    }
    return true;
}

}  // namespace emlo::registry
