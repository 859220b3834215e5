// Reading and checking one submission: every reason a file is refused for,
// both decimal separators, and hostile files that must not take memory.
#include <charconv>

#include <QTemporaryDir>
#include <QtTest>

#include "registry/generator/submissiongenerator.h"
#include "registry/importer.h"
#include "store/cp1251.h"
#include "registry/exportnumber.h"
#include "registry/submissionreader.h"
#include "registry/submissionscan.h"
#include "registry/submissionvalidator.h"

using namespace emlo;

using namespace emlo::registry;

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The codes the generator draws from, as the registry would hold them.
ReferenceSets referenceFromCsv(const QString& refdata)
{
    ReferenceSets sets;
    const auto codes = [&](const char* name, int column, auto add) {
        QFile file(refdata + QLatin1String(name));
        if (!file.open(QIODevice::ReadOnly))
            return;
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> cells = lines.at(i).split(',');
            if (cells.size() > column)
                add(QString::fromUtf8(cells.at(column)).trimmed());
        }
    };
    codes("obl.csv", 1, [&](const QString& c) { sets.RegionCodes.insert(c); });
    codes("cy.csv", 1, [&](const QString& c) { sets.SettlementCodes.insert(c); });
    codes("cont.csv", 0, [&](const QString& c) { sets.PollutantIds.insert(c.toInt()); });
    return sets;
}

const char kHead[] = "<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"yes\"?>\r\n";
const char kDataFields[] =
    "<DATAPACKET Version=\"2.0\">\r\n<METADATA>\r\n<FIELDS>\r\n"
    "<FIELD FieldName=\"CONTID\" DisplayLabel=\"CONTID\" FieldType=\"ftFloat\" FieldClass=\"TFloatField\"/>\r\n"
    "<FIELD FieldName=\"CODE\" DisplayLabel=\"x\" FieldType=\"ftString\" FieldClass=\"TStringField\"/>\r\n"
    "<FIELD FieldName=\"DESCR\" DisplayLabel=\"x\" FieldType=\"ftString\" FieldClass=\"TStringField\"/>\r\n"
    "<FIELD FieldName=\"POTEN\" DisplayLabel=\"x\" FieldType=\"ftFloat\" FieldClass=\"TFloatField\"/>\r\n"
    "<FIELD FieldName=\"FACT\" DisplayLabel=\"x\" FieldType=\"ftFloat\" FieldClass=\"TFloatField\"/>\r\n"
    "<FIELD FieldName=\"LIMIT\" DisplayLabel=\"x\" FieldType=\"ftFloat\" FieldClass=\"TFloatField\"/>\r\n"
    "</FIELDS>\r\n</METADATA>\r\n<ROWDATA>\r\n";
const char kTail[] = "</ROWDATA>\r\n</DATAPACKET>\r\n";

// An empty file at a path below root, its folders made.
bool touchFile(const QTemporaryDir& root, const QString& relative)
{
    QDir().mkpath(QFileInfo(root.filePath(relative)).absolutePath());
    QFile file(root.filePath(relative));
    return file.open(QIODevice::WriteOnly);
}

QByteArray dataXml(const QByteArray& rows)
{
    return QByteArray(kHead) + kDataFields + rows + kTail;
}

}  // namespace

class TestSubmissionReader : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void numbers_data();
    void numbers();
    void numbersReadExactly();
    void generatedBroken_data();
    void generatedBroken();
    void handMadeBroken_data();
    void handMadeBroken();
    void unusualXmlReadAsTheStandardSays_data();
    void unusualXmlReadAsTheStandardSays();
    void bothDecimalSeparatorsReadAlike();
    void validWithGroupTotalsPasses();
    void hostileFilesStayBounded();
    void pairsFoundAtAnyDepthWhateverTheCase();
    void foldersFoundInPathOrderWhileScanning();

private:
    QTemporaryDir m_dir;
    ReferenceSets m_reference;
    std::unique_ptr<SubmissionGenerator> m_generator;
    SubmissionData m_valid;
    QByteArray m_attr;
    QByteArray m_data;
};

void TestSubmissionReader::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_reference = referenceFromCsv(QStringLiteral(EMLO_PROGRAM_DIR "/refdata/"));
    QVERIFY(m_reference.SettlementCodes.size() > 1000);
    m_generator = std::make_unique<SubmissionGenerator>(QStringLiteral(EMLO_PROGRAM_DIR), 7);
    QVERIFY2(m_generator->IsValid(), qPrintable(m_generator->ErrorString()));
    QVERIFY2(m_generator->Write(m_generator->MakeEnterprise(0), m_dir.filePath(QStringLiteral("valid"))),
             qPrintable(m_generator->ErrorString()));
    m_attr = readAll(m_dir.filePath(QStringLiteral("valid/attr.xml")));
    m_data = readAll(m_dir.filePath(QStringLiteral("valid/data.xml")));
    QVERIFY(!m_attr.isEmpty() && !m_data.isEmpty());
}

void TestSubmissionReader::numbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QVariant>("value");
    // clang-format off
    QTest::newRow("comma")             << "12,5"      << true  << QVariant(12.5);
    QTest::newRow("point")             << "12.5"      << true  << QVariant(12.5);
    QTest::newRow("seven decimals")    << "0,0123456" << true  << QVariant(0.0123456);
    QTest::newRow("negative total")    << "-2,000"    << true  << QVariant(-2.0);
    QTest::newRow("blanks around")     << " 7 "       << true  << QVariant(7.0);
    QTest::newRow("no-break blanks")   << "\u00A07,5\u00A0" << true << QVariant(7.5);
    QTest::newRow("plus sign")         << "+3"        << true  << QVariant(3.0);
    QTest::newRow("empty is no value") << ""          << true  << QVariant();
    QTest::newRow("blank is no value") << "   "       << true  << QVariant();
    QTest::newRow("exponent")          << "1e5"       << false << QVariant();
    QTest::newRow("two separators")    << "1,2,3"     << false << QVariant();
    QTest::newRow("trailing point")    << "12."       << false << QVariant();
    QTest::newRow("leading comma")     << ",5"        << false << QVariant();
    QTest::newRow("grouping blank")    << "1 234,5"   << false << QVariant();
    QTest::newRow("unit")              << "12т"       << false << QVariant();
    QTest::newRow("ellipsis")          << "7…"        << false << QVariant();
    QTest::newRow("arabic digits")     << "١٢"        << false << QVariant();
    QTest::newRow("nan")               << "nan"       << false << QVariant();
    QTest::newRow("beyond double")     << "1" + QString(400, u'0') << false << QVariant();
    // clang-format on
}

void TestSubmissionReader::numbers()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QVariant, value);
    bool parsed = false;
    const std::optional<double> result = ParseExportNumber(text, &parsed);
    QCOMPARE(parsed, ok);
    QCOMPARE(result.has_value(), value.isValid());
    if (result)
        QCOMPARE(*result, value.toDouble());

    // The plain reader reads numbers from the file's bytes: the same result.
    bool encoded = false;
    const QByteArray bytes = emlo::toCp1251(text, &encoded);
    if (!encoded)
        return;
    const std::optional<double> fromBytes = ParseExportNumber(QByteArrayView(bytes), &parsed);
    QCOMPARE(parsed, ok);
    QCOMPARE(fromBytes, result);
}

// Numbers of every length the export writes and beyond read to the very
// double that the standard conversion makes of them, with either separator.
void TestSubmissionReader::numbersReadExactly()
{
    QRandomGenerator random(2024);
    for (int i = 0; i < 20000; ++i) {
        QByteArray text = random.bounded(4) == 0 ? "-" : "";
        const int whole = 1 + int(random.bounded(18));
        const int decimals = int(random.bounded(12));
        for (int d = 0; d < whole + decimals; ++d)
            text += char('0' + random.bounded(10));
        if (decimals > 0)
            text.insert(text.size() - decimals, '.');
        double expected = 0;
        std::from_chars(text.cbegin(), text.cend(), expected);
        // Exactly: QCOMPARE would allow a difference in the last digits.
        bool ok = false;
        QVERIFY2(ParseExportNumber(QByteArrayView(text), &ok) == expected, text.constData());
        text.replace('.', ',');
        QVERIFY2(ParseExportNumber(QString::fromLatin1(text), &ok) == expected, text.constData());
    }
}

void TestSubmissionReader::generatedBroken_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("reason");
    const auto row = [](Breakage kind, const char* file, const char* field, const char* reason) {
        QTest::newRow(qPrintable(BreakageName(kind)))
            << int(kind) << QString::fromLatin1(file) << QString::fromLatin1(field) << QString::fromUtf8(reason);
    };
    row(Breakage::NotWellFormed, "data.xml", "", "XML сформовано неправильно");
    row(Breakage::WrongEncoding, "attr.xml", "", "текст записано в кодуванні UTF-8, а заголовок вказує windows-1251");
    row(Breakage::MissingField, "data.xml", "FACT", "поле відсутнє в записі");
    row(Breakage::UnknownField, "data.xml", "COLOR", "невідоме поле");
    row(Breakage::NotANumber, "data.xml", "POTEN", "значення «12т» не є числом");
    row(Breakage::BadEdrpou, "attr.xml", "EDRPOU", "має складатися з 8 цифр");
    row(Breakage::UnknownKoatuu, "attr.xml", "CITY_ID", "коду КОАТУУ 9999999999 немає в довіднику");
    row(Breakage::UnknownPollutant, "data.xml", "CONTID",
        "забруднюючої речовини з кодом 999 немає в довіднику речовин");
    row(Breakage::RepeatedPollutant, "data.xml", "CONTID", "Забруднююча речовина вже вказана");
    row(Breakage::Incomplete, "attr.xml", "ENNAME", "Не вказана назва підприємства");
    row(Breakage::HugeFile, "data.xml", "", "файл завеликий");
    row(Breakage::DeepNesting, "data.xml", "", "неочікуваний елемент <x>");
    row(Breakage::EntityExpansion, "data.xml", "", "файл містить оголошення DTD");
}

void TestSubmissionReader::generatedBroken()
{
    QFETCH(int, kind);
    QFETCH(QString, file);
    QFETCH(QString, field);
    QFETCH(QString, reason);
    const QString folder = m_dir.filePath(QStringLiteral("broken-%1").arg(kind));
    QVERIFY2(m_generator->Write(m_generator->MakeEnterprise(1), folder, Breakage(kind)),
             qPrintable(m_generator->ErrorString()));
    SubmissionData submission;
    RejectionList reasons;
    if (SubmissionReader().Read(folder + QStringLiteral("/attr.xml"), folder + QStringLiteral("/data.xml"), &submission,
                                &reasons))
        SubmissionValidator(m_reference)
            .Validate(submission, QStringLiteral("attr.xml"), QStringLiteral("data.xml"), &reasons);
    QCOMPARE(reasons.size(), 1);
    const Rejection& r = reasons.first();
    QCOMPARE(r.File, file);
    QCOMPARE(r.Field, field);
    QVERIFY2(r.Reason.contains(reason), qPrintable(r.Text()));
    // Every reason names where it is: a record, or a line of the file, or the file as a whole.
    if (!field.isEmpty())
        QVERIFY(r.Record > 0);
}

void TestSubmissionReader::handMadeBroken_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("text");
    const QByteArray row =
        "<ROW CONTID=\"3,000\" CODE=\"01003\" DESCR=\"a\" POTEN=\"1,5\" FACT=\"1\" LIMIT=\"0\"/>\r\n";
    QByteArray utf8Declared = dataXml(row);
    utf8Declared.replace("windows-1251", "utf-8");
    QByteArray noDeclaration = dataXml(row).mid(int(sizeof(kHead)) - 1);
    QByteArray noEncoding = dataXml(row);
    noEncoding.replace("encoding=\"windows-1251\" ", "");
    QByteArray missingMeta = dataXml(row);
    missingMeta.replace(
        "<FIELD FieldName=\"LIMIT\" DisplayLabel=\"x\" FieldType=\"ftFloat\" FieldClass=\"TFloatField\"/>\r\n", "");
    QByteArray unknownMeta = dataXml(row);
    unknownMeta.replace("FieldName=\"LIMIT\"", "FieldName=\"COLOR\"");
    QByteArray noRowData = QByteArray(kHead) + "<DATAPACKET Version=\"2.0\">\r\n</DATAPACKET>\r\n";
    QByteArray otherRoot = QByteArray(kHead) + "<PACKET/>\r\n";
    QByteArray text = dataXml(row);
    text.replace("<ROWDATA>\r\n", "<ROWDATA>\r\nhello");
    QByteArray internalEntity = dataXml(row);
    internalEntity.replace("<DATAPACKET", "<!DOCTYPE DATAPACKET [<!ENTITY e \"x\">]>\r\n<DATAPACKET");
    QByteArray bom = "\xEF\xBB\xBF" + dataXml(row);
    QByteArray unassigned = dataXml(row);
    unassigned.replace("DESCR=\"a\"", "DESCR=\"\x98\"");

    // clang-format off
    QTest::newRow("utf-8 declared")        << utf8Declared   << "data.xml: кодування «utf-8» замість windows-1251";
    QTest::newRow("no declaration")        << noDeclaration  << "data.xml: немає заголовка XML з кодуванням windows-1251";
    QTest::newRow("no encoding")           << noEncoding     << "data.xml: у заголовку XML не вказано кодування windows-1251";
    QTest::newRow("byte-order mark")       << bom            << "data.xml: файл записано в кодуванні UTF-8, а не windows-1251";
    QTest::newRow("unassigned byte")       << unassigned     << "data.xml, рядок 14: байт 0x98 не належить кодуванню windows-1251";
    QTest::newRow("field not described")   << missingMeta    << "data.xml, рядок 12, поле LIMIT: поле відсутнє в описі полів (METADATA)";
    QTest::newRow("unknown field described") << unknownMeta  << "data.xml, рядок 10, поле COLOR: невідоме поле";
    QTest::newRow("no ROWDATA")            << noRowData      << "data.xml: немає елемента <ROWDATA>";
    QTest::newRow("other root")            << otherRoot      << "data.xml, рядок 2: неочікуваний елемент <PACKET>";
    QTest::newRow("text between elements") << text           << "data.xml, рядок 14: текст поза атрибутами: «hello»";
    QTest::newRow("internal entity")       << internalEntity << "data.xml, рядок 2: файл містить оголошення DTD, яких вигрузка не пише";
    QTest::newRow("pollutant not whole")   << dataXml("<ROW CONTID=\"3,5\" CODE=\"\" DESCR=\"\" POTEN=\"1\" FACT=\"1\" LIMIT=\"\"/>\r\n")
                                           << "data.xml, запис 1, поле CONTID: значення «3,5» не є цілим числом";
    QTest::newRow("second record broken")  << dataXml(row + "<ROW CONTID=\"4\" CODE=\"\" DESCR=\"\" POTEN=\"1\" FACT=\"x\" LIMIT=\"\"/>\r\n")
                                           << "data.xml, запис 2, поле FACT: значення «x» не є числом";
    QTest::newRow("reasons in field order") << dataXml("<ROW CODE=\"\" DESCR=\"\" POTEN=\"x\" FACT=\"1\" LIMIT=\"\"/>\r\n")
                                           << "data.xml, запис 1, поле CONTID: поле відсутнє в записі";
    QTest::newRow("unknown field first")   << dataXml("<ROW CONTID=\"x\" CODE=\"\" DESCR=\"\" POTEN=\"1\" FACT=\"1\" LIMIT=\"\" COLOR=\"1\"/>\r\n")
                                           << "data.xml, запис 1, поле COLOR: невідоме поле";
    // clang-format on
}

void TestSubmissionReader::handMadeBroken()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, text);
    SubmissionData submission;
    RejectionList reasons;
    QVERIFY(!SubmissionReader().ReadBytes(QStringLiteral("attr.xml"), m_attr, QStringLiteral("data.xml"), data,
                                          &submission, &reasons));
    QCOMPARE(reasons.size(), 1);
    QCOMPARE(reasons.first().Text(), text);
}

void TestSubmissionReader::unusualXmlReadAsTheStandardSays_data()
{
    // Files the export does not write, but XML allows or forbids: each is read
    // as the XML standard says, whichever reader takes it. `name` is the
    // attribute record's ENNAME as written; an empty `rejected` means accepted
    // with ENNAME read as `read`, otherwise the reason begins with it.
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("dataFrom");
    QTest::addColumn<QByteArray>("dataTo");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QString>("rejected");
    const QString malformed = QStringLiteral("data.xml, рядок ");
    // clang-format off
    QTest::newRow("plain")                 << QByteArray("A") << QByteArray() << QByteArray() << "A" << "";
    QTest::newRow("entities")              << QByteArray("&quot;Z&quot; &amp; &lt;K&gt; &apos;") << QByteArray() << QByteArray()
                                           << "\"Z\" & <K> '" << "";
    QTest::newRow("character numbers")     << QByteArray("a&#9;b&#10;c&#x41;&#1108;&#x1F600;") << QByteArray() << QByteArray()
                                           << QStringLiteral("a\tb\ncAє") + QString::fromUcs4(U"\U0001F600") << "";
    QTest::newRow("raw tab and line break") << QByteArray("a\tb\r\nc") << QByteArray() << QByteArray() << "a b c" << "";
    QTest::newRow("cp1251 letters")        << QByteArray("\xCF\xC0\xD2 \xAF\xBF") << QByteArray() << QByteArray() << "ПАТ Її" << "";
    QTest::newRow("greater-than sign")     << QByteArray("a>b") << QByteArray() << QByteArray() << "a>b" << "";
    QTest::newRow("single quotes")         << QByteArray("A") << QByteArray("CODE=\"01003\"") << QByteArray("CODE='01003'") << "A" << "";
    QTest::newRow("blanks around =")       << QByteArray("A") << QByteArray("CODE=\"01003\"") << QByteArray("CODE = \"01003\"") << "A" << "";
    QTest::newRow("comment")               << QByteArray("A") << QByteArray("<ROWDATA>") << QByteArray("<ROWDATA><!-- x -->") << "A" << "";
    QTest::newRow("end tag written out")   << QByteArray("A") << QByteArray("LIMIT=\"0\"/>") << QByteArray("LIMIT=\"0\"></ROW >") << "A" << "";
    QTest::newRow("no standalone")         << QByteArray("A") << QByteArray(" standalone=\"yes\"") << QByteArray("") << "A" << "";
    QTest::newRow("number with a reference") << QByteArray("A") << QByteArray("POTEN=\"1,5\"") << QByteArray("POTEN=\"1&#44;5\"") << "A" << "";
    QTest::newRow("number with no-break blank") << QByteArray("A") << QByteArray("POTEN=\"1,5\"") << QByteArray("POTEN=\"\xA0" "1,5\"") << "A" << "";
    QTest::newRow("unknown entity")        << QByteArray("a&nbsp;b") << QByteArray() << QByteArray() << "" << "attr.xml, рядок ";
    QTest::newRow("bad character number")  << QByteArray("a&#1;b") << QByteArray() << QByteArray() << "" << "attr.xml, рядок ";
    QTest::newRow("open ampersand")        << QByteArray("a & b") << QByteArray() << QByteArray() << "" << "attr.xml, рядок ";
    QTest::newRow("less-than sign")        << QByteArray("a<b") << QByteArray() << QByteArray() << "" << "attr.xml, рядок ";
    QTest::newRow("attribute twice")       << QByteArray("A") << QByteArray("CODE=\"01003\"") << QByteArray("CODE=\"1\" CODE=\"2\"") << "" << malformed;
    QTest::newRow("attributes run on")     << QByteArray("A") << QByteArray("\" DESCR=") << QByteArray("\"DESCR=") << "" << malformed;
    QTest::newRow("end tag mismatched")    << QByteArray("A") << QByteArray("</ROWDATA>") << QByteArray("</ROWDATAX>") << "" << malformed;
    QTest::newRow("root not closed")       << QByteArray("A") << QByteArray("</DATAPACKET>") << QByteArray("") << "" << malformed;
    QTest::newRow("second root")           << QByteArray("A") << QByteArray("</DATAPACKET>") << QByteArray("</DATAPACKET><DATAPACKET/>") << "" << malformed;
    QTest::newRow("text after root")       << QByteArray("A") << QByteArray("</DATAPACKET>") << QByteArray("</DATAPACKET>x") << "" << malformed;
    QTest::newRow("digit starts a name")   << QByteArray("A") << QByteArray(" DESCR=") << QByteArray(" 1DESCR=") << "" << malformed;
    // clang-format on
}

void TestSubmissionReader::unusualXmlReadAsTheStandardSays()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, dataFrom);
    QFETCH(QByteArray, dataTo);
    QFETCH(QString, read);
    QFETCH(QString, rejected);
    QByteArray attr = m_attr;
    const qsizetype from = attr.indexOf("ENNAME=\"", attr.indexOf("<ROW ")) + 8;
    attr.replace(from, attr.indexOf('"', from) - from, name);
    const QByteArray row =
        "<ROW CONTID=\"3,000\" CODE=\"01003\" DESCR=\"a\" POTEN=\"1,5\" FACT=\"1\" LIMIT=\"0\"/>\r\n";
    QByteArray data = dataXml(row);
    QVERIFY(dataFrom.isEmpty() || data.contains(dataFrom));
    if (!dataFrom.isEmpty())
        data.replace(data.lastIndexOf(dataFrom), dataFrom.size(), dataTo);
    SubmissionData submission;
    RejectionList reasons;
    const bool accepted = SubmissionReader().ReadBytes(QStringLiteral("attr.xml"), attr, QStringLiteral("data.xml"),
                                                       data, &submission, &reasons);
    if (rejected.isEmpty()) {
        QVERIFY2(accepted, qPrintable(reasons.value(0).Text()));
        QCOMPARE(submission.AttrText(QStringLiteral("ENNAME")), read);
        QCOMPARE(submission.Rows.size(), 1);
        QCOMPARE(submission.Rows.first().Poten, 1.5);
    } else {
        QVERIFY(!accepted);
        QCOMPARE(reasons.size(), 1);
        QVERIFY2(reasons.first().Text().startsWith(rejected), qPrintable(reasons.first().Text()));
    }
}

void TestSubmissionReader::bothDecimalSeparatorsReadAlike()
{
    GeneratorOptions point;
    point.DecimalSeparator = QChar(u'.');
    SubmissionGenerator pointGenerator(QStringLiteral(EMLO_PROGRAM_DIR), 7, point);
    const QString folder = m_dir.filePath(QStringLiteral("point"));
    QVERIFY(pointGenerator.Write(pointGenerator.MakeEnterprise(0), folder));
    const QByteArray pointData = readAll(folder + QStringLiteral("/data.xml"));
    QVERIFY(pointData.contains("POTEN=\"") && !pointData.contains(",000\""));
    QVERIFY(m_data.contains(",000\""));

    SubmissionData withComma;
    SubmissionData withPoint;
    RejectionList reasons;
    QVERIFY(SubmissionReader().ReadBytes(QStringLiteral("attr.xml"), m_attr, QStringLiteral("data.xml"), m_data,
                                         &withComma, &reasons));
    QVERIFY(SubmissionReader().ReadBytes(QStringLiteral("attr.xml"), readAll(folder + QStringLiteral("/attr.xml")),
                                         QStringLiteral("data.xml"), pointData, &withPoint, &reasons));
    QVERIFY(reasons.isEmpty());
    QCOMPARE(withPoint.Rows.size(), 30);
    for (qsizetype i = 0; i < withComma.Rows.size(); ++i) {
        QCOMPARE(withPoint.Rows.at(i).ContId, withComma.Rows.at(i).ContId);
        QCOMPARE(withPoint.Rows.at(i).Poten, withComma.Rows.at(i).Poten);
        QCOMPARE(withPoint.Rows.at(i).Fact, withComma.Rows.at(i).Fact);
    }
    QCOMPARE(withPoint.KoatuuCode(QStringLiteral("CITY_ID")), withComma.KoatuuCode(QStringLiteral("CITY_ID")));
    QVERIFY(SubmissionValidator(m_reference)
                .Validate(withPoint, QStringLiteral("attr.xml"), QStringLiteral("data.xml"), &reasons));
}

void TestSubmissionReader::validWithGroupTotalsPasses()
{
    // What the program exports after a clean check: the group totals included,
    // names with quotes and ampersands escaped, Crimea's code with its leading zero lost.
    GeneratorOptions options;
    options.GroupTotals = true;
    SubmissionGenerator generator(QStringLiteral(EMLO_PROGRAM_DIR), 11, options);
    for (int i = 0; i < 20; ++i) {
        const QString folder = m_dir.filePath(QStringLiteral("totals/%1").arg(i));
        QVERIFY(generator.Write(generator.MakeEnterprise(i), folder));
        SubmissionData s;
        RejectionList reasons;
        QVERIFY(SubmissionReader().Read(folder + QStringLiteral("/attr.xml"), folder + QStringLiteral("/data.xml"), &s,
                                        &reasons));
        SubmissionValidator(m_reference).Validate(s, QStringLiteral("attr.xml"), QStringLiteral("data.xml"), &reasons);
        QVERIFY2(reasons.isEmpty(), qPrintable(reasons.value(0).Text()));
        QCOMPARE(s.KoatuuCode(QStringLiteral("OBL_ID")).size(), 10);
        QVERIFY(s.Rows.size() >= 30);
    }
    SubmissionData crimea;
    crimea.AttrNumbers.insert(QStringLiteral("OBL_ID"), 100000000.0);
    QCOMPARE(crimea.KoatuuCode(QStringLiteral("OBL_ID")), QStringLiteral("0100000000"));
}

void TestSubmissionReader::hostileFilesStayBounded()
{
    // A billion-laughs file small enough to pass the size limit: refused at
    // its DTD, before any entity could be expanded.
    QByteArray laughs = "<!DOCTYPE DATAPACKET [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">";
    for (char name = 'b'; name <= 'z'; ++name)
        laughs += QByteArray("<!ENTITY ") + name + " \"" + QByteArray("&") + char(name - 1) + ";" + QByteArray("&")
            + char(name - 1) + ";\">";
    laughs += "]>\r\n";
    QByteArray data = dataXml("<ROW CONTID=\"&z;\" CODE=\"\" DESCR=\"\" POTEN=\"1\" FACT=\"1\" LIMIT=\"\"/>\r\n");
    data.insert(data.indexOf("<DATAPACKET"), laughs);
    SubmissionData s;
    RejectionList reasons;
    QVERIFY(!SubmissionReader().ReadBytes(QStringLiteral("attr.xml"), m_attr, QStringLiteral("data.xml"), data, &s,
                                          &reasons));
    QVERIFY(reasons.first().Reason.contains(QStringLiteral("DTD")));

    // One element with a hundred thousand attributes: refused before any XML
    // reader compares each name with all before it.
    QByteArray crowded;
    for (int i = 0; i < 100000; ++i)
        crowded += " a" + QByteArray::number(i) + "=\"\"";
    reasons.clear();
    QVERIFY(!SubmissionReader().ReadBytes(QStringLiteral("attr.xml"), m_attr, QStringLiteral("data.xml"),
                                          dataXml("<ROW" + crowded + "/>\r\n"), &s, &reasons));
    QCOMPARE(reasons.first().Text(), QStringLiteral("data.xml, рядок 14: елемент має понад 64 атрибути"));

    // Many records: refused at the limit, not read to the end.
    ReaderLimits limits;
    limits.MaxRecords = 100;
    QByteArray rows;
    for (int i = 1; i <= 101; ++i)
        rows += "<ROW CONTID=\"" + QByteArray::number(i)
            + "\" CODE=\"\" DESCR=\"\" POTEN=\"1\" FACT=\"1\" LIMIT=\"\"/>\r\n";
    reasons.clear();
    QVERIFY(!SubmissionReader(limits).ReadBytes(QStringLiteral("attr.xml"), m_attr, QStringLiteral("data.xml"),
                                                dataXml(rows), &s, &reasons));
    QCOMPARE(reasons.first().Text(), QStringLiteral("data.xml, запис 101: понад 100 записів"));

    // A file just at the size limit is read; one byte more is not.
    limits = ReaderLimits();
    limits.MaxFileBytes = m_data.size();
    reasons.clear();
    QVERIFY(SubmissionReader(limits).ReadBytes(QStringLiteral("attr.xml"), m_attr.left(limits.MaxFileBytes),
                                               QStringLiteral("data.xml"), m_data, &s, &reasons)
            || !reasons.isEmpty());
    const QString path = m_dir.filePath(QStringLiteral("limit"));
    QDir().mkpath(path);
    QFile attr(path + QStringLiteral("/attr.xml"));
    QVERIFY(attr.open(QIODevice::WriteOnly));
    attr.write(m_attr);
    attr.close();
    QFile big(path + QStringLiteral("/data.xml"));
    QVERIFY(big.open(QIODevice::WriteOnly));
    big.write(m_data + " ");
    big.close();
    limits.MaxFileBytes = std::max(m_attr.size(), m_data.size());
    reasons.clear();
    QVERIFY(!SubmissionReader(limits).Read(path + QStringLiteral("/attr.xml"), path + QStringLiteral("/data.xml"), &s,
                                           &reasons));
    QVERIFY(reasons.first().Reason.startsWith(QStringLiteral("файл завеликий")));
    limits.MaxFileBytes += 1;
    reasons.clear();
    QVERIFY(SubmissionReader(limits).Read(path + QStringLiteral("/attr.xml"), path + QStringLiteral("/data.xml"), &s,
                                          &reasons));
}

void TestSubmissionReader::pairsFoundAtAnyDepthWhateverTheCase()
{
    QTemporaryDir root;
    const auto touch = [&](const QString& relative) { QVERIFY(touchFile(root, relative)); };
    touch(QStringLiteral("a/ATTR.XML"));
    touch(QStringLiteral("a/Data.Xml"));
    touch(QStringLiteral("b/c/d/attr.xml"));
    touch(QStringLiteral("b/c/d/data.xml"));
    touch(QStringLiteral("only-attr/attr.xml"));
    touch(QStringLiteral("twice/attr.xml"));
    touch(QStringLiteral("twice/ATTR.xml"));
    touch(QStringLiteral("twice/data.xml"));
    touch(QStringLiteral("other/notes.txt"));
    QStringList missing;
    const QList<SubmissionFiles> found =
        FindSubmissions({root.path(), root.filePath(QStringLiteral("no-such-folder"))}, &missing);
    QCOMPARE(missing, QStringList{root.filePath(QStringLiteral("no-such-folder"))});
    QCOMPARE(found.size(), 4);
    QCOMPARE(found.at(0).AttrName, QStringLiteral("ATTR.XML"));
    QCOMPARE(found.at(0).DataPath(), root.filePath(QStringLiteral("a/Data.Xml")));
    QVERIFY(found.at(1).Folder.endsWith(QLatin1String("b/c/d")));
    QVERIFY(found.at(2).DataName.isEmpty());
    QCOMPARE(found.at(3).AttrName, QStringLiteral("?"));
}

// The folders come in the order of their paths, as sorting all of them
// would give, also where a sibling sorts between a folder and its
// sub-folders ("x" < "x-y" < "x/z"); the scan in its own thread hands out
// the same list. Hidden folders are looked into, links to folders are not.
void TestSubmissionReader::foldersFoundInPathOrderWhileScanning()
{
    QTemporaryDir root;
    const auto touch = [&](const QString& relative) { QVERIFY(touchFile(root, relative)); };
    for (const char* folder : {"x", "x-y", "x/z", "x/z/deeper", "x.a", "X", ".hidden", "a b", "я", "x/z-", "x0"})
        touch(QString::fromUtf8(folder) + QStringLiteral("/attr.xml"));
    touch(QStringLiteral("x-y/data.xml"));
    touch(QStringLiteral("elsewhere/data.xml"));
    QVERIFY(QFile::link(root.filePath(QStringLiteral("x/z")), root.filePath(QStringLiteral("link-to-folder"))));
    QDir().mkpath(root.filePath(QStringLiteral("linked-file")));
    QVERIFY(QFile::link(root.filePath(QStringLiteral("elsewhere/data.xml")),
                        root.filePath(QStringLiteral("linked-file/data.xml"))));
    QDir().mkpath(root.filePath(QStringLiteral("folder-named-attr")));
    QVERIFY(
        QFile::link(root.filePath(QStringLiteral("x")), root.filePath(QStringLiteral("folder-named-attr/attr.xml"))));

    QStringList expected;
    for (const char* folder :
         {".hidden", "X", "a b", "elsewhere", "linked-file", "x", "x-y", "x.a", "x/z", "x/z-", "x/z/deeper", "x0", "я"})
        expected << root.filePath(QString::fromUtf8(folder));
    QStringList sorted = expected;
    sorted.sort();
    QCOMPARE(expected, sorted);

    QStringList missing;
    const QList<SubmissionFiles> found = FindSubmissions({root.path()}, &missing);
    QStringList folders;
    for (const SubmissionFiles& files : found)
        folders << files.Folder;
    QCOMPARE(folders, expected);
    QCOMPARE(found.at(expected.indexOf(root.filePath(QStringLiteral("linked-file")))).DataName,
             QStringLiteral("data.xml"));

    SubmissionScan scan({root.path(), root.filePath(QStringLiteral("x/z"))});
    QStringList scanned;
    SubmissionFiles files;
    for (qsizetype i = 0; scan.At(i, &files); ++i)
        scanned << files.Folder;
    const QStringList again = {root.filePath(QStringLiteral("x/z")), root.filePath(QStringLiteral("x/z/deeper"))};
    QCOMPARE(scanned, expected + again);
    QCOMPARE(scan.Total(), scanned.size());
}

QTEST_GUILESS_MAIN(TestSubmissionReader)
#include "tst_submissionreader.moc"
