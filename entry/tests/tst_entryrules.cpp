// The rules of the data-entry pages that need no window: coordinate ranges,
// the registry-code filter, the district code, the settlement query, the
// settlement and region commits on real tables, and the emission table's
// rules, all on small tables made in the test.
#include <QTest>

#include "entry/attrrules.h"
#include "entry/coderules.h"
#include "entry/emissionrules.h"
#include "entry/tests/support/entryfixture.h"
#include "store/tests/support/storetestsupport.h"
#include "store/apollotable.h"
#include "store/datamodule.h"
#include "store/errors.h"
#include "store/fields.h"

using namespace emlo;
using entrytest::Folders;

Q_DECLARE_METATYPE(emlo::CellColour)

class TestEntryRules : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void coordinateChecks_data();
    void coordinateChecks();
    void registryCodeFilter_data();
    void registryCodeFilter();
    void districtCode_data();
    void districtCode();
    void regionQueryText_data();
    void regionQueryText();
    void regionQueryKeepsTheRegionsSettlements_data();
    void regionQueryKeepsTheRegionsSettlements();

    void settlementCommit_data();
    void settlementCommit();
    void regionCommit_data();
    void regionCommit();
    void commitsWriteNothingWhileBrowsing();
    void nameCopyTakesTheListsCurrentEntry();

    void newRecordPostsWithPollutantOneAndEmptyAmounts();
    void recordWithoutPollutantIsNotPostedSilently();
    void amountIntoRecordWithoutPollutantGivesPollutantOne();
    void textThatIsNoNumberIsRefusedByTheAmountField();
    void cellColours_data();
    void cellColours();
    void stateLabelTexts_data();
    void stateLabelTexts();

private:
    void startAttrEdit();
    QString attr(const char* field) const;

    std::unique_ptr<Folders> m_folders;
    std::unique_ptr<entrytest::RecordingReporter> m_reporter;
    std::unique_ptr<TDataModule> m_dm;
};

void TestEntryRules::init()
{
    m_folders = std::make_unique<Folders>();
    m_reporter = std::make_unique<entrytest::RecordingReporter>();
    m_dm = std::make_unique<TDataModule>(m_reporter.get());
    entrytest::openModule(*m_dm, *m_folders);
    QCOMPARE(m_reporter->Errors, QStringList());
}

void TestEntryRules::cleanup()
{
    m_dm.reset();
    m_reporter.reset();
    m_folders.reset();
}

void TestEntryRules::startAttrEdit()
{
    m_dm->tblAttr->Edit();
    QCOMPARE(m_dm->tblAttr->State(), dsInsert);
}

QString TestEntryRules::attr(const char* field) const
{
    return m_dm->tblAttr->FieldByName(QLatin1String(field))->AsString();
}

// ---------------------------------------------------------------- attributes

void TestEntryRules::coordinateChecks_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    const QString ok;
    // clang-format off
    QTest::newRow("latitude 44, lowest")    << "X1" << "44" << ok;
    QTest::newRow("latitude 52, highest")   << "X1" << "52" << ok;
    QTest::newRow("latitude 43")            << "X1" << "43" << "43 не входить до діапазону широти 44..52";
    QTest::newRow("latitude 53")            << "X1" << "53" << "53 не входить до діапазону широти 44..52";
    QTest::newRow("latitude 0")             << "X1" << "0"  << "0 не входить до діапазону широти 44..52";
    QTest::newRow("longitude 21, lowest")   << "Y1" << "21" << ok;
    QTest::newRow("longitude 48, highest")  << "Y1" << "48" << ok;
    QTest::newRow("longitude 49")           << "Y1" << "49" << "49 не входить до діапазону довготи 21..48";
    QTest::newRow("longitude 20")           << "Y1" << "20" << "20 не входить до діапазону довготи 21..48";
    QTest::newRow("minutes 0")              << "X2" << "0"  << ok;
    QTest::newRow("minutes 59")             << "X2" << "59" << ok;
    QTest::newRow("latitude seconds 60")    << "X3" << "60" << "60 не входить до діапазону 0..59";
    QTest::newRow("longitude minutes 60")   << "Y2" << "60" << "60 не входить до діапазону 0..59";
    QTest::newRow("longitude seconds 99")   << "Y3" << "99" << "99 не входить до діапазону 0..59";
    QTest::newRow("field name in small letters") << "y1" << "49" << "49 не входить до діапазону довготи 21..48";
    QTest::newRow("empty clears")           << "X1" << ""   << ok;
    QTest::newRow("not a number")           << "X2" << "a"  << "Повина бути цілим числом.";
    // clang-format on
}

void TestEntryRules::coordinateChecks()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QCOMPARE(CoordinateError(field, text), message);
}

void TestEntryRules::registryCodeFilter_data()
{
    QTest::addColumn<QChar>("ch");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("0") << QChar(u'0') << true;
    QTest::newRow("9") << QChar(u'9') << true;
    QTest::newRow("Backspace") << QChar(8) << true;
    QTest::newRow("letter") << QChar(u'a') << false;
    QTest::newRow("Cyrillic letter") << QChar(u'з') << false;
    QTest::newRow("blank") << QChar(u' ') << false;
    QTest::newRow("minus") << QChar(u'-') << false;
    QTest::newRow("point") << QChar(u'.') << false;
    QTest::newRow("Ctrl+C") << QChar(3) << false;
    QTest::newRow("Ctrl+V") << QChar(22) << false;
    QTest::newRow("Ctrl+X") << QChar(24) << false;
    QTest::newRow("Escape") << QChar(27) << false;
    QTest::newRow("Enter") << QChar(13) << false;
}

void TestEntryRules::registryCodeFilter()
{
    QFETCH(QChar, ch);
    QFETCH(bool, accepted);
    QCOMPARE(RegistryCodeAccepts(ch), accepted);
}

// ---------------------------------------------------------------- codes

void TestEntryRules::districtCode_data()
{
    QTest::addColumn<QString>("settlement");
    QTest::addColumn<QString>("district");
    QTest::newRow("ten characters") << "1221055100"
                                    << "1221000000";
    QTest::newRow("blanks around") << "  1221055100 "
                                   << "1221000000";
    QTest::newRow("six characters") << "123456"
                                    << "100000";
    QTest::newRow("five characters") << "12345"
                                     << "00000";
    QTest::newRow("four characters") << "1234"
                                     << "00000";
    QTest::newRow("empty") << ""
                           << "00000";
}

void TestEntryRules::districtCode()
{
    QFETCH(QString, settlement);
    QFETCH(QString, district);
    QCOMPARE(DistrictCode(settlement), district);
}

void TestEntryRules::regionQueryText_data()
{
    QTest::addColumn<QString>("region");
    QTest::addColumn<QString>("query");
    QTest::newRow("digits") << "1200000000"
                            << R"(CODE = "12")";
    QTest::newRow("blanks around") << " 8000000000 "
                                   << R"(CODE = "80")";
    QTest::newRow("one character") << "7"
                                   << R"(CODE = "7")";
    QTest::newRow("double quote") << R"("500000000)"
                                  << R"(CODE = '"5')";
    QTest::newRow("single quote") << "'5"
                                  << R"(CODE = "'5")";
    QTest::newRow("both quotes keep nothing") << R"("'00000000)"
                                              << "1 = 0";
    QTest::newRow("control character keeps nothing") << QStringLiteral("1\x01") << "1 = 0";
}

void TestEntryRules::regionQueryText()
{
    QFETCH(QString, region);
    QFETCH(QString, query);
    QCOMPARE(RegionQuery(region), query);
}

void TestEntryRules::regionQueryKeepsTheRegionsSettlements_data()
{
    QTest::addColumn<QString>("region");
    QTest::addColumn<QStringList>("codes");
    QTest::newRow("region 12, in code order")
        << "1200000000"
        << QStringList{"1210100000", "1221000000", "1221055100", "1221055300", "1221055400", "1234", "1288855500"};
    QTest::newRow("region 80") << "8000000000" << QStringList{"8000000000", "8036100000"};
    QTest::newRow("region without settlements") << "7700000000" << QStringList();
    QTest::newRow("prefix with a double quote") << R"("500000000)" << QStringList{R"("512345678)"};
    QTest::newRow("prefix with both quotes") << R"("'00000000)" << QStringList();
}

void TestEntryRules::regionQueryKeepsTheRegionsSettlements()
{
    QFETCH(QString, region);
    QFETCH(QStringList, codes);
    TApolloTable& cy = *m_dm->tblCY;
    cy.Query(RegionQuery(region));
    QStringList seen;
    for (cy.First(); !cy.Eof(); cy.Next())
        seen.append(cy.FieldByName(QStringLiteral("CODE"))->AsString());
    QCOMPARE(seen, codes);
}

void TestEntryRules::settlementCommit_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QStringList>("expected");  // CITY_ID, CITY_DESCR, REGN_ID, REGN_DESCR
    QTest::newRow("ten characters") << "1221055100"
                                    << QStringList{"1221055100", "АПОСТОЛОВЕ", "1221000000", "АПОСТОЛІВСЬКИЙ РАЙОН"};
    QTest::newRow("a city that is its own district")
        << "1210100000" << QStringList{"1210100000", "ДНІПРО", "1210100000", "ДНІПРО"};
    QTest::newRow("four characters") << "1234" << QStringList{"1234", "ХУТІР", "0", "БЕЗ РАЙОНУ"};
    // The district entry is missing from CY: the commit still completes.
    QTest::newRow("district without an entry")
        << "1288855500" << QStringList{"1288855500", "ЗАГУБЛЕНЕ", "1288800000", ""};
}

void TestEntryRules::settlementCommit()
{
    QFETCH(QString, code);
    QFETCH(QStringList, expected);
    startAttrEdit();
    m_dm->tblAttr->FieldByName(QStringLiteral("OBL_ID"))->setAsString(QStringLiteral("8000000000"));
    m_dm->tblAttr->FieldByName(QStringLiteral("OBL_DESCR"))->setAsString(QStringLiteral("М.КИЇВ"));
    m_dm->tblAttr->FieldByName(QStringLiteral("REGN_DESCR"))->setAsString(QStringLiteral("старий район"));
    TApolloTable& cy = *m_dm->tblCY;
    QVERIFY(cy.Locate(QStringLiteral("CODE"), code));
    const qint32 chosen = cy.RecNo();

    CommitSettlement(*m_dm->tblAttr, cy);

    QCOMPARE((QStringList{attr("CITY_ID"), attr("CITY_DESCR"), attr("REGN_ID"), attr("REGN_DESCR")}), expected);
    QCOMPARE(attr("OBL_ID"), QStringLiteral("8000000000"));
    QCOMPARE(attr("OBL_DESCR"), QStringLiteral("М.КИЇВ"));
    QCOMPARE(cy.RecNo(), chosen);

    m_dm->tblAttr->Post();
    QCOMPARE(entrytest::storedValue(m_folders->work + QStringLiteral("attr.dbf"), QStringLiteral("REGN_ID")),
             expected.at(2));
}

void TestEntryRules::regionCommit_data()
{
    QTest::addColumn<QString>("region");
    // OBL_ID, OBL_DESCR, CITY_ID, CITY_DESCR, REGN_ID, REGN_DESCR
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("region 12 takes its first settlement")
        << "1200000000"
        << QStringList{"1200000000", "ДНІПРОПЕТРОВСЬКА ОБЛАСТЬ", "1210100000", "ДНІПРО", "1210100000", "ДНІПРО"};
    QTest::newRow("region 80") << "8000000000"
                               << QStringList{"8000000000", "М.КИЇВ", "8000000000", "КИЇВ", "8000000000", "КИЇВ"};
    // No settlement to take: no settlement and no district stay behind.
    QTest::newRow("region without settlements")
        << "7700000000" << QStringList{"7700000000", "ПУСТА ОБЛАСТЬ", "", "", "", ""};
}

void TestEntryRules::regionCommit()
{
    QFETCH(QString, region);
    QFETCH(QStringList, expected);
    startAttrEdit();
    for (const char* field : {"CITY_ID", "REGN_ID"})
        m_dm->tblAttr->FieldByName(QLatin1String(field))->setAsString(QStringLiteral("9999999999"));
    for (const char* field : {"CITY_DESCR", "REGN_DESCR"})
        m_dm->tblAttr->FieldByName(QLatin1String(field))->setAsString(QStringLiteral("старе"));
    QVERIFY(m_dm->tblOBL->Locate(QStringLiteral("CODE"), region));

    CommitRegion(*m_dm->tblAttr, *m_dm->tblOBL, *m_dm->tblCY);

    QCOMPARE((QStringList{attr("OBL_ID"), attr("OBL_DESCR"), attr("CITY_ID"), attr("CITY_DESCR"), attr("REGN_ID"),
                          attr("REGN_DESCR")}),
             expected);
    QCOMPARE(m_dm->tblCY->QueryExpression(), RegionQuery(region));
}

void TestEntryRules::commitsWriteNothingWhileBrowsing()
{
    TApolloTable& attrTable = *m_dm->tblAttr;
    attrTable.Edit();
    attrTable.FieldByName(QStringLiteral("CITY_DESCR"))->setAsString(QStringLiteral("було"));
    attrTable.Post();
    QCOMPARE(attrTable.State(), dsBrowse);

    QVERIFY(m_dm->tblOBL->Locate(QStringLiteral("CODE"), QStringLiteral("1200000000")));
    CommitRegion(attrTable, *m_dm->tblOBL, *m_dm->tblCY);
    CommitSettlement(attrTable, *m_dm->tblCY);
    CopyListName(attrTable, *m_dm->tblDP, QStringLiteral("SPODU_D"));

    QCOMPARE(attrTable.State(), dsBrowse);
    QCOMPARE(attr("CITY_DESCR"), QStringLiteral("було"));
    QCOMPARE(attr("OBL_ID"), QString());
    QCOMPARE(attr("SPODU_D"), QString());
    QCOMPARE(m_dm->tblCY->QueryExpression(), QString());
}

void TestEntryRules::nameCopyTakesTheListsCurrentEntry()
{
    startAttrEdit();
    QVERIFY(m_dm->tblDP->Locate(QStringLiteral("CODE"), QStringLiteral("L03")));
    CopyListName(*m_dm->tblAttr, *m_dm->tblDP, QStringLiteral("SPODU_D"));
    QCOMPARE(attr("SPODU_D"), QStringLiteral("Міністерство енергетики України"));
    QCOMPARE(attr("SPODU_ID"), QString());
}

// ---------------------------------------------------------------- emissions

void TestEntryRules::newRecordPostsWithPollutantOneAndEmptyAmounts()
{
    TApolloTable& data = *m_dm->tblData;
    data.Insert();
    QCOMPARE(data.FieldByName(QStringLiteral("CONTID"))->AsInteger(), 1);
    QCOMPARE(data.FieldByName(QStringLiteral("CODE"))->AsString(), QStringLiteral("01001"));
    QVERIFY(!data.Modified());
    data.Post();
    QCOMPARE(entrytest::storedEmissions(m_folders->work), QStringList{"1 - -"});
}

void TestEntryRules::recordWithoutPollutantIsNotPostedSilently()
{
    TApolloTable& data = *m_dm->tblData;
    data.Insert();
    data.FieldByName(QStringLiteral("CONTID"))->Clear();
    QVERIFY_THROWS_EXCEPTION(EAbort, data.Post());
    QCOMPARE(data.State(), dsInsert);
    QCOMPARE(entrytest::storedEmissions(m_folders->work), QStringList());

    // A move that would post the record is refused the same way.
    data.FieldByName(QStringLiteral("CONTID"))->setAsInteger(2);
    data.Post();
    data.Insert();
    data.FieldByName(QStringLiteral("CONTID"))->Clear();
    QVERIFY_THROWS_EXCEPTION(EAbort, data.First());
    QCOMPARE(data.State(), dsInsert);
    QCOMPARE(entrytest::storedEmissions(m_folders->work), QStringList{"2 - -"});
}

void TestEntryRules::amountIntoRecordWithoutPollutantGivesPollutantOne()
{
    // The rules stay with the table when the working folder is opened again.
    m_dm->OpenWorkTables();
    TApolloTable& data = *m_dm->tblData;
    data.Insert();
    data.FieldByName(QStringLiteral("CONTID"))->Clear();
    data.FieldByName(QStringLiteral("FACT"))->setAsFloat(-0.25);
    QCOMPARE(data.FieldByName(QStringLiteral("CONTID"))->AsInteger(), 1);
    data.Post();
    QCOMPARE(entrytest::storedEmissions(m_folders->work), QStringList{"1 - -0.25"});
}

void TestEntryRules::textThatIsNoNumberIsRefusedByTheAmountField()
{
    TApolloTable& data = *m_dm->tblData;
    data.Insert();
    TField* poten = data.FieldByName(QStringLiteral("POTEN"));
    poten->setAsFloat(2.5);
    try {
        poten->setAsString(QStringLiteral("abc"));
        QFAIL("the text was taken");
    } catch (const EDatabaseError& error) {
        QCOMPARE(error.Message,
                 QStringLiteral("'abc' is not a valid floating point value for field "
                                "'Потенцiйний обсяг викидiв, тонн/рiк'"));
    }
    QCOMPARE(poten->AsFloat(), 2.5);
}

void TestEntryRules::cellColours_data()
{
    QTest::addColumn<QVariant>("contId");
    QTest::addColumn<QVariant>("limit");
    QTest::addColumn<QString>("column");
    QTest::addColumn<CellColour>("colour");
    const QVariant none;
    // clang-format off
    QTest::newRow("group total 132, name")     << QVariant(132.0) << QVariant(0.0) << "DESCR" << CellColour::GroupTotal;
    QTest::newRow("group total 18, amount")    << QVariant(18.0)  << QVariant(5.0) << "FACT"  << CellColour::GroupTotal;
    QTest::newRow("every group total id")      << QVariant(135.0) << QVariant(1.0) << "CODE"  << CellColour::GroupTotal;
    QTest::newRow("zero threshold, POTEN")     << QVariant(50.0)  << QVariant(0.0) << "POTEN" << CellColour::NoThreshold;
    QTest::newRow("zero threshold, FACT")      << QVariant(50.0)  << QVariant(0.0) << "FACT"  << CellColour::NoThreshold;
    QTest::newRow("zero threshold, name")      << QVariant(50.0)  << QVariant(0.0) << "DESCR" << CellColour::Normal;
    QTest::newRow("zero threshold, LIMIT")     << QVariant(50.0)  << QVariant(0.0) << "LIMIT" << CellColour::Normal;
    QTest::newRow("threshold 0.0004")          << QVariant(52.0)  << QVariant(0.0004) << "POTEN" << CellColour::NoThreshold;
    QTest::newRow("threshold 0.0005")          << QVariant(51.0)  << QVariant(0.0005) << "POTEN" << CellColour::Normal;
    QTest::newRow("unknown pollutant")         << QVariant(999.0) << none << "FACT"  << CellColour::NoThreshold;
    QTest::newRow("unknown pollutant, code")   << QVariant(999.0) << none << "CODE"  << CellColour::Normal;
    QTest::newRow("no pollutant")              << none << none << "POTEN" << CellColour::NoThreshold;
    // clang-format on
}

void TestEntryRules::cellColours()
{
    QFETCH(QVariant, contId);
    QFETCH(QVariant, limit);
    QFETCH(QString, column);
    QFETCH(CellColour, colour);
    QCOMPARE(DataCellColour(contId, limit, column), colour);
}

void TestEntryRules::stateLabelTexts_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");
    QTest::newRow("inactive") << int(dsInactive) << "Стан: неактивне";
    QTest::newRow("browse") << int(dsBrowse) << "Стан: перегляд";
    QTest::newRow("edit") << int(dsEdit) << "Стан: редагування";
    QTest::newRow("insert") << int(dsInsert) << "Стан: вставка";
    // States the program never enters still have their texts, spelt as the rules give them.
    QTest::newRow("set key") << int(dsSetKey) << "Стан: установка ключа";
    QTest::newRow("calculating fields") << int(dsCalcFields) << "Стан: расчёт данных";
    QTest::newRow("filter") << int(dsFilter) << "Стан: фільтр";
    QTest::newRow("new value") << int(dsNewValue) << "Стан: нове значення";
    QTest::newRow("old value") << int(dsOldValue) << "Стан: старе значення";
    QTest::newRow("current value") << int(dsCurValue) << "Стан: поточне значення";
    QTest::newRow("block read") << int(dsBlockRead) << "Стан: блочне читання";
    QTest::newRow("internal calculation") << int(dsInternalCalc) << "Стан: внутрішній розразунок данніх";
    QTest::newRow("opening") << int(dsOpening) << "Стан: відкриття";
}

void TestEntryRules::stateLabelTexts()
{
    QFETCH(int, state);
    QFETCH(QString, text);
    QCOMPARE(DataStateText(TDataSetState(state)), text);
}

STORE_TEST_MAIN(TestEntryRules)
#include "tst_entryrules.moc"
