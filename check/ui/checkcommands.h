#pragma once

#include "check/datacheck.h"

class QWidget;

namespace emlo {
class TDataModule;

class TfrmReport;

// Runs the one check in front of output (CheckBeforeOutput of
// check/datacheck.h) and shows its rows in the report window, which stays
// as it is (hidden or shown). True for a check without remarks. When an
// error of the table layer ends the check, the rows found before it are
// shown and the error passes through.
bool CheckAndShow(TDataModule& dataModule, TfrmReport& frmReport);

// The main window's check command: posts a pending attribute edit; then shows
// the report window and runs the check, or, while the window is visible, only
// brings it to the front (the report keeps the earlier check). Errors of the
// table layer pass through to the caller, who shows them.
void actCheckExecute(TDataModule& dataModule, TfrmReport& frmReport);

// The gate in front of print and export: the check of CheckAndShow. True
// when output may go on. With remarks it shows the error message (help
// topic 20007) and then the report window, and returns false. Without a
// report window (nullptr) the gate is the same, the remarks are only not
// listed. Errors of the table layer pass through.
bool CheckBeforeOutput(TDataModule& dataModule, TfrmReport* frmReport, QWidget* parent = nullptr);

}  // namespace emlo
