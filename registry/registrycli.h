#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace emlo::registry {

// Exit status of emlo-registry, as of emlo-cli.
enum RegistryExit : int {
    RegistryOk = 0,        // done; import: every submission accepted
    RegistryRejected = 1,  // import: some submissions rejected
    RegistryError = 2,     // could not run; the reason is on stderr
};

// What a command needs besides its arguments.
struct RegistryIo {
    QTextStream& Out;
    QTextStream& Err;
    QString RefdataDir;          // classifier CSV files, default <program folder>/refdata
    bool ErrIsTerminal = false;  // progress is drawn only on a terminal (or with --progress)
};

// Parses the command line (without the program name), runs the command and
// returns its exit status.
int RunRegistry(const QStringList& arguments, RegistryIo& io);

QString RegistryHelpText();

}  // namespace emlo::registry
