#pragma once

#include <memory>

#include <QString>
#include <QStringList>

#include "check/errordata.h"
#include "clicommands.h"
#include "store/datamodule.h"

namespace emlo::cli {

// The tables of one command-line run: the reference tables of the program
// folder and the work tables of a working folder, opened as the program does
// at start-up, except that missing work tables are an error rather than
// created. Failures are written to stderr instead of message boxes.
class CliSession : public DataModuleReporter {
public:
    explicit CliSession(CliContext& context);
    ~CliSession() override;

    // Opens the tables for the working folder. False after any failure (its
    // text already written to stderr).
    bool Open(const QString& workDir);
    TDataModule& Data() { return *m_data; }

    // Runs the check (and, without remarks, the group totals) and prints the
    // report rows to stdout. Returns ExitOk, ExitRemarks or ExitError.
    int RunCheck();
    // As the program does before print and export: the check, its rows
    // printed as RunCheck prints them; with remarks also "Помилка при
    // перевірці данних." and "Нажаль вигрузка не можлива." on stderr.
    // ExitOk when output may go on.
    int CheckBeforeOutput();

    // Writes an error text to stderr (CR LF becomes a line break).
    void PrintError(const QString& text);

    // DataModuleReporter
    void ShowError(const QString& text, int helpTopic) override;
    void FatalStop() override;

private:
    CliContext& m_context;
    std::unique_ptr<TDataModule> m_data;
    bool m_failed = false;
};

// Prints report rows: the description, a TAB and the section text, one row
// per line.
void PrintRows(const RemarkList& rows, QTextStream& out);

}  // namespace emlo::cli
