#pragma once

// Fixture folders for the data-entry tests: the tests' program folder
// (testsupport/) with small reference tables for the look-up lists.

#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include "store/datamodule.h"
#include "testsupport/programfolder.h"

namespace entrytest {

using emlo::testing::RecordingReporter;

// A program folder with the six reference tables and a working folder
// beside it (empty: the work tables are created when they are opened).
//
// Settlements (CY, in code order): region 12 holds a city that is its own
// district, a district with two settlements of the same name, a settlement
// whose district has no entry, and a four-character code; region 80 holds
// the capital and one of its districts; region 77 has no settlement. Region
// codes with quote characters test the settlement query.
class Folders : public emlo::testing::ProgramFolder {
public:
    Folders();

    const QString program = ProgramDir();
    const QString work = WorkDir();
    const QString settings = program + QStringLiteral("emlo.ini");  // beside the program

    // Writes the settings file naming the working folder.
    void writeSettings() const;
    // Writes a one-topic help file beside the program, so help commands find one.
    void writeHelpFile() const;
};

// Opens the data module on the folders, as the main window does at start-up.
void openModule(emlo::TDataModule& dm, const Folders& folders);

// A field of the first record of a table file, read afresh from the file
// ("<no record>" for an empty table).
QString storedValue(const QString& tablePath, const QString& field);
// Every record of DATA.DBF in the file, as "CONTID POTEN FACT" texts in record order.
QStringList storedEmissions(const QString& workFolder);

}  // namespace entrytest
