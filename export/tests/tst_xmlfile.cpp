// The XML export writer over the program's own tables: whole files byte for
// byte, the fields chosen and their captions and formats, and what an
// independent XML reader makes of a written file.

#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include "export/exporttable.h"
#include "export/vxmlexport.h"
#include "store/cp1251.h"
#include "export/tests/support/exportfixture.h"

using namespace emlo;
using namespace emlo::testing;

class TestXmlFile : public QObject {
    Q_OBJECT
private slots:
    void workedExampleIsWrittenByteForByte();
    void emptyEmissionTableGivesFifteenLines();
    void attrXmlWritesCodesAsFloatsAndCoordinatesAsIntegers();
    void exportedFieldSelection_data();
    void exportedFieldSelection();
    void captionsUserFormatsAndColHeaders();
    void independentParserReadsTheFile();
};

void TestXmlFile::workedExampleIsWrittenByteForByte()
{
    ProgramFolder fx(kExportPollutants);
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

void TestXmlFile::emptyEmissionTableGivesFifteenLines()
{
    ProgramFolder fx(kExportPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();

    const QString path = fx.OutDir() + QStringLiteral("data.xml");
    QCOMPARE(exportTable(*dm.tblData, path), QString());
    QStringList expected = DataXmlHead();
    expected << QStringLiteral("</ROWDATA>") << QStringLiteral("</DATAPACKET>");
    QCOMPARE(expected.size(), 15);
    QCOMPARE(ReadFile(path), Cp1251Lines(expected));
}

void TestXmlFile::attrXmlWritesCodesAsFloatsAndCoordinatesAsIntegers()
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

void TestXmlFile::exportedFieldSelection_data()
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

void TestXmlFile::exportedFieldSelection()
{
    QFETCH(QStringList, exportedFields);
    QFETCH(QString, row);

    ProgramFolder fx(kExportPollutants);
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

void TestXmlFile::captionsUserFormatsAndColHeaders()
{
    ProgramFolder fx(kExportPollutants);
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

void TestXmlFile::independentParserReadsTheFile()
{
    const QString python = QStringLiteral("/usr/bin/python3");
    QVERIFY2(QFileInfo::exists(python), "no /usr/bin/python3; scripts/install-deps.sh installs it");
    ProgramFolder fx(kExportPollutants);
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

int main(int argc, char** argv)
{
    // Pin the user's locale before Qt reads it: the expected texts use a comma.
    qputenv("LC_ALL", "uk_UA.UTF-8");
    QCoreApplication app(argc, argv);
    TestXmlFile test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_xmlfile.moc"
