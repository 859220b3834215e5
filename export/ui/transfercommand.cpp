#include "transfercommand.h"

#include <exception>

#include <QScopeGuard>

#include "export/exporttable.h"
#include "store/datamodule.h"
#include "store/errors.h"
#include "widgets/folderdialog.h"
#include "widgets/messagebox.h"
#include "widgets/waitcursor.h"

namespace emlo {

TransferCommand::TransferCommand(TDataModule& dataModule, std::function<bool()> checkBeforeOutput, QWidget* parent)
    : ShowWaitCursor(WaitCursor::show),
      HideWaitCursor(WaitCursor::hide),
      m_dataModule(dataModule),
      m_checkBeforeOutput(std::move(checkBeforeOutput)),
      m_parent(parent)
{
    ApplyProgramSettings(expXML);
}

void TransferCommand::actTransferExecute()
{
    // The check also brings the group totals up to date, so the files carry
    // the totals as recalculated now.
    if (!m_checkBeforeOutput())
        return;
    QString folder;
    if (!AskExportFolder(folder))
        return;
    ExportWorkTables(folder);
}

bool TransferCommand::AskExportFolder(QString& folder)
{
    QString chosen;
    // The export's dialog opens with an empty name, on the current folder.
    if (SelectDirectory(chosen, m_parent, FolderNameStart::Empty)) {
        folder = chosen;
        return true;
    }
    messageDlg(QStringLiteral("Шлях для вигруження не вказан. Вигруження неможливе."), MsgKind::Information,
               MsgButton::Ok | MsgButton::Help, 20004, m_parent);
    return false;
}

void TransferCommand::ExportWorkTables(const QString& folder)
{
    ShowWaitCursor();
    bool waiting = true;
    const auto restoreCursor = qScopeGuard([&] {
        if (waiting)
            HideWaitCursor();
    });
    try {
        ExportWorkFiles(expXML, m_dataModule, folder);
    } catch (const std::exception& error) {
        HideWaitCursor();
        waiting = false;
        messageDlg(QStringLiteral("Помилка вигрузки інформації:\r\n") + ErrorText(error), MsgKind::Error,
                   MsgButton::Ok | MsgButton::Help, 20006, m_parent);
        return;
    }
    // The hourglass stays while the user reads the message.
    messageDlg(QStringLiteral("Інформація успішно вигружені"), MsgKind::Information, MsgButton::Ok | MsgButton::Help,
               20005, m_parent);
}

}  // namespace emlo
