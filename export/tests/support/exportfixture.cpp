#include "exportfixture.h"

#include <QDir>
#include <QFile>

#include "store/apollotable.h"
#include "store/cp1251.h"
#include "store/tablecatalog.h"

namespace emlo::testing {

namespace {

QString withSlash(const QString& folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

void setValue(TField* field, const QVariant& value)
{
    if (value.isNull())
        field->Clear();
    else
        field->setAsVariant(value);
}

}  // namespace

void TExportReporter::ShowError(const QString& text, int)
{
    Errors << text;
}

void TExportReporter::FatalStop()
{
    ++FatalStops;
}

bool CreateDbf(const QString& path, const QList<TFieldSpec>& fields)
{
    TApolloTable table(QStringLiteral("tblNew"));
    if (table.CreateNew(path, 2, static_cast<short>(fields.size())) == 0)
        return false;
    for (const TFieldSpec& f : fields)
        table.CreateField(QLatin1String(f.Name), QLatin1String(f.Type), f.Width, f.Decimals);
    return table.CreateExec() != 0;
}

TExportFixture::TExportFixture(const QList<TContRow>& pollutants)
{
    m_valid = m_root.isValid() && QDir(m_root.path()).mkpath(QStringLiteral("program"))
        && QDir(m_root.path()).mkpath(QStringLiteral("work")) && QDir(m_root.path()).mkpath(QStringLiteral("out"))
        && createReferenceTables(pollutants);
}

TExportFixture::~TExportFixture()
{
    Close();
}

QString TExportFixture::ProgramDir() const
{
    return withSlash(m_root.filePath(QStringLiteral("program")));
}

QString TExportFixture::WorkDir() const
{
    return withSlash(m_root.filePath(QStringLiteral("work")));
}

QString TExportFixture::OutDir() const
{
    return withSlash(m_root.filePath(QStringLiteral("out")));
}

bool TExportFixture::createReferenceTables(const QList<TContRow>& pollutants)
{
    for (const TableDef& def : TableCatalog()) {
        if (def.reference
            && !CreateTableFile(def, ProgramDir() + QString::fromLatin1(def.name).toLower() + QStringLiteral(".dbf")))
            return false;
    }
    TApolloTable cont(QStringLiteral("tblCont"));
    cont.setTableName(ProgramDir() + QStringLiteral("cont.dbf"));
    cont.Open();
    for (const TContRow& row : pollutants) {
        cont.Insert();
        cont.FieldByName(QStringLiteral("CONTID"))->setAsInteger(row.ContId);
        cont.FieldByName(QStringLiteral("CODE"))->setAsString(row.Code);
        cont.FieldByName(QStringLiteral("DESCR"))->setAsString(row.Descr);
        setValue(cont.FieldByName(QStringLiteral("LIMIT")), row.Limit);
        cont.Post();
    }
    cont.Close();
    return true;
}

TDataModule& TExportFixture::Open()
{
    Close();
    m_data = std::make_unique<TDataModule>(&m_reporter);
    m_data->ProgramPath = ProgramDir();
    m_data->WorkPath = WorkDir();
    m_data->OpenReferenceTables();
    m_data->OpenWorkTables();
    return *m_data;
}

void TExportFixture::Close()
{
    m_data.reset();
}

QMap<QString, QVariant> TExportFixture::FullAttr()
{
    return {
        {QStringLiteral("ENNAME"), QStringLiteral("ПАТ \"Придніпровський завод\"")},
        {QStringLiteral("EDRPOU"), QStringLiteral("01234567")},
        {QStringLiteral("ENADDR"), QStringLiteral("м. Дніпро, вул. Заводська, 1")},
        {QStringLiteral("ENCH_POS"), QStringLiteral("Директор")},
        {QStringLiteral("ENCH_NAME"), QStringLiteral("Петренко Олег Іванович")},
        {QStringLiteral("ENPHONE"), QStringLiteral("(056) 700-00-01")},
        {QStringLiteral("OBL_DESCR"), QStringLiteral("Дніпропетровська")},
        {QStringLiteral("OBL_ID"), 12},
        {QStringLiteral("REGN_DESCR"), QStringLiteral("м. Дніпро")},
        {QStringLiteral("REGN_ID"), 1210100000},
        {QStringLiteral("CITY_DESCR"), QStringLiteral("Дніпро")},
        {QStringLiteral("CITY_ID"), 1210100000},
        {QStringLiteral("SPODU_D"), QStringLiteral("Міністерство")},
        {QStringLiteral("SPODU_ID"), QStringLiteral("01003")},
        {QStringLiteral("KVED_DESCR"), QStringLiteral("Виробництво сталі")},
        {QStringLiteral("KVED_ID"), QStringLiteral("24.10")},
        {QStringLiteral("KFV_DESCR"), QStringLiteral("Приватна власність")},
        {QStringLiteral("KFV_ID"), QStringLiteral("10")},
        {QStringLiteral("X1"), 48},
        {QStringLiteral("X2"), 27},
        {QStringLiteral("X3"), 55},
        {QStringLiteral("Y1"), 35},
        {QStringLiteral("Y2"), 1},
        {QStringLiteral("Y3"), 18},
    };
}

void TExportFixture::WriteAttr(const QMap<QString, QVariant>& values)
{
    TApolloTable& attr = *m_data->tblAttr;
    attr.First();
    if (attr.IsEmpty())
        attr.Insert();
    else
        attr.Edit();
    for (auto it = values.begin(); it != values.end(); ++it)
        setValue(attr.FieldByName(it.key()), it.value());
    attr.Post();
}

void TExportFixture::AddData(const QVariant& contId, const QVariant& poten, const QVariant& fact)
{
    TApolloTable& data = *m_data->tblData;
    data.Append();
    setValue(data.FieldByName(QStringLiteral("CONTID")), contId);
    setValue(data.FieldByName(QStringLiteral("POTEN")), poten);
    setValue(data.FieldByName(QStringLiteral("FACT")), fact);
    data.Post();
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
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

QStringList FolderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

}  // namespace emlo::testing
