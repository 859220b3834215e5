#include "submissiongenerator.h"

#include <cmath>

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "tools/reftables.h"
#include "check/datacheck.h"
#include "export/exporttable.h"
#include "export/vxmlexport.h"
#include "store/apollotable.h"
#include "store/cp1251.h"
#include "store/datamodule.h"
#include "store/errors.h"
#include "store/fields.h"

namespace emlo::registry {

class GeneratorReporter : public DataModuleReporter {
public:
    void ShowError(const QString& text, int) override { Errors << text; }
    void FatalStop() override { }
    QStringList Errors;
};

namespace {

QVector<QStringList> readCsv(const QString& path, QString* error)
{
    QFile file(path);
    QVector<QStringList> rows;
    if (!file.open(QIODevice::ReadOnly) || !ParseCsv(file.readAll(), &rows, error)) {
        if (error->isEmpty())
            *error = QStringLiteral("cannot read %1").arg(path);
        return {};
    }
    if (!rows.isEmpty())
        rows.removeFirst();
    return rows;
}

const char* const kNameStarts[] = {"ТОВ", "ПрАТ", "АТ", "ДП", "КП", "ПАТ"};
const char* const kNameWords[] = {"Дніпровський металургійний завод",
                                  "Азовсталь",
                                  "Будівельні матеріали",
                                  "Теплоенерго",
                                  "Хлібзавод №3",
                                  "Цукровий завод",
                                  "Нафтопереробний комплекс",
                                  "Коксохім",
                                  "Цемент & Ко",
                                  "Олійно-жировий комбінат",
                                  "Склотара",
                                  "Птахофабрика «Світанок»",
                                  "Керамік",
                                  "Водоканал",
                                  "Машинобудівний завод"};
const char* const kSurnames[] = {"Коваленко", "Шевченко", "Бондаренко", "Ткаченко", "Кравченко",
                                 "Олійник",   "Мельник",  "Лисенко",    "Марченко", "Савченко"};
const char* const kFirstNames[] = {"Іван Петрович",  "Олена Василівна", "Андрій Миколайович",
                                   "Ірина Олегівна", "Сергій Іванович", "Наталія Юріївна"};
const char* const kPositions[] = {"Генеральний директор", "Директор", "Голова правління", "Керівник"};

template <typename T, size_t N> QString pick(QRandomGenerator& random, const T (&list)[N])
{
    return QString::fromUtf8(list[random.bounded(int(N))]);
}

}  // namespace

QList<Breakage> AllBreakages()
{
    return {Breakage::NotWellFormed,     Breakage::WrongEncoding, Breakage::MissingField,  Breakage::UnknownField,
            Breakage::NotANumber,        Breakage::BadEdrpou,     Breakage::UnknownKoatuu, Breakage::UnknownPollutant,
            Breakage::RepeatedPollutant, Breakage::Incomplete,    Breakage::HugeFile,      Breakage::DeepNesting,
            Breakage::EntityExpansion};
}

QString BreakageName(Breakage breakage)
{
    switch (breakage) {
    case Breakage::None: return QStringLiteral("valid");
    case Breakage::NotWellFormed: return QStringLiteral("not-well-formed");
    case Breakage::WrongEncoding: return QStringLiteral("wrong-encoding");
    case Breakage::MissingField: return QStringLiteral("missing-field");
    case Breakage::UnknownField: return QStringLiteral("unknown-field");
    case Breakage::NotANumber: return QStringLiteral("not-a-number");
    case Breakage::BadEdrpou: return QStringLiteral("bad-edrpou");
    case Breakage::UnknownKoatuu: return QStringLiteral("unknown-koatuu");
    case Breakage::UnknownPollutant: return QStringLiteral("unknown-pollutant");
    case Breakage::RepeatedPollutant: return QStringLiteral("repeated-pollutant");
    case Breakage::Incomplete: return QStringLiteral("incomplete");
    case Breakage::HugeFile: return QStringLiteral("huge-file");
    case Breakage::DeepNesting: return QStringLiteral("deep-nesting");
    case Breakage::EntityExpansion: return QStringLiteral("entity-expansion");
    }
    return QString();
}

SubmissionGenerator::SubmissionGenerator(const QString& programDir, quint32 seed, GeneratorOptions options)
    : m_seed(seed),
      m_options(options),
      m_programDir(QDir(programDir).absolutePath() + QLatin1Char('/')),
      m_reporter(std::make_unique<GeneratorReporter>())
{
    if (!m_work.isValid()) {
        m_error = QStringLiteral("cannot make a temporary folder");
        return;
    }
    if (!loadReference(m_programDir + QStringLiteral("refdata/")))
        return;
    m_data = std::make_unique<TDataModule>(m_reporter.get());
    m_data->ProgramPath = m_programDir;
    m_data->OpenReferenceTables();
    if (!m_reporter->Errors.isEmpty())
        m_error = m_reporter->Errors.join(QLatin1Char('\n'));
}

SubmissionGenerator::~SubmissionGenerator() = default;

bool SubmissionGenerator::loadReference(const QString& refdata)
{
    for (const QStringList& row : readCsv(refdata + QStringLiteral("obl.csv"), &m_error))
        m_regions.append({row.at(1), row.at(2)});
    for (const QStringList& row : readCsv(refdata + QStringLiteral("cy.csv"), &m_error)) {
        m_cyNames.insert(row.at(1), row.at(2));
        if (!row.at(1).endsWith(QLatin1String("00000")))
            m_settlementsByRegion[row.at(1).left(2)].append({row.at(1), row.at(2)});
    }
    for (const QStringList& row : readCsv(refdata + QStringLiteral("ea.csv"), &m_error)) {
        if (row.at(1).size() == 5 && row.at(1).at(2) == u'.')
            m_activities.append({row.at(1), row.at(2).left(100)});
    }
    for (const QStringList& row : readCsv(refdata + QStringLiteral("ow.csv"), &m_error))
        m_ownership.append({row.at(1), row.at(2)});
    for (const QStringList& row : readCsv(refdata + QStringLiteral("dp.csv"), &m_error))
        m_departments.append({row.at(1), row.at(2).left(100)});
    for (const QStringList& row : readCsv(refdata + QStringLiteral("cont.csv"), &m_error)) {
        const int id = row.at(0).toInt();
        m_limits.insert(id, row.at(3).toDouble());
        if (!IsGroupTotalId(id))
            m_pollutants.append(id);
    }
    if (m_error.isEmpty() && (m_regions.isEmpty() || m_activities.isEmpty() || m_pollutants.isEmpty()))
        m_error = QStringLiteral("the classifier files in %1 are empty").arg(refdata);
    return m_error.isEmpty();
}

GeneratedEnterprise SubmissionGenerator::MakeEnterprise(int index)
{
    QRandomGenerator random(m_seed * 1000003u + quint32(index));
    GeneratedEnterprise e;
    QMap<QString, QVariant>& a = e.Attr;
    a[QStringLiteral("ENNAME")] =
        QStringLiteral("%1 \"%2\" %3").arg(pick(random, kNameStarts), pick(random, kNameWords)).arg(index + 1);
    a[QStringLiteral("EDRPOU")] = QString::number(30000000 + index);
    // Regions that have settlements (every region in KOATUU has).
    CodeName region;
    QList<CodeName>* settlements = nullptr;
    do {
        region = m_regions.at(random.bounded(int(m_regions.size())));
        settlements = &m_settlementsByRegion[region.Code.left(2)];
    } while (settlements->isEmpty());
    const CodeName city = settlements->at(random.bounded(int(settlements->size())));
    const QString district = city.Code.left(5) + QStringLiteral("00000");
    a[QStringLiteral("ENADDR")] = QStringLiteral("%1, вул. Заводська, %2").arg(city.Name).arg(random.bounded(1, 200));
    a[QStringLiteral("ENCH_POS")] = pick(random, kPositions);
    a[QStringLiteral("ENCH_NAME")] = pick(random, kSurnames) + QLatin1Char(' ') + pick(random, kFirstNames);
    a[QStringLiteral("ENPHONE")] = QStringLiteral("(0%1) %2-%3-%4")
                                       .arg(random.bounded(31, 70))
                                       .arg(random.bounded(100, 999))
                                       .arg(random.bounded(10, 99))
                                       .arg(random.bounded(10, 99));
    a[QStringLiteral("OBL_DESCR")] = region.Name;
    a[QStringLiteral("OBL_ID")] = region.Code.toLongLong();
    a[QStringLiteral("REGN_DESCR")] = m_cyNames.value(district, city.Name);
    a[QStringLiteral("REGN_ID")] = m_cyNames.contains(district) ? district.toLongLong() : city.Code.toLongLong();
    a[QStringLiteral("CITY_DESCR")] = city.Name;
    a[QStringLiteral("CITY_ID")] = city.Code.toLongLong();
    const CodeName dep = m_departments.at(random.bounded(int(m_departments.size())));
    a[QStringLiteral("SPODU_D")] = dep.Name;
    a[QStringLiteral("SPODU_ID")] = dep.Code;
    const CodeName act = m_activities.at(random.bounded(int(m_activities.size())));
    a[QStringLiteral("KVED_DESCR")] = act.Name;
    a[QStringLiteral("KVED_ID")] = act.Code;
    const CodeName own = m_ownership.at(random.bounded(int(m_ownership.size())));
    a[QStringLiteral("KFV_DESCR")] = own.Name;
    a[QStringLiteral("KFV_ID")] = own.Code;
    a[QStringLiteral("X1")] = random.bounded(44, 53);
    a[QStringLiteral("X2")] = random.bounded(0, 60);
    a[QStringLiteral("X3")] = random.bounded(0, 60);
    a[QStringLiteral("Y1")] = random.bounded(22, 41);
    a[QStringLiteral("Y2")] = random.bounded(0, 60);
    a[QStringLiteral("Y3")] = random.bounded(0, 60);

    QList<int> ids = m_pollutants;
    const int count = std::min(m_options.Rows, int(ids.size()));
    for (int i = 0; i < count; ++i) {
        const int j = i + random.bounded(int(ids.size()) - i);
        std::swap(ids[i], ids[j]);
        GeneratedRow row;
        row.ContId = ids.at(i);
        // Amounts spread over six orders of magnitude; now and then one
        // reaches the pollutant's threshold.
        row.Poten = std::round(std::pow(10.0, random.generateDouble() * 6.0 - 3.0) * 1e7) / 1e7;
        const double limit = m_limits.value(row.ContId);
        if (limit > 0 && random.bounded(4) == 0)
            row.Poten = std::round(limit * (1.0 + random.generateDouble()) * 1e7) / 1e7;
        row.Fact = std::round(row.Poten * (0.1 + 0.8 * random.generateDouble()) * 1e7) / 1e7;
        e.Rows.append(row);
    }
    std::sort(e.Rows.begin(), e.Rows.end(),
              [](const GeneratedRow& x, const GeneratedRow& y) { return x.ContId < y.ContId; });
    return e;
}

bool SubmissionGenerator::Write(const GeneratedEnterprise& enterprise, const QString& folder, Breakage breakage)
{
    if (!IsValid())
        return false;
    if (!QDir().mkpath(folder)) {
        m_error = QStringLiteral("cannot make %1").arg(folder);
        return false;
    }
    try {
        if (!exportTables(enterprise, QDir(folder).absolutePath(), breakage))
            return false;
    } catch (const Exception& e) {
        m_error = e.Message;
        return false;
    }
    return spoil(QDir(folder).absolutePath(), breakage);
}

bool SubmissionGenerator::exportTables(const GeneratedEnterprise& enterprise, const QString& folder, Breakage breakage)
{
    // Fresh work tables for every enterprise, as a new working folder gets.
    const QString previous = m_data->WorkPath;
    m_data->WorkPath = m_work.path() + QStringLiteral("/%1/").arg(++m_workCount);
    QDir().mkpath(m_data->WorkPath);
    m_data->OpenWorkTables();
    if (!previous.isEmpty())
        QDir(previous).removeRecursively();
    if (!m_reporter->Errors.isEmpty()) {
        m_error = m_reporter->Errors.join(QLatin1Char('\n'));
        return false;
    }

    QMap<QString, QVariant> attr = enterprise.Attr;
    if (breakage == Breakage::BadEdrpou)
        attr[QStringLiteral("EDRPOU")] = attr.value(QStringLiteral("EDRPOU")).toString().left(7);
    if (breakage == Breakage::UnknownKoatuu)
        attr[QStringLiteral("CITY_ID")] = 9999999999LL;
    if (breakage == Breakage::Incomplete)
        attr.remove(QStringLiteral("ENNAME"));
    TApolloTable& tblAttr = *m_data->tblAttr;
    tblAttr.Insert();
    for (int i = 0; i < tblAttr.FieldCount(); ++i) {
        TField* field = tblAttr.Fields(i);
        const QVariant value = attr.value(field->FieldName().toUpper());
        if (value.isValid())
            field->setAsVariant(value);
    }
    tblAttr.Post();

    QList<GeneratedRow> rows = enterprise.Rows;
    if (breakage == Breakage::UnknownPollutant && !rows.isEmpty())
        rows.last().ContId = 999;
    if (breakage == Breakage::RepeatedPollutant && !rows.isEmpty())
        rows.append(rows.first());
    TApolloTable& tblData = *m_data->tblData;
    for (const GeneratedRow& row : rows) {
        tblData.Append();
        m_data->tblDataCONTID->setAsInteger(row.ContId);
        m_data->tblDataPOTEN->setAsFloat(row.Poten);
        m_data->tblDataFACT->setAsFloat(row.Fact);
        tblData.Post();
    }
    if (m_options.GroupTotals) {
        DataCheck check(tblAttr, tblData);
        check.CalcGroupTotals();
    }

    TVXMLExport expXML;
    ApplyProgramSettings(expXML);
    ExportWorkFiles(expXML, *m_data, folder);
    return true;
}

bool SubmissionGenerator::spoil(const QString& folder, Breakage breakage)
{
    const QString attrPath = folder + QStringLiteral("/attr.xml");
    const QString dataPath = folder + QStringLiteral("/data.xml");
    const auto read = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const auto write = [this](const QString& path, const QByteArray& bytes) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
            return true;
        m_error = QStringLiteral("cannot write %1").arg(path);
        return false;
    };
    QByteArray data = read(dataPath);
    QByteArray attr = read(attrPath);
    // The writer puts the regional separator into numbers; a PC with the
    // other setting writes the other one.
    static const QRegularExpression number(
        QStringLiteral(" (CONTID|POTEN|FACT|LIMIT|OBL_ID|REGN_ID|CITY_ID)=\"(-?\\d+)[.,](\\d+)\""));
    const QString sep = QString(m_options.DecimalSeparator);
    for (QByteArray* bytes : {&data, &attr}) {
        QString text = QString::fromLatin1(*bytes);
        text.replace(number, QStringLiteral(" \\1=\"\\2") + sep + QStringLiteral("\\3\""));
        *bytes = text.toLatin1();
    }
    const qsizetype firstRow = data.indexOf("<ROW ");
    switch (breakage) {
    case Breakage::NotWellFormed: data.truncate(data.size() / 2); break;
    case Breakage::WrongEncoding: attr = fromCp1251(attr).toUtf8(); break;
    case Breakage::MissingField: {
        const qsizetype at = data.indexOf(" FACT=\"", firstRow);
        data.remove(at, data.indexOf('"', at + 7) + 1 - at);
        break;
    }
    case Breakage::UnknownField: data.insert(firstRow + 5, "COLOR=\"red\" "); break;
    case Breakage::NotANumber: {
        const qsizetype at = data.indexOf("POTEN=\"", firstRow);
        const qsizetype end = data.indexOf('"', at + 7);
        data.replace(at + 7, end - at - 7, toCp1251(QStringLiteral("12т")));
        break;
    }
    case Breakage::HugeFile: data.append(QByteArray(5 * 1024 * 1024, ' ')); break;
    case Breakage::DeepNesting: {
        const qsizetype at = data.indexOf("<ROWDATA>") + 9;
        data.insert(at, QByteArray("<x>").repeated(100000));
        break;
    }
    case Breakage::EntityExpansion: {
        QByteArray dtd = "<!DOCTYPE DATAPACKET [<!ENTITY a \"aaaaaaaaaa\">";
        char prev = 'a';
        for (char name = 'b'; name <= 'k'; ++name, ++prev)
            dtd +=
                QByteArray("<!ENTITY ") + name + " \"" + QByteArray("&").append(prev).append(';').repeated(10) + "\">";
        dtd += "]>\r\n";
        data.insert(data.indexOf("<DATAPACKET"), dtd);
        data.replace("DESCR=\"", "DESCR=\"&k;");
        break;
    }
    default: break;
    }
    return write(attrPath, attr) && write(dataPath, data);
}

}  // namespace emlo::registry
