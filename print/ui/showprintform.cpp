#include "showprintform.h"

#include <QGuiApplication>

#include <exception>

#include "print/frdbdataset.h"
#include "frpreviewform.h"
#include "print/printform.h"
#include "widgets/errorbox.h"

namespace emlo::print {

bool ShowPrintForm(TfrDataAdapter& frAttr, TfrDataAdapter& frData, QWidget* parent, const TfrPrepareOptions& options)
{
    TfrDocument document;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        document = PrepareForm(frAttr, frData, options);
    } catch (const std::exception& error) {
        QGuiApplication::restoreOverrideCursor();
        showException(error);
        return false;
    }
    QGuiApplication::restoreOverrideCursor();
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
