#include "checkcommands.h"

#include "report.h"
#include "store/datamodule.h"
#include "widgets/dialogseam.h"

namespace emlo {

namespace {
constexpr int kCheckFailedHelpTopic = 20007;
}

bool CheckAndShow(TDataModule& dataModule, TfrmReport& frmReport)
{
    RemarkList rows;
    bool clean = false;
    try {
        clean = CheckBeforeOutput(dataModule, rows);
    } catch (...) {
        // An error ends the check; what it found until then is still shown.
        frmReport.ShowRows(rows);
        throw;
    }
    frmReport.ShowRows(rows);
    return clean;
}

void actCheckExecute(TDataModule& dataModule, TfrmReport& frmReport)
{
    dataModule.PostPendingAttr();
    if (frmReport.isVisible()) {
        frmReport.BringToFront();
        return;
    }
    frmReport.ShowReport();
    CheckAndShow(dataModule, frmReport);
}

bool CheckBeforeOutput(TDataModule& dataModule, TfrmReport* frmReport, QWidget* parent)
{
    RemarkList rows;
    const bool clean =
        frmReport != nullptr ? CheckAndShow(dataModule, *frmReport) : CheckBeforeOutput(dataModule, rows);
    if (clean)
        return true;

    MessageRequest request;
    request.kind = MsgKind::Error;
    request.text = QStringLiteral("Помилка при перевірці данних.\r\nНажаль вигрузка не можлива.");
    request.buttons = MsgButton::Ok | MsgButton::Help;
    request.helpTopic = kCheckFailedHelpTopic;
    DialogSeam::ask(request, parent);

    if (frmReport == nullptr)
        return false;
    if (frmReport->isVisible())
        frmReport->BringToFront();
    else
        frmReport->ShowReport();
    return false;
}

}  // namespace emlo
