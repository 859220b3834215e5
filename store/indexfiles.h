#pragma once

// The engine steps behind a table's IndexOpen: an index file opened as the
// active order, and the program's own indexes (those of the table catalogue)
// rebuilt from their known keys whenever the file cannot serve, so that no
// table is ever left in record order without a word.

#include <QString>

#include "store/enginefailure.h"

namespace emlo {

struct EngineCursor;
struct TableDef;

class IndexFiles {
public:
    IndexFiles(EngineCursor& cursor, RaiseEngineFailure raise);

    // How the table stands while an index is opened.
    struct TableState {
        bool readOnly = false;    // opened read-only: no file is changed
        bool fileLocked = false;  // it holds its file lock already
        qint32 editedRecord = 0;  // the record whose lock an edit holds; 0: none
    };

    // Opens the index file (the exact spelling that exists, or the name to
    // make) on the selected table; an IDX file (makeOrder) becomes the
    // active order. own: the catalogue entry when it is the program's own
    // index, rebuilt from its key when missing, unreadable or on another
    // key (a damaged file is kept as <name>.bad). Returns the handle; any
    // other failure raises.
    short open(const QString& file, bool makeOrder, const TableDef* own, const TableState& table);

private:
    short rebuildOwn(const char* key, const QString& file, const TableState& table);
    // Moves a damaged index file aside; raises when it cannot be moved.
    QString keepAside(const QString& file);

    EngineCursor& m_cursor;
    RaiseEngineFailure m_raise;
};

}  // namespace emlo
