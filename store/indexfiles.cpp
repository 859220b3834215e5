#include "indexfiles.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include "engine.h"
#include "enginecursor.h"
#include "filecase.h"
#include "tablecatalog.h"

namespace emlo {

namespace {

QString leadFor(const QString& file)
{
    return QStringLiteral("Неможливо відкрити індекс: ") + file;
}

// Whether the active order is an index on that key, without a condition.
bool holdsKey(const SdeApi& sx, const char* key)
{
    return QByteArray(sx.sx_IndexKey()).trimmed().compare(key, Qt::CaseInsensitive) == 0
        && QByteArray(sx.sx_IndexCondition()).trimmed().isEmpty();
}

// The whole-file lock for a repair. Another copy of the program may hold a
// lock on the file for a moment (an append, its own repair): wait for it about
// as long as an append waits for another appender.
bool lockForRepair(const SdeApi& sx)
{
    QDeadlineTimer deadline(2000);
    while (!sx.sx_Flock()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
    return true;
}

}  // namespace

IndexFiles::IndexFiles(EngineCursor& cursor, RaiseEngineFailure raise) : m_cursor(cursor), m_raise(std::move(raise)) { }

short IndexFiles::open(const QString& file, bool makeOrder, const TableDef* own, const TableState& table)
{
    const SdeApi& sx = m_cursor.sx();
    m_cursor.select();
    short handle = FileExistsNoCase(file) ? sx.sx_IndexOpen(QFile::encodeName(file).constData()) : 0;
    if (handle != 0 && makeOrder)
        sx.sx_SetOrder(handle);
    // Working in record order instead would be silent.
    if (own != nullptr && (handle == 0 || !holdsKey(sx, own->indexKey)))
        return rebuildOwn(own->indexKey, file, table);
    if (handle == 0)
        m_raise(lastEngineFailure(sx, file, leadFor(file)));
    return handle;
}

short IndexFiles::rebuildOwn(const char* key, const QString& file, const TableState& table)
{
    const SdeApi& sx = m_cursor.sx();
    const QByteArray encoded = QFile::encodeName(file);
    // Another copy of the program may be repairing the same file: one at a
    // time, and whoever comes second looks again under the lock. A table
    // opened read-only changes no file: its order is built in memory.
    const bool lockHere = !table.readOnly && !table.fileLocked;
    if (lockHere && !lockForRepair(sx))
        m_raise({SX_ERR_LOCKED, file, leadFor(file), QString()});
    struct Release {
        const EngineCursor& cursor;
        bool held;
        qint32 edited;
        ~Release()
        {
            if (!held)
                return;
            cursor.select();
            cursor.sx().sx_Unlock(0);
            if (edited > 0)
                cursor.sx().sx_Rlock(edited);
        }
    } release{m_cursor, lockHere, table.editedRecord};

    QString aside;
    if (FileExistsNoCase(file)) {
        const short handle = sx.sx_IndexOpen(encoded.constData());
        if (handle != 0) {
            sx.sx_SetOrder(handle);
            if (holdsKey(sx, key))
                return handle;
        } else {
            // Refused or failing (no access, a failing medium) is not damage,
            // and not a file to build over.
            const EngineFailure failure = lastEngineFailure(sx, file, leadFor(file));
            if ((failure.kind != SX_ERR_CORRUPT && failure.kind != SX_ERR_BAD_EXPR) || !QFileInfo(file).isFile())
                m_raise(failure);
            aside = keepAside(file);
        }
    }
    const short handle = sx.sx_Index(encoded.constData(), key, 0, 0, nullptr);
    if (handle == 0) {
        const EngineFailure failure = lastEngineFailure(sx, file, leadFor(file));
        if (!aside.isEmpty() && !QFileInfo::exists(file))
            QFile::rename(aside, file);
        m_raise(failure);
    }
    return handle;
}

QString IndexFiles::keepAside(const QString& file)
{
    QString aside = file + QStringLiteral(".bad");
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = file + QStringLiteral(".bad") + QString::number(n);
    // Gone meanwhile: another opening without a lock (read-only) moved it.
    if (!QFile::rename(file, aside) && QFileInfo::exists(file))
        m_raise({SX_ERR_ACCESS, file, leadFor(file), QString()});
    return aside;
}

}  // namespace emlo
