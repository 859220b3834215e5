#include "folderexport.h"

#include <exception>

#include <QDir>

#include "exporttable.h"
#include "store/errors.h"
#include "vxmlexport.h"

namespace emlo {

QString ExportToFolder(TDataModule& dataModule, const QString& folder, QChar decimalSeparator)
{
    // A folder that cannot be made shows up as the writer's "Cannot create
    // file" with the full path, which names the place better than a
    // separate message could.
    QDir().mkpath(folder);
    TVXMLExport expXML;
    ApplyProgramSettings(expXML);
    expXML.DecimalSeparator = decimalSeparator;
    try {
        ExportWorkFiles(expXML, dataModule, folder);
        return QString();
    } catch (const std::exception& e) {
        return QStringLiteral("Помилка вигрузки інформації:\r\n") + ErrorText(e);
    }
}

}  // namespace emlo
