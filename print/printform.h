#pragma once

#include "frdataadapter.h"
#include "frdocument.h"
#include "frreport.h"
#include "frtemplate.h"

namespace emlo {
class TApolloTable;
}  // namespace emlo

namespace emlo::print {

/// The emission form's template, read from the program's resources
/// (":/print/form.json"). Throws TfrError when the resource is broken.
TfrTemplate FormTemplate();

/// Prepares the emission form: section 1 with the enterprise's attributes
/// from frAttr (data set tblAttr), section 2 with the table of pollutants from
/// frData (data set tblData). An empty frAttr gives an empty document.
/// Throws TfrError for an expression that fails; adapter errors pass through.
/// Both adapters are left at their end.
TfrDocument PrepareForm(TfrDataAdapter& frAttr, TfrDataAdapter& frData, const TfrPrepareOptions& options = {});

/// The same over the two open work tables, through TfrDBDataSet adapters
/// named frAttr (over tblAttr) and frData (over tblData).
TfrDocument PrepareForm(TApolloTable* tblAttr, TApolloTable* tblData, const TfrPrepareOptions& options = {});

/// Prepares the form over the two work tables and writes it as a PDF file.
/// Returns false and sets *error when the form has no page (no attribute
/// record) or the file cannot be written; errors of the tables and of the
/// engine pass through as exceptions.
bool PrintFormToPdf(TApolloTable* tblAttr, TApolloTable* tblData, const QString& path, QString* error,
                    const TfrPrepareOptions& options = {});

}  // namespace emlo::print
