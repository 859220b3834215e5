#include "statement.h"

#include <sqlite3.h>

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "registrydb.h"

namespace emlo::registry {

sqlite3* Statement::SqliteHandle(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() != nullptr ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

Statement::Statement(const QSqlDatabase& db, sqlite3* sqlite, const QString& sql)
{
    if (sqlite != nullptr) {
        const QByteArray text = sql.toUtf8();
        m_prepared =
            sqlite3_prepare_v3(sqlite, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr)
            == SQLITE_OK;
        if (!m_prepared)
            m_error = QString::fromUtf8(sqlite3_errmsg(sqlite));
        return;
    }
    m_query = std::make_unique<QSqlQuery>(db);
    m_query->setForwardOnly(true);
    m_prepared = m_query->prepare(sql);
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

Statement& Statement::Bind(qint64 value)
{
    if (m_query)
        m_query->addBindValue(value);
    else
        sqlite3_bind_int64(m_stmt, ++m_bound, value);
    return *this;
}

Statement& Statement::Bind(double value)
{
    if (m_query)
        m_query->addBindValue(value);
    else
        sqlite3_bind_double(m_stmt, ++m_bound, value);
    return *this;
}

Statement& Statement::Bind(const QString& text)
{
    if (m_query) {
        m_query->addBindValue(text);
        return *this;
    }
    ++m_bound;
    if (text.isNull()) {
        sqlite3_bind_null(m_stmt, m_bound);
    } else if (text.isEmpty()) {
        sqlite3_bind_text(m_stmt, m_bound, "", 0, SQLITE_STATIC);
    } else {
        m_texts.append(text);
        sqlite3_bind_text16(m_stmt, m_bound, m_texts.last().constData(), int(text.size() * 2), SQLITE_STATIC);
    }
    return *this;
}

bool Statement::Exec()
{
    if (m_query)
        return m_query->exec();
    m_step = sqlite3_step(m_stmt);
    m_rowTaken = m_step != SQLITE_ROW;
    if (m_step == SQLITE_ROW || m_step == SQLITE_DONE)
        return true;
    m_error = QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_stmt)));
    return false;
}

bool Statement::Next()
{
    if (m_query)
        return m_query->next();
    if (!m_rowTaken) {
        m_rowTaken = true;
        return true;
    }
    if (m_step != SQLITE_ROW)
        return false;
    m_step = sqlite3_step(m_stmt);
    if (m_step == SQLITE_ROW)
        return true;
    if (m_step != SQLITE_DONE)
        m_error = QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_stmt)));
    return false;
}

qint64 Statement::Int64(int column) const
{
    if (m_query)
        return m_query->value(column).toLongLong();
    return sqlite3_column_int64(m_stmt, column);
}

QByteArray Statement::Latin1(int column) const
{
    if (m_query)
        return m_query->value(column).toString().toLatin1();
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return QByteArray(text, sqlite3_column_bytes(m_stmt, column));
}

void Statement::Reset()
{
    if (m_query) {
        m_query->finish();
        return;
    }
    // A failure was told by the step that met it; reset repeats its code.
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    m_texts.clear();
    m_bound = 0;
    m_step = 0;
    m_rowTaken = true;
}

QString Statement::ErrorText() const
{
    return m_query ? DbErrorText(m_query->lastError()) : m_error;
}

bool Statement::Retryable() const
{
    if (!m_query)
        return false;
    const QString state = m_query->lastError().nativeErrorCode();
    return state == QLatin1String("40001") || state == QLatin1String("40P01");
}

}  // namespace emlo::registry
