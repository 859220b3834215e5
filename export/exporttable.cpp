#include "exporttable.h"

#include "store/apollotable.h"
#include "store/datamodule.h"
#include "vxmlexport.h"

namespace emlo {

namespace {

// Puts the writer's field list and the table's open state back on every way
// out of an export.
class ExportRunGuard {
public:
    ExportRunGuard(TVXMLExport& expXML, TApolloTable& table)
        : m_expXML(expXML), m_table(table), m_wasActive(table.Active())
    {
    }
    ~ExportRunGuard()
    {
        m_expXML.ExportedFields.clear();
        if (m_table.Active() != m_wasActive) {
            try {
                m_table.setActive(m_wasActive);
            } catch (...) {
                // Restoring must not replace the error that ended the run.
            }
        }
    }
    ExportRunGuard(const ExportRunGuard&) = delete;
    ExportRunGuard& operator=(const ExportRunGuard&) = delete;

private:
    TVXMLExport& m_expXML;
    TApolloTable& m_table;
    bool m_wasActive;
};

}  // namespace

void ApplyProgramSettings(TVXMLExport& expXML)
{
    expXML.XMLOptions.Version = QStringLiteral("1.0");
    expXML.XMLOptions.Encoding = QStringLiteral("windows-1251");
    expXML.XMLOptions.StandAlone = true;
}

bool ExportTable(TVXMLExport& expXML, TApolloTable& table, const QString& path)
{
    ExportRunGuard guard(expXML, table);
    expXML.ExportedFields.clear();
    if (!table.Active())
        table.Open();
    expXML.setDataset(&table);
    expXML.FileName = path;
    for (int i = 0; i < table.FieldCount(); ++i)
        expXML.ExportedFields << table.Fields(i)->FieldName();
    return expXML.Execute();
}

QString ExportFilePath(const QString& folder, const QString& fileName)
{
    QString base = folder;
    if (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + QLatin1Char('/') + fileName;
}

void ExportWorkFiles(TVXMLExport& expXML, TDataModule& dataModule, const QString& folder)
{
    ExportTable(expXML, *dataModule.tblAttr, ExportFilePath(folder, QStringLiteral("attr.xml")));
    ExportTable(expXML, *dataModule.tblData, ExportFilePath(folder, QStringLiteral("data.xml")));
}

}  // namespace emlo
