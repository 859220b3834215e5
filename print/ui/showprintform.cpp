#include "showprintform.h"

#include <exception>

#include "print/frdbdataset.h"
#include "frpreviewform.h"
#include "print/printform.h"
#include "widgets/errorbox.h"
#include "widgets/waitcursor.h"

namespace emlo::print {

bool ShowPrintForm(TfrDataAdapter& frAttr, TfrDataAdapter& frData, QWidget* parent, const TfrPrepareOptions& options)
{
    TfrDocument document;
    WaitCursor wait(WaitCursor::NoRepaint);
    try {
        document = PrepareForm(frAttr, frData, options);
    } catch (const std::exception& error) {
        wait.release();
        showException(error);
        return false;
    }
    wait.release();
    if (document.isEmpty())
        return false;

    TfrPreviewForm preview(std::move(document), parent);
    preview.exec();
    return true;
}

bool ShowPrintForm(TApolloTable* tblAttr, TApolloTable* tblData, QWidget* parent)
{
    TfrDBDataSet frAttr(tblAttr);
    TfrDBDataSet frData(tblData);
    return ShowPrintForm(frAttr, frData, parent);
}

}  // namespace emlo::print
