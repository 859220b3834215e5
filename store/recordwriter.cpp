#include "recordwriter.h"

#include "engine.h"
#include "enginecursor.h"

namespace emlo {

RecordWriter::RecordWriter(EngineCursor& cursor, RaiseEngineFailure raise) : m_cursor(cursor), m_raise(std::move(raise))
{
}

qint32 RecordWriter::write(QByteArray& record, qint32 recNo, const QString& file)
{
    const SdeApi& sx = m_cursor.sx();
    m_cursor.select();
    if (recNo == 0) {
        record[0] = ' ';
        const long appended = sx.sx_AppendRecord(record.constData());
        if (appended <= 0)
            m_raise(lastEngineFailure(sx, file));
        return static_cast<qint32>(appended);
    }
    sx.sx_Go(recNo);
    record[0] = sx.sx_Deleted() ? '*' : ' ';
    sx.sx_PutRecord(record.constData());
    m_cursor.check();
    return recNo;
}

EngineFailure RecordWriter::sync(const QString& file)
{
    const SdeApi& sx = m_cursor.sx();
    sx.sx_Commit();
    return sx.sx_ErrorKind() == SX_OK ? EngineFailure{} : lastEngineFailure(sx, file);
}

void RecordWriter::releaseLocks(qint32 recNo, bool fileLocked)
{
    m_cursor.select();
    if (!fileLocked)
        m_cursor.sx().sx_Unlock(0);
    else if (recNo > 0)
        m_cursor.sx().sx_Unlock(recNo);
}

void RecordWriter::readBack(qint32 recNo)
{
    const SdeApi& sx = m_cursor.sx();
    sx.sx_Go(recNo);
    m_cursor.readEngineRecord();
    m_cursor.eof = sx.sx_Eof() != 0;
    m_cursor.bof = false;
}

bool RecordWriter::remove(bool editing, bool fileLocked, const QString& file)
{
    const SdeApi& sx = m_cursor.sx();
    const qint32 victim = m_cursor.recNo;
    m_cursor.sync();
    if (!editing && !sx.sx_Rlock(victim))
        return false;

    bool leavesOrder = m_cursor.deletedHidden();
    if (!leavesOrder && m_cursor.indexHandle != 0) {
        const char* condition = sx.sx_IndexCondition();
        leavesOrder = condition && QByteArray(condition).toUpper().contains("DELETED()");
    }
    qint32 following = 0;
    if (leavesOrder) {
        sx.sx_Skip(1);
        following = sx.sx_Eof() ? 0 : static_cast<qint32>(sx.sx_RecNo());
        sx.sx_Go(victim);
    }
    deleteOrRaise(victim, editing, file);
    editing ? releaseLocks(victim, fileLocked) : sx.sx_Unlock(victim);
    if (!leavesOrder) {
        m_cursor.readEngineRecord();
    } else if (following > 0) {
        sx.sx_Go(following);
        m_cursor.readEngineRecord();
        m_cursor.bof = m_cursor.eof = false;
    } else {
        m_cursor.goBottom(false);
    }
    return true;
}

void RecordWriter::deleteOrRaise(qint32 victim, bool editing, const QString& file)
{
    const SdeApi& sx = m_cursor.sx();
    sx.sx_Delete();
    if (sx.sx_ErrorKind() == SX_OK)
        return;
    const EngineFailure failure = lastEngineFailure(sx, file);
    // The record stays as it was; a lock taken only for the deletion goes.
    if (!editing)
        sx.sx_Unlock(victim);
    m_cursor.sync();
    m_raise(failure);
}

}  // namespace emlo
