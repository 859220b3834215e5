#include "checkcommands.h"

#include "report.h"
#include "store/datamodule.h"
#include "widgets/dialogseam.h"

namespace emlo {

namespace {
constexpr int kCheckFailedHelpTopic = 20007;
}

void PostPendingAttr(TDataModule& dataModule)
{
    if (!dataModule.AttrModified)
        return;
    dataModule.tblAttr->Post();
    if (dataModule.tblAttr->State() != dsEdit && dataModule.tblAttr->State() != dsInsert)
        dataModule.AttrModified = false;
}

void actCheckExecute(TDataModule& dataModule, TfrmReport& frmReport)
{
    PostPendingAttr(dataModule);
    if (frmReport.isVisible()) {
        frmReport.BringToFront();
        return;
    }
    frmReport.ShowReport();
    frmReport.CheckData();
}

bool CheckBeforeOutput(TDataModule& dataModule, TfrmReport& frmReport, QWidget* parent)
{
    PostPendingAttr(dataModule);
    if (frmReport.CheckData())
        return true;

    MessageRequest request;
    request.kind = MsgKind::Error;
    request.text = QStringLiteral("Помилка при перевірці данних.\r\nНажаль вигрузка не можлива.");
    request.buttons = MsgButton::Ok | MsgButton::Help;
    request.helpTopic = kCheckFailedHelpTopic;
    DialogSeam::ask(request, parent);

    if (frmReport.isVisible())
        frmReport.BringToFront();
    else
        frmReport.ShowReport();
    return false;
}

}  // namespace emlo
