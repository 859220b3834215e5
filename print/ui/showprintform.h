#pragma once

#include "print/frdataadapter.h"
#include "print/frreport.h"

class QWidget;

namespace emlo {
class TApolloTable;
}  // namespace emlo

namespace emlo::print {

/// Prepares the emission form over the two data adapters (frAttr over the
/// attribute table, frData over the emission table) and shows it in the
/// modal preview window, from which it is printed. When the form has no page
/// (no attribute record) no window opens. An error while preparing (a table
/// that cannot be read, an expression that fails) is shown in the
/// application's error box. Returns true when the preview was shown.
bool ShowPrintForm(TfrDataAdapter& frAttr, TfrDataAdapter& frData, QWidget* parent = nullptr,
                   const TfrPrepareOptions& options = {});

/// The same over the open work tables tblAttr and tblData; both are left on
/// their last record.
bool ShowPrintForm(TApolloTable* tblAttr, TApolloTable* tblData, QWidget* parent = nullptr);

}  // namespace emlo::print
