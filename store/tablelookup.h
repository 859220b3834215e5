#pragma once

// Look-up in one table: finding a record by a column's value (a seek through
// the active index, else a walk in the current order), and a cache of
// look-up results for display, dropped whenever the table changes.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariant>

namespace emlo {

struct EngineCursor;

class TableLookup {
public:
    explicit TableLookup(EngineCursor& cursor);

    // The table's records or order changed: cached results are stale.
    void touch();

    // The record whose keyColumn equals key, without moving the dataset: by
    // seek when an index is active, else the first in the current order.
    // Returns its number (0: none) and its image. Leaves the engine anywhere.
    qint32 find(int keyColumn, const QVariant& key, QByteArray* record) const;
    // The first record in the current order whose keyColumn equals key; 0:
    // none. Leaves the engine anywhere.
    qint32 scan(int keyColumn, const QVariant& key, QByteArray* record = nullptr) const;
    // resultColumn of the record found for key (null when none), the engine
    // back on the dataset's record.
    QVariant result(int keyColumn, const QVariant& key, int resultColumn) const;
    // The same, for display: cached, and null on an engine failure (the next
    // command meets it) rather than an exception out of a paint.
    QVariant cachedResult(int keyColumn, const QVariant& key, int resultColumn) const;

private:
    EngineCursor& m_cursor;
    quint64 m_generation;
    mutable QHash<QString, QVariant> m_cache;
    mutable quint64 m_cacheGeneration = 0;
};

}  // namespace emlo
