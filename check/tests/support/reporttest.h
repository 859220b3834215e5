#pragma once

// Base of the report window's tests: the check's folders with the module
// open, a report window, modal boxes answered through the dialog seam and
// the save dialog's answer given by the test.

#include <memory>

#include <QObject>
#include <QString>
#include <QStringList>

#include "check/tests/support/checkfixture.h"
#include "check/ui/report.h"
#include "widgets/testing/scripteddialogs.h"

namespace checktest {

class ReportTest : public QObject {
    Q_OBJECT
public:
    ReportTest();
    ~ReportTest() override;

private slots:
    void init();
    void cleanup();

protected:
    // The save dialog answers with this file (an empty path: cancelled); the
    // names it was opened with are kept in saveDialogNames.
    void useSaveAnswer(const QString& path);
    void selectRow(int row);

    std::unique_ptr<emlo::testing::CheckFixture> fx;
    std::unique_ptr<emlo::TfrmReport> report;
    std::unique_ptr<emlo::testing::ScriptedDialogs> dialogs;
    QStringList saveDialogNames;
};

}  // namespace checktest
