// The attribute page in the real main window, driven with keys as a user
// would: what reaches the table file, which characters and coordinates are
// refused. The layout of the pages is checked here too, the first page shown.
#include <QLabel>
#include <QTest>

#include "entry/tests/support/pagetest.h"
#include "store/fields.h"
#include "widgets/db/dbedit.h"
#include "widgets/db/tests/dbtestsupport.h"

using namespace emlo;
using dbtest::typeText;

class TestAttrPage : public entrytest::PageTest {
    Q_OBJECT
private slots:
    void pagesHoldTheirControlsInTabOrder();
    void firstKeystrokeOnEmptyAttrStartsTheRecord();
    void registryCodeTakesDigitsOnly();
    void coordinateBoxes_data();
    void coordinateBoxes();
    void outOfRangeCoordinateAtPostKeepsTheOldValue();
};

void TestAttrPage::pagesHoldTheirControlsInTabOrder()
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

void TestAttrPage::firstKeystrokeOnEmptyAttrStartsTheRecord()
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

void TestAttrPage::registryCodeTakesDigitsOnly()
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

void TestAttrPage::coordinateBoxes_data()
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

void TestAttrPage::coordinateBoxes()
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

void TestAttrPage::outOfRangeCoordinateAtPostKeepsTheOldValue()
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

QTEST_MAIN(TestAttrPage)
#include "tst_attrpage.moc"
