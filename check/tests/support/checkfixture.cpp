#include "checkfixture.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

#include "store/apollotable.h"
#include "store/errors.h"
#include "store/tablecatalog.h"

namespace emlo::testing {

namespace {

QString withSlash(const QString& path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

void setOrClear(TField* field, const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        field->Clear();
    else
        field->setAsVariant(value);
}

}  // namespace

void TRecordingReporter::ShowError(const QString& text, int helpTopic)
{
    Errors << text;
    HelpTopics << helpTopic;
}

void TRecordingReporter::FatalStop()
{
    ++FatalStops;
}

TCheckFixture::TCheckFixture()
{
    m_valid = m_program.isValid() && m_work.isValid();
    if (m_valid)
        createReferenceTables();
}

TCheckFixture::~TCheckFixture()
{
    Close();
}

QString TCheckFixture::ProgramDir() const
{
    return withSlash(m_program.path());
}

QString TCheckFixture::WorkDir() const
{
    return withSlash(m_work.path());
}

void TCheckFixture::createReferenceTables()
{
    for (const TableDef& def : TableCatalog()) {
        if (def.reference
            && !CreateTableFile(def, ProgramDir() + QString::fromLatin1(def.name).toLower() + QStringLiteral(".dbf"))) {
            m_valid = false;
            return;
        }
    }
    // A few pollutants, enough for the look-up fields of the emission table.
    TApolloTable cont(QStringLiteral("tblCont"));
    cont.setTableName(ProgramDir() + QStringLiteral("cont.dbf"));
    cont.setSyncOnPost(false);
    cont.Open();
    for (int id : {1, 2, 5, 18, 132}) {
        cont.Insert();
        cont.FieldByName(QStringLiteral("CONTID"))->setAsInteger(id);
        cont.FieldByName(QStringLiteral("CODE"))->setAsString(QString::number(id));
        cont.FieldByName(QStringLiteral("DESCR"))->setAsString(QStringLiteral("Речовина %1").arg(id));
        cont.FieldByName(QStringLiteral("LIMIT"))->setAsFloat(0.5);
        cont.Post();
    }
    cont.Close();
}

TDataModule& TCheckFixture::Open()
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

void TCheckFixture::Close()
{
    m_data.reset();
}

QMap<QString, QVariant> TCheckFixture::FullAttr()
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

void TCheckFixture::WriteAttr(const QMap<QString, QVariant>& values)
{
    TApolloTable& attr = *m_data->tblAttr;
    attr.First();
    if (attr.IsEmpty())
        attr.Insert();
    else
        attr.Edit();
    for (int i = 0; i < attr.FieldCount(); ++i) {
        TField* field = attr.Fields(i);
        setOrClear(field, values.value(field->FieldName().toUpper()));
    }
    attr.Post();
}

qint32 TCheckFixture::AddData(const QVariant& contId, const QVariant& poten, const QVariant& fact)
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
        setOrClear(raw.FieldByName(QStringLiteral("POTEN")), poten);
        setOrClear(raw.FieldByName(QStringLiteral("FACT")), fact);
        raw.Post();
        const qint32 recNo = raw.RecNo();
        raw.Close();
        data.Refresh();
        data.setRecNo(recNo);
        return recNo;
    }
    data.Append();
    setOrClear(data.FieldByName(QStringLiteral("CONTID")), contId);
    setOrClear(data.FieldByName(QStringLiteral("POTEN")), poten);
    setOrClear(data.FieldByName(QStringLiteral("FACT")), fact);
    data.Post();
    return data.RecNo();
}

void TCheckFixture::SetAmounts(qint32 recNo, const QVariant& poten, const QVariant& fact)
{
    TApolloTable& data = *m_data->tblData;
    data.setRecNo(recNo);
    data.Edit();
    setOrClear(data.FieldByName(QStringLiteral("POTEN")), poten);
    setOrClear(data.FieldByName(QStringLiteral("FACT")), fact);
    data.Post();
}

void TCheckFixture::DeleteData(qint32 recNo)
{
    TApolloTable& data = *m_data->tblData;
    data.setRecNo(recNo);
    data.Delete();
}

QList<TDataRow> TCheckFixture::DataRows() const
{
    const TApolloTable& data = *m_data->tblData;
    const TField* contId = data.FieldByName(QStringLiteral("CONTID"));
    const TField* poten = data.FieldByName(QStringLiteral("POTEN"));
    const TField* fact = data.FieldByName(QStringLiteral("FACT"));
    QList<TDataRow> rows;
    for (qint32 recNo : data.VisibleRecNos())
        rows.append(
            {recNo, data.FieldValueAt(recNo, contId), data.FieldValueAt(recNo, poten), data.FieldValueAt(recNo, fact)});
    return rows;
}

QVariant NumberOrNull(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return QVariant();
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    return ok ? QVariant(value) : QVariant(trimmed);
}

void TCheckFixture::LoadCase(const QString& folder)
{
    const auto readLines = [](const QString& path, bool* exists) {
        QFile file(path);
        QStringList lines;
        *exists = file.open(QIODevice::ReadOnly | QIODevice::Text);
        if (*exists) {
            QTextStream in(&file);
            while (!in.atEnd()) {
                const QString line = in.readLine();
                if (!line.trimmed().isEmpty() && !line.startsWith(QLatin1Char('#')))
                    lines << line;
            }
        }
        return lines;
    };

    bool exists = false;
    const QStringList attrLines = readLines(folder + QStringLiteral("/attr.txt"), &exists);
    if (exists) {
        QMap<QString, QVariant> values;
        for (const QString& line : attrLines) {
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (eq > 0)
                values.insert(line.left(eq).trimmed().toUpper(), line.mid(eq + 1));
        }
        // Numbers reach numeric fields as numbers, whatever the locale.
        for (const char* numeric : {"OBL_ID", "REGN_ID", "CITY_ID", "X1", "X2", "X3", "Y1", "Y2", "Y3"}) {
            const QString key = QLatin1String(numeric);
            if (values.contains(key))
                values[key] = NumberOrNull(values.value(key).toString());
        }
        WriteAttr(values);
    }

    const QStringList dataLines = readLines(folder + QStringLiteral("/data.txt"), &exists);
    for (const QString& line : dataLines) {
        const QStringList cells = line.split(QLatin1Char(';'));
        const qint32 recNo =
            AddData(NumberOrNull(cells.value(0)), NumberOrNull(cells.value(1)), NumberOrNull(cells.value(2)));
        if (cells.value(3).trimmed() == QLatin1String("*"))
            DeleteData(recNo);
    }
}

QString RowText(const TDataRow& row)
{
    const auto number = [](const QVariant& value) {
        return value.isNull() ? QString() : QString::number(value.toDouble(), 'g', 15);
    };
    return number(row.ContId) + QLatin1Char(';') + number(row.Poten) + QLatin1Char(';') + number(row.Fact);
}

}  // namespace emlo::testing
