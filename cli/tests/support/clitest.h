#pragma once

// Support of the command-line program's tests: the tool run as a process on
// the check's program and working folders, and what the tests read back.

#include <sys/resource.h>

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include "check/tests/support/checkfixture.h"

namespace clitest {

struct CliRun {
    int ExitCode = -1;
    QByteArray Out;
    QByteArray Err;
};

// Who runs the tool: the test's own user, or, when the tests run as root (for
// whom file permissions do not apply), the unprivileged user "nobody".
enum class RunAs { Self, Unprivileged };

CliRun runCli(const QStringList& arguments, const QString& program = QStringLiteral(EMLO_CLI_PATH),
              RunAs user = RunAs::Self, const QString& locale = QStringLiteral("C.UTF-8"),
              rlim_t fileSizeLimit = RLIM_INFINITY);

// The file's bytes; empty when it cannot be read.
QByteArray readFile(const QString& path);

// Writes every attribute and one emission record (pollutant 1, 1.5 and
// 0.25): a folder whose check finds nothing.
void writeCleanCase(emlo::testing::CheckFixture& fx);

// The emission records of the fixture's working folder as RowText lines.
QStringList dataLines(emlo::testing::CheckFixture& fx);

// Base of the test classes: numbers in the test's own texts with a point.
class CliTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
};

}  // namespace clitest
