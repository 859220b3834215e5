// The value texts of the XML export: numbers, blanks, escaped text, and the
// characters and field names XML cannot hold.

#include <QtTest>

#include "export/vxmlexport.h"
#include "store/errors.h"
#include "export/tests/support/exportfixture.h"

using namespace emlo;
using namespace emlo::testing;

class TestXmlValues : public QObject {
    Q_OBJECT
private slots:
    void rowValues_data();
    void rowValues();
    void roundsAtTheSeventhDecimal();
    void escapeText_data();
    void escapeText();
    void controlCharacterIsRefusedNamingRecordAndField_data();
    void controlCharacterIsRefusedNamingRecordAndField();
    void fieldNameThatIsNoXmlNameIsRefused();
};

void TestXmlValues::rowValues_data()
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

void TestXmlValues::rowValues()
{
    QFETCH(QVariant, contId);
    QFETCH(QVariant, poten);
    QFETCH(QVariant, fact);
    QFETCH(QString, row);

    ProgramFolder fx(kExportPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.AddData(contId, poten, fact);
    const QString path = fx.OutDir() + QStringLiteral("data.xml");
    QCOMPARE(exportTable(*dm.tblData, path), QString());
    QCOMPARE(rowLines(ReadFile(path)), QStringList{row});
}

void TestXmlValues::roundsAtTheSeventhDecimal()
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

void TestXmlValues::escapeText_data()
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

void TestXmlValues::escapeText()
{
    QFETCH(QString, text);
    QFETCH(QString, escaped);
    QCOMPARE(TVXMLExport().EscapeText(text), escaped);
    QCOMPARE(TVExport().EscapeText(text), text);
}

// Other control characters cannot stand in XML 1.0 at all: the export stops
// with an error naming the record and the field, and leaves no file.
void TestXmlValues::controlCharacterIsRefusedNamingRecordAndField_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("code");
    QTest::newRow("start of heading") << QStringLiteral("Пил\x01") << 1;
    QTest::newRow("escape") << QStringLiteral("\x1b[31m") << 27;
    QTest::newRow("null") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << 0;
}

void TestXmlValues::controlCharacterIsRefusedNamingRecordAndField()
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

void TestXmlValues::fieldNameThatIsNoXmlNameIsRefused()
{
    ProgramFolder fx(kExportPollutants);
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
    TestXmlValues test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_xmlvalues.moc"
