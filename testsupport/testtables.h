#pragma once

// Tables a test makes for itself, through the table layer.

#include <QString>
#include <QVariant>
#include <QVector>

namespace emlo::testing {

struct Column {
    QString name;
    char type;
    short width;
    short decimals;
};

// The columns of a table of the catalogue (store/tablecatalog.h): "CONT", ...
QVector<Column> catalogColumns(const char* table);

// Creates a table file through the layer; throws on failure.
void createTable(const QString& path, const QVector<Column>& columns);
// Appends rows (values in column order; a null QVariant leaves the field blank).
void appendRows(const QString& path, const QVector<QVariantList>& rows);

}  // namespace emlo::testing
