#pragma once

// The engine steps behind a table's Post and Delete: a new record appended
// as one complete image (counted only once whole, so a kill or a reader in
// between never sees a blank or half-made record), a changed one written
// over its record, the sync that makes it survive a power loss, the locks of
// a finished edit released, the stored record read back as the current one,
// and a deletion that leaves the cursor on the record navigation shows next.

#include <QByteArray>
#include <QString>

#include "store/enginefailure.h"

namespace emlo {

struct EngineCursor;

class RecordWriter {
public:
    RecordWriter(EngineCursor& cursor, RaiseEngineFailure raise);

    // Writes the record image (its deletion flag is set here) as a new
    // record (recNo 0) or over record recNo; returns the record written.
    // file: the table file, named in failures.
    qint32 write(QByteArray& record, qint32 recNo, const QString& file);
    // Syncs the table to the disk; the failure, kind SX_OK when none.
    EngineFailure sync(const QString& file);
    // Releases the locks of a finished edit: every lock, or only record
    // recNo's while the table holds its file lock.
    void releaseLocks(qint32 recNo, bool fileLocked);
    // Makes the stored record recNo the current one.
    void readBack(qint32 recNo);

    // Marks the current record deleted and moves the cursor on: to the next
    // record navigation shows (else the last one) when deleted records
    // leave its order, otherwise it stays. editing: the edit holds the
    // record's lock; otherwise it is taken first (false when refused: a
    // record being edited elsewhere is never deleted). A failed deletion
    // raises and leaves the record as it was.
    bool remove(bool editing, bool fileLocked, const QString& file);

private:
    void deleteOrRaise(qint32 victim, bool editing, const QString& file);

    EngineCursor& m_cursor;
    RaiseEngineFailure m_raise;
};

}  // namespace emlo
