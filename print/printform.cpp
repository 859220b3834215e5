#include "printform.h"

#include <QFile>

#include "frdbdataset.h"
#include "frpainter.h"

namespace emlo::print {

using namespace Qt::StringLiterals;

TfrTemplate FormTemplate()
{
    QFile file(u":/print/form.json"_s);
    if (!file.open(QIODevice::ReadOnly))
        throw TfrError(u"Не знайдено шаблон звіту: %1"_s.arg(file.errorString()));
    TfrTemplate tpl;
    QString error;
    if (!TfrTemplate::FromJson(file.readAll(), &tpl, &error))
        throw TfrError(error);
    return tpl;
}

TfrDocument PrepareForm(TfrDataAdapter& frAttr, TfrDataAdapter& frData, const TfrPrepareOptions& options)
{
    TfrReport report(FormTemplate());
    report.SetDataAdapter(u"frAttr"_s, &frAttr);
    report.SetDataAdapter(u"frData"_s, &frData);
    return report.PrepareReport(options);
}

TfrDocument PrepareForm(TApolloTable* tblAttr, TApolloTable* tblData, const TfrPrepareOptions& options)
{
    TfrDBDataSet frAttr(tblAttr);
    TfrDBDataSet frData(tblData);
    return PrepareForm(frAttr, frData, options);
}

bool PrintFormToPdf(TApolloTable* tblAttr, TApolloTable* tblData, const QString& path, QString* error,
                    const TfrPrepareOptions& options)
{
    return RenderPdf(PrepareForm(tblAttr, tblData, options), path, error);
}

}  // namespace emlo::print
