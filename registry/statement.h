#pragma once

#include <memory>

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <QVarLengthArray>

class QSqlQuery;
struct sqlite3;
struct sqlite3_stmt;

namespace emlo::registry {

// One statement of the registry's connection, prepared once and run many
// times with new values; the SQL text is the same for both engines. On
// SQLite it runs through SQLite's own interface on the connection Qt SQL
// opened: for the short statements an import runs per submission, Qt SQL's
// binding and result caching cost several times SQLite's own work. Other
// engines (PostgreSQL) go through QSqlQuery.
//
// A run: Bind each placeholder in order, Exec, read rows with Next and the
// column accessors, then Reset (also after a failure) before the next run.
class Statement {
public:
    // sqlite: the connection's SQLite handle (SqliteHandle), or null for Qt SQL.
    Statement(const QSqlDatabase& db, sqlite3* sqlite, const QString& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // False when the statement could not be prepared; ErrorText tells why.
    bool IsPrepared() const { return m_prepared; }

    Statement& Bind(qint64 value);
    Statement& Bind(int value) { return Bind(qint64(value)); }
    Statement& Bind(double value);
    Statement& Bind(const QString& text);  // a null text is NULL

    // Runs the statement with the values bound. False on failure.
    bool Exec();
    // The next row the run returned; false after the last.
    bool Next();
    qint64 Int64(int column) const;
    QByteArray Latin1(int column) const;
    // Ends the run and drops the values, so that the statement holds no
    // lock or row and is ready for the next run.
    void Reset();

    // The database's message about the last failure.
    QString ErrorText() const;
    // The last failure is one that another try may not meet (a deadlock or
    // a serialisation failure of PostgreSQL).
    bool Retryable() const;

    // The SQLite handle of a connection whose driver is SQLite's and hands
    // it out; null otherwise.
    static sqlite3* SqliteHandle(const QSqlDatabase& db);

private:
    sqlite3_stmt* m_stmt = nullptr;
    std::unique_ptr<QSqlQuery> m_query;  // Qt SQL's road
    bool m_prepared = false;
    int m_bound = 0;
    int m_step = 0;          // SQLite: the result of the last step, 0 before the first
    bool m_rowTaken = true;  // SQLite: the row Exec stepped onto was handed out by Next
    QString m_error;         // SQLite: the message of the last failure
    // SQLite reads bound texts in place while the statement runs.
    QVarLengthArray<QString, 24> m_texts;
};

}  // namespace emlo::registry
