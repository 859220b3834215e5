#include "programfolder.h"

#include <QDir>
#include <QFile>

#include "store/apollotable.h"
#include "store/tablecatalog.h"

namespace emlo::testing {

namespace {

QString subfolder(const QTemporaryDir& root, const char* name)
{
    return root.filePath(QLatin1String(name)) + QLatin1Char('/');
}

}  // namespace

void RecordingReporter::ShowError(const QString& text, int helpTopic)
{
    Errors << text;
    HelpTopics << helpTopic;
}

void RecordingReporter::FatalStop()
{
    ++FatalStops;
}

void SetOrClear(TField* field, const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        field->Clear();
    else
        field->setAsVariant(value);
}

ProgramFolder::ProgramFolder(const QList<ContRow>& pollutants)
{
    // Others may pass through the folder: tests run the tools as another
    // user on the program and working folders inside it.
    m_valid = m_root.isValid()
        && QFile::setPermissions(m_root.path(),
                                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                     | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther)
        && QDir().mkpath(ProgramDir()) && QDir().mkpath(WorkDir()) && QDir().mkpath(OutDir())
        && createReferenceTables(pollutants);
}

ProgramFolder::~ProgramFolder()
{
    Close();
}

QString ProgramFolder::ProgramDir() const
{
    return subfolder(m_root, "program");
}

QString ProgramFolder::WorkDir() const
{
    return subfolder(m_root, "work");
}

QString ProgramFolder::OutDir() const
{
    return subfolder(m_root, "out");
}

bool ProgramFolder::createReferenceTables(const QList<ContRow>& pollutants)
{
    for (const TableDef& def : TableCatalog()) {
        if (def.reference
            && !CreateTableFile(def, ProgramDir() + QString::fromLatin1(def.name).toLower() + QStringLiteral(".dbf")))
            return false;
    }
    TApolloTable cont(QStringLiteral("tblCont"));
    cont.setTableName(ProgramDir() + QStringLiteral("cont.dbf"));
    cont.setSyncOnPost(false);
    cont.Open();
    for (const ContRow& row : pollutants) {
        cont.Insert();
        cont.FieldByName(QStringLiteral("CONTID"))->setAsInteger(row.ContId);
        cont.FieldByName(QStringLiteral("CODE"))->setAsString(row.Code);
        cont.FieldByName(QStringLiteral("DESCR"))->setAsString(row.Descr);
        SetOrClear(cont.FieldByName(QStringLiteral("LIMIT")), row.Limit);
        cont.Post();
    }
    cont.Close();
    return true;
}

TDataModule& ProgramFolder::Open()
{
    Close();
    m_data = std::make_unique<TDataModule>(&m_reporter);
    m_data->ProgramPath = ProgramDir();
    m_data->WorkPath = WorkDir();
    m_data->OpenReferenceTables();
    m_data->OpenWorkTables();
    // Cases are set up, not saved by a user: no sync to the disk at each post.
    m_data->tblData->setSyncOnPost(false);
    m_data->tblAttr->setSyncOnPost(false);
    return *m_data;
}

void ProgramFolder::Close()
{
    m_data.reset();
}

QMap<QString, QVariant> ProgramFolder::FullAttr()
{
    return {
        {QStringLiteral("ENNAME"), QStringLiteral("ВАТ \"Дніпровський металургійний завод\"")},
        {QStringLiteral("EDRPOU"), QStringLiteral("05393056")},
        {QStringLiteral("ENADDR"), QStringLiteral("м. Дніпро, вул. Маяковського, 3")},
        {QStringLiteral("ENCH_POS"), QStringLiteral("Генеральний директор")},
        {QStringLiteral("ENCH_NAME"), QStringLiteral("Коваленко Іван Петрович")},
        {QStringLiteral("ENPHONE"), QStringLiteral("(056) 778-12-34")},
        {QStringLiteral("OBL_DESCR"), QStringLiteral("Дніпропетровська")},
        {QStringLiteral("OBL_ID"), 12},
        {QStringLiteral("REGN_DESCR"), QStringLiteral("м. Дніпро")},
        {QStringLiteral("REGN_ID"), 1210100000},
        {QStringLiteral("CITY_DESCR"), QStringLiteral("Дніпро")},
        {QStringLiteral("CITY_ID"), 1210100000},
        {QStringLiteral("SPODU_D"), QStringLiteral("Міністерство промислової політики")},
        {QStringLiteral("SPODU_ID"), QStringLiteral("01003")},
        {QStringLiteral("KVED_DESCR"), QStringLiteral("Виробництво чавуну, сталі та феросплавів")},
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

void ProgramFolder::WriteAttr(const QMap<QString, QVariant>& values)
{
    TApolloTable& attr = *m_data->tblAttr;
    attr.First();
    if (attr.IsEmpty())
        attr.Insert();
    else
        attr.Edit();
    for (int i = 0; i < attr.FieldCount(); ++i) {
        TField* field = attr.Fields(i);
        SetOrClear(field, values.value(field->FieldName().toUpper()));
    }
    attr.Post();
}

qint32 ProgramFolder::AddData(const QVariant& contId, const QVariant& poten, const QVariant& fact)
{
    TApolloTable& data = *m_data->tblData;
    if (!contId.isValid() || contId.isNull()) {
        // The program's rules never write a record without pollutant; a
        // file written elsewhere may hold one. It goes in past the rules,
        // through a table of its own on the same file and index.
        data.CheckBrowseMode();
        TApolloTable raw(QStringLiteral("tblRaw"));
        raw.setTableName(data.FilePath());
        raw.setSyncOnPost(false);
        raw.Open();
        raw.IndexOpen(WorkDir() + QStringLiteral("data.idx"));
        raw.Append();
        SetOrClear(raw.FieldByName(QStringLiteral("POTEN")), poten);
        SetOrClear(raw.FieldByName(QStringLiteral("FACT")), fact);
        raw.Post();
        const qint32 recNo = raw.RecNo();
        raw.Close();
        data.Refresh();
        data.setRecNo(recNo);
        return recNo;
    }
    data.Append();
    SetOrClear(data.FieldByName(QStringLiteral("CONTID")), contId);
    SetOrClear(data.FieldByName(QStringLiteral("POTEN")), poten);
    SetOrClear(data.FieldByName(QStringLiteral("FACT")), fact);
    data.Post();
    return data.RecNo();
}

void ProgramFolder::SetAmounts(qint32 recNo, const QVariant& poten, const QVariant& fact)
{
    TApolloTable& data = *m_data->tblData;
    data.setRecNo(recNo);
    data.Edit();
    SetOrClear(data.FieldByName(QStringLiteral("POTEN")), poten);
    SetOrClear(data.FieldByName(QStringLiteral("FACT")), fact);
    data.Post();
}

void ProgramFolder::DeleteData(qint32 recNo)
{
    TApolloTable& data = *m_data->tblData;
    data.setRecNo(recNo);
    data.Delete();
}

QList<DataRow> ProgramFolder::DataRows() const
{
    const TApolloTable& data = *m_data->tblData;
    const TField* contId = data.FieldByName(QStringLiteral("CONTID"));
    const TField* poten = data.FieldByName(QStringLiteral("POTEN"));
    const TField* fact = data.FieldByName(QStringLiteral("FACT"));
    QList<DataRow> rows;
    for (qint32 recNo : data.VisibleRecNos())
        rows.append(
            {recNo, data.FieldValueAt(recNo, contId), data.FieldValueAt(recNo, poten), data.FieldValueAt(recNo, fact)});
    return rows;
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

QStringList FolderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

}  // namespace emlo::testing
