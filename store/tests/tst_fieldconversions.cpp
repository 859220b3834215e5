// TApolloTable over the real engine: conversions between the record image
// and field values, in both directions, as the engine's own number text
// writes and reads them; field kinds from the file layout; input refused.

#include <cstdio>
#include <cstring>

#include <QtTest>

#include "store/apollotable.h"
#include "store/fieldkind.h"
#include "store/recordcodec.h"
#include "store/tests/support/storetestsupport.h"

#include "xbase/src/numtext.h"

using namespace emlo;

using namespace storetest;

namespace {

// NAME C(10), POTEN N(18,7), X1 N(3,0), CONTID N(5,0), CITY N(10,0), D2 N(6,2)
const QVector<Column> kMixedLayout = {
    {QStringLiteral("NAME"), 'C', 10, 0},  {QStringLiteral("POTEN"), 'N', 18, 7}, {QStringLiteral("X1"), 'N', 3, 0},
    {QStringLiteral("CONTID"), 'N', 5, 0}, {QStringLiteral("CITY"), 'N', 10, 0},  {QStringLiteral("D2"), 'N', 6, 2},
};

// Offset of a column in the raw record (the deletion flag is byte 0).
int offsetOf(const QVector<Column>& layout, const QString& name)
{
    int offset = 1;
    for (const Column& c : layout) {
        if (c.name == name)
            return offset;
        offset += c.width;
    }
    return -1;
}

int widthOf(const QVector<Column>& layout, const QString& name)
{
    for (const Column& c : layout) {
        if (c.name == name)
            return c.width;
    }
    return -1;
}

}  // namespace

class TestFieldConversions : public storetest::TableTest {
    Q_OBJECT

private slots:
    void writeConversions_data();
    void writeConversions();
    void numbersAsTheEngineWritesThem_data();
    void numbersAsTheEngineWritesThem();
    void codecAndEngineTextAgree_data();
    void codecAndEngineTextAgree();
    void readConversions_data();
    void readConversions();
    void fieldKindsFollowTheFileLayout();
    void fieldsRefuseBadInput();
};

void TestFieldConversions::writeConversions_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("error");

    const QString outOfBounds = QStringLiteral("Translate error. Value out of bounds");
    QTest::newRow("string padded with blanks")
        << "NAME" << QVariant(QStringLiteral("abc")) << QByteArray("abc       ") << QString();
    QTest::newRow("string longer than the field is cut")
        << "NAME" << QVariant(QStringLiteral("12345678901")) << QByteArray("1234567890") << QString();
    QTest::newRow("cyrillic stored as cp1251")
        << "NAME" << QVariant(QStringLiteral("Київ")) << QByteArray("\xCA\xE8\xBF\xE2      ") << QString();
    QTest::newRow("1.5 in N(18,7)") << "POTEN" << QVariant(1.5) << QByteArray("         1.5000000") << QString();
    QTest::newRow("negative float") << "POTEN" << QVariant(-0.25) << QByteArray("        -0.2500000") << QString();
    QTest::newRow("float filling the width")
        << "POTEN" << QVariant(1234567890.5) << QByteArray("1234567890.5000000") << QString();
    QTest::newRow("float wider than the field") << "POTEN" << QVariant(12345678901.0) << QByteArray() << outOfBounds;
    QTest::newRow("null float is blank") << "POTEN" << QVariant() << QByteArray(18, ' ') << QString();
    QTest::newRow("999 fits N(3,0)") << "X1" << QVariant(999) << QByteArray("999") << QString();
    QTest::newRow("1000 into N(3,0)") << "X1" << QVariant(1000) << QByteArray() << outOfBounds;
    QTest::newRow("negative integer with its sign") << "X1" << QVariant(-99) << QByteArray("-99") << QString();
    QTest::newRow("sign makes it too wide") << "X1" << QVariant(-100) << QByteArray() << outOfBounds;
    QTest::newRow("pollutant id in N(5,0)") << "CONTID" << QVariant(132) << QByteArray("  132") << QString();
    QTest::newRow("ten digit code as text")
        << "CITY" << QVariant(QStringLiteral("1210100000")) << QByteArray("1210100000") << QString();
    QTest::newRow("decimals rounded") << "D2" << QVariant(3.14159) << QByteArray("  3.14") << QString();
    QTest::newRow("rounding makes it too wide") << "D2" << QVariant(999.999) << QByteArray() << outOfBounds;
}

void TestFieldConversions::writeConversions()
{
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, stored);
    QFETCH(QString, error);

    const QString file = path(QStringLiteral("MIXED.DBF"));
    createTable(file, kMixedLayout);
    TApolloTable table(QStringLiteral("tblMixed"));
    table.setTableName(file);
    table.Open();
    table.Append();
    table.FieldByName(QStringLiteral("NAME"))->setAsString(QStringLiteral("neighbour"));
    table.FieldByName(field)->setAsVariant(value);
    const QString raised = errorOf([&] { table.Post(); });
    QCOMPARE(raised, error);
    if (!error.isEmpty()) {
        // Nothing reached the file: no blank record was appended.
        QCOMPARE(table.State(), dsInsert);
        QCOMPARE(table.LastErrorText(), error);
        QCOMPARE(headerRecordCount(file), 0);
        table.Cancel();
        return;
    }
    const QByteArray record = rawRecord(file, 1);
    QCOMPARE(record.mid(offsetOf(kMixedLayout, field), widthOf(kMixedLayout, field)), stored);
    QCOMPARE(record.at(0), ' ');
    if (field != u"NAME")  // the neighbouring column is intact
        QCOMPARE(record.mid(1, 10), QByteArray("neighbour "));
}

// Numbers written by the layer and by the engine's own formatter must be the
// same bytes: C's "%*.*f" rounds the binary value (an exact tie to even), and
// no value is written as "-0".
void TestFieldConversions::numbersAsTheEngineWritesThem_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("stored");

    QTest::newRow("exact tie .125 to even") << "D2" << 0.125 << QByteArray("  0.12");
    QTest::newRow("exact tie .375 to even") << "D2" << 0.375 << QByteArray("  0.38");
    QTest::newRow("2.5 in a whole column") << "CONTID" << 2.5 << QByteArray("    2");
    QTest::newRow("3.5 in a whole column") << "CONTID" << 3.5 << QByteArray("    4");
    QTest::newRow("-2.5 in a whole column") << "CONTID" << -2.5 << QByteArray("   -2");
    QTest::newRow("1.005 is below the tie") << "D2" << 1.005 << QByteArray("  1.00");
    QTest::newRow("2.675 is below the tie") << "D2" << 2.675 << QByteArray("  2.67");
    QTest::newRow("1.015 is below the tie too") << "D2" << 1.015 << QByteArray("  1.01");
    QTest::newRow("negative zero") << "POTEN" << -0.0 << QByteArray("         0.0000000");
    QTest::newRow("tiny negative rounds to zero") << "POTEN" << -1e-9 << QByteArray("         0.0000000");
    QTest::newRow("negative rounds to zero in D2") << "D2" << -0.004 << QByteArray("  0.00");
    QTest::newRow("small negative kept") << "POTEN" << -5e-7 << QByteArray("        -0.0000005");
    QTest::newRow("1.25e-6 is above the tie") << "POTEN" << 0.00000125 << QByteArray("         0.0000013");
    QTest::newRow("0.5 to even") << "CONTID" << 0.5 << QByteArray("    0");
    QTest::newRow("fifteen digits") << "POTEN" << 1234567890.1234567 << QByteArray("1234567890.1234567");
    QTest::newRow("group 3 difference") << "POTEN" << -2.0 << QByteArray("        -2.0000000");
}

void TestFieldConversions::numbersAsTheEngineWritesThem()
{
    QFETCH(QString, field);
    QFETCH(double, value);
    QFETCH(QByteArray, stored);

    const int width = widthOf(kMixedLayout, field);
    const int decimals = field == u"D2" ? 2 : field == u"POTEN" ? 7 : 0;
    QByteArray engine(width, '?');
    QVERIFY(xb::formatNumeric(value, width, decimals, engine.data()));
    QCOMPARE(engine, stored);
    char printed[64];
    std::snprintf(printed, sizeof printed, "%*.*f", width, decimals, value);
    // C itself keeps the sign of a value that prints as zero; nothing else differs.
    if (!(QByteArray(printed).contains('-') && !stored.contains('-')))
        QCOMPARE(QByteArray(printed), stored);

    const QString file = path(QStringLiteral("MIXED.DBF"));
    createTable(file, kMixedLayout);
    TApolloTable table(QStringLiteral("tblMixed"));
    table.setTableName(file);
    table.Open();
    table.Append();
    table.FieldByName(field)->setAsFloat(value);
    table.Post();
    QCOMPARE(rawRecord(file, 1).mid(offsetOf(kMixedLayout, field), width), stored);
}

// One conversion table for the store's record codec and the engine's own
// number text: both write the same bytes for a value (or both refuse it), and
// both read those bytes back as the same number (a blank column as no value).
void TestFieldConversions::codecAndEngineTextAgree_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QVariant>("value");    // null: a blank column
    QTest::addColumn<QByteArray>("bytes");  // empty: the value does not fit

    const auto row = [](const char* name, int width, int decimals, const QVariant& value, const char* bytes) {
        QTest::newRow(name) << width << decimals << value << QByteArray(bytes);
    };
    row("whole number", 5, 0, 42.0, "   42");
    row("decimals filled", 18, 7, 1.5, "         1.5000000");
    row("wide float column", 10, 0, 1234567890.0, "1234567890");
    row("rounds to the decimals", 6, 2, 2.675, "  2.67");
    row("exact tie to even", 6, 2, 0.125, "  0.12");
    row("negative", 8, 3, -12.5, " -12.500");
    row("negative zero has no sign", 6, 2, -0.0, "  0.00");
    row("negative rounding to zero has no sign", 6, 2, -0.004, "  0.00");
    row("exactly the width", 6, 2, 999.99, "999.99");
    row("rounding makes it wider", 6, 2, 999.999, "");
    row("one digit too many", 5, 0, 123456.0, "");
    row("minus sign does not fit", 3, 0, -123.0, "");
    row("blank column", 8, 2, QVariant(), "        ");
    row("small integer column", 3, 0, 7.0, "  7");
    row("small integer negative", 4, 0, -999.0, "-999");
}

void TestFieldConversions::codecAndEngineTextAgree()
{
    QFETCH(int, width);
    QFETCH(int, decimals);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, bytes);

    emlo::FieldDesc fd;
    fd.type = 'N';
    fd.offset = 1;
    fd.width = width;
    fd.decimals = decimals;
    fd.kind = emlo::valueKindOf('N', width, decimals);
    const bool whole = fd.kind == emlo::ValueKind::Smallint;
    const QVariant stored = whole && !value.isNull() ? QVariant(qRound(value.toDouble())) : value;

    // Writing: the codec and the engine give the same bytes, or both refuse.
    QByteArray codec;
    const auto refused = emlo::RecordCodec::encode(fd, stored, codec);
    if (bytes.isEmpty()) {
        QCOMPARE(refused, emlo::RecordCodec::EncodeError::OutOfBounds);
        QByteArray engine(width, '?');
        QVERIFY(!xb::formatNumeric(value.toDouble(), width, decimals, engine.data()));
        QCOMPARE(engine, QByteArray(width, '?'));  // nothing written
        return;
    }
    QCOMPARE(refused, emlo::RecordCodec::EncodeError::None);
    QCOMPARE(codec, bytes);
    if (!value.isNull()) {
        QByteArray engine(width, '?');
        QVERIFY(xb::formatNumeric(value.toDouble(), width, decimals, engine.data()));
        QCOMPARE(engine, bytes);
    }

    // Reading: the same bytes are the same number to both.
    const QByteArray record = ' ' + bytes;
    const QVariant read = emlo::RecordCodec::decode(fd, record.constData());
    bool blank = false;
    const double engineValue = xb::parseNumeric(std::string_view(bytes.constData(), bytes.size()), &blank);
    QCOMPARE(read.isNull(), blank);
    if (!blank) {
        QCOMPARE(read.toDouble(), engineValue);
        QCOMPARE(read.typeId(), whole ? QMetaType::Int : QMetaType::Double);
    }
}

void TestFieldConversions::readConversions_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("blank numeric is null") << "POTEN" << QByteArray(18, ' ') << QVariant();
    QTest::newRow("blank string is empty, not null") << "NAME" << QByteArray(10, ' ') << QVariant(QString(""));
    QTest::newRow("number read with a point") << "POTEN" << QByteArray("         1.5000000") << QVariant(1.5);
    QTest::newRow("text that is not a number reads as 0")
        << "POTEN" << QByteArray("      not a number") << QVariant(0.0);
    QTest::newRow("small integer") << "X1" << QByteArray(" 12") << QVariant(12);
    QTest::newRow("garbage small integer reads as 0") << "X1" << QByteArray("a1b") << QVariant(0);
    QTest::newRow("trailing blanks go, leading stay")
        << "NAME" << QByteArray("  ab      ") << QVariant(QStringLiteral("  ab"));
    QTest::newRow("long run of trailing blanks") << "NAME" << QByteArray("a         ") << QVariant(QStringLiteral("a"));
    QTest::newRow("trailing NULs and blanks go")
        << "NAME" << QByteArray("ab\0       ", 10) << QVariant(QStringLiteral("ab"));
    QTest::newRow("inner blanks stay") << "NAME" << QByteArray("a        b") << QVariant(QStringLiteral("a        b"));
    QTest::newRow("cp1251 decoded") << "NAME" << QByteArray("\xCA\xE8\xBF\xE2      ")
                                    << QVariant(QStringLiteral("Київ"));
    QTest::newRow("zero is a value") << "CONTID" << QByteArray("    0") << QVariant(0.0);

    // Numbers take a quick road for plain digits and the general parser for
    // anything else; both must give the same value, bit for bit.
    const auto general = [](const char* text) { return QVariant(QByteArray(text).trimmed().toDouble()); };
    struct NumberCase {
        const char* name;
        const char* raw;
    };
    const NumberCase numbers[] = {
        {"negative with decimals", "       -12.3456789"},
        {"leading zeros", "000000000012.50000"},
        {"fifteen significant digits", "  12345678.9012345"},
        {"seventeen significant digits", " 1234567890.123456"},
        {"tenths that are not exact in binary", "         0.1000000"},
        {"tiny fraction", "         0.0000001"},
        {"left-aligned", "3.25              "},
        {"point without fraction", "               5. "},
        {"point without integer part", "              -.25"},
        {"exponent", "             1.5e3"},
        {"plus sign", "             +2.50"},
    };
    for (const NumberCase& c : numbers)
        QTest::newRow(c.name) << "POTEN" << QByteArray(c.raw) << general(c.raw);
    QTest::newRow("negative zero keeps its sign") << "POTEN" << QByteArray("                -0") << QVariant(-0.0);
    QTest::newRow("small integer negative") << "X1" << QByteArray("-12") << QVariant(-12);
    QTest::newRow("small integer with a point reads as 0") << "X1" << QByteArray("1.5") << QVariant(0);

    // Columns without decimals take a digit loop first; what it does not
    // read exactly must come out as the general parser gives it.
    const NumberCase wholeNumbers[] = {
        {"id", "  132"},
        {"id with leading zeros", "00132"},
        {"id negative", "  -45"},
        {"id left-aligned", "7    "},
        {"id plus sign", "  +12"},
        {"id inner blank", " 1 3 "},
        {"id with a point", "  12."},
        {"id minus alone", "    -"},
        {"id tab", "\t  12"},
    };
    for (const NumberCase& c : wholeNumbers)
        QTest::newRow(c.name) << "CONTID" << QByteArray(c.raw) << general(c.raw);
    QTest::newRow("id negative zero") << "CONTID" << QByteArray("   -0") << QVariant(-0.0);
    QTest::newRow("ten digits") << "CITY" << QByteArray("1234567890") << QVariant(1234567890.0);
    QTest::newRow("ten digits negative") << "CITY" << QByteArray("-000000005") << QVariant(-5.0);
    QTest::newRow("small integer leading zeros") << "X1" << QByteArray("007") << QVariant(7);
    QTest::newRow("small integer minus apart") << "X1" << QByteArray("- 7") << QVariant(0);
}

void TestFieldConversions::readConversions()
{
    QFETCH(QString, field);
    QFETCH(QByteArray, raw);
    QFETCH(QVariant, value);

    const QString file = path(QStringLiteral("MIXED.DBF"));
    createTable(file, kMixedLayout);
    appendRows(file, {{QStringLiteral("x"), 1.0, 1, 1, 1, 1.0}});
    pokeRecord(file, 1, offsetOf(kMixedLayout, field), raw);

    TApolloTable table(QStringLiteral("tblMixed"));
    table.setTableName(file);
    table.Open();
    TField* f = table.FieldByName(field);
    QCOMPARE(f->IsNull(), value.isNull());
    if (!value.isNull()) {
        QCOMPARE(f->AsVariant(), value);
        if (value.typeId() == QMetaType::Double) {
            const double got = f->AsFloat(), want = value.toDouble();
            QCOMPARE(std::memcmp(&got, &want, sizeof got), 0);
        }
    }
}

void TestFieldConversions::fieldKindsFollowTheFileLayout()
{
    const QString file = path(QStringLiteral("KINDS.DBF"));
    createTable(file,
                {{QStringLiteral("c10"), 'C', 10, 0},
                 {QStringLiteral("n3"), 'N', 3, 0},
                 {QStringLiteral("n4"), 'N', 4, 0},
                 {QStringLiteral("n5"), 'N', 5, 0},
                 {QStringLiteral("n10d2"), 'N', 10, 2},
                 {QStringLiteral("n3d1"), 'N', 3, 1}});
    TApolloTable table(QStringLiteral("tblKinds"));
    table.setTableName(file);
    table.Open();
    QCOMPARE(table.FieldCount(), 6);
    const QStringList names = {u"C10"_qs, u"N3"_qs, u"N4"_qs, u"N5"_qs, u"N10D2"_qs, u"N3D1"_qs};
    const QStringList classes = {u"TStringField"_qs, u"TSmallintField"_qs, u"TSmallintField"_qs,
                                 u"TFloatField"_qs,  u"TFloatField"_qs,    u"TFloatField"_qs};
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(table.Fields(i)->FieldName(), names.at(i));
        QCOMPARE(table.Fields(i)->ClassName(), classes.at(i));
    }
    QCOMPARE(table.Fields(0)->Size(), 10);
    QCOMPARE(table.Fields(0)->DataType(), ftString);
    QCOMPARE(table.Fields(1)->DataType(), ftSmallint);
    QCOMPARE(table.Fields(3)->DataType(), ftFloat);
    QCOMPARE(table.FieldByName(QStringLiteral("n10D2")), table.Fields(4));
    QCOMPARE(table.FindField(QStringLiteral("nope")), nullptr);
}

void TestFieldConversions::fieldsRefuseBadInput()
{
    const QString file = makeData({5});
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    table.Open();
    TField* poten = table.FieldByName(QStringLiteral("POTEN"));

    QCOMPARE(errorOf([&] { poten->setAsFloat(1.0); }), QStringLiteral("tblData: Dataset not in edit or insert mode"));
    table.Edit();
    QCOMPARE(errorOf([&] { poten->setAsString(QStringLiteral("abc")); }),
             QStringLiteral("'abc' is not a valid floating point value for field 'POTEN'"));
    poten->setDisplayLabel(QStringLiteral("Потенцiйний обсяг викидiв, тонн/рiк"));
    QCOMPARE(
        errorOf([&] { poten->setAsString(QStringLiteral("1x")); }),
        QStringLiteral("'1x' is not a valid floating point value for field 'Потенцiйний обсяг викидiв, тонн/рiк'"));
    QCOMPARE(poten->AsFloat(), 7.5);

    // Typed numbers use the system's decimal separator.
    const QString sep = QLocale::system().decimalPoint();
    poten->setAsString(QStringLiteral("2") + sep + QStringLiteral("25"));
    QCOMPARE(poten->AsFloat(), 2.25);
    QCOMPARE(poten->AsString(), QStringLiteral("2") + sep + QStringLiteral("25"));
    poten->setAsString(QString());
    QVERIFY(poten->IsNull());
    table.Cancel();
    QCOMPARE(poten->AsFloat(), 7.5);

    // A text that Windows-1251 cannot hold is refused, never stored altered.
    const QString cy = path(QStringLiteral("CY.DBF"));
    createTable(cy, kCyLayout);
    TApolloTable names(QStringLiteral("tblCY"));
    names.setTableName(cy);
    names.Open();
    names.Append();
    TField* descr = names.FieldByName(QStringLiteral("DESCR"));
    descr->setAsString(QStringLiteral("Київ"));
    const QString refused = errorOf([&] { descr->setAsString(QStringLiteral("Kraków ✓")); });
    QCOMPARE(refused,
             QStringLiteral("Символ «ó» (U+00F3) не можна зберегти в полі «DESCR»: його немає в кодовій "
                            "сторінці Windows-1251"));
    QCOMPARE(descr->AsString(), QStringLiteral("Київ"));
    names.Post();
    QCOMPARE(rawRecord(cy, 1).mid(16, 4), QByteArray("\xCA\xE8\xBF\xE2"));
}

STORE_TEST_MAIN(TestFieldConversions)

#include "tst_fieldconversions.moc"
