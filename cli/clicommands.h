#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

namespace emlo::cli {

// Exit status of every command.
enum CliExit : int {
    ExitOk = 0,       // done; for the check: no remark
    ExitRemarks = 1,  // the check found remarks
    ExitError = 2,    // any error; its text is on stderr
};

// What a command gets: its positional arguments and the common options.
struct CliContext {
    QStringList Args;        // positional arguments after the command name
    QString ProgramDir;      // --program-dir, or the folder of emlo-cli
    QChar DecimalSeparator;  // --decimal-separator; null: the system's
    QTextStream& Out;        // stdout, UTF-8
    QTextStream& Err;        // stderr, UTF-8
};

using CommandFn = int (*)(CliContext& context);

// One command of emlo-cli. Adding a command is one entry in the table of
// clicommands.cpp and one function.
struct CliCommand {
    const char* Name;      // as typed: "check"
    const char* Synopsis;  // arguments, for the help text: "РОБОЧА_ПАПКА"
    const char* Help;      // what it does, in Ukrainian (lines end with "\n")
    int ArgCount;          // positional arguments it takes
    CommandFn Run;
    bool NeedsFonts;      // lays out text: needs a GUI application (offscreen)
    bool TakesSeparator;  // accepts --decimal-separator
};

const QList<CliCommand>& Commands();

// A parsed command line. Options may stand anywhere, before or after the
// command and its arguments.
struct CliRequest {
    enum Action { RunCommand, ShowHelp, Failed };
    Action Kind = Failed;
    const CliCommand* Command = nullptr;  // RunCommand only
    QStringList Args;                     // the command's positional arguments
    QString ProgramDir;
    QChar DecimalSeparator;  // null: the system's
    QString Error;           // Failed: the text for stderr
};

// Parses the command line (without the program name); touches no file.
CliRequest ParseCommandLine(const QStringList& arguments, const QString& defaultProgramDir);

// Runs a parsed request: help, the parse error, or the command. Returns the
// exit status.
int RunRequest(const CliRequest& request, QTextStream& out, QTextStream& err);

// ParseCommandLine and RunRequest.
int RunCommandLine(const QStringList& arguments, const QString& defaultProgramDir, QTextStream& out, QTextStream& err);

// The help text, in Ukrainian.
QString HelpText();

// Commands.
int RunCheck(CliContext& context);
int RunExport(CliContext& context);
int RunPrint(CliContext& context);

}  // namespace emlo::cli
