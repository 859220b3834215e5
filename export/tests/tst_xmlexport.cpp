// The XML export writer over the program's own tables: whole files byte for
// byte, value texts, the checks before writing, and what is left on disk when
// a run fails.

#include <sys/resource.h>

#include <csignal>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include "export/exporttable.h"
#include "export/vxmlexport.h"
#include "store/cp1251.h"
#include "store/errors.h"
#include "export/tests/support/exportfixture.h"

using namespace emlo;
using namespace emlo::testing;

namespace {

const QList<ContRow> kPollutants = {
    {3, QStringLiteral("0001"), QStringLiteral("Пил \"А\" & сажа"), 10.0},
    {7, QStringLiteral("0007"), QStringLiteral("Речовина без порогу"), QVariant()},
};

// Runs the writer as the program sets it up; returns the error text, if any.
QString exportTable(TApolloTable& table, const QString& path, TVXMLExport* writer = nullptr)
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

// Fails the value of the second record, as a read error of the table would.
class FailingSecondRecord : public TVXMLExport {
public:
    QString GetFieldText(const TField& field) const override
    {
        if (field.FieldName() == QLatin1String("CONTID") && ++m_rows == 2)
            throw EApolloError(QStringLiteral("Read error"));
        return TVXMLExport::GetFieldText(field);
    }

private:
    mutable int m_rows = 0;
};

// Lowers the largest file size this process may write, so that writes beyond
// it fail as on a full disk; restores the limit when it goes.
class ExportSizeLimit {
public:
    explicit ExportSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~ExportSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }
    bool ok() const { return m_ok; }

private:
    rlimit m_saved{};
    bool m_ok = false;
};

}  // namespace

class TestXmlExport : public QObject {
    Q_OBJECT
private slots:
    void workedExampleIsWrittenByteForByte();
    void emptyEmissionTableGivesFifteenLines();
    void rowValues_data();
    void rowValues();
    void attrXmlWritesCodesAsFloatsAndCoordinatesAsIntegers();
    void roundsAtTheSeventhDecimal();
    void escapeText_data();
    void escapeText();
    void failedCheckCreatesNoFile_data();
    void failedCheckCreatesNoFile();
    void exportedFieldSelection_data();
    void exportedFieldSelection();
    void captionsUserFormatsAndColHeaders();
    void tableIsLeftAtEndAndSettingsCleared();
    void closedTableIsOpenedAndClosedAgain();
    void unwritableAttrFileStopsBeforeDataFile();
    void missingFolderNamesTheFullPath();
    void errorDuringRunKeepsPreviousTarget();
    void writeErrorKeepsPreviousTarget();
    void completedAttrFileStaysWhenDataFileFails();
    void existingFileInOtherLetterCaseIsReplaced();
    void independentParserReadsTheFile();
    void controlCharacterIsRefusedNamingRecordAndField_data();
    void controlCharacterIsRefusedNamingRecordAndField();
    void fieldNameThatIsNoXmlNameIsRefused();
};

void TestXmlExport::workedExampleIsWrittenByteForByte()
{
    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.AddData(3, 12.5, 0.0123456);

    const QString path = fx.OutDir() + QStringLiteral("data.xml");
    QCOMPARE(exportTable(*dm.tblData, path), QString());

    QStringList expected = DataXmlHead();
    expected << QStringLiteral(
        R"(<ROW CONTID="3,000" CODE="0001" DESCR="Пил &quot;А&quot; &amp; сажа" POTEN="12,500" FACT="0,0123456" LIMIT="10,000"/>)")
             << QStringLiteral("</ROWDATA>") << QStringLiteral("</DATAPACKET>");
    const QByteArray written = ReadFile(path);
    QCOMPARE(written, Cp1251Lines(expected));
    // Windows-1251 bytes, no byte-order mark: "Пил" is CF E8 EB.
    QVERIFY(written.startsWith("<?xml"));
    QVERIFY(written.contains("DESCR=\"\xCF\xE8\xEB &quot;"));
}

void TestXmlExport::emptyEmissionTableGivesFifteenLines()
{
    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();

    const QString path = fx.OutDir() + QStringLiteral("data.xml");
    QCOMPARE(exportTable(*dm.tblData, path), QString());
    QStringList expected = DataXmlHead();
    expected << QStringLiteral("</ROWDATA>") << QStringLiteral("</DATAPACKET>");
    QCOMPARE(expected.size(), 15);
    QCOMPARE(ReadFile(path), Cp1251Lines(expected));
}

void TestXmlExport::rowValues_data()
{
    QTest::addColumn<QVariant>("contId");
    QTest::addColumn<QVariant>("poten");
    QTest::addColumn<QVariant>("fact");
    QTest::addColumn<QString>("row");

    QTest::newRow("blank amount and unknown pollutant are empty, not left out")
        << QVariant(99) << QVariant() << QVariant(0.0)
        << QStringLiteral(R"(<ROW CONTID="99,000" CODE="" DESCR="" POTEN="" FACT="0,000" LIMIT=""/>)");
    QTest::newRow("pollutant without threshold")
        << QVariant(7) << QVariant(1.5) << QVariant(0.25)
        << QStringLiteral(
               R"(<ROW CONTID="7,000" CODE="0007" DESCR="Речовина без порогу" POTEN="1,500" FACT="0,250" LIMIT=""/>)");
    QTest::newRow("whole numbers keep three decimals")
        << QVariant(3) << QVariant(1234567.0) << QVariant(10.0)
        << QStringLiteral(
               R"(<ROW CONTID="3,000" CODE="0001" DESCR="Пил &quot;А&quot; &amp; сажа" POTEN="1234567,000" FACT="10,000" LIMIT="10,000"/>)");
    QTest::newRow("seventh decimal and negative total")
        << QVariant(3) << QVariant(0.0000001) << QVariant(-2.0)
        << QStringLiteral(
               R"(<ROW CONTID="3,000" CODE="0001" DESCR="Пил &quot;А&quot; &amp; сажа" POTEN="0,0000001" FACT="-2,000" LIMIT="10,000"/>)");
    QTest::newRow("fifteen significant digits")
        << QVariant(3) << QVariant(99999999.9999999) << QVariant(0.1)
        << QStringLiteral(
               R"(<ROW CONTID="3,000" CODE="0001" DESCR="Пил &quot;А&quot; &amp; сажа" POTEN="99999999,9999999" FACT="0,100" LIMIT="10,000"/>)");
}

void TestXmlExport::rowValues()
{
    QFETCH(QVariant, contId);
    QFETCH(QVariant, poten);
    QFETCH(QVariant, fact);
    QFETCH(QString, row);

    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.AddData(contId, poten, fact);
    const QString path = fx.OutDir() + QStringLiteral("data.xml");
    QCOMPARE(exportTable(*dm.tblData, path), QString());
    QCOMPARE(rowLines(ReadFile(path)), QStringList{row});
}

void TestXmlExport::attrXmlWritesCodesAsFloatsAndCoordinatesAsIntegers()
{
    ProgramFolder fx;
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.WriteAttr({
        {QStringLiteral("ENNAME"), QStringLiteral("ТОВ \"Сталь & Ко\" <Схід>")},
        {QStringLiteral("EDRPOU"), QStringLiteral("   ")},
        {QStringLiteral("ENADDR"), QStringLiteral("вул. Зав'язка, 1")},
        {QStringLiteral("ENCH_POS"), QStringLiteral("Директор")},
        {QStringLiteral("ENCH_NAME"), QStringLiteral("Іваненко І. І.")},
        {QStringLiteral("ENPHONE"), QStringLiteral("(056) 123-45-67")},
        {QStringLiteral("OBL_DESCR"), QStringLiteral("Дніпропетровська")},
        {QStringLiteral("OBL_ID"), 12},
        {QStringLiteral("REGN_DESCR"), QStringLiteral("м. Дніпро")},
        {QStringLiteral("REGN_ID"), 1210100000.0},
        {QStringLiteral("CITY_DESCR"), QStringLiteral("Дніпро")},
        {QStringLiteral("SPODU_ID"), QStringLiteral("07")},
        {QStringLiteral("KVED_ID"), QStringLiteral("24.10")},
        {QStringLiteral("KFV_ID"), QStringLiteral("10")},
        {QStringLiteral("X1"), 48},
        {QStringLiteral("X2"), 0},
        {QStringLiteral("X3"), 5},
        {QStringLiteral("Y1"), 135},
        {QStringLiteral("Y2"), 59},
    });

    const QString path = fx.OutDir() + QStringLiteral("attr.xml");
    QCOMPARE(exportTable(*dm.tblAttr, path), QString());

    QStringList expected = {
        QStringLiteral(R"(<?xml version="1.0" encoding="windows-1251" standalone="yes"?>)"),
        QStringLiteral(R"(<DATAPACKET Version="2.0">)"),
        QStringLiteral("<METADATA>"),
        QStringLiteral("<FIELDS>"),
    };
    const QList<std::pair<const char*, const char*>> fields = {
        {"ENNAME", "String"},     {"EDRPOU", "String"},   {"ENADDR", "String"},     {"ENCH_POS", "String"},
        {"ENCH_NAME", "String"},  {"ENPHONE", "String"},  {"OBL_DESCR", "String"},  {"OBL_ID", "Float"},
        {"REGN_DESCR", "String"}, {"REGN_ID", "Float"},   {"CITY_DESCR", "String"}, {"CITY_ID", "Float"},
        {"SPODU_D", "String"},    {"SPODU_ID", "String"}, {"KVED_DESCR", "String"}, {"KVED_ID", "String"},
        {"KFV_DESCR", "String"},  {"KFV_ID", "String"},   {"X1", "Smallint"},       {"X2", "Smallint"},
        {"X3", "Smallint"},       {"Y1", "Smallint"},     {"Y2", "Smallint"},       {"Y3", "Smallint"},
    };
    for (const auto& [name, kind] : fields) {
        expected << QStringLiteral(
                        R"(<FIELD FieldName="%1" DisplayLabel="%1" FieldType="ft%2" FieldClass="T%2Field"/>)")
                        .arg(QLatin1String(name), QLatin1String(kind));
    }
    expected << QStringLiteral("</FIELDS>") << QStringLiteral("</METADATA>") << QStringLiteral("<ROWDATA>")
             << QStringLiteral(
                    R"(<ROW ENNAME="ТОВ &quot;Сталь &amp; Ко&quot; &lt;Схід&gt;" EDRPOU="" ENADDR="вул. Зав'язка, 1" )"
                    R"(ENCH_POS="Директор" ENCH_NAME="Іваненко І. І." ENPHONE="(056) 123-45-67" )"
                    R"(OBL_DESCR="Дніпропетровська" OBL_ID="12,000" REGN_DESCR="м. Дніпро" REGN_ID="1210100000,000" )"
                    R"(CITY_DESCR="Дніпро" CITY_ID="" SPODU_D="" SPODU_ID="07" KVED_DESCR="" KVED_ID="24.10" )"
                    R"(KFV_DESCR="" KFV_ID="10" X1="48" X2="0" X3="5" Y1="135" Y2="59" Y3=""/>)")
             << QStringLiteral("</ROWDATA>") << QStringLiteral("</DATAPACKET>");
    QCOMPARE(fromCp1251(ReadFile(path)).split(QStringLiteral("\r\n")), expected << QString());
}

void TestXmlExport::roundsAtTheSeventhDecimal()
{
    // A table with more decimals than the pattern writes.
    QTemporaryDir dir;
    const QString table = dir.filePath(QStringLiteral("wide.dbf"));
    QVERIFY(CreateDbf(table, {{"V", "N", 20, 9}, {"S", "N", 3, 0}}));
    TApolloTable wide(QStringLiteral("tblWide"));
    wide.setTableName(table);
    wide.Open();
    const QList<std::pair<double, int>> values = {
        {1.23456785, -5}, {2.00000004, 0}, {0.000000049, 999}, {-0.00000005, -99}, {9.99999995, 1},
    };
    for (const auto& [v, s] : values) {
        wide.Append();
        wide.FieldByName(QStringLiteral("V"))->setAsFloat(v);
        wide.FieldByName(QStringLiteral("S"))->setAsInteger(s);
        wide.Post();
    }

    const QString path = dir.filePath(QStringLiteral("wide.xml"));
    QCOMPARE(exportTable(wide, path), QString());
    QCOMPARE(rowLines(ReadFile(path)),
             (QStringList{
                 QStringLiteral(R"(<ROW V="1,2345679" S="-5"/>)"),
                 QStringLiteral(R"(<ROW V="2,000" S="0"/>)"),
                 QStringLiteral(R"(<ROW V="0,000" S="999"/>)"),
                 QStringLiteral(R"(<ROW V="-0,0000001" S="-99"/>)"),
                 QStringLiteral(R"(<ROW V="10,000" S="1"/>)"),
             }));
}

void TestXmlExport::escapeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("the four markup characters")
        << QStringLiteral(R"(a"b&c<d>e)") << QStringLiteral("a&quot;b&amp;c&lt;d&gt;e");
    QTest::newRow("an entity is escaped again") << QStringLiteral("&amp;") << QStringLiteral("&amp;amp;");
    QTest::newRow("apostrophe and Cyrillic pass") << QStringLiteral("ім'я Є") << QStringLiteral("ім'я Є");
    // Raw, a reader would turn them into blanks.
    QTest::newRow("tab, line feed and carriage return as references")
        << QStringLiteral("a\tb\nc\rd\r\n") << QStringLiteral("a&#9;b&#10;c&#13;d&#13;&#10;");
    QTest::newRow("empty") << QString() << QString();
}

void TestXmlExport::escapeText()
{
    QFETCH(QString, text);
    QFETCH(QString, escaped);
    QCOMPARE(TVXMLExport().EscapeText(text), escaped);
    QCOMPARE(TVExport().EscapeText(text), text);
}

void TestXmlExport::failedCheckCreatesNoFile_data()
{
    QTest::addColumn<bool>("withFileName");
    QTest::addColumn<bool>("withDataset");
    QTest::addColumn<bool>("tableOpen");
    QTest::addColumn<QString>("error");
    QTest::newRow("no file name") << false << true << true << QStringLiteral("Invalid file name!");
    QTest::newRow("no table") << true << false << true << QStringLiteral("Dataset not assigned!");
    QTest::newRow("closed table") << true << true << false << QStringLiteral("Dataset not active!");
}

void TestXmlExport::failedCheckCreatesNoFile()
{
    QFETCH(bool, withFileName);
    QFETCH(bool, withDataset);
    QFETCH(bool, tableOpen);
    QFETCH(QString, error);

    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    if (!tableOpen)
        dm.tblData->Close();

    TVXMLExport expXML;
    if (withFileName)
        expXML.FileName = fx.OutDir() + QStringLiteral("data.xml");
    if (withDataset)
        expXML.setDataset(dm.tblData);
    QString raised;
    try {
        expXML.Execute();
    } catch (const Exception& e) {
        raised = e.Message;
    }
    QCOMPARE(raised, error);
    QCOMPARE(FolderEntries(fx.OutDir()), QStringList());
}

void TestXmlExport::exportedFieldSelection_data()
{
    QTest::addColumn<QStringList>("exportedFields");
    QTest::addColumn<QString>("row");
    QTest::newRow("empty list: visible fields only, hidden CONTID left out")
        << QStringList()
        << QStringLiteral(
               R"(<ROW CODE="0001" DESCR="Пил &quot;А&quot; &amp; сажа" POTEN="12,500" FACT="0,0123456" LIMIT="10,000"/>)");
    QTest::newRow("names in any letter case and a display label")
        << QStringList{QStringLiteral("fact"), QStringLiteral("Забруднююча речовина|Код"), QStringLiteral("Contid")}
        << QStringLiteral(R"(<ROW CONTID="3,000" CODE="0001" FACT="0,0123456"/>)");
}

void TestXmlExport::exportedFieldSelection()
{
    QFETCH(QStringList, exportedFields);
    QFETCH(QString, row);

    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.AddData(3, 12.5, 0.0123456);

    TVXMLExport expXML;
    expXML.ExportedFields = exportedFields;
    expXML.setDataset(dm.tblData);
    expXML.FileName = fx.OutDir() + QStringLiteral("data.xml");
    QVERIFY(expXML.Execute());
    const QByteArray file = ReadFile(expXML.FileName);
    QCOMPARE(rowLines(file), QStringList{row});
    // The field description lists the same fields as the rows.
    QCOMPARE(fromCp1251(file).count(QStringLiteral("<FIELD ")), row.count(QLatin1Char('=')));
}

void TestXmlExport::captionsUserFormatsAndColHeaders()
{
    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.AddData(3, 12.5, 0.0123456);

    TVXMLExport expXML;
    ApplyProgramSettings(expXML);
    expXML.setDataset(dm.tblData);
    expXML.FileName = fx.OutDir() + QStringLiteral("data.xml");
    expXML.ExportedFields = {QStringLiteral("CODE"), QStringLiteral("POTEN"), QStringLiteral("FACT")};
    expXML.Captions = {QStringLiteral(" забруднююча речовина|код = Код речовини ")};
    expXML.UserFormats = {QStringLiteral("poten=0.0"), QStringLiteral("Викиди за 2001 рiк (факт), тонн/рiк = 0.00")};
    QVERIFY(expXML.Execute());
    QStringList lines = fromCp1251(ReadFile(expXML.FileName)).split(QStringLiteral("\r\n"));
    QCOMPARE(
        lines.mid(4, 3),
        (QStringList{
            QStringLiteral(
                R"(<FIELD FieldName="CODE" DisplayLabel="Код речовини" FieldType="ftString" FieldClass="TStringField"/>)"),
            QStringLiteral(
                R"(<FIELD FieldName="POTEN" DisplayLabel="Потенцiйний обсяг викидiв, тонн/рiк" FieldType="ftFloat" FieldClass="TFloatField"/>)"),
            QStringLiteral(
                R"(<FIELD FieldName="FACT" DisplayLabel="Викиди за 2001 рiк (факт), тонн/рiк" FieldType="ftFloat" FieldClass="TFloatField"/>)"),
        }));
    QCOMPARE(rowLines(ReadFile(expXML.FileName)),
             QStringList{QStringLiteral(R"(<ROW CODE="0001" POTEN="12,5" FACT="0,01"/>)")});

    // Without the field description block.
    expXML.ColHeaders = false;
    QVERIFY(expXML.Execute());
    lines = fromCp1251(ReadFile(expXML.FileName)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines,
             (QStringList{
                 QStringLiteral(R"(<?xml version="1.0" encoding="windows-1251" standalone="yes"?>)"),
                 QStringLiteral(R"(<DATAPACKET Version="2.0">)"),
                 QStringLiteral("<ROWDATA>"),
                 QStringLiteral(R"(<ROW CODE="0001" POTEN="12,5" FACT="0,01"/>)"),
                 QStringLiteral("</ROWDATA>"),
                 QStringLiteral("</DATAPACKET>"),
                 QString(),
             }));
}

void TestXmlExport::tableIsLeftAtEndAndSettingsCleared()
{
    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.AddData(7, 1.0, 1.0);
    fx.AddData(3, 2.0, 2.0);
    dm.tblData->First();

    TVXMLExport expXML;
    ExportTable(expXML, *dm.tblData, fx.OutDir() + QStringLiteral("data.xml"));
    QVERIFY(dm.tblData->Eof());
    QVERIFY(dm.tblData->Active());
    QVERIFY(expXML.ExportedFields.isEmpty());
    // Index order: CONTID 3 before 7.
    const QStringList rows = rowLines(ReadFile(fx.OutDir() + QStringLiteral("data.xml")));
    QCOMPARE(rows.size(), 2);
    QVERIFY(rows[0].startsWith(QLatin1String(R"(<ROW CONTID="3,000")")));
}

void TestXmlExport::closedTableIsOpenedAndClosedAgain()
{
    ProgramFolder fx;
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.WriteAttr({{QStringLiteral("ENNAME"), QStringLiteral("Завод")}});
    dm.tblAttr->Close();

    TVXMLExport expXML;
    QVERIFY(ExportTable(expXML, *dm.tblAttr, fx.OutDir() + QStringLiteral("attr.xml")));
    QVERIFY(!dm.tblAttr->Active());
    QVERIFY(
        fromCp1251(ReadFile(fx.OutDir() + QStringLiteral("attr.xml"))).contains(QStringLiteral(R"(ENNAME="Завод")")));

    // Also after a failed run.
    QVERIFY(QDir(fx.OutDir()).mkdir(QStringLiteral("blocked.xml")));
    QVERIFY_THROWS_EXCEPTION(Exception, ExportTable(expXML, *dm.tblAttr, fx.OutDir() + QStringLiteral("blocked.xml")));
    QVERIFY(!dm.tblAttr->Active());
    QVERIFY(expXML.ExportedFields.isEmpty());
}

void TestXmlExport::unwritableAttrFileStopsBeforeDataFile()
{
    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.AddData(3, 1.0, 1.0);
    // A folder in the way of attr.xml: the file cannot be created there,
    // while data.xml could be.
    QVERIFY(QDir(fx.OutDir()).mkdir(QStringLiteral("attr.xml")));

    TVXMLExport expXML;
    QString error;
    try {
        ExportWorkFiles(expXML, dm, fx.OutDir());
    } catch (const Exception& e) {
        error = e.Message;
    }
    QCOMPARE(error, QStringLiteral("Cannot create file ") + fx.OutDir() + QStringLiteral("attr.xml"));
    QCOMPARE(FolderEntries(fx.OutDir()), QStringList{QStringLiteral("attr.xml")});
}

void TestXmlExport::missingFolderNamesTheFullPath()
{
    ProgramFolder fx;
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    const QString folder = fx.OutDir() + QStringLiteral("no/such/folder/");

    TVXMLExport expXML;
    QString error;
    try {
        ExportWorkFiles(expXML, dm, folder);
    } catch (const Exception& e) {
        error = e.Message;
    }
    QCOMPARE(error, QStringLiteral("Cannot create file ") + folder + QStringLiteral("attr.xml"));
    QVERIFY(!QFileInfo::exists(fx.OutDir() + QStringLiteral("no")));
}

void TestXmlExport::errorDuringRunKeepsPreviousTarget()
{
    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.AddData(3, 1.0, 1.0);
    fx.AddData(7, 2.0, 2.0);
    const QString path = fx.OutDir() + QStringLiteral("data.xml");
    WriteFile(path, "previous export\r\n");

    FailingSecondRecord expXML;
    QCOMPARE(exportTable(*dm.tblData, path, &expXML), QStringLiteral("Read error"));
    QCOMPARE(ReadFile(path), QByteArray("previous export\r\n"));
    QCOMPARE(FolderEntries(fx.OutDir()), QStringList{QStringLiteral("data.xml")});

    // Without an earlier file nothing is left at all.
    QVERIFY(QFile::remove(path));
    FailingSecondRecord again;
    QCOMPARE(exportTable(*dm.tblData, path, &again), QStringLiteral("Read error"));
    QCOMPARE(FolderEntries(fx.OutDir()), QStringList());
}

void TestXmlExport::writeErrorKeepsPreviousTarget()
{
    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    for (int i = 0; i < 20; ++i)
        fx.AddData(3, 1.0 + i, 2.0);
    const QString path = fx.OutDir() + QStringLiteral("data.xml");
    WriteFile(path, "previous export\r\n");

    QString error;
    {
        // The file being written outgrows the limit: its writes fail as on a full disk.
        ExportSizeLimit limit(1024);
        QVERIFY(limit.ok());
        error = exportTable(*dm.tblData, path);
    }
    QCOMPARE(error, QStringLiteral("Stream write error"));
    QCOMPARE(ReadFile(path), QByteArray("previous export\r\n"));
    QCOMPARE(FolderEntries(fx.OutDir()), QStringList{QStringLiteral("data.xml")});
}

void TestXmlExport::completedAttrFileStaysWhenDataFileFails()
{
    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.WriteAttr({{QStringLiteral("ENNAME"), QStringLiteral("Завод")}});
    QVERIFY(QDir(fx.OutDir()).mkdir(QStringLiteral("data.xml")));

    TVXMLExport expXML;
    QString error;
    try {
        ExportWorkFiles(expXML, dm, fx.OutDir());
    } catch (const Exception& e) {
        error = e.Message;
    }
    QCOMPARE(error, QStringLiteral("Cannot create file ") + fx.OutDir() + QStringLiteral("data.xml"));
    const QString attr = fromCp1251(ReadFile(fx.OutDir() + QStringLiteral("attr.xml")));
    QVERIFY(attr.contains(QStringLiteral(R"(ENNAME="Завод")")));
    QVERIFY(attr.endsWith(QStringLiteral("</ROWDATA>\r\n</DATAPACKET>\r\n")));
}

void TestXmlExport::existingFileInOtherLetterCaseIsReplaced()
{
    ProgramFolder fx;
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.WriteAttr({{QStringLiteral("ENNAME"), QStringLiteral("Завод")}});
    WriteFile(fx.OutDir() + QStringLiteral("ATTR.XML"), "old\r\n");

    TVXMLExport expXML;
    QVERIFY(ExportTable(expXML, *dm.tblAttr, fx.OutDir() + QStringLiteral("attr.xml")));
    QCOMPARE(FolderEntries(fx.OutDir()), QStringList{QStringLiteral("ATTR.XML")});
    QVERIFY(fromCp1251(ReadFile(fx.OutDir() + QStringLiteral("ATTR.XML"))).contains(QStringLiteral("Завод")));
}

void TestXmlExport::independentParserReadsTheFile()
{
    const QString python = QStringLiteral("/usr/bin/python3");
    QVERIFY2(QFileInfo::exists(python), "no /usr/bin/python3; scripts/install-deps.sh installs it");
    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.AddData(3, 12.5, 0.0123456);
    const QString path = fx.OutDir() + QStringLiteral("data.xml");
    QCOMPARE(exportTable(*dm.tblData, path), QString());

    QProcess parser;
    parser.start(python,
                 {QStringLiteral("-c"),
                  QStringLiteral("import sys, xml.etree.ElementTree as ET\n"
                                 "root = ET.parse(sys.argv[1]).getroot()\n"
                                 "fields = [f.get('DisplayLabel') for f in root.iter('FIELD')]\n"
                                 "row = next(root.iter('ROW'))\n"
                                 "sys.stdout.buffer.write((row.get('DESCR') + '\\n' + fields[1]).encode('utf-8'))\n"),
                  path});
    QVERIFY(parser.waitForFinished(30000));
    QCOMPARE(parser.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(parser.readAllStandardOutput()),
             QStringLiteral("Пил \"А\" & сажа\nЗабруднююча речовина|Код"));

    // TAB, LF and CR come back to a reader as they were, not as blanks.
    ProgramFolder layered({{3, QStringLiteral("0001"), QStringLiteral("a\tb\nc\rd"), 10.0}});
    QVERIFY(layered.IsValid());
    layered.Open();
    layered.AddData(3, 1.0, 1.0);
    const QString layeredPath = layered.OutDir() + QStringLiteral("data.xml");
    QCOMPARE(exportTable(*layered.Data().tblData, layeredPath), QString());
    QProcess again;
    again.start(python,
                {QStringLiteral("-c"),
                 QStringLiteral("import sys, xml.etree.ElementTree as ET\n"
                                "row = next(ET.parse(sys.argv[1]).getroot().iter('ROW'))\n"
                                "sys.stdout.buffer.write(repr(row.get('DESCR')).encode('ascii'))\n"),
                 layeredPath});
    QVERIFY(again.waitForFinished(30000));
    QCOMPARE(again.exitCode(), 0);
    QCOMPARE(again.readAllStandardOutput(), QByteArray("'a\\tb\\nc\\rd'"));
}

// Other control characters cannot stand in XML 1.0 at all: the export stops
// with an error naming the record and the field, and leaves no file.
void TestXmlExport::controlCharacterIsRefusedNamingRecordAndField_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("code");
    QTest::newRow("start of heading") << QStringLiteral("Пил\x01") << 1;
    QTest::newRow("escape") << QStringLiteral("\x1b[31m") << 27;
    QTest::newRow("null") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << 0;
}

void TestXmlExport::controlCharacterIsRefusedNamingRecordAndField()
{
    QFETCH(QString, name);
    QFETCH(int, code);
    ProgramFolder fx(
        {{3, QStringLiteral("0001"), QStringLiteral("Сажа"), 10.0}, {7, QStringLiteral("0007"), name, 1.0}});
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.AddData(3, 1.0, 1.0);
    fx.AddData(7, 2.0, 2.0);
    const QString path = fx.OutDir() + QStringLiteral("data.xml");
    QCOMPARE(exportTable(*dm.tblData, path),
             QStringLiteral("Запис 2, поле DESCR: керуючий символ з кодом %1 не можна записати в XML").arg(code));
    QCOMPARE(FolderEntries(fx.OutDir()), QStringList());
}

void TestXmlExport::fieldNameThatIsNoXmlNameIsRefused()
{
    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.AddData(3, 1.0, 1.0);
    TApolloTable table(QStringLiteral("tblOdd"));
    table.setDatabaseName(dm.tblData->DatabaseName());
    table.setTableName(dm.tblData->TableName());
    table.AddFloatField(QStringLiteral("CONTID"));
    table.AddLookupField(QStringLiteral("1CODE"), ftString, 5, dm.tblCont, QStringLiteral("CONTID"),
                         QStringLiteral("CODE"), QStringLiteral("CONTID"));
    table.Open();
    QCOMPARE(exportTable(table, fx.OutDir() + QStringLiteral("data.xml")),
             QStringLiteral("Назва поля \"1CODE\" не може бути назвою атрибута XML"));
    QCOMPARE(FolderEntries(fx.OutDir()), QStringList());
}

int main(int argc, char** argv)
{
    // Pin the user's locale before Qt reads it: the expected texts use a comma.
    qputenv("LC_ALL", "uk_UA.UTF-8");
    QCoreApplication app(argc, argv);
    TestXmlExport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_xmlexport.moc"
