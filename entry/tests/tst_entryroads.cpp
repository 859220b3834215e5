// Keyboard roads through the real, activated main window: what a user types
// must reach the table files whichever way the record is posted, and the
// focus must go where the keys are expected. Modal boxes are answered
// through the dialog seam, beeps and refused characters are recorded.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include "check/ui/report.h"
#include "entry/tests/support/entryfixture.h"
#include "entry/tests/support/pagetest.h"
#include "shell/ui/main.h"
#include "store/apollotable.h"
#include "store/fields.h"
#include "widgets/errorbox.h"
#include "widgets/outlookbar.h"
#include "widgets/db/dbedit.h"
#include "widgets/db/dbgrid.h"
#include "widgets/db/dblookupcombo.h"
#include "widgets/db/dbnavigator.h"
#include "widgets/testing/scripteddialogs.h"

using namespace emlo;

namespace {

// The locale's decimal separator: the tests run once for each separator.
QString dec(QString text)
{
    return text.replace(QLatin1Char('.'), QLocale::system().decimalPoint());
}

// Types into whatever has the keyboard focus now, a key at a time, as the
// keyboard does (the focus may move between keys).
void typeKeys(const QString& text)
{
    for (const QChar ch : text) {
        QWidget* target = QApplication::focusWidget();
        QVERIFY(target);
        const bool ascii = ch.unicode() < 128 && ch.isLetterOrNumber();
        const Qt::Key key = ascii ? Qt::Key(ch.toUpper().unicode()) : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Press, target, key, QString(ch), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, target, key, QString(ch), Qt::NoModifier);
    }
}

void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* target = QApplication::focusWidget();
    QVERIFY(target);
    QTest::keyClick(target, key, modifiers);
    // The item views commit an editor on Enter through a queued call.
    QApplication::processEvents();
}

}  // namespace

class TestEntryRoads : public entrytest::PageTest {
    Q_OBJECT
private slots:
    void typedAmountIsPostedByEveryRoad_data();
    void typedAmountIsPostedByEveryRoad();
    void amountThatCannotBeTakenKeepsTheEditorOpen();
    void unknownPollutantCodeIsRefusedAudibly();
    void navigatorInsertAndEditGiveTheGridTheKeys();

    void codeNamesAppearOnlyWithTheirCodes();
    void folderChangeClearsTheCheckReport();

    void tabSelectsTheBoxItEnters();
    void tabWrapsFromTheLastBoxOfAPage_data();
    void tabWrapsFromTheLastBoxOfAPage();
    void navigationClickKeepsTheFocusAndThePendingChange();
    void ctrlTabDoesNotChangePages();

    void charactersOutsideCp1251AreRefusedWithAReason();

private:
    void clickItem(const char* text);
    void addEmission(int contId, double poten);
    QWidget* cellEditor() const;
    // The main window's check report, made by its first check.
    TfrmReport* report() const { return m_window->ReportWindow(); }
};

void TestEntryRoads::clickItem(const char* text)
{
    QToolButton* item = m_window->Outlook->itemButton(QString::fromUtf8(text));
    QVERIFY(item);
    QTest::mouseClick(item, Qt::LeftButton);
}

void TestEntryRoads::addEmission(int contId, double poten)
{
    TApolloTable& data = *m_window->DataModule->tblData;
    data.Insert();
    data.FieldByName(QStringLiteral("CONTID"))->setAsInteger(contId);
    data.FieldByName(QStringLiteral("POTEN"))->setAsFloat(poten);
    data.Post();
}

// The grid's open cell editor, or nullptr.
QWidget* TestEntryRoads::cellEditor() const
{
    auto* grid = control<DbGrid>("grData");
    QWidget* focus = QApplication::focusWidget();
    if (focus && focus->objectName() == u"lookupList")
        focus = focus->parentWidget()->parentWidget();  // the editor's own drop-down list
    return focus && focus != grid && grid->isAncestorOf(focus) ? focus : nullptr;
}

// ---------------------------------------------------------------- emissions grid

void TestEntryRoads::typedAmountIsPostedByEveryRoad_data()
{
    QTest::addColumn<QString>("road");
    QTest::addColumn<int>("row");
    QTest::newRow("down to the next row") << "down" << 0;
    QTest::newRow("down on the last row") << "down" << 1;
    QTest::newRow("post button") << "post" << 0;
    QTest::newRow("check") << "check" << 1;
    QTest::newRow("export") << "export" << 0;
    QTest::newRow("closing the window") << "close" << 0;
    QTest::newRow("working folder change") << "folder" << 1;
}

void TestEntryRoads::typedAmountIsPostedByEveryRoad()
{
    QFETCH(QString, road);
    QFETCH(int, row);
    start();
    addEmission(1, 7);
    addEmission(2, 8);
    clickItem("Викиди");
    auto* grid = control<DbGrid>("grData");
    auto* state = control<QLabel>("lblDataState");
    auto* post = control<DbNavigator>("navigEdit")->button(DbNavigator::Post);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(row, 2)).center());
    QCOMPARE(grid->currentIndex().row(), row);
    QVERIFY(!post->isEnabled());

    // Typing starts editing at the first key.
    typeKeys(dec(QStringLiteral("1")));
    QCOMPARE(state->text(), QStringLiteral("Стан: редагування"));
    QVERIFY(post->isEnabled());
    QVERIFY(cellEditor());
    typeKeys(dec(QStringLiteral("2.5")));

    QStringList expected{QStringLiteral("1 7 -"), QStringLiteral("2 8 -")};
    expected[row] = QStringLiteral("%1 %2 -").arg(row + 1).arg(dec(QStringLiteral("12.5")));
    if (road == u"down") {
        pressKey(Qt::Key_Down);
        QCOMPARE(entrytest::storedEmissions(m_folders->work), expected);
        // The grid goes on taking keys: the next amount is typed and taken.
        QCOMPARE(grid->currentIndex().row(), row + 1);
        QVERIFY(grid->hasFocus());
        typeKeys(QStringLiteral("3"));
        pressKey(Qt::Key_Return);
        if (row == 0) {
            pressKey(Qt::Key_Up);
            expected[1] = QStringLiteral("2 3 -");
        } else {
            // Down on the last row appended a row: pollutant 1 and the amount.
            QTest::mouseClick(post, Qt::LeftButton);
            expected.append(QStringLiteral("1 3 -"));
        }
        const QStringList stored = entrytest::storedEmissions(m_folders->work);
        QCOMPARE(stored, expected);
        return;
    }
    if (road == u"post") {
        QTest::mouseClick(post, Qt::LeftButton);
    } else if (road == u"check") {
        m_window->actCheck->trigger();
        QVERIFY(report()->isVisible());
    } else if (road == u"export") {
        m_dialogs->queueAnswer(MsgAnswer::Ok);  // the check finds remarks: no export
        m_window->actTransfer->trigger();
    } else if (road == u"close") {
        QVERIFY(m_window->close());
    } else if (road == u"folder") {
        QTemporaryDir other;
        m_dialogs->queueFolder(true, other.path());
        m_dialogs->queueAnswer(MsgAnswer::Yes);  // create the work files there
        m_window->actPath->trigger();
        QCOMPARE(m_window->WorkPath(), other.path() + QLatin1Char('/'));
    }
    QCOMPARE(entrytest::storedEmissions(m_folders->work), expected);
    if (road != u"close" && road != u"folder")
        QCOMPARE(state->text(), QStringLiteral("Стан: перегляд"));
}

void TestEntryRoads::amountThatCannotBeTakenKeepsTheEditorOpen()
{
    start();
    addEmission(1, 7);
    addEmission(2, 8);
    clickItem("Викиди");
    auto* grid = control<DbGrid>("grData");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(0, 2)).center());
    const QString refused = QStringLiteral("'1x' is not a valid floating point value for field "
                                           "'Потенцiйний обсяг викидiв, тонн/рiк'");

    // Enter: the error box, then the keys go on to the cell editor.
    typeKeys(QStringLiteral("1x"));
    pressKey(Qt::Key_Return);
    QCOMPARE(m_dialogs->texts(), QStringList{refused});
    auto* editor = qobject_cast<QLineEdit*>(cellEditor());
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("1x"));
    pressKey(Qt::Key_Backspace);
    typeKeys(dec(QStringLiteral(".5")));
    QCOMPARE(editor->text(), dec(QStringLiteral("1.5")));

    // A post that cannot take the text is refused; the editor stays open.
    typeKeys(QStringLiteral("z"));
    m_dialogs->clear();
    QTest::mouseClick(control<DbNavigator>("navigEdit")->button(DbNavigator::Post), Qt::LeftButton);
    QCOMPARE(m_dialogs->texts(),
             QStringList{QString(refused).replace(QStringLiteral("'1x'"), dec(QStringLiteral("'1.5z'")))});
    QCOMPARE(m_window->DataModule->tblData->State(), dsEdit);
    editor = qobject_cast<QLineEdit*>(cellEditor());
    QVERIFY(editor);
    QCOMPARE(editor->text(), dec(QStringLiteral("1.5z")));

    // Escape gives the change up.
    pressKey(Qt::Key_Escape);
    QCOMPARE(m_window->DataModule->tblData->State(), dsBrowse);
    QCOMPARE(grid->model()->index(0, 2).data().toString(), dec(QStringLiteral("7.000")));
    QCOMPARE(entrytest::storedEmissions(m_folders->work), (QStringList{"1 7 -", "2 8 -"}));
}

void TestEntryRoads::unknownPollutantCodeIsRefusedAudibly()
{
    start();
    clickItem("Викиди");
    auto* grid = control<DbGrid>("grData");
    grid->setFocus();
    pressKey(Qt::Key_Insert);
    grid->setCurrentIndex(grid->model()->index(0, 0));
    typeKeys(QStringLiteral("99999"));
    QCOMPARE(m_beeps, 5);
    auto* editor = qobject_cast<QLineEdit*>(cellEditor());
    QVERIFY(editor);
    // The editor shows the code as the list holds it, leading zero included.
    QCOMPARE(editor->text(), QStringLiteral("01001"));
    typeKeys(QStringLiteral("01002"));
    QCOMPARE(m_beeps, 5);
    pressKey(Qt::Key_Return);
    QTest::mouseClick(control<DbNavigator>("navigEdit")->button(DbNavigator::Post), Qt::LeftButton);
    QCOMPARE(entrytest::storedEmissions(m_folders->work), QStringList{"2 - -"});
}

// The navigator's buttons take no focus, and a page change keeps the focus in
// the box left on the other page: the record started from the navigator must
// still take the keys typed next.
void TestEntryRoads::navigatorInsertAndEditGiveTheGridTheKeys()
{
    start();
    addEmission(1, 7);
    auto* name = control<DbEdit>("edEnName");
    const auto leaveFocusOnTheOtherPage = [&] {
        clickItem("Реквізити");
        QTest::mouseClick(name, Qt::LeftButton);
        clickItem("Викиди");
        QCOMPARE(QApplication::focusWidget(), name);
    };

    // The first visit builds the emissions page: the focus stays all the same.
    leaveFocusOnTheOtherPage();
    auto* grid = control<DbGrid>("grData");
    auto* navigator = control<DbNavigator>("navigEdit");
    QTest::mouseClick(navigator->button(DbNavigator::Edit), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), grid);
    grid->setCurrentIndex(grid->model()->index(0, 2));
    typeKeys(QStringLiteral("5"));
    QTest::mouseClick(navigator->button(DbNavigator::Post), Qt::LeftButton);
    QCOMPARE(entrytest::storedEmissions(m_folders->work), QStringList{"1 5 -"});

    leaveFocusOnTheOtherPage();
    QTest::mouseClick(navigator->button(DbNavigator::Insert), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), grid);
    QCOMPARE(grid->currentIndex().row(), 0);
    grid->setCurrentIndex(grid->model()->index(0, 0));
    typeKeys(QStringLiteral("01002"));
    pressKey(Qt::Key_Return);
    QTest::mouseClick(navigator->button(DbNavigator::Post), Qt::LeftButton);
    QCOMPARE(entrytest::storedEmissions(m_folders->work), (QStringList{"1 5 -", "2 - -"}));
    // Nothing went to the box left on the other page.
    QCOMPARE(name->text(), QString());
    QVERIFY(!name->Modified());
}

// ---------------------------------------------------------------- codes

void TestEntryRoads::codeNamesAppearOnlyWithTheirCodes()
{
    // The first folder's enterprise has all three codes and names.
    {
        TDataModule dm(nullptr);
        entrytest::RecordingReporter reporter;
        dm.setReporter(&reporter);
        entrytest::openModule(dm, *m_folders);
        dm.tblAttr->Edit();
        const char* const values[][2] = {{"SPODU_ID", "L01"},  {"SPODU_D", "Кабінет Міністрів України"},
                                         {"KVED_ID", "24.10"}, {"KVED_DESCR", "Виробництво чавуну та сталі"},
                                         {"KFV_ID", "30"},     {"KFV_DESCR", "Державна власність"}};
        for (const auto& v : values)
            dm.tblAttr->FieldByName(QLatin1String(v[0]))->setAsString(QString::fromUtf8(v[1]));
        dm.tblAttr->Post();
    }
    start();
    clickItem("Статистичні коди");
    QCOMPARE(control<DbEdit>("edtSpoduDescr")->text(), QStringLiteral("Кабінет Міністрів України"));

    // Another enterprise's folder: its new record is started by a keystroke.
    QTemporaryDir other;
    m_dialogs->queueFolder(true, other.path());
    m_dialogs->queueAnswer(MsgAnswer::Yes);
    m_window->actPath->trigger();
    clickItem("Реквізити");
    auto* name = control<DbEdit>("edEnName");
    name->setFocus();
    typeKeys(QStringLiteral("Нове"));
    QCOMPARE(m_window->DataModule->tblAttr->State(), dsInsert);
    clickItem("Статистичні коди");
    for (const char* box : {"edtSpoduDescr", "edtKvedDescr", "edtKfvDescr"})
        QCOMPARE(control<DbEdit>(box)->text(), QString());
    m_dialogs->queueAnswer(MsgAnswer::Ok);
    m_window->actCheck->trigger();
    const QString attrFile = other.path() + QStringLiteral("/attr.dbf");
    QCOMPARE(entrytest::storedValue(attrFile, QStringLiteral("ENNAME")), QStringLiteral("Нове"));
    for (const char* field : {"SPODU_D", "KVED_DESCR", "KFV_DESCR"})
        QCOMPARE(entrytest::storedValue(attrFile, QLatin1String(field)), QString());
    QStringList remarks;
    for (int row = 0; row < report()->RemarkCount(); ++row)
        remarks.append(report()->sgReport->item(row, 0)->text());
    QVERIFY2(remarks.size() >= 6, qPrintable(remarks.join(u'|')));

    // A chosen code brings its name along.
    auto* kfv = control<DbLookupCombo>("cbKfvID");
    kfv->setFocus();
    typeKeys(QStringLiteral("1"));
    QCOMPARE(control<DbEdit>("edtKfvDescr")->text(), QStringLiteral("Приватна власність"));
}

void TestEntryRoads::folderChangeClearsTheCheckReport()
{
    start();
    m_window->actCheck->trigger();
    QVERIFY(report()->isVisible());
    QVERIFY(report()->RemarkCount() > 0);
    QTemporaryDir other;
    m_dialogs->queueFolder(true, other.path());
    m_dialogs->queueAnswer(MsgAnswer::Yes);
    m_window->actPath->trigger();
    QCOMPARE(report()->RemarkCount(), 0);
    QVERIFY(!report()->isVisible());
    // A go-to from an emptied report leads nowhere.
    const int page = m_window->pc->currentIndex();
    report()->actReportGo->trigger();
    QCOMPARE(m_window->pc->currentIndex(), page);
}

// ---------------------------------------------------------------- keyboard and focus

void TestEntryRoads::tabSelectsTheBoxItEnters()
{
    {
        TDataModule dm(nullptr);
        entrytest::RecordingReporter reporter;
        dm.setReporter(&reporter);
        entrytest::openModule(dm, *m_folders);
        dm.tblAttr->Edit();
        dm.tblAttr->FieldByName(QStringLiteral("EDRPOU"))->setAsString(QStringLiteral("87654321"));
        dm.tblAttr->FieldByName(QStringLiteral("X2"))->setAsInteger(30);
        dm.tblAttr->Post();
    }
    start();
    auto* name = control<DbEdit>("edEnName");
    QTest::mouseClick(name, Qt::LeftButton);
    typeKeys(QStringLiteral("Завод"));
    pressKey(Qt::Key_Tab);
    auto* code = control<DbEdit>("edEDRPOU");
    QCOMPARE(QApplication::focusWidget(), code);
    QCOMPARE(code->selectedText(), QStringLiteral("87654321"));
    typeKeys(QStringLiteral("1"));
    QCOMPARE(code->text(), QStringLiteral("1"));

    // A changed coordinate box, then Tab: the next box takes the digits.
    auto* degrees = control<DbEdit>("edX1");
    QTest::mouseClick(degrees, Qt::LeftButton);
    typeKeys(QStringLiteral("45"));
    pressKey(Qt::Key_Tab);
    auto* minutes = control<DbEdit>("edX2");
    QCOMPARE(QApplication::focusWidget(), minutes);
    typeKeys(QStringLiteral("15"));
    QCOMPARE(minutes->text(), QStringLiteral("15"));
    pressKey(Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), degrees);
    QCOMPARE(degrees->selectedText(), QStringLiteral("45"));
    m_window->actCheck->trigger();
    QCOMPARE(stored("EDRPOU"), QStringLiteral("1"));
    QCOMPARE(stored("X1"), QStringLiteral("45"));
    QCOMPARE(stored("X2"), QStringLiteral("15"));
}

void TestEntryRoads::tabWrapsFromTheLastBoxOfAPage_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::newRow("attributes") << "Реквізити"
                                << "edY3"
                                << "edEnName"
                                << "12"
                                << "Y3"
                                << "12";
    QTest::newRow("codes") << "Статистичні коди"
                           << "cbOblDescr"
                           << "edtRegDescr"
                           << "д"
                           << "OBL_ID"
                           << "1200000000";
}

void TestEntryRoads::tabWrapsFromTheLastBoxOfAPage()
{
    QFETCH(QString, page);
    QFETCH(QString, last);
    QFETCH(QString, first);
    QFETCH(QString, typed);
    QFETCH(QString, field);
    QFETCH(QString, value);
    start();
    clickItem(page.toUtf8().constData());
    auto* box = m_window->findChild<QWidget*>(last);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    QCOMPARE(QApplication::focusWidget(), box);
    typeKeys(typed);
    // Enter takes the box's value; Tab goes on to the first box of the page.
    pressKey(Qt::Key_Return);
    QCOMPARE(m_window->DataModule->tblAttr->FieldByName(field)->AsString(), value);
    pressKey(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), first);
    pressKey(Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget()->objectName(), last);
    m_window->actCheck->trigger();
    QCOMPARE(stored(field.toLatin1().constData()), value);
}

void TestEntryRoads::navigationClickKeepsTheFocusAndThePendingChange()
{
    start();
    auto* name = control<DbEdit>("edEnName");
    QTest::mouseClick(name, Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), name);
    typeKeys(QStringLiteral("Завод"));
    TField* enName = m_window->DataModule->tblAttr->FieldByName(QStringLiteral("ENNAME"));
    for (const char* item : {"Статистичні коди", "Викиди", "Реквізити"}) {
        clickItem(item);
        QCOMPARE(QApplication::focusWidget(), name);
        QVERIFY(name->Modified());
        QCOMPARE(enName->AsString(), QString());
    }
    QCOMPARE(m_window->pc->currentWidget(), m_window->tsAttr);
    typeKeys(QStringLiteral("!"));
    m_window->actCheck->trigger();
    QCOMPARE(stored("ENNAME"), QStringLiteral("Завод!"));
}

void TestEntryRoads::ctrlTabDoesNotChangePages()
{
    start();
    auto* name = control<DbEdit>("edEnName");
    QTest::mouseClick(name, Qt::LeftButton);
    for (const auto modifiers :
         {Qt::KeyboardModifiers(Qt::ControlModifier), Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier)}) {
        pressKey(Qt::Key_Tab, modifiers);
        pressKey(Qt::Key_Backtab, modifiers);
        pressKey(Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(m_window->pc->currentWidget(), m_window->tsAttr);
    }
    clickItem("Викиди");
    auto* grid = control<DbGrid>("grData");
    grid->setFocus();
    pressKey(Qt::Key_Tab, Qt::ControlModifier);
    pressKey(Qt::Key_PageUp, Qt::ControlModifier);
    QCOMPARE(m_window->pc->currentWidget(), m_window->tsData);
}

// ---------------------------------------------------------------- Windows-1251

void TestEntryRoads::charactersOutsideCp1251AreRefusedWithAReason()
{
    start();
    const QString reason = QStringLiteral("Символу «ʃ» (U+0283) немає в кодуванні Windows-1251, тому його не можна "
                                          "зберегти.");
    auto* name = control<DbEdit>("edEnName");
    QTest::mouseClick(name, Qt::LeftButton);
    // The modifier apostrophe of Ukrainian layouts is the apostrophe.
    typeKeys(QStringLiteral("Мʼята"));
    QCOMPARE(name->text(), QStringLiteral("М'ята"));
    typeKeys(QStringLiteral("ʃ"));
    QCOMPARE(name->text(), QStringLiteral("М'ята"));
    QCOMPARE(m_beeps, 1);
    QCOMPARE(m_refusals, QStringList{reason});

    // A paste with such a character is refused whole, and said why; one with
    // the modifier apostrophe is taken.
    QApplication::clipboard()->setText(QStringLiteral(" і ʃ"));
    pressKey(Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(name->text(), QStringLiteral("М'ята"));
    QCOMPARE(m_refusals.size(), 2);
    QCOMPARE(m_refusals.last(), reason);
    QApplication::clipboard()->setText(QStringLiteral(" з Кагарлицʼкого"));
    pressKey(Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(name->text(), QStringLiteral("М'ята з Кагарлиц'кого"));

    // The look-up boxes and the grid's cell editors say so too.
    clickItem("Статистичні коди");
    auto* city = control<DbLookupCombo>("cbCityDescr");
    QTest::mouseClick(city, Qt::LeftButton);
    typeKeys(QStringLiteral("ʃ"));
    QCOMPARE(m_refusals.size(), 3);
    clickItem("Викиди");
    auto* grid = control<DbGrid>("grData");
    grid->setFocus();
    pressKey(Qt::Key_Insert);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(0, 1)).center());
    typeKeys(QStringLiteral("ʃ"));
    QCOMPARE(m_refusals.size(), 4);
    QCOMPARE(m_refusals.last(), reason);

    m_window->actCheck->trigger();
    QCOMPARE(stored("ENNAME"), QStringLiteral("М'ята з Кагарлиц'кого"));
}

QTEST_MAIN(TestEntryRoads)
#include "tst_entryroads.moc"
