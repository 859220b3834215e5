#pragma once

#include <functional>

#include <QString>

#include "export/vxmlexport.h"

class QWidget;

namespace emlo {
class TDataModule;

// The transfer command: after a check without remarks it asks for a folder
// and writes the attribute table and the emission table into it as attr.xml
// and data.xml, reporting the outcome in a message box. The main window owns
// one and routes its action to actTransferExecute.
class TransferCommand {
public:
    // checkBeforeOutput: the gate in front of output (the data check with its
    // own message on failure); true when the export may go on. The data
    // module and the parent window must outlive the command.
    TransferCommand(TDataModule& dataModule, std::function<bool()> checkBeforeOutput, QWidget* parent = nullptr);

    // The command. Errors of the check and of the folder dialog (an empty
    // folder name: "Неможливо утворити дiректорiю") pass through to the
    // caller, who shows them in the application's error box.
    void actTransferExecute();
    // The folder dialog, opened with an empty name. False after a cancel,
    // which is reported (help topic 20004).
    bool AskExportFolder(QString& folder);
    // Writes both files into the folder under the wait cursor and reports
    // success (20005) or the error (20006). Nothing passes through.
    void ExportWorkTables(const QString& folder);

    // The writer, with the program's settings.
    TVXMLExport expXML;

    // The hourglass for the whole application, and back (a test's seam).
    // Default: WaitCursor's.
    std::function<void()> ShowWaitCursor;
    std::function<void()> HideWaitCursor;

private:
    TDataModule& m_dataModule;
    std::function<bool()> m_checkBeforeOutput;
    QWidget* m_parent;
};

}  // namespace emlo
