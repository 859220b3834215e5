#pragma once

#include <QString>

namespace emlo {
class TApolloTable;
class TDataModule;

class TVXMLExport;

// Gives the writer the settings the program keeps in it: the declaration's
// version "1.0" and encoding "windows-1251".
void ApplyProgramSettings(TVXMLExport& expXML);

// Writes one table into one file with the writer: every field of the table,
// in field order, from its first record to its end. A closed table is opened
// for it and closed again; whatever happens, the writer's field list is
// emptied and the table's open state restored. Returns the writer's result;
// errors pass through.
bool ExportTable(TVXMLExport& expXML, TApolloTable& table, const QString& path);

// The path of an export file in the folder: one separator between them,
// whether or not the folder ends in one.
QString ExportFilePath(const QString& folder, const QString& fileName);

// Writes attr.xml (tblAttr) and then data.xml (tblData) into the folder. An
// error in attr.xml means data.xml is not attempted; an attr.xml written
// completely stays when data.xml fails. Errors pass through.
void ExportWorkFiles(TVXMLExport& expXML, TDataModule& dataModule, const QString& folder);

}  // namespace emlo
