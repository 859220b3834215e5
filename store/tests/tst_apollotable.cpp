// TApolloTable over the real engine: conversions between the record image
// and field values, navigation, queries, look-ups, locks, errors, deletes,
// events and data links, on small tables made in each test.

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include <QtTest>

#include "store/apolloenv.h"
#include "store/apollotable.h"
#include "store/cp1251.h"
#include "store/datasource.h"
#include "store/errors.h"
#include "store/fieldkind.h"
#include "store/recordcodec.h"
#include "xbase/include/sde.h"
#include "store/tests/support/storetestsupport.h"

#include "xbase/src/numtext.h"

using namespace emlo;

using namespace storetest;

namespace {

const QVector<Column> kDataLayout = {
    {QStringLiteral("CONTID"), 'N', 5, 0},
    {QStringLiteral("POTEN"), 'N', 18, 7},
    {QStringLiteral("FACT"), 'N', 18, 7},
};

const QVector<Column> kCyLayout = {
    {QStringLiteral("CYID"), 'N', 5, 0},
    {QStringLiteral("CODE"), 'C', 10, 0},
    {QStringLiteral("DESCR"), 'C', 100, 0},
};

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

QString errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Exception& e) {
        return e.Message;
    }
    return QString();
}

// Makes this process's writes at or past `bytes` of any file fail (EFBIG,
// which the engine reports as a full disk) while it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limited = m_saved;
        limited.rlim_cur = bytes;
        m_ok = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &m_saved); }
    bool ok() const { return m_ok; }

private:
    rlimit m_saved{};
    bool m_ok = false;
};

QVector<int> contIdsInOrder(TApolloTable& table)
{
    QVector<int> ids;
    for (table.First(); !table.Eof(); table.Next())
        ids << table.FieldByName(QStringLiteral("CONTID"))->AsInteger();
    return ids;
}

}  // namespace

class TestApolloTable : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

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

    void navigationFollowsTheIndexAndHidesDeleted();
    void ownIndexIsRebuiltOtherFailuresReported_data();
    void ownIndexIsRebuiltOtherFailuresReported();
    void recNoAndBookmarkLandOnVisibleRecords();
    void programQueries_data();
    void programQueries();
    void emptyQueryRemovesTheFilter_data();
    void emptyQueryRemovesTheFilter();
    void invalidQueryIsRefused_data();
    void invalidQueryIsRefused();
    void regionPrefixQueryLandsOnTheSmallestCode();

    void lookupWithIndexSeeksWithoutMoving();
    void lookupWithoutIndexMovesToTheRecord();
    void lookupFieldsFollowTheKeyWithoutMovingTheReferenceTable();

    void editLockBetweenTwoTablesOnOneFile();
    void editLockHeldByAnotherProcess();
    void openBesideAnotherProgramsLocks_data();
    void openBesideAnotherProgramsLocks();
    void everyErrorText();
    void deleteMovesToTheNextVisibleRecord();
    void eventsInOrderAndSilentAbort();
    void eventsKeepEveryListener();
    void dataLinksCommitBeforeTheRecordIsEncoded();
    void fileNamesMatchWithoutLetterCase();
    void aliasesAreDerivedAndKeptUnique();
    void refreshShowsWhatOthersWrote();
    void engineFailuresReachTheCallerInOurWords_data();
    void engineFailuresReachTheCallerInOurWords();
    void truncatedTableSaysHowManyRecordsAreMissing();
    void fileLockOutlivesThePostsMadeUnderIt();

private:
    QString path(const QString& name) const { return m_dir->path() + u'/' + name; }
    QString makeData(const QVector<int>& contIds);

    std::unique_ptr<TApolloEnv> m_env;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestApolloTable::initTestCase()
{
    m_env = std::make_unique<TApolloEnv>();
    m_env->setApplyTo(atLocal);
    m_env->setDeleted(true);
}

void TestApolloTable::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestApolloTable::makeData(const QVector<int>& contIds)
{
    const QString file = path(QStringLiteral("DATA.DBF"));
    createTable(file, kDataLayout);
    QVector<QVariantList> rows;
    for (int id : contIds)
        rows << QVariantList{id, id * 1.5, QVariant()};
    appendRows(file, rows);
    return file;
}

// ---------------------------------------------------------------- conversions

void TestApolloTable::writeConversions_data()
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

void TestApolloTable::writeConversions()
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
void TestApolloTable::numbersAsTheEngineWritesThem_data()
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

void TestApolloTable::numbersAsTheEngineWritesThem()
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
void TestApolloTable::codecAndEngineTextAgree_data()
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

void TestApolloTable::codecAndEngineTextAgree()
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

void TestApolloTable::readConversions_data()
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

void TestApolloTable::readConversions()
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

void TestApolloTable::fieldKindsFollowTheFileLayout()
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

void TestApolloTable::fieldsRefuseBadInput()
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

// ---------------------------------------------------------------- navigation

void TestApolloTable::navigationFollowsTheIndexAndHidesDeleted()
{
    const QString file = makeData({30, 5, 132, 5, 18, 7});
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    table.Open();
    table.setRecNo(6);
    table.Delete();
    QCOMPARE(contIdsInOrder(table), (QVector<int>{30, 5, 132, 5, 18}));

    QVERIFY(table.Index(QStringLiteral("data.idx"), QStringLiteral("CONTID")) != 0);
    QCOMPARE(table.IndexName(), QStringLiteral("data.idx"));
    QVERIFY(QFileInfo::exists(path(QStringLiteral("data.idx"))));
    QCOMPARE(contIdsInOrder(table), (QVector<int>{5, 5, 18, 30, 132}));
    QCOMPARE(table.VisibleRecNos(), (QVector<qint32>{2, 4, 5, 1, 3}));

    table.First();
    QVERIFY(table.Bof());
    QVERIFY(!table.Eof());
    QCOMPARE(table.RecNo(), 2);
    QCOMPARE(table.MoveBy(2), 2);
    QCOMPARE(table.RecNo(), 5);
    QVERIFY(!table.Bof());
    table.Last();
    QCOMPARE(table.RecNo(), 3);
    QVERIFY(table.Eof());
    table.Next();  // past the end: the record stays the last one
    QVERIFY(table.Eof());
    QCOMPARE(table.RecNo(), 3);
    table.Prior();
    QCOMPARE(table.RecNo(), 1);
    QVERIFY(!table.Eof());
    QCOMPARE(table.MoveBy(-10), -3);
    QVERIFY(table.Bof());
    QCOMPARE(table.RecNo(), 2);

    // The grid's read does not disturb the current record.
    table.setRecNo(5);
    const TField* contId = table.FieldByName(QStringLiteral("CONTID"));
    QCOMPARE(table.FieldValueAt(3, contId), QVariant(132.0));
    QCOMPARE(table.FieldValueAt(99, contId), QVariant());
    table.Next();
    QCOMPARE(table.RecNo(), 1);

    table.IndexClose();
    QCOMPARE(table.IndexName(), QString());
    QCOMPARE(contIdsInOrder(table), (QVector<int>{30, 5, 132, 5, 18}));

    // A reopened table finds its index again through IndexOpen.
    table.Close();
    table.Open();
    QVERIFY(table.IndexOpen(path(QStringLiteral("data.idx"))) != 0);
    QCOMPARE(contIdsInOrder(table), (QVector<int>{5, 5, 18, 30, 132}));
}

// DATA.IDX beside DATA.DBF is the program's own index: whatever is wrong
// with it, the table comes up in CONTID order, never silently in record
// order. Any other index that cannot be used is reported.
void TestApolloTable::ownIndexIsRebuiltOtherFailuresReported_data()
{
    QTest::addColumn<QString>("index");  // the file opened
    QTest::addColumn<QByteArray>(
        "bytes");  // what it holds: "<missing>", "<good>", "<FACT>" (an index on that blank field)
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("keptAside");  // the damaged file is kept as <name>.bad
    QTest::addColumn<QString>("error");   // empty: opened in CONTID order

    const QByteArray garbage(1024, '\x01');
    const QByteArray text("not an index\n");
    const QString otherFailure = QStringLiteral("Неможливо відкрити індекс: %1\rФайл таблиці пошкоджено: %1");
    // clang-format off
    QTest::newRow("missing")                  << "data.idx" << QByteArray("<missing>") << false << false << QString();
    QTest::newRow("empty file")               << "data.idx" << QByteArray()            << false << true  << QString();
    QTest::newRow("cut inside the header")    << "data.idx" << QByteArray("<good>10")  << false << true  << QString();
    QTest::newRow("garbage")                  << "data.idx" << garbage                 << false << true  << QString();
    QTest::newRow("a text file")              << "data.idx" << text                    << false << true  << QString();
    QTest::newRow("index on another key")     << "data.idx" << QByteArray("<FACT>")     << false << false << QString();
    QTest::newRow("other case of the name")   << "DATA.IDX" << garbage                 << false << true  << QString();
    QTest::newRow("read-only: missing")       << "data.idx" << QByteArray("<missing>") << true  << false << QString();
    QTest::newRow("read-only: another key")   << "data.idx" << QByteArray("<FACT>")     << true  << false << QString();
    QTest::newRow("read-only: garbage")       << "data.idx" << garbage                 << true  << true  << QString();
    QTest::newRow("not ours: garbage")        << "other.idx" << garbage                << false << false << otherFailure;
    QTest::newRow("not ours: cut")            << "other.idx" << QByteArray("<good>10")  << false << false << otherFailure;
    // clang-format on
}

void TestApolloTable::ownIndexIsRebuiltOtherFailuresReported()
{
    QFETCH(QString, index);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, readOnly);
    QFETCH(bool, keptAside);
    QFETCH(QString, error);

    const QString file = makeData({30, 5, 132, 18});
    const QString idx = path(index);
    {
        TApolloTable maker(QStringLiteral("tblMaker"));
        maker.setTableName(file);
        maker.Open();
        const bool onFact = bytes == "<FACT>";
        QVERIFY(maker.Index(index, onFact ? QStringLiteral("FACT") : QStringLiteral("CONTID")) != 0);
        maker.Close();
        QFile f(idx);
        if (bytes == "<missing>") {
            QVERIFY(f.remove());
        } else if (bytes.startsWith("<good>")) {
            QVERIFY(f.resize(bytes.mid(6).toInt()));
        } else if (!onFact) {
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
        }
    }
    QByteArray original;
    if (QFile f(idx); f.open(QIODevice::ReadOnly))
        original = f.readAll();
    const QStringList filesBefore = filesIn(m_dir->path());

    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    table.setReadOnly(readOnly);
    table.Open();
    const QString raised = errorOf([&] { table.IndexOpen(idx); });
    QCOMPARE(raised, error.arg(idx));
    if (!error.isEmpty()) {
        // Nothing is changed: the table stays in record order, the file as it was.
        QCOMPARE(table.IndexName(), QString());
        QCOMPARE(contIdsInOrder(table), (QVector<int>{30, 5, 132, 18}));
        QCOMPARE(filesIn(m_dir->path()), filesBefore);
        return;
    }
    QCOMPARE(table.IndexName(), idx);
    QCOMPARE(contIdsInOrder(table), (QVector<int>{5, 18, 30, 132}));
    QFile aside(idx + QStringLiteral(".bad"));
    QCOMPARE(aside.exists(), keptAside);
    if (keptAside) {
        QVERIFY(aside.open(QIODevice::ReadOnly));
        QCOMPARE(aside.readAll(), original);
    }
    if (readOnly) {
        // Built in memory: no index file was written or changed.
        QCOMPARE(QFile::exists(idx), !keptAside && bytes != "<missing>");
        if (QFile f(idx); f.open(QIODevice::ReadOnly))
            QCOMPARE(f.readAll(), original);
        return;
    }
    // The new file serves the next opening as it is, and follows new records.
    table.Append();
    table.FieldByName(QStringLiteral("CONTID"))->setAsInteger(7);
    table.Post();
    table.Close();
    const QDateTime built = QFileInfo(idx).lastModified();
    TApolloTable again(QStringLiteral("tblAgain"));
    again.setTableName(file);
    again.Open();
    QVERIFY(again.IndexOpen(idx) != 0);
    QCOMPARE(contIdsInOrder(again), (QVector<int>{5, 7, 18, 30, 132}));
    QCOMPARE(QFileInfo(idx).lastModified(), built);
    QVERIFY(!QFile::exists(idx + QStringLiteral(".bad2")));
}

void TestApolloTable::recNoAndBookmarkLandOnVisibleRecords()
{
    const QString file = makeData({30, 5, 132, 18});
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    table.Open();
    table.Index(QStringLiteral("data.idx"), QStringLiteral("CONTID"));  // 5(2) 18(4) 30(1) 132(3)

    table.setRecNo(1);
    const TBookmark bookmark = table.Bookmark();
    QCOMPARE(bookmark, 1);
    QVERIFY(table.BookmarkValid(bookmark));
    table.Delete();  // record 1 (30) is gone
    QVERIFY(!table.BookmarkValid(bookmark));
    table.First();
    table.setBookmark(bookmark);  // lands on the next visible record in order
    QCOMPARE(table.FieldByName(QStringLiteral("CONTID"))->AsInteger(), 132);

    table.setRecNo(3);
    table.Delete();  // the last one in order
    table.First();
    table.setRecNo(3);
    QCOMPARE(table.RecNo(), 4);  // no next: the last visible record
    QCOMPARE(table.FieldByName(QStringLiteral("CONTID"))->AsInteger(), 18);
}

// ---------------------------------------------------------------- queries

void TestApolloTable::programQueries_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QVector<int>>("expected");

    using Pred = std::function<bool(int)>;
    QVector<int> ids;
    for (int id = 1; id <= 140; ++id) {
        if (id % 13 != 0)
            ids << id;
    }
    ids << 21 << 95;  // repeated pollutants
    const auto select = [&](const Pred& p) {
        QVector<int> out;
        for (int id : ids) {
            if (p(id))
                out << id;
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    const struct {
        const char* expr;
        Pred pred;
    } rows[] = {
        {"CONTID > 0 .and. CONTID < 12", [](int c) { return c > 0 && c < 12; }},
        {"CONTID = 132", [](int c) { return c == 132; }},
        {"CONTID > 11 .and. CONTID < 18", [](int c) { return c > 11 && c < 18; }},
        {"CONTID = 133", [](int c) { return c == 133; }},
        {"CONTID = 21 .or. CONTID = 22 .or. CONTID = 134", [](int c) { return c == 21 || c == 22 || c == 134; }},
        {"CONTID = 19 .or. CONTID = 20", [](int c) { return c == 19 || c == 20; }},
        {"CONTID = 18", [](int c) { return c == 18; }},
        {"CONTID = 30 .or. CONTID = 31", [](int c) { return c == 30 || c == 31; }},
        {"CONTID = 135", [](int c) { return c == 135; }},
        {"(CONTID > 34 .and. CONTID < 40) .or. (CONTID = 136)", [](int c) { return (c > 34 && c < 40) || c == 136; }},
        {"CONTID = 34", [](int c) { return c == 34; }},
        {"(CONTID > 40 .and. CONTID < 64) .or. (CONTID > 64 .and. CONTID < 78) .or. (CONTID > 78 .and. CONTID < 94) "
         ".or. (CONTID = 137)",
         [](int c) { return (c > 40 && c < 64) || (c > 64 && c < 78) || (c > 78 && c < 94) || c == 137; }},
        {"CONTID = 40", [](int c) { return c == 40; }},
        {"(CONTID > 95 .and. CONTID < 116) .or. (CONTID = 138)", [](int c) { return (c > 95 && c < 116) || c == 138; }},
        {"CONTID = 95", [](int c) { return c == 95; }},
        {"CONTID = 13", [](int c) { return c == 13; }},  // absent: an empty result
    };
    for (const auto& row : rows)
        QTest::newRow(row.expr) << QString::fromLatin1(row.expr) << select(row.pred);
}

void TestApolloTable::programQueries()
{
    QFETCH(QString, expression);
    QFETCH(QVector<int>, expected);

    QVector<int> ids;
    for (int id = 1; id <= 140; ++id) {
        if (id % 13 != 0)
            ids << id;
    }
    ids << 21 << 95 << 132 << 30;
    const QString file = makeData(ids);
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    table.Open();
    table.Index(QStringLiteral("data.idx"), QStringLiteral("CONTID"));
    // The last two records are deleted: a query never shows them.
    table.setRecNo(static_cast<qint32>(ids.size()));
    table.Delete();
    table.setRecNo(static_cast<qint32>(ids.size()) - 1);
    table.Delete();

    QVERIFY(table.Query(expression) != 0);
    QCOMPARE(table.QueryExpression(), expression);
    if (expected.isEmpty()) {
        QVERIFY(table.Bof() && table.Eof());
        QVERIFY(table.IsEmpty());
    } else {
        // The current record is the first that satisfies the query.
        QCOMPARE(table.FieldByName(QStringLiteral("CONTID"))->AsInteger(), expected.first());
        QVERIFY(!table.Eof());
    }
    QCOMPARE(contIdsInOrder(table), expected);
    QCOMPARE(table.VisibleRecNos().size(), expected.size());
}

void TestApolloTable::emptyQueryRemovesTheFilter_data()
{
    QTest::addColumn<QString>("empty");
    QTest::newRow("empty text") << QString();
    QTest::newRow("one NUL character") << QString(QChar(u'\0'));
    QTest::newRow("text after a NUL is not seen") << (QString(QChar(u'\0')) + QStringLiteral("CONTID = 5"));
}

void TestApolloTable::emptyQueryRemovesTheFilter()
{
    QFETCH(QString, empty);
    const QString file = makeData({30, 5, 132});
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    table.Open();
    table.Query(QStringLiteral("CONTID = 5"));
    QCOMPARE(contIdsInOrder(table), QVector<int>{5});
    table.Query(empty);
    QCOMPARE(table.QueryExpression(), QString());
    QCOMPARE(contIdsInOrder(table), (QVector<int>{30, 5, 132}));
}

void TestApolloTable::invalidQueryIsRefused_data()
{
    QTest::addColumn<QString>("expression");
    QTest::newRow("syntax error") << QStringLiteral("CONTID +");
    QTest::newRow("numeric, not logical") << QStringLiteral("CONTID + 1");
    QTest::newRow("unknown field") << QStringLiteral("NOSUCH = 1");
    QTest::newRow("unclosed parenthesis") << QStringLiteral("(CONTID = 1");
}

void TestApolloTable::invalidQueryIsRefused()
{
    QFETCH(QString, expression);
    const QString file = makeData({30, 5, 132});
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    table.Open();
    table.Query(QStringLiteral("CONTID = 5"));
    QCOMPARE(errorOf([&] { table.Query(expression); }), QStringLiteral("Invalid Query Expression"));
    QCOMPARE(table.LastErrorText(), QStringLiteral("Invalid Query Expression"));
    // The query in force stays.
    QCOMPARE(contIdsInOrder(table), QVector<int>{5});
}

void TestApolloTable::regionPrefixQueryLandsOnTheSmallestCode()
{
    const QString file = path(QStringLiteral("CY.DBF"));
    createTable(file, kCyLayout);
    appendRows(file,
               {{1, QStringLiteral("1210100000"), QStringLiteral("Дніпро")},
                {2, QStringLiteral("0510100000"), QStringLiteral("Вінниця")},
                {3, QStringLiteral("1211000000"), QStringLiteral("Кам'янське")},
                {4, QStringLiteral("1200000000"), QStringLiteral("Дніпропетровська область")},
                {5, QStringLiteral("7110100000"), QStringLiteral("Черкаси")},
                {6, QStringLiteral("1210136900"), QStringLiteral("Таромське")}});
    TApolloTable table(QStringLiteral("tblCY"));
    table.setTableName(file);
    table.Open();
    table.Index(QStringLiteral("cy.idx"), QStringLiteral("CODE"));
    table.Query(QStringLiteral("CODE = \"12\""));
    QCOMPARE(table.FieldByName(QStringLiteral("CODE"))->AsString(), QStringLiteral("1200000000"));
    QStringList codes;
    for (table.First(); !table.Eof(); table.Next())
        codes << table.FieldByName(QStringLiteral("CODE"))->AsString();
    QCOMPARE(codes, (QStringList{u"1200000000"_qs, u"1210100000"_qs, u"1210136900"_qs, u"1211000000"_qs}));
}

// ---------------------------------------------------------------- look-up

void TestApolloTable::lookupWithIndexSeeksWithoutMoving()
{
    const QString file = path(QStringLiteral("CY.DBF"));
    createTable(file, kCyLayout);
    appendRows(file,
               {{1, QStringLiteral("1210100000"), QStringLiteral("Дніпро")},
                {2, QStringLiteral("0510100000"), QStringLiteral("Вінниця")},
                {3, QStringLiteral("12"), QStringLiteral("Коротка")},
                {4, QStringLiteral("1200000000"), QStringLiteral("Область")}});
    TApolloTable table(QStringLiteral("tblCY"));
    table.setTableName(file);
    table.Open();
    table.Index(QStringLiteral("cy.idx"), QStringLiteral("CODE"));
    table.setRecNo(2);

    QCOMPARE(table.Lookup(QStringLiteral("CODE"), QStringLiteral("1210100000"), QStringLiteral("DESCR")),
             QVariant(QStringLiteral("Дніпро")));
    QCOMPARE(table.RecNo(), 2);
    // The key is padded to the field width: "12" finds the code "12" exactly,
    // not the first code that begins with it.
    QCOMPARE(table.Lookup(QStringLiteral("code"), QStringLiteral("12"), QStringLiteral("DESCR")),
             QVariant(QStringLiteral("Коротка")));
    QCOMPARE(table.Lookup(QStringLiteral("CODE"), QStringLiteral("9999999999"), QStringLiteral("DESCR")), QVariant());
    QCOMPARE(table.Lookup(QStringLiteral("CODE"), QVariant(), QStringLiteral("DESCR")), QVariant());
    QCOMPARE(table.Lookup(QStringLiteral("CODE"), QStringLiteral("12345678901"), QStringLiteral("DESCR")), QVariant());
    QCOMPARE(table.RecNo(), 2);
    QCOMPARE(table.FieldByName(QStringLiteral("DESCR"))->AsString(), QStringLiteral("Вінниця"));
    table.Next();
    QCOMPARE(table.FieldByName(QStringLiteral("CODE"))->AsString(), QStringLiteral("12"));

    // A numeric key, padded on the left; results by the column's kind.
    const QString data = makeData({30, 5, 132});
    TApolloTable emissions(QStringLiteral("tblData"));
    emissions.setTableName(data);
    emissions.Open();
    emissions.Index(QStringLiteral("data.idx"), QStringLiteral("CONTID"));
    emissions.setRecNo(1);
    QCOMPARE(emissions.Lookup(QStringLiteral("CONTID"), 132, QStringLiteral("POTEN")), QVariant(198.0));
    QCOMPARE(emissions.Lookup(QStringLiteral("CONTID"), 131, QStringLiteral("POTEN")), QVariant());
    QCOMPARE(emissions.RecNo(), 1);
}

void TestApolloTable::lookupWithoutIndexMovesToTheRecord()
{
    const QString file = makeData({30, 5, 132});
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    table.Open();
    QCOMPARE(table.RecNo(), 1);
    QCOMPARE(table.Lookup(QStringLiteral("CONTID"), 5, QStringLiteral("POTEN")), QVariant(7.5));
    QCOMPARE(table.RecNo(), 2);
    QCOMPARE(table.Lookup(QStringLiteral("CONTID"), 6, QStringLiteral("POTEN")), QVariant());
    QCOMPARE(table.RecNo(), 2);
    QCOMPARE(errorOf([&] { table.Lookup(QStringLiteral("NOSUCH"), 5, QStringLiteral("POTEN")); }),
             QStringLiteral("tblData: Field 'NOSUCH' not found"));
}

void TestApolloTable::lookupFieldsFollowTheKeyWithoutMovingTheReferenceTable()
{
    const QString cont = path(QStringLiteral("CONT.DBF"));
    createTable(cont,
                {{QStringLiteral("CONTID"), 'N', 5, 0},
                 {QStringLiteral("CODE"), 'C', 5, 0},
                 {QStringLiteral("DESCR"), 'C', 80, 0},
                 {QStringLiteral("LIMIT"), 'N', 18, 7}});
    appendRows(cont,
               {{1, QStringLiteral("0001"), QStringLiteral("Пил"), 10.0},
                {3, QStringLiteral("0003"), QStringLiteral("Сажа"), QVariant()},
                {132, QStringLiteral("0132"), QStringLiteral("Разом"), 0.0}});
    TApolloTable tblCont(QStringLiteral("tblCont"));
    tblCont.setTableName(cont);
    tblCont.Open();

    const QString data = makeData({3, 132, 77});
    TApolloTable tblData(QStringLiteral("tblData"));
    tblData.setTableName(data);
    tblData.AddFloatField(QStringLiteral("CONTID"));
    TField* code = tblData.AddLookupField(QStringLiteral("CODE"), ftString, 5, &tblCont, QStringLiteral("CONTID"),
                                          QStringLiteral("CODE"), QStringLiteral("CONTID"));
    tblData.AddFloatField(QStringLiteral("POTEN"));
    TField* limit = tblData.AddLookupField(QStringLiteral("LIMIT"), ftFloat, 0, &tblCont, QStringLiteral("CONTID"),
                                           QStringLiteral("LIMIT"), QStringLiteral("CONTID"));
    limit->setReadOnly(true);
    tblData.Open();
    QCOMPARE(tblData.FieldCount(), 4);

    tblCont.setRecNo(2);
    QCOMPARE(code->AsString(), QStringLiteral("0003"));
    QVERIFY(limit->IsNull());  // blank in CONT
    tblData.Next();
    QCOMPARE(code->AsString(), QStringLiteral("0132"));
    QCOMPARE(limit->AsVariant(), QVariant(0.0));
    tblData.Next();
    QVERIFY(code->IsNull());  // 77 has no pollutant
    QVERIFY(limit->IsNull());
    QCOMPARE(tblData.FieldValueAt(1, code), QVariant(QStringLiteral("0003")));
    QCOMPARE(tblCont.RecNo(), 2);

    tblData.Edit();
    tblData.FieldByName(QStringLiteral("CONTID"))->setAsInteger(1);
    QCOMPARE(code->AsString(), QStringLiteral("0001"));
    QCOMPARE(limit->AsFloat(), 10.0);
    QVERIFY(!errorOf([&] { limit->setAsFloat(3.0); }).isEmpty());
    tblData.Post();
    QCOMPARE(rawRecord(data, 3).mid(1, 5), QByteArray("    1"));
    QCOMPARE(tblCont.RecNo(), 2);
}

// ---------------------------------------------------------------- locks

void TestApolloTable::editLockBetweenTwoTablesOnOneFile()
{
    const QString file = makeData({30, 5});
    TApolloTable first(QStringLiteral("tblFirst"));
    TApolloTable second(QStringLiteral("tblSecond"));
    first.setTableName(file);
    second.setTableName(file);
    first.Open();
    second.Open();

    first.Edit();
    first.FieldByName(QStringLiteral("POTEN"))->setAsFloat(99.0);
    const QString lockFailure = QStringLiteral("Record Lock Failure. May be locked by another user or task.");
    QCOMPARE(errorOf([&] { second.Edit(); }), lockFailure);
    QCOMPARE(second.State(), dsBrowse);
    QCOMPARE(second.LastErrorText(), lockFailure);
    // Another record is free.
    second.Next();
    second.Edit();
    second.Cancel();
    second.First();

    first.Post();
    second.Edit();  // the post released the lock; editing starts from the stored values
    QCOMPARE(second.FieldByName(QStringLiteral("POTEN"))->AsFloat(), 99.0);
    second.Cancel();
}

void TestApolloTable::editLockHeldByAnotherProcess()
{
    const QString file = makeData({30, 5});
    LockHolder holder;
    QVERIFY(holder.start(file, LockHolder::Record, 1));
    const QByteArray before = rawRecord(file, 1);

    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    table.Open();
    const QString lockFailure = QStringLiteral("Record Lock Failure. May be locked by another user or task.");
    QCOMPARE(errorOf([&] { table.Edit(); }), lockFailure);
    QCOMPARE(table.State(), dsBrowse);
    // Nor can it be deleted under its editor.
    QCOMPARE(errorOf([&] { table.Delete(); }), lockFailure);
    QCOMPARE(rawRecord(file, 1), before);
    QCOMPARE(table.Flock(), short(0));
    table.Next();
    table.Edit();  // the other record is free
    table.Cancel();
}

// Another program's passing locks (a record being edited, its whole-file lock
// with an append under it) never keep the table from opening; only its
// exclusive use does, and that is said at once.
void TestApolloTable::openBesideAnotherProgramsLocks_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("opens");
    QTest::newRow("record lock") << int(LockHolder::Record) << true;
    QTest::newRow("file lock") << int(LockHolder::File) << true;
    QTest::newRow("file lock and an append") << int(LockHolder::FileAndAppend) << true;
    QTest::newRow("exclusive use") << int(LockHolder::Exclusive) << false;
}

void TestApolloTable::openBesideAnotherProgramsLocks()
{
    QFETCH(int, kind);
    QFETCH(bool, opens);
    const QString file = makeData({30, 5});
    LockHolder holder;
    QVERIFY(holder.start(file, LockHolder::Kind(kind)));
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    if (opens) {
        table.Open();
        table.setRecNo(1);
        QCOMPARE(table.FieldByName(QStringLiteral("CONTID"))->AsInteger(), 30);
        return;
    }
    try {
        table.Open();
        QFAIL("opened a table another program uses exclusively");
    } catch (const EApolloError& e) {
        QCOMPARE(e.Kind, int(SX_ERR_LOCKED));
        QCOMPARE(e.Message,
                 QStringLiteral("Unable to open table: %1\rТаблицю заблокувала інша програма або інший "
                                "користувач: %1")
                     .arg(file));
    }
    QVERIFY(!table.Active());
}

// ---------------------------------------------------------------- errors

void TestApolloTable::everyErrorText()
{
    const QString data = makeData({30});
    const QString missing = path(QStringLiteral("NOSUCH.DBF"));
    const QString garbage = path(QStringLiteral("GARBAGE.DBF"));
    {
        QFile f(garbage);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("this is not a table");
    }
    const QChar cr(u'\r');

    TApolloTable open(QStringLiteral("tblOpen"));
    TApolloTable closed(QStringLiteral("tblClosed"));
    closed.setTableName(data);
    TApolloTable empty(QStringLiteral("tblEmpty"));
    const QString emptyFile = path(QStringLiteral("EMPTY.DBF"));
    createTable(emptyFile, kDataLayout);
    empty.setTableName(emptyFile);
    empty.Open();
    TApolloTable readOnly(QStringLiteral("tblReadOnly"));
    readOnly.setTableName(data);
    readOnly.setReadOnly(true);
    readOnly.Open();
    TApolloTable creating(QStringLiteral("tblCreate"));

    const struct {
        const char* name;
        std::function<void()> action;
        QString expected;
    } cases[] = {
        {"no table name", [&] { open.Open(); }, QStringLiteral("tblOpen : Missing TableName property")},
        {"missing file",
         [&] {
             open.setTableName(missing);
             open.Open();
         },
         QStringLiteral("Table does not exist.") + cr + QStringLiteral("File or directory does not exist.") + cr
             + QStringLiteral("File: ") + missing},
        {"not a table",
         [&] {
             open.setTableName(garbage);
             open.Open();
         },
         QStringLiteral("Unable to open table: ") + garbage + cr + QStringLiteral("Файл таблиці пошкоджено: ")
             + garbage},
        {"renaming an open table",
         [&] {
             open.setTableName(data);
             open.Open();
             open.setTableName(missing);
         },
         QStringLiteral("Cannot perform this operation on an open table")},
        {"index on a closed table", [&] { closed.Index(QStringLiteral("x.idx"), QStringLiteral("CONTID")); },
         QStringLiteral("Cannot perform this operation on a closed table")},
        {"index without a file name", [&] { open.Index(QString(), QStringLiteral("CONTID")); },
         QStringLiteral("Missing Parameter to Index Method: Index File Name")},
        {"index without an expression", [&] { open.Index(QStringLiteral("x.idx"), QString()); },
         QStringLiteral("Missing Parameter to Index or IndexTag Method: Index Expression")},
        {"invalid index expression", [&] { open.Index(QStringLiteral("x.idx"), QStringLiteral("CONTID +")); },
         QStringLiteral("Invalid index expression [CONTID +]")},
        {"missing index file", [&] { open.IndexOpen(path(QStringLiteral("none.idx"))); },
         QStringLiteral("Index file does not exist.") + cr + QStringLiteral("File: ")
             + path(QStringLiteral("none.idx"))},
        {"index opened on a closed table",
         [&] {
             open.Index(QStringLiteral("data.idx"), QStringLiteral("CONTID"));
             closed.IndexOpen(path(QStringLiteral("data.idx")));
         },
         QStringLiteral("Cannot perform this operation on a closed table")},
        {"field before CreateNew", [&] { creating.CreateField(QStringLiteral("A"), QStringLiteral("C"), 1, 0); },
         QStringLiteral("Must call CreateNew before CreateField")},
        {"exec before CreateNew", [&] { creating.CreateExec(); },
         QStringLiteral("Must call CreateNew before CreateExec")},
        {"field name with a digit first",
         [&] {
             creating.CreateNew(path(QStringLiteral("new.dbf")), 2, 1);
             creating.CreateField(QStringLiteral("1ABC"), QStringLiteral("C"), 1, 0);
         },
         QStringLiteral("Invalid field name. Field names must begin with a letter")},
        {"empty field name", [&] { creating.CreateField(QString(), QStringLiteral("C"), 1, 0); },
         QStringLiteral("Invalid field name. Field names must begin with a letter")},
        {"empty field type", [&] { creating.CreateField(QStringLiteral("A"), QString(), 1, 0); },
         QStringLiteral("Invalid field type")},
        {"zero width", [&] { creating.CreateField(QStringLiteral("A"), QStringLiteral("C"), 0, 0); },
         QStringLiteral("Invalid field length.")},
        {"invalid query", [&] { open.Query(QStringLiteral("CONTID +")); }, QStringLiteral("Invalid Query Expression")},
        {"delete on a read-only table", [&] { readOnly.Delete(); },
         QStringLiteral("Cannot modify a read-only data set")},
        {"delete on an empty table", [&] { empty.Delete(); },
         QStringLiteral("Cannot perform this operation on an empty table")},
        {"value out of bounds",
         [&] {
             open.Edit();
             open.FieldByName(QStringLiteral("CONTID"))->setAsInteger(123456);
             open.Post();
         },
         QStringLiteral("Translate error. Value out of bounds")},
    };
    for (const auto& c : cases) {
        const QString raised = errorOf(c.action);
        QVERIFY2(raised == c.expected, qPrintable(QStringLiteral("%1: got \"%2\"").arg(QLatin1String(c.name), raised)));
    }
    QCOMPARE(open.LastErrorText(), QStringLiteral("Translate error. Value out of bounds"));
    open.Cancel();
    QCOMPARE(rawRecord(data, 1).mid(1, 5), QByteArray("   30"));

    // Failures reported by result, not by exception.
    QCOMPARE(closed.Flock(), short(0));
    QCOMPARE(closed.Query(QStringLiteral("CONTID +")), short(0));
    closed.Unlock(0);
    QCOMPARE(creating.CreateNew(path(QStringLiteral("nofolder/x.dbf")), 2, 1), short(0));
}

void TestApolloTable::deleteMovesToTheNextVisibleRecord()
{
    const QString file = makeData({30, 5, 18});
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    table.Open();
    table.Index(QStringLiteral("data.idx"), QStringLiteral("CONTID"));  // 5(2) 18(3) 30(1)
    const TField* contId = table.FieldByName(QStringLiteral("CONTID"));

    table.First();
    table.Next();
    table.Delete();  // 18: the next one is 30
    QCOMPARE(contId->AsInteger(), 30);
    table.Delete();  // 30 was the last: the new last one
    QCOMPARE(contId->AsInteger(), 5);
    QVERIFY(!table.IsEmpty());
    table.Delete();  // nothing left
    QVERIFY(table.IsEmpty());
    QVERIFY(table.Bof() && table.Eof());
    QCOMPARE(table.RecNo(), 0);
    // The records stay in the file, marked deleted.
    QCOMPARE(headerRecordCount(file), 3);
    for (int r = 1; r <= 3; ++r)
        QCOMPARE(rawRecord(file, r).at(0), '*');

    // A posted record grows the file even when it is deleted afterwards.
    table.Append();
    table.FieldByName(QStringLiteral("CONTID"))->setAsInteger(7);
    table.Post();
    QCOMPARE(headerRecordCount(file), 4);
    QCOMPARE(table.RecNo(), 4);
    table.Delete();
    QCOMPARE(headerRecordCount(file), 4);
    QVERIFY(table.IsEmpty());

    // Editing on an empty table starts a new record.
    table.Edit();
    QCOMPARE(table.State(), dsInsert);
    table.Cancel();
    QVERIFY(table.IsEmpty());
}

// ---------------------------------------------------------------- events and links

void TestApolloTable::eventsInOrderAndSilentAbort()
{
    const QString file = makeData({30});
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    TDataSource source(QStringLiteral("dsData"));
    source.setDataSet(&table);
    QStringList log;
    const auto logger = [&log](const char* name) {
        return [&log, name](TApolloTable&) { log << QLatin1String(name); };
    };
    table.BeforeInsert.add(logger("BeforeInsert"));
    table.AfterInsert.add(logger("AfterInsert"));
    table.BeforeEdit.add(logger("BeforeEdit"));
    table.AfterEdit.add(logger("AfterEdit"));
    table.AfterPost.add(logger("AfterPost"));
    table.BeforeCancel.add(logger("BeforeCancel"));
    table.AfterCancel.add(logger("AfterCancel"));
    table.BeforeScroll.add(logger("BeforeScroll"));
    table.AfterScroll.add(logger("AfterScroll"));
    source.OnStateChange.add([&log](TDataSource& s) { log << QStringLiteral("State%1").arg(s.State()); });
    table.OnNewRecord.add([&log](TApolloTable& t) {
        log << QStringLiteral("OnNewRecord");
        t.FieldByName(QStringLiteral("CONTID"))->setAsInteger(1);
    });
    table.BeforePost.add([&log](TApolloTable& t) {
        log << QStringLiteral("BeforePost");
        if (t.FieldByName(QStringLiteral("CONTID"))->IsNull())
            Abort();
    });
    table.Open();
    log.clear();

    table.Insert();
    QCOMPARE(log,
             (QStringList{u"BeforeInsert"_qs, u"BeforeScroll"_qs, u"State3"_qs, u"OnNewRecord"_qs, u"AfterInsert"_qs,
                          u"AfterScroll"_qs}));
    QVERIFY(!table.Modified());  // the new record's defaults are no change of the user's
    log.clear();
    table.Next();  // an untouched new record is given up by a move
    QCOMPARE(table.State(), dsBrowse);
    QCOMPARE(headerRecordCount(file), 1);
    QCOMPARE(log.first(), QStringLiteral("BeforeCancel"));

    table.Insert();
    table.FieldByName(QStringLiteral("CONTID"))->Clear();
    log.clear();
    bool aborted = false;
    try {
        table.Post();
    } catch (const EAbort&) {
        aborted = true;
    }
    QVERIFY(aborted);
    QCOMPARE(log, QStringList{u"BeforePost"_qs});
    QCOMPARE(table.State(), dsInsert);
    QCOMPARE(headerRecordCount(file), 1);
    // A move that would post the changed record is refused too.
    QVERIFY_THROWS_EXCEPTION(EAbort, table.First());
    QCOMPARE(table.State(), dsInsert);

    table.FieldByName(QStringLiteral("CONTID"))->setAsInteger(5);
    log.clear();
    table.Post();
    QCOMPARE(log, (QStringList{u"BeforePost"_qs, u"State1"_qs, u"AfterPost"_qs}));
    QCOMPARE(headerRecordCount(file), 2);
    QCOMPARE(table.RecNo(), 2);

    log.clear();
    table.Edit();
    table.Cancel();
    QCOMPARE(log,
             (QStringList{u"BeforeEdit"_qs, u"State2"_qs, u"AfterEdit"_qs, u"BeforeCancel"_qs, u"State1"_qs,
                          u"AfterCancel"_qs}));
}

// A second listener never replaces the first: the data module's rules and
// a window's or a test's handler run side by side, in the order added.
void TestApolloTable::eventsKeepEveryListener()
{
    const QString file = makeData({30});
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    QStringList log;
    const int rule = table.BeforePost.add([&log](TApolloTable& t) {
        log << QStringLiteral("rule");
        if (t.FieldByName(QStringLiteral("CONTID"))->IsNull())
            Abort();
    });
    table.BeforePost.add([&log](TApolloTable&) { log << QStringLiteral("window"); });
    int selfRemoving = 0;
    selfRemoving = table.AfterPost.add([&](TApolloTable& t) {
        log << QStringLiteral("once");
        t.AfterPost.remove(selfRemoving);
    });
    table.AfterPost.add([&log](TApolloTable&) { log << QStringLiteral("after"); });
    QCOMPARE(table.BeforePost.listenerCount(), 2);
    table.Open();

    // A listener that aborts ends the event: the ones after it are not called.
    table.Insert();
    QVERIFY_THROWS_EXCEPTION(EAbort, table.Post());
    QCOMPARE(log, QStringList{u"rule"_qs});
    QCOMPARE(table.State(), dsInsert);

    // A listener removing itself mid-event: the others of that event still run.
    log.clear();
    table.FieldByName(QStringLiteral("CONTID"))->setAsInteger(5);
    table.Post();
    QCOMPARE(log, (QStringList{u"rule"_qs, u"window"_qs, u"once"_qs, u"after"_qs}));
    QCOMPARE(table.AfterPost.listenerCount(), 1);

    log.clear();
    table.BeforePost.remove(rule);
    table.Edit();
    table.Post();
    QCOMPARE(log, (QStringList{u"window"_qs, u"after"_qs}));

    // A field's validation the same way: a refusal by the first ends it and
    // the field keeps its value.
    TField* contId = table.FieldByName(QStringLiteral("CONTID"));
    contId->OnValidate.add([&log](TField& f) {
        log << QStringLiteral("rule");
        if (f.AsInteger() > 100)
            throw EDatabaseError(QStringLiteral("too big"));
    });
    contId->OnValidate.add([&log](TField&) { log << QStringLiteral("window"); });
    log.clear();
    table.Edit();
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, contId->setAsInteger(500));
    QCOMPARE(contId->AsInteger(), 5);
    contId->setAsInteger(7);
    QCOMPARE(log, (QStringList{u"rule"_qs, u"rule"_qs, u"window"_qs}));
    table.Cancel();
}

namespace {

// A bound control: holds a typed text until the table asks for it.
class FakeEdit : public TDataLink {
public:
    QString pending;
    QStringList log;
    bool sawUpdating = false;

protected:
    void ActiveChanged() override { log << QStringLiteral("Active"); }
    void EditingChanged() override { log << QStringLiteral("Editing"); }
    void RecordChanged(TField* field) override
    {
        log << (field ? QStringLiteral("Field:") + field->FieldName() : QStringLiteral("Record"));
    }
    void UpdateData() override
    {
        sawUpdating = Updating();
        if (!pending.isEmpty()) {
            DataSet()->FieldByName(QStringLiteral("POTEN"))->setAsString(pending);
            pending.clear();
        }
    }
};

}  // namespace

void TestApolloTable::dataLinksCommitBeforeTheRecordIsEncoded()
{
    const QString file = path(QStringLiteral("DATA.DBF"));
    createTable(file, kDataLayout);
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    TDataSource source(QStringLiteral("dsData"));
    source.setDataSet(&table);
    FakeEdit edit;
    edit.setDataSource(&source);
    table.Open();
    QCOMPARE(edit.log.first(), QStringLiteral("Active"));

    // The first change through a control on an empty table starts a record.
    source.setAutoEdit(false);
    QVERIFY(!edit.Edit());
    QCOMPARE(table.State(), dsBrowse);
    source.setAutoEdit(true);
    QVERIFY(edit.Edit());
    QCOMPARE(table.State(), dsInsert);
    table.FieldByName(QStringLiteral("CONTID"))->setAsInteger(5);
    edit.pending = QStringLiteral("12");
    edit.log.clear();
    table.Post();
    QVERIFY(edit.sawUpdating);
    QCOMPARE(rawRecord(file, 1).mid(6, 18), QByteArray("        12.0000000"));
    QVERIFY(edit.log.contains(QStringLiteral("Field:POTEN")));
    QVERIFY(edit.log.contains(QStringLiteral("Editing")));
    QVERIFY(!edit.Editing());

    // A move commits the control too, and posts the change.
    edit.Edit();
    edit.pending = QStringLiteral("3");
    table.First();
    QCOMPARE(table.State(), dsBrowse);
    QCOMPARE(rawRecord(file, 1).mid(6, 18), QByteArray("         3.0000000"));

    table.Close();
    QCOMPARE(edit.log.last(), QStringLiteral("Active"));
    QVERIFY(!edit.Active());
}

// ---------------------------------------------------------------- files

void TestApolloTable::fileNamesMatchWithoutLetterCase()
{
    createTable(path(QStringLiteral("ATTR.DBF")), {{QStringLiteral("enname"), 'C', 10, 0}});
    appendRows(path(QStringLiteral("ATTR.DBF")), {{QStringLiteral("Завод")}});
    for (const QString& name : {u"attr.dbf"_qs, u"Attr.Dbf"_qs, u"attr"_qs}) {
        TApolloTable table(QStringLiteral("tblAttr"));
        table.setTableName(path(name));
        table.Open();
        QCOMPARE(table.FieldByName(QStringLiteral("ENNAME"))->AsString(), QStringLiteral("Завод"));
    }
    // A bare name is found in DatabaseName.
    TApolloTable bare(QStringLiteral("tblAttr"));
    bare.setDatabaseName(m_dir->path());
    bare.setTableName(QStringLiteral("Attr"));
    bare.Open();
    QVERIFY(bare.Active());
    bare.Close();

    // Creating "attr.dbf" means the existing ATTR.DBF: neither a second file
    // beside it nor a new one in its place (its record stays).
    TApolloTable creating(QStringLiteral("tblAttr"));
    QVERIFY(creating.CreateNew(path(QStringLiteral("attr.dbf")), 2, 1) != 0);
    creating.CreateField(QStringLiteral("enname"), QStringLiteral("C"), 20, 0);
    QCOMPARE(creating.CreateExec(), short(0));
    QCOMPARE(creating.LastErrorKind(), int(SX_ERR_EXISTS));
    QCOMPARE(creating.LastErrorText(), QStringLiteral("Файл уже існує: ") + path(QStringLiteral("ATTR.DBF")));
    QCOMPARE(filesIn(m_dir->path()), QStringList{u"ATTR.DBF"_qs});
    QCOMPARE(headerRecordCount(path(QStringLiteral("ATTR.DBF"))), 1);

    // A new file gets the spelling given; an index named in small letters
    // answers for the one already there in capitals.
    const QString data = path(QStringLiteral("data.dbf"));
    createTable(data, kDataLayout);
    QVERIFY(QFileInfo::exists(data));
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(data);
    table.Open();
    QVERIFY(table.Index(QStringLiteral("DATA.IDX"), QStringLiteral("CONTID")) != 0);
    QVERIFY(table.Index(QStringLiteral("data.idx"), QStringLiteral("CONTID")) != 0);
    table.IndexClose();
    QVERIFY(table.IndexOpen(path(QStringLiteral("Data.Idx"))) != 0);
    QCOMPARE(filesIn(m_dir->path()), (QStringList{u"ATTR.DBF"_qs, u"DATA.IDX"_qs, u"data.dbf"_qs}));
}

void TestApolloTable::aliasesAreDerivedAndKeptUnique()
{
    const QString data = makeData({1});
    const QString longName = path(QStringLiteral("verylongname.dbf"));
    const QString odd = path(QStringLiteral("x2-data.dbf"));
    QVERIFY(QFile::copy(data, longName));
    QVERIFY(QFile::copy(data, odd));
    TApolloTable a(QStringLiteral("a")), b(QStringLiteral("b")), c(QStringLiteral("c")), e(QStringLiteral("e")),
        f(QStringLiteral("f"));
    for (auto [table, file] : {std::pair{&a, data}, std::pair{&b, data}, std::pair{&c, longName},
                               std::pair{&e, longName}, std::pair{&f, odd}}) {
        table->setTableName(file);
        table->Open();
    }
    QCOMPARE(a.Alias(), QStringLiteral("DATA"));
    QCOMPARE(b.Alias(), QStringLiteral("DATA1"));
    QCOMPARE(c.Alias(), QStringLiteral("VERYLONG"));
    QCOMPARE(e.Alias(), QStringLiteral("VERYLON1"));
    QCOMPARE(f.Alias(), QStringLiteral("X__DATA"));
    // Each table keeps its own position although the engine has one current area.
    a.First();
    b.Append();
    b.FieldByName(QStringLiteral("CONTID"))->setAsInteger(2);
    b.Post();
    QCOMPARE(a.RecNo(), 1);
    QCOMPARE(b.RecNo(), 2);
}

void TestApolloTable::refreshShowsWhatOthersWrote()
{
    const QString file = makeData({30, 5});
    TApolloTable reader(QStringLiteral("tblReader"));
    reader.setTableName(file);
    reader.Open();
    reader.Query(QStringLiteral("CONTID = 5"));
    QCOMPARE(reader.VisibleRecNos(), QVector<qint32>{2});

    TApolloTable writer(QStringLiteral("tblWriter"));
    writer.setTableName(file);
    writer.Open();
    writer.Append();
    writer.FieldByName(QStringLiteral("CONTID"))->setAsInteger(5);
    writer.Post();
    writer.First();
    writer.Next();
    writer.Edit();
    writer.FieldByName(QStringLiteral("POTEN"))->setAsFloat(42.0);
    writer.Post();

    reader.Refresh();
    QCOMPARE(reader.VisibleRecNos(), (QVector<qint32>{2, 3}));
    QCOMPARE(reader.RecNo(), 2);
    QCOMPARE(reader.FieldByName(QStringLiteral("POTEN"))->AsFloat(), 42.0);
}

// A write the medium refuses, or a lock another program holds, reaches the
// caller as the program's own words naming the file; nothing is half done.
void TestApolloTable::engineFailuresReachTheCallerInOurWords_data()
{
    QTest::addColumn<QString>("operation");  // append, edit, delete
    QTest::addColumn<QString>("cause");      // full disk, file lock
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("message");  // %1: the table's path

    const QString full = QStringLiteral("Недостатньо місця на диску для запису файлу: %1");
    QTest::newRow("append on a full disk") << "append"
                                           << "full disk" << int(SX_ERR_DISK_FULL) << full;
    QTest::newRow("edit on a full disk") << "edit"
                                         << "full disk" << int(SX_ERR_DISK_FULL) << full;
    QTest::newRow("delete on a full disk") << "delete"
                                           << "full disk" << int(SX_ERR_DISK_FULL) << full;
    QTest::newRow("append under another program's file lock")
        << "append"
        << "file lock" << int(SX_ERR_LOCKED) << "Таблицю заблокувала інша програма або інший користувач: %1";
}

void TestApolloTable::engineFailuresReachTheCallerInOurWords()
{
    QFETCH(QString, operation);
    QFETCH(QString, cause);
    QFETCH(int, kind);
    QFETCH(QString, message);

    const QString file = makeData({5, 18, 132});
    const QByteArray before = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    table.Open();
    table.setRecNo(2);
    if (operation == u"append") {
        table.Append();
        table.FieldByName(QStringLiteral("CONTID"))->setAsInteger(40);
    } else if (operation == u"edit") {
        table.Edit();
        table.FieldByName(QStringLiteral("POTEN"))->setAsFloat(9.5);
    }

    std::unique_ptr<FileSizeLimit> limit;
    LockHolder holder;
    if (cause == u"full disk") {
        // Appends fail at the end of the file, changes in place past the header.
        const qsizetype end = before.endsWith('\x1a') ? before.size() - 1 : before.size();
        limit = std::make_unique<FileSizeLimit>(operation == u"append" ? rlim_t(end) : rlim_t(100));
        QVERIFY(limit->ok());
    } else {
        QVERIFY(holder.start(file, LockHolder::File));
    }
    try {
        operation == u"delete" ? table.Delete() : table.Post();
        QFAIL("the failed write was reported as success");
    } catch (const EApolloError& e) {
        QCOMPARE(e.Message, message.arg(file));
        QCOMPARE(e.Kind, kind);
        QVERIFY(!e.Detail.isEmpty());
    }
    limit.reset();
    QCOMPARE(table.LastErrorText(), message.arg(file));
    QCOMPARE(table.LastErrorKind(), kind);
    // Nothing reached the file; the edit is still there to retry or give up.
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    QCOMPARE(table.State(), operation == u"append" ? dsInsert : operation == u"edit" ? dsEdit : dsBrowse);
    table.Cancel();
    QCOMPARE(table.RecNo(), 2);
    QCOMPARE(contIdsInOrder(table), (QVector<int>{5, 18, 132}));
}

// A table cut short by a copy is refused, and the message says how many
// records its header counts that the file no longer holds.
void TestApolloTable::truncatedTableSaysHowManyRecordsAreMissing()
{
    const QString file = makeData({1, 2, 3, 4, 5});
    const int header = 32 + 3 * 32 + 1;
    const int record = 1 + 5 + 18 + 18;
    QVERIFY(::truncate(QFile::encodeName(file).constData(), header + 2 * record + 10) == 0);
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    try {
        table.Open();
        QFAIL("a truncated table was opened without a word");
    } catch (const EApolloError& e) {
        QCOMPARE(e.Message,
                 QStringLiteral("Unable to open table: %1\rФайл таблиці коротший, ніж записано в його "
                                "заголовку: бракує 3 записів. Відновіть таблицю з резервної копії.")
                     .arg(file));
        QCOMPARE(e.Kind, int(SX_ERR_CORRUPT));
    }
    QVERIFY(!table.Active());
}

// Post, Cancel and Delete give up their record's lock, never a file lock
// the table holds for a longer pass (the group totals).
void TestApolloTable::fileLockOutlivesThePostsMadeUnderIt()
{
    const QString file = makeData({5, 18});
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    table.Open();
    TApolloTable other(QStringLiteral("tblOther"));
    other.setTableName(file);
    other.Open();
    QVERIFY(table.Flock() != 0);
    table.Append();
    table.FieldByName(QStringLiteral("CONTID"))->setAsInteger(40);
    table.Post();
    table.Edit();
    table.FieldByName(QStringLiteral("FACT"))->setAsFloat(1.0);
    table.Post();
    table.Edit();
    table.Cancel();
    table.Delete();
    QVERIFY(table.FileLocked());
    QCOMPARE(other.Flock(), short(0));
    table.Unlock(0);
    QVERIFY(!table.FileLocked());
    QVERIFY(other.Flock() != 0);
    other.Unlock(0);
}

STORE_TEST_MAIN(TestApolloTable)
#include "tst_apollotable.moc"
