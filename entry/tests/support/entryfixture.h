#pragma once

// Fixture folders for the data-entry tests: a program folder with small
// reference tables made through the table layer, a working folder, and a
// reporter that records what the data module would show.

#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include "store/datamodule.h"

namespace entrytest {

// Records the data module's failures instead of showing them.
class RecordingReporter : public TDataModuleReporter {
public:
    void ShowError(const QString& text, int helpTopic) override;
    void FatalStop() override { ++fatalStops; }
    QStringList errors;
    int fatalStops = 0;
};

// A program folder with the six reference tables and a working folder
// beside it (empty: the work tables are created when they are opened).
//
// Settlements (CY, in code order): region 12 holds a city that is its own
// district, a district with two settlements of the same name, a settlement
// whose district has no entry, and a four-character code; region 80 holds
// the capital and one of its districts; region 77 has no settlement. Region
// codes with quote characters test the settlement query.
class Folders {
public:
    Folders();

    QString program;   // with a trailing "/"
    QString work;      // with a trailing "/"
    QString settings;  // the settings file beside the program

    // Writes the settings file naming the working folder.
    void writeSettings() const;
    // Writes a one-topic help file beside the program, so help commands find one.
    void writeHelpFile() const;

private:
    QTemporaryDir m_root;
};

// Opens the data module on the folders, as the main window does at start-up.
void openModule(TDataModule& dm, const Folders& folders);

// A field of the first record of a table file, read afresh from the file
// ("<no record>" for an empty table).
QString storedValue(const QString& tablePath, const QString& field);
// Every record of DATA.DBF in the file, as "CONTID POTEN FACT" texts in record order.
QStringList storedEmissions(const QString& workFolder);

}  // namespace entrytest
