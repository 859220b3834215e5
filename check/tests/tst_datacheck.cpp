// The data check over real tables: remark rules, the repeat rule in any
// order, and the group totals.
#include <QtTest>

#include "check/datacheck.h"
#include "store/apollotable.h"
#include "store/errors.h"
#include "check/tests/support/checkfixture.h"

using namespace emlo;
using namespace emlo::testing;

namespace {

const QStringList kNumericAttr = {QStringLiteral("OBL_ID"), QStringLiteral("REGN_ID"), QStringLiteral("CITY_ID"),
                                  QStringLiteral("X1"),     QStringLiteral("X2"),      QStringLiteral("X3"),
                                  QStringLiteral("Y1"),     QStringLiteral("Y2"),      QStringLiteral("Y3")};

// The full attribute record changed by "FIELD=value" (a blank field for
// "FIELD" alone).
QMap<QString, QVariant> attrWith(const QStringList& overrides)
{
    QMap<QString, QVariant> values = CheckFixture::FullAttr();
    for (const QString& item : overrides) {
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        if (eq < 0) {
            values.remove(item);
            continue;
        }
        const QString name = item.left(eq);
        const QString value = item.mid(eq + 1);
        values[name] = kNumericAttr.contains(name) ? NumberOrNull(value) : QVariant(value);
    }
    return values;
}

QStringList rowsText(const RemarkList& rows)
{
    QStringList lines;
    for (const Remark& row : rows)
        lines << QStringLiteral("%1|%2|%3|%4")
                     .arg(row.Description, row.SectionText)
                     .arg(row.Data.Section)
                     .arg(row.Data.Target);
    return lines;
}

QStringList dataText(const QList<DataRow>& rows)
{
    QStringList lines;
    for (const DataRow& row : rows)
        lines << RowText(row);
    return lines;
}

}  // namespace

class TestDataCheck : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<CheckFixture> fx;

    void addRecords(const QStringList& records)
    {
        for (const QString& line : records) {
            const QStringList cells = line.split(QLatin1Char(';'));
            const qint32 recNo =
                fx->AddData(NumberOrNull(cells.value(0)), NumberOrNull(cells.value(1)), NumberOrNull(cells.value(2)));
            if (cells.value(3) == QLatin1String("*"))
                fx->DeleteData(recNo);
        }
    }

    DataCheck check() { return DataCheck(*fx->Data().tblAttr, *fx->Data().tblData); }

private slots:
    void init()
    {
        QLocale::setDefault(QLocale::c());
        fx = std::make_unique<CheckFixture>();
        QVERIFY(fx->IsValid());
        fx->Open();
        QCOMPARE(fx->Reporter().Errors, QStringList());
    }

    void cleanup() { fx.reset(); }

    void fieldIsEmptyTreatsNullAndBlanksAsEmptyButNotZero()
    {
        TApolloTable& attr = *fx->Data().tblAttr;
        fx->WriteAttr({{QStringLiteral("ENNAME"), QStringLiteral(" \t ")},
                       {QStringLiteral("EDRPOU"), QStringLiteral(" 1 ")},
                       {QStringLiteral("X1"), 0},
                       {QStringLiteral("OBL_ID"), 0.0}});
        QVERIFY(FieldIsEmpty(attr.FieldByName(QStringLiteral("ENNAME"))));
        QVERIFY(!FieldIsEmpty(attr.FieldByName(QStringLiteral("EDRPOU"))));
        QVERIFY(!FieldIsEmpty(attr.FieldByName(QStringLiteral("X1"))));
        QVERIFY(!FieldIsEmpty(attr.FieldByName(QStringLiteral("OBL_ID"))));
        QVERIFY(FieldIsEmpty(attr.FieldByName(QStringLiteral("X2"))));      // null number
        QVERIFY(FieldIsEmpty(attr.FieldByName(QStringLiteral("KFV_ID"))));  // blank text
        QVERIFY(FieldIsEmpty(nullptr));
    }

    void remarks_data()
    {
        QTest::addColumn<QStringList>("attr");      // overrides of the full record; "-": no record
        QTest::addColumn<QStringList>("records");   // "CONTID;POTEN;FACT[;*]", "*" deleted
        QTest::addColumn<QStringList>("expected");  // "description|section text|section|target"

        QTest::newRow("everything filled")
            << QStringList() << QStringList{"1;1.5;0", "5;2;3"} << QStringList{"Все гаразд||100|0"};
        QTest::newRow("empty emission table") << QStringList() << QStringList() << QStringList{"Все гаразд||100|0"};
        QTest::newRow("EDRPOU of three blanks") << QStringList{"EDRPOU=   "} << QStringList{"1;1;1"}
                                                << QStringList{"Не вказаний код ЄДРПОУ підприємства|Реквізити|0|1"};
        QTest::newRow("name of control characters only") << QStringList{"ENNAME=\t\r\n"} << QStringList()
                                                         << QStringList{"Не вказана назва підприємства|Реквізити|0|5"};
        QTest::newRow("coordinates of 0 are filled")
            << QStringList{"X1=0", "X2=0", "Y3=0"} << QStringList() << QStringList{"Все гаразд||100|0"};
        QTest::newRow("five parts of the location, all to cbCityDescr")
            << QStringList{"OBL_DESCR", "OBL_ID", "REGN_DESCR", "REGN_ID", "CITY_DESCR"} << QStringList()
            << QStringList{"Не вказана назва області|Статистичні коди|1|7",
                           "Не вказан код області|Статистичні коди|1|7", "Не вказана назва району|Статистичні коди|1|7",
                           "Не вказан код району|Статистичні коди|1|7",
                           "Не вказана назва населеного пункту|Статистичні коди|1|7"};
        QTest::newRow("no attribute record: every rule in order")
            << QStringList{"-"} << QStringList()
            << QStringList{"Не вказана назва підприємства|Реквізити|0|5",
                           "Не вказаний код ЄДРПОУ підприємства|Реквізити|0|1",
                           "Не вказана адреса підприємства|Реквізити|0|2",
                           "Не вказаний телефон підприємства|Реквізити|0|6",
                           "Не вказан керівник підприємства|Реквізити|0|4",
                           "Не вказане ім''я керівника підприємства|Реквізити|0|3",
                           "Не вказана назва області|Статистичні коди|1|7",
                           "Не вказан код області|Статистичні коди|1|7",
                           "Не вказана назва району|Статистичні коди|1|7",
                           "Не вказан код району|Статистичні коди|1|7",
                           "Не вказана назва населеного пункту|Статистичні коди|1|7",
                           "Не вказан код населеного пункту|Статистичні коди|1|8",
                           "Не вказана відомча підпорядкованість|Статистичні коди|1|13",
                           "Не вказан код відомчої підпорядкованісті|Статистичні коди|1|13",
                           "Не вказана назва виду економічної діяльності|Статистичні коди|1|10",
                           "Не вказан код виду економічної діяльності|Статистичні коди|1|10",
                           "Не вказана форма власності|Статистичні коди|1|9",
                           "Не вказан код форми власності|Статистичні коди|1|9",
                           "Не вказані градуси широти підприємства|Реквізити|0|14",
                           "Не вказані мінути широти підприємства|Реквізити|0|15",
                           "Не вказані секунди широти підприємства|Реквізити|0|16",
                           "Не вказані градуси довготи підприємства|Реквізити|0|17",
                           "Не вказані мінути довготи підприємства|Реквізити|0|18",
                           "Не вказані секунди довготи підприємства|Реквізити|0|19"};
        QTest::newRow("record without either amount: two remarks together")
            << QStringList() << QStringList{"1;1;1", "5;;", "7;2;2"}
            << QStringList{"Не вказан потенційний обсяг викидів|Викиди|2|2",
                           "Не вказан фактичній обсяг викидів|Викиди|2|2"};
        QTest::newRow("record without pollutant")
            << QStringList() << QStringList{";1;1"} << QStringList{"Не вказана забруднююча речовина|Викиди|2|1"};
        QTest::newRow("zero amounts are filled")
            << QStringList() << QStringList{"5;0;0"} << QStringList{"Все гаразд||100|0"};
        // CONTID order: 5 (1), 5 (2), 5 (4), 7 (3); repeats come after every
        // remark of the first pass.
        QTest::newRow("three records of one pollutant")
            << QStringList() << QStringList{"5;1;1", "5;;1", "7;1;", "5;1;1"}
            << QStringList{
                   "Не вказан потенційний обсяг викидів|Викиди|2|2", "Не вказан фактичній обсяг викидів|Викиди|2|3",
                   "Забруднююча речовина вже вказана|Викиди|2|2", "Забруднююча речовина вже вказана|Викиди|2|4"};
        QTest::newRow("record without pollutant between repeats")
            << QStringList() << QStringList{"5;1;1", ";1;1", "5;1;1"}
            << QStringList{"Не вказана забруднююча речовина|Викиди|2|2", "Забруднююча речовина вже вказана|Викиди|2|3"};
        QTest::newRow("deleted records are not examined")
            << QStringList() << QStringList{"5;1;1", "5;;;*", ";;;*"} << QStringList{"Все гаразд||100|0"};
        QTest::newRow("attribute and emission remarks in one report")
            << QStringList{"ENPHONE", "Y1"} << QStringList{"2;;1", "2;1;1"}
            << QStringList{"Не вказаний телефон підприємства|Реквізити|0|6",
                           "Не вказані градуси довготи підприємства|Реквізити|0|17",
                           "Не вказан потенційний обсяг викидів|Викиди|2|1",
                           "Забруднююча речовина вже вказана|Викиди|2|2"};
    }

    void remarks()
    {
        QFETCH(QStringList, attr);
        QFETCH(QStringList, records);
        QFETCH(QStringList, expected);

        if (attr != QStringList{QStringLiteral("-")})
            fx->WriteAttr(attrWith(attr));
        addRecords(records);

        RemarkList rows;
        const bool clean = check().CheckData(&rows);
        QCOMPARE(rowsText(rows), expected);
        QCOMPARE(clean, expected == QStringList{QStringLiteral("Все гаразд||100|0")});
    }

    // With DATA in record order (no index could be built), comparing with the
    // neighbour alone would miss repeats that are not adjacent.
    void repeatsFoundInRecordOrder_data()
    {
        QTest::addColumn<bool>("indexed");
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QList<qint32>>("repeated");

        QTest::newRow("index: 5 5 7") << true << QStringList{"5;1;1", "7;1;1", "5;1;1"} << QList<qint32>{3};
        QTest::newRow("record order: 5 7 5") << false << QStringList{"5;1;1", "7;1;1", "5;1;1"} << QList<qint32>{3};
        QTest::newRow("record order: 7 5 7 5")
            << false << QStringList{"7;1;1", "5;1;1", "7;1;1", "5;1;1"} << QList<qint32>{3, 4};
        QTest::newRow("record order: adjacent 5 5") << false << QStringList{"5;1;1", "5;1;1"} << QList<qint32>{2};
        QTest::newRow("record order: all different")
            << false << QStringList{"9;1;1", "2;1;1", "5;1;1"} << QList<qint32>{};
    }

    void repeatsFoundInRecordOrder()
    {
        QFETCH(bool, indexed);
        QFETCH(QStringList, records);
        QFETCH(QList<qint32>, repeated);

        fx->WriteAttr(CheckFixture::FullAttr());
        addRecords(records);
        if (!indexed)
            fx->Data().tblData->IndexClose();

        RemarkList rows;
        check().CheckData(&rows);
        QList<qint32> targets;
        for (const Remark& row : rows) {
            if (row.Description == QStringLiteral("Забруднююча речовина вже вказана"))
                targets << row.Data.Target;
        }
        QCOMPARE(targets, repeated);
    }

    void currentRecordIsKeptAndPendingEditPosted()
    {
        fx->WriteAttr(CheckFixture::FullAttr());
        addRecords({"5;1;1", "7;1;1", "9;1;1"});
        TApolloTable& data = *fx->Data().tblData;
        data.setRecNo(2);
        data.Edit();
        data.FieldByName(QStringLiteral("FACT"))->Clear();

        RemarkList rows;
        QVERIFY(!check().CheckData(&rows));
        QCOMPARE(rowsText(rows), QStringList{"Не вказан фактичній обсяг викидів|Викиди|2|2"});
        QCOMPARE(data.State(), dsBrowse);
        QCOMPARE(data.RecNo(), 2);
        QVERIFY(data.FieldByName(QStringLiteral("FACT"))->IsNull());
    }

    void groupTotalIsSumOfGroup()
    {
        fx->WriteAttr(CheckFixture::FullAttr());
        addRecords({"1;1.5;0", "2;2.25;0"});
        QVERIFY(check().CheckData());
        QCOMPARE(dataText(fx->DataRows()), (QStringList{"1;1.5;0", "2;2.25;0", "132;3.75;0"}));

        // Once the members fall to zero, the next clean check deletes the total.
        fx->SetAmounts(1, 0.0, 0.0);
        fx->SetAmounts(2, 0.0, 0.0);
        QVERIFY(check().CheckData());
        QCOMPARE(dataText(fx->DataRows()), (QStringList{"1;0;0", "2;0;0"}));
    }

    void groupTotalDeletedWhenMembersRemoved()
    {
        fx->WriteAttr(CheckFixture::FullAttr());
        addRecords({"3;1;1"});
        QVERIFY(check().CheckData());
        QCOMPARE(dataText(fx->DataRows()), (QStringList{"3;1;1", "132;1;1"}));
        fx->DeleteData(1);
        QVERIFY(check().CheckData());
        QCOMPARE(dataText(fx->DataRows()), QStringList());
    }

    void subtractedGroupMayGoNegative()
    {
        fx->WriteAttr(CheckFixture::FullAttr());
        addRecords({"21;5;0", "19;7;0"});
        QVERIFY(check().CheckData());
        QCOMPARE(dataText(fx->DataRows()), (QStringList{"18;-2;0", "19;7;0", "21;5;0"}));
    }

    void zeroPotentialWithActualKeepsTotal()
    {
        fx->WriteAttr(CheckFixture::FullAttr());
        // 135 already holds stale amounts; 30 and 31 sum to potential 0.
        addRecords({"30;2;1.5", "31;-2;0", "135;9;9"});
        QVERIFY(check().CheckData());
        QCOMPARE(dataText(fx->DataRows()), (QStringList{"30;2;1.5", "31;-2;0", "135;0;1.5"}));
        // The total was edited in place, not appended again.
        QCOMPARE(fx->DataRows().last().RecNo, 3);
    }

    void tinySumIsNotZero()
    {
        fx->WriteAttr(CheckFixture::FullAttr());
        addRecords({"12;0.0000001;0"});
        QVERIFY(check().CheckData());
        QCOMPARE(dataText(fx->DataRows()), (QStringList{"12;1e-07;0", "133;1e-07;0"}));
    }

    // Every pollutant id 1..138 but the totals, potential 1 and actual 0.5:
    // each total counts its group's members, so a wrong bound shows.
    void everyGroupHasItsMembers()
    {
        fx->WriteAttr(CheckFixture::FullAttr());
        for (int id = 1; id <= 138; ++id) {
            if (!IsGroupTotalId(id))
                fx->AddData(id, 1.0, 0.5);
        }
        QVERIFY(check().CheckData());
        QMap<int, QString> totals;
        for (const DataRow& row : fx->DataRows()) {
            const int id = row.ContId.toInt();
            if (IsGroupTotalId(id))
                totals.insert(id, RowText(row));
        }
        const QMap<int, QString> expected = {
            {132, "132;11;5.5"},  // 1..11
            {133, "133;6;3"},     // 12..17
            {18, "18;1;0.5"},     // 21, 22, 134 less 19, 20
            {135, "135;2;1"},     // 30, 31
            {34, "34;6;3"},       // 35..39, 136
            {40, "40;52;26"},     // 41..63, 65..77, 79..93, 137
            {95, "95;21;10.5"},   // 96..115, 138
        };
        QCOMPARE(totals, expected);
    }

    void checkWithRemarksChangesNoTotal()
    {
        fx->WriteAttr(attrWith({QStringLiteral("ENNAME")}));
        addRecords({"1;5;5", "132;1;1"});
        const QStringList before = dataText(fx->DataRows());
        QVERIFY(!check().CheckData());
        QCOMPARE(dataText(fx->DataRows()), before);
    }

    void queryClearedAndRecordRestoredAfterTotals()
    {
        fx->WriteAttr(CheckFixture::FullAttr());
        addRecords({"5;1;1", "40;1;1", "50;1;1", "90;1;1"});
        TApolloTable& data = *fx->Data().tblData;
        data.setRecNo(3);
        QVERIFY(check().CheckData());
        QCOMPARE(data.QueryExpression(), QString());
        QCOMPARE(data.RecNo(), 3);
        QCOMPARE(fx->DataRows().size(), 5);
    }

    void deletedCurrentTotalLeavesNextRecordCurrent()
    {
        fx->WriteAttr(CheckFixture::FullAttr());
        addRecords({"5;0;0", "132;4;4", "200;1;1"});
        TApolloTable& data = *fx->Data().tblData;
        data.setRecNo(2);
        QVERIFY(check().CheckData());
        QCOMPARE(dataText(fx->DataRows()), (QStringList{"5;0;0", "200;1;1"}));
        QCOMPARE(data.RecNo(), 3);
    }

    // A sum too wide for N(18,7) cannot be stored: the error passes through,
    // and still the query is cleared and the place restored.
    void failedTotalStillClearsQuery()
    {
        fx->WriteAttr(CheckFixture::FullAttr());
        addRecords({"1;6000000000;0", "2;6000000000;0", "7;1;1"});
        TApolloTable& data = *fx->Data().tblData;
        data.setRecNo(3);
        QVERIFY_THROWS_EXCEPTION(Exception, check().CheckData());
        QCOMPARE(data.QueryExpression(), QString());
        QCOMPARE(data.State(), dsBrowse);
        QCOMPARE(data.RecNo(), 3);
        QCOMPARE(dataText(fx->DataRows()), (QStringList{"1;6000000000;0", "2;6000000000;0", "7;1;1"}));
    }

    // The totals pass holds the table's file lock from its first look to its
    // last write: a second check cannot look in between and add a total
    // the first one is adding too.
    void totalsPassHoldsTheFileLock()
    {
        fx->WriteAttr(CheckFixture::FullAttr());
        addRecords({"1;1.5;0", "21;5;0", "132;9;9"});
        TApolloTable& data = *fx->Data().tblData;
        TApolloTable other(QStringLiteral("tblOther"));
        other.setTableName(data.FilePath());
        other.Open();
        QList<short> othersLock;
        const int probe = data.BeforePost.add([&](TApolloTable&) { othersLock << other.Flock(); });
        QVERIFY(check().CheckData());
        data.BeforePost.remove(probe);
        QCOMPARE(othersLock, (QList<short>{0, 0}));  // the edit of 132 and the insert of 18
        QVERIFY(!data.FileLocked());
        QVERIFY(other.Flock() != 0);  // released afterwards
        other.Unlock(0);
    }

    void lockedTableChangesNothingAndSaysSo()
    {
        fx->WriteAttr(CheckFixture::FullAttr());
        addRecords({"1;1.5;0", "132;9;9"});
        TApolloTable& data = *fx->Data().tblData;
        const QStringList before = dataText(fx->DataRows());
        TApolloTable other(QStringLiteral("tblOther"));
        other.setTableName(data.FilePath());
        other.Open();
        QVERIFY(other.Flock() != 0);
        DataCheck checker = check();
        checker.setLockWait(200);
        try {
            checker.CheckData();
            QFAIL("the check ran its totals under another program's lock");
        } catch (const EApolloError& e) {
            QCOMPARE(e.Message,
                     QStringLiteral("Групові підсумки викидів не оновлено: таблицю викидів заблокувала "
                                    "інша програма або інша перевірка (%1). Повторіть перевірку пізніше.")
                         .arg(data.FilePath()));
        }
        QCOMPARE(data.QueryExpression(), QString());
        other.Unlock(0);
        QCOMPARE(dataText(fx->DataRows()), before);
    }

    // Totals that are already right are not written again, so a table that
    // can only be read still passes the check; a total that is due then
    // fails with the table's own read-only text.
    void upToDateTotalsNeedNoWrite()
    {
        fx->WriteAttr(CheckFixture::FullAttr());
        addRecords({"1;1.5;0", "2;2.25;0", "21;5;0", "19;7;0", "30;0;1.5"});
        QVERIFY(check().CheckData());
        const QStringList stored = dataText(fx->DataRows());
        TApolloTable& data = *fx->Data().tblData;
        const QString index = data.IndexName();
        data.Close();
        data.setReadOnly(true);
        data.setReadOnlyText(QStringLiteral("тільки читання"));
        data.Open();
        data.IndexOpen(index);
        QVERIFY(check().CheckData());
        QCOMPARE(dataText(fx->DataRows()), stored);

        data.Close();
        data.setReadOnly(false);
        data.Open();
        data.IndexOpen(index);
        fx->SetAmounts(1, 2.5, 0.0);
        data.Close();
        data.setReadOnly(true);
        data.Open();
        data.IndexOpen(index);
        try {
            check().CheckData();
            QFAIL("a due total was not written and nothing said so");
        } catch (const EApolloError& e) {
            QCOMPARE(e.Message, QStringLiteral("тільки читання"));
        }
        QCOMPARE(data.State(), dsBrowse);
    }
};

QTEST_GUILESS_MAIN(TestDataCheck)
#include "tst_datacheck.moc"
