#pragma once
// The six reference tables of the program folder and how they are built from
// the classifier CSV files (one file per table, columns as the table's fields).

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include "store/tablecatalog.h"

namespace emlo {

using RefField = ColumnDef;

// A reference table of the catalogue (store/tablecatalog.h) and its CSV file.
struct RefTable {
    QByteArray csvName;  // "cont.csv"
    const TableDef* def;
    const QList<ColumnDef>& fields() const { return def->columns; }
};

// The catalogue's reference tables, in its order.
const QVector<RefTable>& ReferenceTables();

// RFC 4180 CSV (quoted fields, doubled quotes, CR LF or LF line ends, an
// optional UTF-8 byte-order mark). Returns the rows; on a malformed file
// returns false with *error naming the line.
bool ParseCsv(const QByteArray& data, QVector<QStringList>* rows, QString* error);

// Checks every row of one table against its layout: header, field count,
// numbers, widths in Windows-1251 bytes, characters Windows-1251 cannot
// hold. Every problem is listed as "file:line: text"; nothing is cut.
QStringList ValidateRows(const RefTable& table, const QVector<QStringList>& rows);

// Builds every reference table from sourceDir into outDir. The tables are
// first written into a fresh folder inside outDir and moved over the old
// files only when all of them were built, so a failure leaves the program
// folder as it was. Returns false with the problems in *errors.
bool BuildReferenceTables(const QString& sourceDir, const QString& outDir, QStringList* errors);

}  // namespace emlo
