// The statistical codes page in the real main window: the region, settlement
// and code look-ups and the names and codes each choice fills in, as they
// reach the attribute record and its file.
#include <QTableView>
#include <QTest>

#include "entry/tests/support/pagetest.h"
#include "store/fields.h"
#include "widgets/db/dbedit.h"
#include "widgets/db/dblookupcombo.h"
#include "widgets/db/lookuplist.h"
#include "widgets/db/lookuppopup.h"
#include "widgets/db/tests/dbtestsupport.h"

using namespace emlo;
using dbtest::typeText;

class TestCodesPage : public entrytest::PageTest {
    Q_OBJECT
private slots:
    void regionChoiceRestrictsSettlements();
    void settlementChoiceSetsTheDistrict_data();
    void settlementChoiceSetsTheDistrict();
    void settlementNameIsTheKeyOfItsBox();
    void missingDistrictOrSettlementsEndTheCommitCleanly();
    void subordinationNameFollowsTheChoiceAtOnce();
    void openedRecordFillsTheBoxesWithoutEditing();
};

void TestCodesPage::regionChoiceRestrictsSettlements()
{
    start();
    showPage("Статистичні коди");
    TDataModule& dm = *m_window->DataModule;
    auto* region = control<DbLookupCombo>("cbOblDescr");
    auto* cityId = control<DbLookupCombo>("cbCityID");
    auto* cityName = control<DbLookupCombo>("cbCityDescr");
    QCOMPARE(cityId->List()->Count(), 11);
    region->setFocus();
    typeText(region, QStringLiteral("дн"));
    QCOMPARE(region->text(), QStringLiteral("ДНІПРОПЕТРОВСЬКА ОБЛАСТЬ"));
    QVERIFY(dm.AttrModified);
    QCOMPARE(attr("OBL_ID"), QString());
    leave(region);

    QCOMPARE(attr("OBL_ID"), QStringLiteral("1200000000"));
    QCOMPARE(attr("OBL_DESCR"), QStringLiteral("ДНІПРОПЕТРОВСЬКА ОБЛАСТЬ"));
    QCOMPARE(attr("CITY_ID"), QStringLiteral("1210100000"));
    QCOMPARE(attr("CITY_DESCR"), QStringLiteral("ДНІПРО"));
    QCOMPARE(attr("REGN_ID"), QStringLiteral("1210100000"));
    QCOMPARE(attr("REGN_DESCR"), QStringLiteral("ДНІПРО"));
    QCOMPARE(cityId->List()->Count(), 7);
    QCOMPARE(cityName->List()->Count(), 7);
    QCOMPARE(cityId->text(), QStringLiteral("1210100000"));
    QCOMPARE(cityName->text(), QStringLiteral("ДНІПРО"));
    QCOMPARE(control<DbEdit>("edtRegDescr")->text(), QStringLiteral("ДНІПРО"));
    QCOMPARE(control<DbEdit>("edOBLID")->text(), QStringLiteral("1200000000"));
    // Only this region's settlements can be typed now.
    cityId->setFocus();
    typeText(cityId, QStringLiteral("80"));
    QCOMPARE(cityId->text(), QStringLiteral("1210100000"));

    dm.tblAttr->Post();
    QCOMPARE(stored("CITY_DESCR"), QStringLiteral("ДНІПРО"));
    QCOMPARE(stored("OBL_ID"), QStringLiteral("1200000000"));
}

void TestCodesPage::settlementChoiceSetsTheDistrict_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("expected");  // CITY_ID, CITY_DESCR, REGN_ID, REGN_DESCR
    QTest::newRow("ten-character code") << "1221055"
                                        << QStringList{"1221055100", "АПОСТОЛОВЕ", "1221000000",
                                                       "АПОСТОЛІВСЬКИЙ РАЙОН"};
    QTest::newRow("four-character code") << "1234" << QStringList{"1234", "ХУТІР", "0", "БЕЗ РАЙОНУ"};
    QTest::newRow("another region's settlement")
        << "8036" << QStringList{"8036100000", "ДАРНИЦЬКИЙ", "8036100000", "ДАРНИЦЬКИЙ"};
}

void TestCodesPage::settlementChoiceSetsTheDistrict()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, expected);
    start();
    showPage("Статистичні коди");
    auto* cityId = control<DbLookupCombo>("cbCityID");
    cityId->setFocus();
    typeText(cityId, typed);
    QCOMPARE(cityId->text(), expected.at(0));
    leave(cityId);
    QCOMPARE((QStringList{attr("CITY_ID"), attr("CITY_DESCR"), attr("REGN_ID"), attr("REGN_DESCR")}), expected);
    QCOMPARE(attr("OBL_ID"), QString());
    QCOMPARE(attr("OBL_DESCR"), QString());
    QCOMPARE(control<DbLookupCombo>("cbCityDescr")->text(), expected.at(1));
    m_window->DataModule->tblAttr->Post();
    QCOMPARE(stored("REGN_DESCR"), expected.at(3));
}

void TestCodesPage::settlementNameIsTheKeyOfItsBox()
{
    start();
    showPage("Статистичні коди");
    auto* cityName = control<DbLookupCombo>("cbCityDescr");
    cityName->setFocus();
    cityName->DropDown();
    // Pick the second of the two settlements named ЗЕЛЕНЕ in the list.
    LookupList* list = cityName->List();
    int second = -1;
    for (int row = 0, seen = 0; row < list->Count(); ++row) {
        if (list->Text(row, QStringLiteral("DESCR")) == QStringLiteral("ЗЕЛЕНЕ") && ++seen == 2)
            second = row;
    }
    QVERIFY(second > 0);
    cityName->ChooseRow(second);
    cityName->CloseUp();
    leave(cityName);
    QCOMPARE(attr("CITY_DESCR"), QStringLiteral("ЗЕЛЕНЕ"));
    QCOMPARE(attr("CITY_ID"), QStringLiteral("1221055300"));
}

void TestCodesPage::missingDistrictOrSettlementsEndTheCommitCleanly()
{
    start();
    showPage("Статистичні коди");
    auto* cityId = control<DbLookupCombo>("cbCityID");
    cityId->setFocus();
    typeText(cityId, QStringLiteral("1288"));
    leave(cityId);
    QCOMPARE(m_dialogs->texts(), QStringList());
    QCOMPARE((QStringList{attr("CITY_ID"), attr("CITY_DESCR"), attr("REGN_ID"), attr("REGN_DESCR")}),
             (QStringList{"1288855500", "ЗАГУБЛЕНЕ", "1288800000", ""}));
    QVERIFY(!cityId->Modified());

    auto* region = control<DbLookupCombo>("cbOblDescr");
    region->setFocus();
    typeText(region, QStringLiteral("пу"));
    leave(region);
    QCOMPARE(m_dialogs->texts(), QStringList());
    QCOMPARE((QStringList{attr("OBL_ID"), attr("OBL_DESCR"), attr("CITY_ID"), attr("CITY_DESCR"), attr("REGN_ID"),
                          attr("REGN_DESCR")}),
             (QStringList{"7700000000", "ПУСТА ОБЛАСТЬ", "", "", "", ""}));
    QCOMPARE(cityId->List()->Count(), 0);
    m_window->DataModule->tblAttr->Post();
    QCOMPARE(stored("OBL_DESCR"), QStringLiteral("ПУСТА ОБЛАСТЬ"));
    QCOMPARE(stored("CITY_ID"), QString());
}

void TestCodesPage::subordinationNameFollowsTheChoiceAtOnce()
{
    start();
    showPage("Статистичні коди");
    auto* code = control<DbLookupCombo>("cbSpoduID");
    code->setFocus();
    typeText(code, QStringLiteral("l0"));
    QVERIFY(code->ListVisible());
    typeText(code->Popup()->View(), QStringLiteral("3"));
    QCOMPARE(code->text(), QStringLiteral("L03"));
    QCOMPARE(control<DbEdit>("edtSpoduDescr")->text(), QStringLiteral("Міністерство енергетики України"));
    QCOMPARE(attr("SPODU_ID"), QString());
    QTest::keyClick(code->Popup()->View(), Qt::Key_Escape);
    leave(code);
    QCOMPARE(attr("SPODU_ID"), QStringLiteral("L03"));

    const char* const choices[][2] = {{"cbKvedID", "2"}, {"cbKfvID", "3"}};
    for (const auto& choice : choices) {
        auto* other = control<DbLookupCombo>(choice[0]);
        other->setFocus();
        typeText(other, QLatin1String(choice[1]));
        other->CloseUp();
    }
    leave(control<DbLookupCombo>("cbKfvID"));
    m_window->DataModule->tblAttr->Post();
    QCOMPARE((QStringList{stored("SPODU_D"), stored("KVED_ID"), stored("KVED_DESCR"), stored("KFV_ID"),
                          stored("KFV_DESCR")}),
             (QStringList{"Міністерство енергетики України", "24.10", "Виробництво чавуну та сталі", "30",
                          "Державна власність"}));
}

void TestCodesPage::openedRecordFillsTheBoxesWithoutEditing()
{
    {
        TDataModule dm(nullptr);
        entrytest::RecordingReporter reporter;
        dm.setReporter(&reporter);
        entrytest::openModule(dm, *m_folders);
        dm.tblAttr->Edit();
        const char* const values[][2] = {{"SPODU_ID", "L01"},
                                         {"SPODU_D", "старе ім'я"},
                                         {"CITY_ID", "1221055100"},
                                         {"CITY_DESCR", "АПОСТОЛОВЕ"},
                                         {"KFV_ID", "10"}};
        for (const auto& v : values)
            dm.tblAttr->FieldByName(QLatin1String(v[0]))->setAsString(QString::fromUtf8(v[1]));
        dm.tblAttr->Post();
    }
    start();
    // Building the page on its first showing writes nothing either.
    showPage("Статистичні коди");
    QCOMPARE(control<DbLookupCombo>("cbSpoduID")->text(), QStringLiteral("L01"));
    QCOMPARE(control<DbLookupCombo>("cbCityID")->text(), QStringLiteral("1221055100"));
    QCOMPARE(control<DbLookupCombo>("cbCityDescr")->text(), QStringLiteral("АПОСТОЛОВЕ"));
    QCOMPARE(control<DbEdit>("edtSpoduDescr")->text(), QStringLiteral("старе ім'я"));
    QVERIFY(!m_window->DataModule->AttrModified);
    QCOMPARE(m_window->DataModule->tblAttr->State(), dsBrowse);
}

QTEST_MAIN(TestCodesPage)
#include "tst_codespage.moc"
