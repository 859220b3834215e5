#include "tablelookup.h"

#include "enginecursor.h"
#include "engine.h"
#include "errors.h"

namespace emlo {

namespace {

quint64 nextGeneration()
{
    static quint64 counter = 0;
    return ++counter;
}

}  // namespace

TableLookup::TableLookup(EngineCursor& cursor) : m_cursor(cursor), m_generation(nextGeneration()) { }

void TableLookup::touch()
{
    m_generation = nextGeneration();
}

qint32 TableLookup::find(int keyColumn, const QVariant& key, QByteArray* record) const
{
    const SdeApi& sx = m_cursor.sx();
    const FieldDesc& fd = m_cursor.codec.column(keyColumn);
    const int recordSize = m_cursor.codec.recordSize();
    m_cursor.select();
    QByteArray buffer(recordSize + 1, ' ');
    if (m_cursor.indexHandle != 0) {
        const QByteArray seek = RecordCodec::seekKey(fd, key);
        if (seek.isEmpty())
            return 0;
        sx.sx_Seek(seek.constData());
        m_cursor.check();
        if (!sx.sx_Found())
            return 0;
        sx.sx_GetRecord(buffer.data());
        m_cursor.check();
        buffer.truncate(recordSize);
        *record = buffer;
        return static_cast<qint32>(sx.sx_RecNo());
    }
    return scan(keyColumn, key, record);
}

qint32 TableLookup::scan(int keyColumn, const QVariant& key, QByteArray* record) const
{
    const SdeApi& sx = m_cursor.sx();
    const FieldDesc& fd = m_cursor.codec.column(keyColumn);
    QByteArray buffer(m_cursor.codec.recordSize() + 1, ' ');
    m_cursor.select();
    for (sx.sx_GoTop(); !sx.sx_Eof(); sx.sx_Skip(1)) {
        sx.sx_GetRecord(buffer.data());
        m_cursor.check();
        if (RecordCodec::keyEquals(RecordCodec::decode(fd, buffer.constData()), key)) {
            if (record) {
                buffer.truncate(m_cursor.codec.recordSize());
                *record = buffer;
            }
            return static_cast<qint32>(sx.sx_RecNo());
        }
    }
    return 0;
}

QVariant TableLookup::result(int keyColumn, const QVariant& key, int resultColumn) const
{
    QByteArray record;
    QVariant value;
    if (find(keyColumn, key, &record) > 0)
        value = RecordCodec::lookupResult(m_cursor.codec.column(resultColumn), record.constData());
    m_cursor.sync();
    return value;
}

QVariant TableLookup::cachedResult(int keyColumn, const QVariant& key, int resultColumn) const
{
    if (m_cacheGeneration != m_generation) {
        m_cache.clear();
        m_cacheGeneration = m_generation;
    }
    const QString cacheKey = QString::number(keyColumn) + u'\x1f' + QString::number(resultColumn) + u'\x1f'
        + QString::number(key.typeId()) + u'\x1f' + key.toString();
    const auto cached = m_cache.constFind(cacheKey);
    if (cached != m_cache.constEnd())
        return *cached;
    QVariant value;
    try {
        value = result(keyColumn, key, resultColumn);
    } catch (const EApolloError&) {
        m_cursor.sync();
        return QVariant();
    }
    m_cache.insert(cacheKey, value);
    return value;
}

}  // namespace emlo
