// TApolloTable over the real engine: the program's queries and the records
// they leave visible, and look-ups of a reference table, with an index and
// without, and through look-up fields.

#include <QtTest>

#include "store/apollotable.h"
#include "store/tests/support/storetestsupport.h"

using namespace emlo;

using namespace storetest;

class TestTableQueries : public storetest::TableTest {
    Q_OBJECT

private slots:
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
};

void TestTableQueries::programQueries_data()
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

void TestTableQueries::programQueries()
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

void TestTableQueries::emptyQueryRemovesTheFilter_data()
{
    QTest::addColumn<QString>("empty");
    QTest::newRow("empty text") << QString();
    QTest::newRow("one NUL character") << QString(QChar(u'\0'));
    QTest::newRow("text after a NUL is not seen") << (QString(QChar(u'\0')) + QStringLiteral("CONTID = 5"));
}

void TestTableQueries::emptyQueryRemovesTheFilter()
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

void TestTableQueries::invalidQueryIsRefused_data()
{
    QTest::addColumn<QString>("expression");
    QTest::newRow("syntax error") << QStringLiteral("CONTID +");
    QTest::newRow("numeric, not logical") << QStringLiteral("CONTID + 1");
    QTest::newRow("unknown field") << QStringLiteral("NOSUCH = 1");
    QTest::newRow("unclosed parenthesis") << QStringLiteral("(CONTID = 1");
}

void TestTableQueries::invalidQueryIsRefused()
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

void TestTableQueries::regionPrefixQueryLandsOnTheSmallestCode()
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

void TestTableQueries::lookupWithIndexSeeksWithoutMoving()
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

void TestTableQueries::lookupWithoutIndexMovesToTheRecord()
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

void TestTableQueries::lookupFieldsFollowTheKeyWithoutMovingTheReferenceTable()
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

STORE_TEST_MAIN(TestTableQueries)

#include "tst_tablequeries.moc"
