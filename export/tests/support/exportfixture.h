#pragma once

#include <memory>

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include "export/vxmlexport.h"
#include "store/apollotable.h"
#include "testsupport/programfolder.h"

namespace emlo::testing {

// A field of a table made for a test.
struct FieldSpec {
    const char* Name;
    const char* Type;
    short Width;
    short Decimals;
};

// Creates an empty DBF through the table layer; false when the layer refuses.
bool CreateDbf(const QString& path, const QList<FieldSpec>& fields);

// The lines as the writer stores them: Windows-1251, CR LF after each.
QByteArray Cp1251Lines(const QStringList& lines);

// The field description block of data.xml, lines 1 to 13, as written with
// the program's settings.
QStringList DataXmlHead();

// The pollutant list of the writer's tests: a name with the markup
// characters, and a pollutant without a threshold.
extern const QList<ContRow> kExportPollutants;

// Runs the writer as the program sets it up; returns the error text, if any.
QString exportTable(TApolloTable& table, const QString& path, TVXMLExport* writer = nullptr);

// The record lines (<ROW .../>) of a written file.
QStringList rowLines(const QByteArray& file);

}  // namespace emlo::testing
