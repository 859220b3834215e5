#include "reporttest.h"

#include <QLocale>
#include <QTableWidget>
#include <QTest>

#include "check/ui/savedialog.h"

using namespace emlo;
using namespace emlo::testing;

namespace checktest {

ReportTest::ReportTest() = default;
ReportTest::~ReportTest() = default;

void ReportTest::init()
{
    QLocale::setDefault(QLocale::c());
    dialogs = std::make_unique<ScriptedDialogs>();
    fx = std::make_unique<CheckFixture>();
    QVERIFY(fx->IsValid());
    fx->Open();
    report = std::make_unique<TfrmReport>();
    saveDialogNames.clear();
}

void ReportTest::cleanup()
{
    SaveDialogSetup::setExecuteHook(nullptr);
    report.reset();
    fx.reset();
    dialogs.reset();
}

void ReportTest::useSaveAnswer(const QString& path)
{
    SaveDialogSetup::setExecuteHook([this, path](SaveDialogSetup& dialog) {
        saveDialogNames << dialog.FileName;
        if (path.isEmpty())
            return false;
        dialog.FileName = path;
        return true;
    });
}

void ReportTest::selectRow(int row)
{
    report->sgReport->setCurrentCell(row, 0);
}

}  // namespace checktest
