#pragma once

// The one description of the program's eight tables: the two work tables of
// a working folder (DATA, ATTR) and the six reference tables of the program
// folder, with their fields in file order and the index each one has. The
// data module creates the work tables and their indexes from it, emlo-refdata
// builds the reference tables from it, and the tests make their folders
// from it.

#include <QList>
#include <QString>

namespace emlo {

class TApolloTable;

struct ColumnDef {
    const char* name;  // as stored in the file header
    char type;         // 'C' or 'N'
    short width;
    short decimals;
};

struct TableDef {
    const char* name;  // "CONT"; the file is <name>.DBF in any letter case
    bool reference;    // in the program folder, only read by the program
    QList<ColumnDef> columns;
    const char* indexName;  // "CY": <indexName>.IDX, or nullptr for none
    const char* indexKey;   // the key expression of that index
};

// DATA, ATTR, CONT, OW, DP, EA, OBL, CY.
const QList<TableDef>& TableCatalog();
// The entry of that name (any letter case); nullptr when there is none.
const TableDef* FindTableDef(const QString& name);
// The same for a name the program itself uses: a missing one is a fault.
const TableDef& TableDefOf(const QString& name);

// The catalogue entry whose index the file at indexPath is, for the table
// file at tablePath: both in one folder, named as the entry names them (in
// any letter case). nullptr for any other index: only the program's own
// indexes are rebuilt from the key the program knows.
const TableDef* OwnIndexOf(const QString& tablePath, const QString& indexPath);

// Starts the creation of a catalogue table at path and declares its
// fields; the caller finishes with CreateExec. False when CreateNew fails
// (the table's LastErrorText says why).
bool DeclareTable(TApolloTable& table, const TableDef& def, const QString& path);
// Creates the empty table file of a catalogue entry at path (never
// replacing a file); false with the layer's reason in *error when it cannot.
bool CreateTableFile(const TableDef& def, const QString& path, QString* error = nullptr);

}  // namespace emlo
