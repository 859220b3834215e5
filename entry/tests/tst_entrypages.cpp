// The three data-entry pages in the real main window, driven with keys and
// clicks as a user would; what matters is what reaches the table files.
// Modal boxes are answered through the dialog seam, beeps are counted.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include "entry/ui/attrpage.h"
#include "entry/ui/codespage.h"
#include "entry/ui/datapage.h"
#include "entry/tests/support/entryfixture.h"
#include "shell/ui/main.h"
#include "store/apollotable.h"
#include "store/fields.h"
#include "widgets/errorbox.h"
#include "widgets/outlookbar.h"
#include "widgets/db/beep.h"
#include "widgets/db/datasetmodel.h"
#include "widgets/db/dbedit.h"
#include "widgets/db/dbgrid.h"
#include "widgets/db/dblookupcombo.h"
#include "widgets/db/dbnavigator.h"
#include "widgets/db/lookuplist.h"
#include "widgets/db/tests/dbtestsupport.h"
#include "widgets/db/lookuppopup.h"
#include "widgets/testing/scripteddialogs.h"

using namespace emlo;
using dbtest::typeText;
using entrytest::Folders;

namespace {

// The locale's decimal separator: the tests run once for each separator.
QString dec(QString text)
{
    return text.replace(QLatin1Char('.'), QLocale::system().decimalPoint());
}

}  // namespace

class TestEntryPages : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pagesHoldTheirControlsInTabOrder();
    void firstKeystrokeOnEmptyAttrStartsTheRecord();
    void registryCodeTakesDigitsOnly();
    void coordinateBoxes_data();
    void coordinateBoxes();
    void outOfRangeCoordinateAtPostKeepsTheOldValue();

    void regionChoiceRestrictsSettlements();
    void settlementChoiceSetsTheDistrict_data();
    void settlementChoiceSetsTheDistrict();
    void settlementNameIsTheKeyOfItsBox();
    void missingDistrictOrSettlementsEndTheCommitCleanly();
    void subordinationNameFollowsTheChoiceAtOnce();
    void openedRecordFillsTheBoxesWithoutEditing();

    void insertButtonThenPostWritesPollutantOne();
    void newRowIsGivenUpByMovingAway();
    void amountsAreShownInTheDisplayFormat();
    void amountThatIsNoNumberIsRefused();
    void cellColours();
    void deleteAsksFirst();

private:
    void start();
    void showPage(const char* item);
    QString stored(const char* field) const;
    QString attr(const char* field) const;
    template <typename T> T* control(const char* name) const;
    void leave(QWidget* box);

    std::unique_ptr<Folders> m_folders;
    std::unique_ptr<testing::ScriptedDialogs> m_dialogs;
    std::unique_ptr<TfrmMain> m_window;
    QString m_savedCurrent;
    int m_beeps = 0;
};

void TestEntryPages::initTestCase()
{
    Application::setTitle(QStringLiteral("Dazodevur"));
    m_savedCurrent = QDir::currentPath();
    const QByteArray expected = qgetenv("EMLO_EXPECT_DECIMAL");
    if (!expected.isEmpty())
        QCOMPARE(QString(QLocale::system().decimalPoint()), QString::fromUtf8(expected));
}

void TestEntryPages::init()
{
    m_folders = std::make_unique<Folders>();
    m_folders->writeSettings();
    m_folders->writeHelpFile();
    m_dialogs = std::make_unique<testing::ScriptedDialogs>();
    m_beeps = 0;
    setBeepHook([this] { ++m_beeps; });
    ResetProgramEndRequest();
    SetProgramEndHandler([] {});
}

void TestEntryPages::cleanup()
{
    m_window.reset();
    m_dialogs.reset();
    m_folders.reset();
    setBeepHook(nullptr);
    SetProgramEndHandler(nullptr);
    ResetProgramEndRequest();
    QDir::setCurrent(m_savedCurrent);
}

void TestEntryPages::start()
{
    m_window = std::make_unique<TfrmMain>(AppPaths{m_folders->program, m_folders->settings});
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QCOMPARE(m_dialogs->texts(), QStringList());
}

void TestEntryPages::showPage(const char* item)
{
    m_window->OutlookItemClick(m_window->Outlook, QString::fromUtf8(item));
    QApplication::processEvents();
}

template <typename T> T* TestEntryPages::control(const char* name) const
{
    T* found = m_window->findChild<T*>(QLatin1String(name));
    if (!found)
        qWarning("no control %s", name);
    return found;
}

// Moves the focus from the box to the next control of its page that takes it.
void TestEntryPages::leave(QWidget* box)
{
    QWidget* next = box->nextInFocusChain();
    auto control = [](QWidget* w) { return qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractItemView*>(w); };
    while (next != box && (!next->isVisible() || !next->isEnabled() || !control(next)))
        next = next->nextInFocusChain();
    QVERIFY(next != box);
    next->setFocus();
    QApplication::processEvents();
    QVERIFY(!box->hasFocus());
}

QString TestEntryPages::stored(const char* field) const
{
    return entrytest::storedValue(m_folders->work + QStringLiteral("attr.dbf"), QLatin1String(field));
}

QString TestEntryPages::attr(const char* field) const
{
    return m_window->DataModule->tblAttr->FieldByName(QLatin1String(field))->AsString();
}

// ---------------------------------------------------------------- attributes

void TestEntryPages::pagesHoldTheirControlsInTabOrder()
{
    start();
    // The codes and emissions pages are built when first shown (the
    // settlement look-ups would read the whole settlement list at start-up,
    // the grid would lay out its columns).
    QVERIFY(!m_window->findChild<QWidget*>(QStringLiteral("cbCityID")));
    QVERIFY(!m_window->findChild<QWidget*>(QStringLiteral("grData")));
    const struct {
        const char* item;
        const char* first;
        QStringList order;
    } pages[] = {
        {"Реквізити",
         "edEnName",
         {"edEDRPOU", "edEnAddr", "edEnPhone", "edEnChPos", "edEnChName", "edX1", "edX2", "edX3", "edY1", "edY2",
          "edY3"}},
        {"Статистичні коди",
         "edtRegDescr",
         {"cbCityDescr", "edtSpoduDescr", "edtKvedDescr", "edtKfvDescr", "edOBLID", "edREGNID", "cbCityID", "cbSpoduID",
          "cbKvedID", "cbKfvID", "cbOblDescr"}},
    };
    for (const auto& page : pages) {
        showPage(page.item);
        QWidget* w = control<QWidget>(page.first);
        QVERIFY(w);
        for (const QString& next : page.order) {
            w = w->nextInFocusChain();
            while (w && w->focusPolicy() == Qt::NoFocus)
                w = w->nextInFocusChain();
            QVERIFY(w);
            QCOMPARE(w->objectName(), next);
        }
    }
    const struct {
        const char* label;
        const char* text;
    } labels[] = {
        {"lblEnName", "Повна назва об`єкта"},
        {"lblEDRPOU", "Код за ЄДРПОУ"},
        {"lblEnAddr", "Місцезнаходження"},
        {"lblEnPhone", "Телефон"},
        {"lblEnChPos", "Керівник об`єкта"},
        {"lblEnChName", "Прізвище, ім`я та по-батькові керівника"},
        {"lblX1", "градуси"},
        {"lblY2", "мінути"},
        {"lblY3", "секунди"},
        {"lblOblDescr", "Назва області"},
        {"lblRegDescr", "Назва району"},
        {"lblCityDescr", "Назва населеного пункту"},
        {"lblSpoduDescr", "Вiдомча пiдпорядкованiсть"},
        {"lblKvedDescr", "Назва виду экономической деятельности"},
        {"lblKfvDescr", "Форма власності"},
    };
    for (const auto& label : labels)
        QCOMPARE(control<QLabel>(label.label)->text(), QString::fromUtf8(label.text));
    for (const char* readOnly : {"edOBLID", "edtRegDescr", "edREGNID", "edtSpoduDescr", "edtKvedDescr", "edtKfvDescr"})
        QVERIFY(control<DbEdit>(readOnly)->isReadOnly());
    QCOMPARE(control<QWidget>("edEnName")->width(), 299);
    QCOMPARE(control<QWidget>("edX1")->width(), 40);
    QCOMPARE(control<QWidget>("pnlCoord")->height(), 72);
    QCOMPARE(control<QWidget>("gbLatitude")->width(), 255);
    QCOMPARE(control<QWidget>("cbCityID")->x(), 340);
    showPage("Викиди");
    QCOMPARE(control<QWidget>("navigEdit")->x(), 152);
    QCOMPARE(control<QWidget>("lblDataState")->x(), 292);
}

void TestEntryPages::firstKeystrokeOnEmptyAttrStartsTheRecord()
{
    start();
    TDataModule& dm = *m_window->DataModule;
    QCOMPARE(stored("ENNAME"), QStringLiteral("<no record>"));
    QVERIFY(!dm.AttrModified);
    auto* name = control<DbEdit>("edEnName");
    name->setFocus();
    typeText(name, QStringLiteral("З"));
    QVERIFY(dm.AttrModified);
    QCOMPARE(dm.tblAttr->State(), dsInsert);
    typeText(name, QStringLiteral("авод «Зоря»"));
    leave(name);
    dm.tblAttr->Post();
    QVERIFY(!dm.AttrModified);
    QCOMPARE(stored("ENNAME"), QStringLiteral("Завод «Зоря»"));
}

void TestEntryPages::registryCodeTakesDigitsOnly()
{
    start();
    auto* box = control<DbEdit>("edEDRPOU");
    box->setFocus();
    typeText(box, QStringLiteral("12a-3 .4з"));
    QCOMPARE(box->text(), QStringLiteral("1234"));
    QCOMPARE(m_beeps, 5);
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(box->text(), QStringLiteral("123"));
    for (Qt::Key key : {Qt::Key_C, Qt::Key_V, Qt::Key_X})
        QTest::keyClick(box, key, Qt::ControlModifier);
    // Escape is a typed character too: refused, so it does not undo the change.
    QTest::keyClick(box, Qt::Key_Escape);
    QCOMPARE(m_beeps, 9);
    QCOMPARE(box->text(), QStringLiteral("123"));
    QTest::keyClick(box, Qt::Key_Left);
    QTest::keyClick(box, Qt::Key_Delete);
    QCOMPARE(box->text(), QStringLiteral("12"));
    leave(box);
    m_window->DataModule->tblAttr->Post();
    QCOMPARE(stored("EDRPOU"), QStringLiteral("12"));
}

void TestEntryPages::coordinateBoxes_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("stored");
    const QString none;
    // The field held 45 (degrees) or 30 (minutes, seconds) before.
    // clang-format off
    QTest::newRow("latitude 44")   << "edX1" << "44" << none << "44";
    QTest::newRow("latitude 52")   << "edX1" << "52" << none << "52";
    QTest::newRow("latitude 43")   << "edX1" << "43" << "43 не входить до діапазону широти 44..52" << "45";
    QTest::newRow("latitude 0")    << "edX1" << "0"  << "0 не входить до діапазону широти 44..52" << "45";
    QTest::newRow("longitude 21")  << "edY1" << "21" << none << "21";
    QTest::newRow("longitude 48")  << "edY1" << "48" << none << "48";
    QTest::newRow("longitude 49")  << "edY1" << "49" << "49 не входить до діапазону довготи 21..48" << "45";
    QTest::newRow("minutes 0")     << "edX2" << "0"  << none << "0";
    QTest::newRow("minutes 59")    << "edY2" << "59" << none << "59";
    QTest::newRow("seconds 60")    << "edX3" << "60" << "60 не входить до діапазону 0..59" << "30";
    QTest::newRow("seconds 60, longitude") << "edY3" << "60" << "60 не входить до діапазону 0..59" << "30";
    QTest::newRow("emptied box clears") << "edY2" << "" << none << "";
    // clang-format on
}

void TestEntryPages::coordinateBoxes()
{
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    QFETCH(QString, stored);
    {
        TDataModule dm(nullptr);
        entrytest::RecordingReporter reporter;
        dm.setReporter(&reporter);
        entrytest::openModule(dm, *m_folders);
        dm.tblAttr->Edit();
        for (const char* degrees : {"X1", "Y1"})
            dm.tblAttr->FieldByName(QLatin1String(degrees))->setAsInteger(45);
        for (const char* part : {"X2", "X3", "Y2", "Y3"})
            dm.tblAttr->FieldByName(QLatin1String(part))->setAsInteger(30);
        dm.tblAttr->Post();
    }
    start();
    auto* edit = m_window->findChild<DbEdit*>(box);
    QVERIFY(edit);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    typeText(edit, typed);
    leave(edit);
    if (message.isEmpty()) {
        QCOMPARE(m_dialogs->texts(), QStringList());
    } else {
        QCOMPARE(m_dialogs->texts(), QStringList{message});
        const MessageRequest& shown = m_dialogs->messages().first();
        QCOMPARE(shown.kind, MsgKind::Error);
        QCOMPARE(shown.buttons, MsgButtons(MsgButton::Ok | MsgButton::Help));
        QCOMPARE(shown.helpTopic, 20008);
    }
    QVERIFY(m_window->DataModule->AttrModified);
    m_window->DataModule->tblAttr->Post();
    QCOMPARE(this->stored(edit->DataField().toLatin1().constData()), stored);
    QCOMPARE(edit->text(), stored);
}

void TestEntryPages::outOfRangeCoordinateAtPostKeepsTheOldValue()
{
    start();
    TDataModule& dm = *m_window->DataModule;
    showPage("Реквізити");
    auto* x2 = control<DbEdit>("edX2");
    x2->setFocus();
    typeText(x2, QStringLiteral("60"));
    QVERIFY(x2->hasFocus());
    // The check command posts while the box keeps the focus.
    dm.tblAttr->Post();
    QCOMPARE(m_dialogs->texts(), QStringList{QStringLiteral("60 не входить до діапазону 0..59")});
    QCOMPARE(stored("X2"), QString());
    QCOMPARE(stored("ENNAME"), QString());
    QVERIFY(!dm.AttrModified);
}

// ---------------------------------------------------------------- codes

void TestEntryPages::regionChoiceRestrictsSettlements()
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

void TestEntryPages::settlementChoiceSetsTheDistrict_data()
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

void TestEntryPages::settlementChoiceSetsTheDistrict()
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

void TestEntryPages::settlementNameIsTheKeyOfItsBox()
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

void TestEntryPages::missingDistrictOrSettlementsEndTheCommitCleanly()
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

void TestEntryPages::subordinationNameFollowsTheChoiceAtOnce()
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

void TestEntryPages::openedRecordFillsTheBoxesWithoutEditing()
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

// ---------------------------------------------------------------- emissions

void TestEntryPages::insertButtonThenPostWritesPollutantOne()
{
    start();
    showPage("Викиди");
    auto* state = control<QLabel>("lblDataState");
    QCOMPARE(state->text(), QStringLiteral("Стан: перегляд"));
    auto* edit = control<DbNavigator>("navigEdit");
    QCOMPARE(edit->button(DbNavigator::Insert)->toolTip(), QStringLiteral("Вставити"));
    QCOMPARE(control<DbNavigator>("navigMove")->button(DbNavigator::Next)->toolTip(), QStringLiteral("Слiдуюча"));
    QTest::mouseClick(edit->button(DbNavigator::Insert), Qt::LeftButton);
    QCOMPARE(state->text(), QStringLiteral("Стан: вставка"));
    auto* grid = control<DbGrid>("grData");
    const QAbstractItemModel* model = grid->model();
    QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("01001"));
    QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("Арсен та його сполуки"));
    QCOMPARE(model->index(0, 2).data().toString(), QString());
    QTest::mouseClick(edit->button(DbNavigator::Post), Qt::LeftButton);
    QCOMPARE(state->text(), QStringLiteral("Стан: перегляд"));
    QCOMPARE(entrytest::storedEmissions(m_folders->work), QStringList{QStringLiteral("1 - -")});

    // Typing into a cell puts the record into editing.
    grid->setFocus();
    grid->setCurrentIndex(model->index(0, 2));
    typeText(grid, QStringLiteral("5"));
    QCOMPARE(state->text(), QStringLiteral("Стан: редагування"));
}

void TestEntryPages::newRowIsGivenUpByMovingAway()
{
    start();
    showPage("Викиди");
    TApolloTable& data = *m_window->DataModule->tblData;
    data.Insert();
    data.FieldByName(QStringLiteral("CONTID"))->setAsInteger(2);
    data.Post();
    auto* grid = control<DbGrid>("grData");
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Insert);
    QCOMPARE(grid->model()->rowCount(), 2);
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(grid->model()->rowCount(), 1);
    QCOMPARE(entrytest::storedEmissions(m_folders->work), QStringList{QStringLiteral("2 - -")});
    QCOMPARE(control<QLabel>("lblDataState")->text(), QStringLiteral("Стан: перегляд"));
}

void TestEntryPages::amountsAreShownInTheDisplayFormat()
{
    start();
    TApolloTable& data = *m_window->DataModule->tblData;
    const double amounts[][2] = {{1234.5, 0}, {-0.25, 2.0005}};
    int id = 1;
    for (const auto& row : amounts) {
        data.Insert();
        data.FieldByName(QStringLiteral("CONTID"))->setAsInteger(id++);
        data.FieldByName(QStringLiteral("POTEN"))->setAsFloat(row[0]);
        data.FieldByName(QStringLiteral("FACT"))->setAsFloat(row[1]);
        data.Post();
    }
    showPage("Викиди");
    const QAbstractItemModel* model = control<DbGrid>("grData")->model();
    QCOMPARE(model->index(0, 2).data().toString(), dec(QStringLiteral("1234.500")));
    QCOMPARE(model->index(0, 3).data().toString(), dec(QStringLiteral("0.000")));
    QCOMPARE(model->index(1, 2).data().toString(), dec(QStringLiteral("-0.250")));
    QCOMPARE(model->index(1, 3).data().toString(), dec(QStringLiteral("2.001")));
    // The threshold has no display format; a number being edited is in general form.
    QCOMPARE(model->index(0, 4).data().toString(), dec(QStringLiteral("0.001")));
    QCOMPARE(model->index(0, 2).data(Qt::EditRole).toString(), dec(QStringLiteral("1234.5")));
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Забруднююча речовина|Код"));
    QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Потенцiйний обсяг викидiв, тонн/рiк"));
    QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Викиди за 2001 рiк (факт), тонн/рiк"));
    QCOMPARE(model->headerData(4, Qt::Horizontal).toString(),
             QStringLiteral("Пороговi значення потенцiйних викидiв, тонн/рiк"));
}

void TestEntryPages::amountThatIsNoNumberIsRefused()
{
    start();
    showPage("Викиди");
    TApolloTable& data = *m_window->DataModule->tblData;
    data.Insert();
    data.FieldByName(QStringLiteral("POTEN"))->setAsFloat(7);
    data.Post();
    auto* grid = control<DbGrid>("grData");
    grid->setFocus();
    const QModelIndex poten = grid->model()->index(0, 2);
    grid->setCurrentIndex(poten);
    typeText(grid, QStringLiteral("a"));
    typeText(QApplication::focusWidget(), QStringLiteral("bc"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(m_dialogs->texts(),
                 QStringList{QStringLiteral("'abc' is not a valid floating point value for field "
                                            "'Потенцiйний обсяг викидiв, тонн/рiк'")});
    QCOMPARE(m_dialogs->messages().first().title, QStringLiteral("Dazodevur"));
    QCOMPARE(poten.data().toString(), dec(QStringLiteral("7.000")));
}

void TestEntryPages::cellColours()
{
    start();
    TApolloTable& data = *m_window->DataModule->tblData;
    for (int id : {2, 50, 51, 132, 999}) {
        data.Insert();
        data.FieldByName(QStringLiteral("CONTID"))->setAsInteger(id);
        data.FieldByName(QStringLiteral("POTEN"))->setAsFloat(1);
        data.Post();
    }
    showPage("Викиди");
    auto* grid = control<DbGrid>("grData");
    auto* page = m_window->findChild<DataPage*>();
    const DataSetModel* model = grid->DataModel();
    auto colours = [&](int row) {
        QStringList names;
        for (int column = 0; column < model->columnCount(); ++column) {
            CellParams params;
            params.FieldName = model->ColumnField(column)->FieldName();
            params.Value = [model, row](const QString& name) { return model->ValueAt(row, name); };
            page->grDataGetCellParams(*grid, params);
            names.append(!params.FontColor.isValid()                 ? QStringLiteral("-")
                             : params.FontColor == QColor(0, 0, 255) ? QStringLiteral("blue")
                             : params.FontColor == QColor(0, 128, 0) ? QStringLiteral("green")
                                                                     : params.FontColor.name());
        }
        return names.join(QLatin1Char(' '));
    };
    // Columns: code, name, potential, actual, threshold.
    QCOMPARE(colours(0), QStringLiteral("- - - - -"));                 // 2: threshold 0.02
    QCOMPARE(colours(1), QStringLiteral("- - green green -"));         // 50: threshold 0
    QCOMPARE(colours(2), QStringLiteral("- - - - -"));                 // 51: threshold 0.0005
    QCOMPARE(colours(3), QStringLiteral("blue blue blue blue blue"));  // 132: a group total
    QCOMPARE(colours(4), QStringLiteral("- - green green -"));         // 999: no such pollutant
    QCOMPARE(model->index(4, 0).data().toString(), QString());
    QCOMPARE(model->index(4, 4).data().toString(), QString());
}

void TestEntryPages::deleteAsksFirst()
{
    start();
    TApolloTable& data = *m_window->DataModule->tblData;
    for (int id : {1, 2}) {
        data.Insert();
        data.FieldByName(QStringLiteral("CONTID"))->setAsInteger(id);
        data.Post();
    }
    showPage("Викиди");
    data.First();
    auto* remove = control<DbNavigator>("navigEdit")->button(DbNavigator::Delete);
    m_dialogs->queueAnswer(MsgAnswer::Cancel);
    QTest::mouseClick(remove, Qt::LeftButton);
    QCOMPARE(entrytest::storedEmissions(m_folders->work).size(), 2);
    m_dialogs->queueAnswer(MsgAnswer::Ok);
    QTest::mouseClick(remove, Qt::LeftButton);
    QCOMPARE(entrytest::storedEmissions(m_folders->work), QStringList{QStringLiteral("2 - -")});
    QCOMPARE(m_dialogs->texts(), (QStringList{"Delete record?", "Delete record?"}));
}

QTEST_MAIN(TestEntryPages)
#include "tst_entrypages.moc"
