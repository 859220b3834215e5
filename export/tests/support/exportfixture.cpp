#include "exportfixture.h"

#include "export/exporttable.h"
#include "store/apollotable.h"
#include "store/cp1251.h"
#include "store/errors.h"

namespace emlo::testing {

bool CreateDbf(const QString& path, const QList<FieldSpec>& fields)
{
    TApolloTable table(QStringLiteral("tblNew"));
    if (table.CreateNew(path, 2, static_cast<short>(fields.size())) == 0)
        return false;
    for (const FieldSpec& f : fields)
        table.CreateField(QLatin1String(f.Name), QLatin1String(f.Type), f.Width, f.Decimals);
    return table.CreateExec() != 0;
}

QByteArray Cp1251Lines(const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += toCp1251(line) + "\r\n";
    return bytes;
}

QStringList DataXmlHead()
{
    return {
        QStringLiteral(R"(<?xml version="1.0" encoding="windows-1251" standalone="yes"?>)"),
        QStringLiteral(R"(<DATAPACKET Version="2.0">)"),
        QStringLiteral("<METADATA>"),
        QStringLiteral("<FIELDS>"),
        QStringLiteral(
            R"(<FIELD FieldName="CONTID" DisplayLabel="CONTID" FieldType="ftFloat" FieldClass="TFloatField"/>)"),
        QStringLiteral(
            R"(<FIELD FieldName="CODE" DisplayLabel="Забруднююча речовина|Код" FieldType="ftString" FieldClass="TStringField"/>)"),
        QStringLiteral(
            R"(<FIELD FieldName="DESCR" DisplayLabel="Забруднююча речовина|найменування" FieldType="ftString" FieldClass="TStringField"/>)"),
        QStringLiteral(
            R"(<FIELD FieldName="POTEN" DisplayLabel="Потенцiйний обсяг викидiв, тонн/рiк" FieldType="ftFloat" FieldClass="TFloatField"/>)"),
        QStringLiteral(
            R"(<FIELD FieldName="FACT" DisplayLabel="Викиди за 2001 рiк (факт), тонн/рiк" FieldType="ftFloat" FieldClass="TFloatField"/>)"),
        QStringLiteral(
            R"(<FIELD FieldName="LIMIT" DisplayLabel="Пороговi значення потенцiйних викидiв, тонн/рiк" FieldType="ftFloat" FieldClass="TFloatField"/>)"),
        QStringLiteral("</FIELDS>"),
        QStringLiteral("</METADATA>"),
        QStringLiteral("<ROWDATA>"),
    };
}

const QList<ContRow> kExportPollutants = {
    {3, QStringLiteral("0001"), QStringLiteral("Пил \"А\" & сажа"), 10.0},
    {7, QStringLiteral("0007"), QStringLiteral("Речовина без порогу"), QVariant()},
};

QString exportTable(TApolloTable& table, const QString& path, TVXMLExport* writer)
{
    TVXMLExport own;
    TVXMLExport& expXML = writer ? *writer : own;
    ApplyProgramSettings(expXML);
    try {
        ExportTable(expXML, table, path);
    } catch (const Exception& e) {
        return e.Message;
    }
    return QString();
}

QStringList rowLines(const QByteArray& file)
{
    QStringList rows;
    for (const QString& line : fromCp1251(file).split(QStringLiteral("\r\n"))) {
        if (line.startsWith(QLatin1String("<ROW ")))
            rows << line;
    }
    return rows;
}

}  // namespace emlo::testing
