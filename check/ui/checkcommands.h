#pragma once

class QWidget;
class TDataModule;

namespace emlo {

class TfrmReport;

// The main window's check command: posts a pending attribute edit; then shows
// the report window and runs the check, or, while the window is visible, only
// brings it to the front (the report keeps the earlier check). Errors of the
// table layer pass through to the caller, who shows them.
void actCheckExecute(TDataModule& dataModule, TfrmReport& frmReport);

// The gate in front of print and export: posts a pending attribute edit and
// runs the check. True when output may go on. With remarks it shows the error
// message (help topic 20007) and then the report window, and returns false.
// Errors of the table layer pass through.
bool CheckBeforeOutput(TDataModule& dataModule, TfrmReport& frmReport, QWidget* parent = nullptr);

// Posts the attribute record when it holds an unposted edit.
void PostPendingAttr(TDataModule& dataModule);

}  // namespace emlo
