// The data-aware controls on small tables: when a change reaches the record
// and the file, how a change is given up, which characters are refused, the
// look-up boxes' type-ahead and list, the navigator's buttons and the grid's
// keys. Modal boxes are answered through the dialog seam.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include "dbtestsupport.h"
#include "store/errors.h"
#include "store/fields.h"
#include "widgets/db/beep.h"
#include "widgets/db/datasetmodel.h"
#include "widgets/db/dbedit.h"
#include "widgets/db/dbgrid.h"
#include "widgets/db/dblookupcombo.h"
#include "widgets/db/dbnavigator.h"
#include "widgets/db/lookuplist.h"
#include "widgets/db/lookuppopup.h"
#include "widgets/db/twolevelheader.h"
#include "widgets/testing/scripteddialogs.h"

using namespace emlo;
using dbtest::typeText;

class TestDbControls : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void firstKeystrokeOnEmptyTableStartsTheRecord();
    void changeReachesTheFieldOnlyAtCommit();
    void postCollectsThePendingChange();
    void handledUpdateDataWritesNothing();
    void escapeGivesTheChangeUp();
    void emptiedBoxClearsTheField();
    void characterWindows1251CannotHoldIsRefused();
    void maxLengthFollowsTheFieldWidth();
    void maskedBoxHandsOnTheDigitsOnly();
    void maskedBoxStartsTheRecordOnAnEmptyTable();
    void keyPressHandlerCanDiscardACharacter();
    void boxShowsTheNewCurrentRecord();

    void typeAheadFindsTheFirstEntryByPrefix_data();
    void typeAheadFindsTheFirstEntryByPrefix();
    void listIsOnTheNewKeyWhenTheHandlerRuns();
    void choiceIsCommittedWhenFocusLeaves();
    void handledChoiceWritesNothing();
    void escapeGivesUpAnUncommittedChoice();
    void listOpensOnTypingWithNineRowsAtMost();
    void choosingARowOfTheListWithTheMouse();
    void keyMissingFromTheListIsShownAsStored_data();
    void keyMissingFromTheListIsShownAsStored();
    void twoLevelTitlesShareTheirUpperPart();

    void navigatorButtonsFollowTheTable();
    void navigatorDeleteAsksFirst();

    void gridModelStaysConsistent();
    void insertKeyStartsARecordBeforeTheCurrentOne();
    void downArrowAppendsAndGivesUpAnUnchangedNewRecord();
    void escapeCancelsTheRecordsChanges();
    void ctrlDeleteAsksFirst();
    void typingIntoAPollutantCellChoosesFromTheList();
    void tabInTheOpenListTakesTheEntryAndMovesOn();
    void doubleClickTakesTheNextPollutant();
    void limitColumnIsReadOnly();
    void columnsFillTheGrid();
    void headerHeightFollowsTheColumnWidths();
    void narrowGridCutsNoTitleWordNorCode();
    void onlyCopyAndSelectAllAreOffered();
    void leavingTheGridGivesUpAnUnchangedNewRecord();
    void textThatIsNoNumberIsShownAndRefused();
    void moveRefusedByBeforePostKeepsTheRow();

private:
    // A window holding the control under test and a second box to move the focus to.
    template <typename T> T* host(T* control);
    void leaveControl();
    DbGrid* makeGrid();

    std::unique_ptr<dbtest::Tables> m_tables;
    std::unique_ptr<testing::ScriptedDialogs> m_dialogs;
    std::unique_ptr<QWidget> m_window;
    QLineEdit* m_other = nullptr;
    int m_beeps = 0;
};

void TestDbControls::init()
{
    m_tables = std::make_unique<dbtest::Tables>();
    m_dialogs = std::make_unique<testing::ScriptedDialogs>();
    m_beeps = 0;
    setBeepHook([this] { ++m_beeps; });
}

void TestDbControls::cleanup()
{
    m_window.reset();
    m_dialogs.reset();
    m_tables.reset();
    setBeepHook(nullptr);
}

template <typename T> T* TestDbControls::host(T* control)
{
    m_window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(m_window.get());
    control->setParent(m_window.get());
    layout->addWidget(control);
    m_other = new QLineEdit(m_window.get());
    m_other->setObjectName(QStringLiteral("other"));
    layout->addWidget(m_other);
    m_window->resize(600, 300);
    m_window->show();
    if (!QTest::qWaitForWindowActive(m_window.get()))
        qWarning("window not active");
    control->setFocus();
    return control;
}

void TestDbControls::leaveControl()
{
    m_other->setFocus();
    QApplication::processEvents();
}

QString field(TApolloTable& table, const char* name)
{
    return table.FieldByName(QLatin1String(name))->AsString();
}

// ---------------------------------------------------------------- edit box

void TestDbControls::firstKeystrokeOnEmptyTableStartsTheRecord()
{
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NAME"));
    QVERIFY(m_tables->rec.IsEmpty());

    typeText(box, QStringLiteral("Ж"));
    QCOMPARE(m_tables->rec.State(), dsInsert);
    QCOMPARE(box->text(), QStringLiteral("Ж"));

    typeText(box, QStringLiteral("ук"));
    leaveControl();
    m_tables->rec.Post();
    QCOMPARE(m_tables->stored(QStringLiteral("rec.dbf"), 1, QStringLiteral("NAME")), QStringLiteral("Жук"));
}

void TestDbControls::changeReachesTheFieldOnlyAtCommit()
{
    m_tables->addRec(QStringLiteral("old"), 5);
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NAME"));
    box->selectAll();
    typeText(box, QStringLiteral("new"));
    QCOMPARE(m_tables->rec.State(), dsEdit);
    QCOMPARE(field(m_tables->rec, "NAME"), QStringLiteral("old"));
    QVERIFY(box->Modified());

    leaveControl();
    QCOMPARE(field(m_tables->rec, "NAME"), QStringLiteral("new"));
    QVERIFY(!box->Modified());
    QCOMPARE(m_tables->stored(QStringLiteral("rec.dbf"), 1, QStringLiteral("NAME")), QStringLiteral("old"));
}

void TestDbControls::postCollectsThePendingChange()
{
    m_tables->addRec(QStringLiteral("old"), 5);
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NUM"));
    box->selectAll();
    typeText(box, QStringLiteral("42"));
    QVERIFY(box->hasFocus());

    m_tables->rec.Post();
    QCOMPARE(m_tables->stored(QStringLiteral("rec.dbf"), 1, QStringLiteral("NUM")), QStringLiteral("42"));
    QCOMPARE(box->text(), QStringLiteral("42"));
    QVERIFY(!box->Modified());
}

void TestDbControls::handledUpdateDataWritesNothing()
{
    m_tables->addRec(QStringLiteral("old"), 5);
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NUM"));
    int calls = 0;
    box->OnUpdateData = [&](DbEdit& sender, bool& handled) {
        ++calls;
        QVERIFY(!handled);
        QCOMPARE(sender.text(), QStringLiteral("77"));
        handled = true;
    };
    box->selectAll();
    typeText(box, QStringLiteral("77"));
    leaveControl();
    QCOMPARE(calls, 1);
    QCOMPARE(field(m_tables->rec, "NUM"), QStringLiteral("5"));
    // The record stays in editing; posting writes it unchanged and shows the stored value.
    QCOMPARE(m_tables->rec.State(), dsEdit);
    m_tables->rec.Post();
    QCOMPARE(calls, 1);
    QCOMPARE(m_tables->stored(QStringLiteral("rec.dbf"), 1, QStringLiteral("NUM")), QStringLiteral("5"));
    QCOMPARE(box->text(), QStringLiteral("5"));
}

void TestDbControls::escapeGivesTheChangeUp()
{
    m_tables->addRec(QStringLiteral("old"), 5);
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NAME"));
    box->selectAll();
    typeText(box, QStringLiteral("new"));
    QTest::keyClick(box, Qt::Key_Escape);
    QCOMPARE(box->text(), QStringLiteral("old"));
    QVERIFY(!box->Modified());
    m_tables->rec.Post();
    QCOMPARE(m_tables->stored(QStringLiteral("rec.dbf"), 1, QStringLiteral("NAME")), QStringLiteral("old"));
}

void TestDbControls::emptiedBoxClearsTheField()
{
    m_tables->addRec(QStringLiteral("old"), 5);
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NUM"));
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    leaveControl();
    QVERIFY(m_tables->rec.FieldByName(QStringLiteral("NUM"))->IsNull());
    m_tables->rec.Post();
    QCOMPARE(m_tables->stored(QStringLiteral("rec.dbf"), 1, QStringLiteral("NUM")), QString());
}

void TestDbControls::characterWindows1251CannotHoldIsRefused()
{
    m_tables->addRec(QStringLiteral("ab"), 5);
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NAME"));
    box->end(false);

    typeText(box, QStringLiteral("ŵ"));
    QCOMPARE(box->text(), QStringLiteral("ab"));
    QCOMPARE(m_beeps, 1);

    QApplication::clipboard()->setText(QStringLiteral("x中y"));
    box->paste();
    QCOMPARE(box->text(), QStringLiteral("ab"));
    QCOMPARE(m_beeps, 2);

    // What the code page holds passes, Cyrillic and the euro sign included.
    QApplication::clipboard()->setText(QStringLiteral("Ї€"));
    box->paste();
    QCOMPARE(box->text(), QStringLiteral("abЇ€"));
    QCOMPARE(m_beeps, 2);
    QCOMPARE(m_tables->rec.State(), dsEdit);
}

void TestDbControls::maxLengthFollowsTheFieldWidth()
{
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NAME"));
    typeText(box, QStringLiteral("абвгдеєжзийклм"));
    QCOMPARE(box->text(), QStringLiteral("абвгдеєжзи"));
}

void TestDbControls::maskedBoxHandsOnTheDigitsOnly()
{
    m_tables->addRec(QStringLiteral("x"), QVariant());
    auto* box = host(new DbEdit);
    box->setEditMask(QStringLiteral("99;0;_"));
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NUM"));
    QCOMPARE(box->displayText(), QStringLiteral("__"));
    box->setCursorPosition(0);
    typeText(box, QStringLiteral("7"));
    QCOMPARE(box->displayText(), QStringLiteral("7_"));
    typeText(box, QStringLiteral("a"));
    QCOMPARE(box->displayText(), QStringLiteral("7_"));
    leaveControl();
    QCOMPARE(field(m_tables->rec, "NUM"), QStringLiteral("7"));
}

void TestDbControls::maskedBoxStartsTheRecordOnAnEmptyTable()
{
    auto* box = host(new DbEdit);
    box->setEditMask(QStringLiteral("99;0;_"));
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NUM"));
    box->setCursorPosition(2);  // behind the mask: focus puts the cursor back
    m_other->setFocus();
    box->setFocus();
    typeText(box, QStringLiteral("60"));
    QCOMPARE(m_tables->rec.State(), dsInsert);
    QCOMPARE(box->text(), QStringLiteral("60"));
    m_tables->rec.Post();
    QCOMPARE(m_tables->stored(QStringLiteral("rec.dbf"), 1, QStringLiteral("NUM")), QStringLiteral("60"));
}

void TestDbControls::keyPressHandlerCanDiscardACharacter()
{
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NAME"));
    QString seen;
    box->OnKeyPress = [&](DbEdit&, QChar& key) {
        seen += key;
        if (key == QLatin1Char('x'))
            key = QChar(0);
    };
    typeText(box, QStringLiteral("axb"));
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(box->text(), QStringLiteral("ab"));
    QCOMPARE(seen, QStringLiteral("axb") + QChar(3));
}

void TestDbControls::boxShowsTheNewCurrentRecord()
{
    m_tables->addRec(QStringLiteral("first"), 1);
    m_tables->addRec(QStringLiteral("second"), 2);
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NAME"));
    m_tables->rec.First();
    QCOMPARE(box->text(), QStringLiteral("first"));
    m_tables->rec.Next();
    QCOMPARE(box->text(), QStringLiteral("second"));
}

// ---------------------------------------------------------------- look-up box

DbLookupCombo* listBox(dbtest::Tables& tables, const char* dataField, const char* keyField, const char* shown)
{
    auto* box = new DbLookupCombo;
    box->setListSource(&tables.dsList);
    box->setKeyField(QLatin1String(keyField));
    box->setDisplayField(QLatin1String(shown));
    box->setListFields({QStringLiteral("CODE"), QStringLiteral("DESCR")});
    box->setDataSource(&tables.dsRec);
    box->setDataField(QLatin1String(dataField));
    return box;
}

void TestDbControls::typeAheadFindsTheFirstEntryByPrefix_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("selected");
    QTest::newRow("one letter, other case") << "а"
                                            << "Альфа"
                                            << "льфа";
    QTest::newRow("two letters") << "аль"
                                 << "Альфа"
                                 << "фа";
    QTest::newRow("goes on to a later entry") << "альб"
                                              << "альбом"
                                              << "ом";
    QTest::newRow("capitals typed") << "БЕР"
                                    << "БЕРЕЗА"
                                    << "ЕЗА";
    QTest::newRow("unmatched letter keeps the choice") << "бю"
                                                       << "Бета"
                                                       << "ета";
    QTest::newRow("whole name") << "дуб"
                                << "Дуб"
                                << "";
}

void TestDbControls::typeAheadFindsTheFirstEntryByPrefix()
{
    QFETCH(QString, typed);
    QFETCH(QString, key);
    QFETCH(QString, selected);
    auto* box = host(listBox(*m_tables, "NAME", "DESCR", "DESCR"));
    typeText(box, typed);
    QCOMPARE(box->KeyValue().toString(), key);
    QCOMPARE(box->text(), key);
    QCOMPARE(box->selectedText(), selected);
    QCOMPARE(m_tables->rec.State(), dsInsert);
    leaveControl();
    QCOMPARE(field(m_tables->rec, "NAME"), key);
}

void TestDbControls::listIsOnTheNewKeyWhenTheHandlerRuns()
{
    m_tables->addRec(QStringLiteral("x"), 1);
    auto* box = host(listBox(*m_tables, "CODE", "CODE", "CODE"));
    QStringList seen;
    box->OnKeyValueChanged = [&](LookupBox& sender) {
        seen.append(sender.KeyValue().toString() + QLatin1Char('=') + field(m_tables->list, "DESCR"));
    };
    typeText(box, QStringLiteral("A05"));
    QCOMPARE(seen, (QStringList{QStringLiteral("A01=Альфа"), QStringLiteral("A05=Вишня")}));
    // The field's value reaching the box is a change of key too.
    leaveControl();
    m_tables->rec.Cancel();
    QCOMPARE(seen.last(), QStringLiteral("=Вишня"));
}

void TestDbControls::choiceIsCommittedWhenFocusLeaves()
{
    m_tables->addRec(QStringLiteral("x"), 1);
    auto* box = host(listBox(*m_tables, "CODE", "CODE", "CODE"));
    QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(box->KeyValue().toString(), QStringLiteral("A01"));
    QCOMPARE(field(m_tables->rec, "CODE"), QString());
    QVERIFY(box->Modified());
    leaveControl();
    QCOMPARE(field(m_tables->rec, "CODE"), QStringLiteral("A01"));
    m_tables->rec.Post();
    QCOMPARE(m_tables->stored(QStringLiteral("rec.dbf"), 1, QStringLiteral("CODE")), QStringLiteral("A01"));
}

void TestDbControls::handledChoiceWritesNothing()
{
    m_tables->addRec(QStringLiteral("x"), 1);
    auto* box = host(listBox(*m_tables, "CODE", "CODE", "CODE"));
    bool called = false;
    box->OnUpdateData = [&](DbLookupCombo&, bool& handled) {
        called = true;
        handled = true;
    };
    typeText(box, QStringLiteral("A03"));
    m_tables->rec.Post();
    QVERIFY(called);
    QCOMPARE(m_tables->stored(QStringLiteral("rec.dbf"), 1, QStringLiteral("CODE")), QString());
}

void TestDbControls::escapeGivesUpAnUncommittedChoice()
{
    m_tables->addRec(QStringLiteral("x"), 1);
    m_tables->rec.Edit();
    m_tables->rec.FieldByName(QStringLiteral("CODE"))->setAsString(QStringLiteral("A02"));
    m_tables->rec.Post();
    auto* box = host(listBox(*m_tables, "CODE", "CODE", "CODE"));
    QCOMPARE(box->text(), QStringLiteral("A02"));
    typeText(box, QStringLiteral("A07"));
    QCOMPARE(box->text(), QStringLiteral("A07"));
    QTest::keyClick(box, Qt::Key_Escape);
    QCOMPARE(box->text(), QStringLiteral("A02"));
    m_tables->rec.Post();
    QCOMPARE(m_tables->stored(QStringLiteral("rec.dbf"), 1, QStringLiteral("CODE")), QStringLiteral("A02"));
}

void TestDbControls::listOpensOnTypingWithNineRowsAtMost()
{
    auto* box = host(listBox(*m_tables, "CODE", "CODE", "CODE"));
    box->resize(80, box->height());
    typeText(box, QStringLiteral("A"));
    QVERIFY(!box->ListVisible());
    box->setDropDownOnType(true);
    typeText(box, QStringLiteral("1"));
    QVERIFY(box->ListVisible());
    QTableView* view = box->Popup()->View();
    QCOMPARE(view->currentIndex().row(), 9);  // "A10", the first code beginning with A1
    QCOMPARE(view->model()->rowCount(), 12);
    const int rows = view->viewport()->height() / view->verticalHeader()->defaultSectionSize();
    QCOMPARE(rows, LookupPopup::kVisibleRows);
    QVERIFY(box->Popup()->width() >= box->width());
    // Typing goes on in the open list.
    typeText(view, QStringLiteral("2"));
    QCOMPARE(box->KeyValue().toString(), QStringLiteral("A12"));
    QTest::keyClick(view, Qt::Key_Escape);
    QVERIFY(!box->ListVisible());
}

void TestDbControls::choosingARowOfTheListWithTheMouse()
{
    auto* box = host(listBox(*m_tables, "NAME", "DESCR", "DESCR"));
    box->DropDown();
    QTableView* view = box->Popup()->View();
    const QRect cell = view->visualRect(view->model()->index(2, 1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QVERIFY(!box->ListVisible());
    QCOMPARE(box->KeyValue().toString(), QStringLiteral("Бета"));
    QCOMPARE(m_tables->rec.State(), dsInsert);
}

void TestDbControls::keyMissingFromTheListIsShownAsStored_data()
{
    QTest::addColumn<QString>("dataField");
    QTest::addColumn<QString>("keyField");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("text");
    QTest::newRow("code shown") << "CODE"
                                << "CODE"
                                << "CODE" << QVariant(QStringLiteral("Z9")) << "Z9";
    QTest::newRow("name shown") << "CODE"
                                << "CODE"
                                << "DESCR" << QVariant(QStringLiteral("Z9")) << "";
    // A numeric code (the settlement's) in plain digits.
    QTest::newRow("number shown") << "AMT"
                                  << "ID"
                                  << "ID" << QVariant(1210100000.0) << "1210100000";
}

// A code stored before the list changed: shown, never replaced by showing it,
// entering or leaving the box, Enter, or a post.
void TestDbControls::keyMissingFromTheListIsShownAsStored()
{
    QFETCH(QString, dataField);
    QFETCH(QString, keyField);
    QFETCH(QString, shown);
    QFETCH(QVariant, stored);
    QFETCH(QString, text);
    m_tables->addRec(QStringLiteral("x"), 1);
    m_tables->rec.Edit();
    m_tables->rec.FieldByName(dataField)->setAsVariant(stored);
    m_tables->rec.Post();
    const QString before = m_tables->stored(QStringLiteral("rec.dbf"), 1, dataField);
    auto* box = host(listBox(*m_tables, qPrintable(dataField), qPrintable(keyField), qPrintable(shown)));
    QCOMPARE(box->text(), text);
    QCOMPARE(box->KeyRow(), -1);
    QTest::keyClick(box, Qt::Key_Return);
    leaveControl();
    box->setFocus();
    leaveControl();
    QCOMPARE(m_tables->rec.State(), dsBrowse);
    QCOMPARE(box->text(), text);
    m_tables->rec.Edit();
    m_tables->rec.FieldByName(QStringLiteral("NAME"))->setAsString(QStringLiteral("y"));
    m_tables->rec.Post();
    QCOMPARE(m_tables->stored(QStringLiteral("rec.dbf"), 1, dataField), before);
    QCOMPARE(box->text(), text);
}

void TestDbControls::twoLevelTitlesShareTheirUpperPart()
{
    QCOMPARE(TwoLevelHeader::SplitTitle(QStringLiteral("Речовина|Код")),
             qMakePair(QStringLiteral("Речовина"), QStringLiteral("Код")));
    QCOMPARE(TwoLevelHeader::SplitTitle(QStringLiteral("Факт")), qMakePair(QString(), QStringLiteral("Факт")));
    auto* grid = host(makeGrid());
    auto* header = qobject_cast<TwoLevelHeader*>(grid->horizontalHeader());
    QVERIFY(header);
    QVERIFY(header->height() >= 2 * grid->fontMetrics().height());
}

// ---------------------------------------------------------------- navigator

void TestDbControls::navigatorButtonsFollowTheTable()
{
    auto* nav = host(new DbNavigator);
    nav->setButtons({DbNavigator::First, DbNavigator::Prior, DbNavigator::Next, DbNavigator::Last, DbNavigator::Insert,
                     DbNavigator::Delete, DbNavigator::Edit, DbNavigator::Post, DbNavigator::Cancel,
                     DbNavigator::Refresh},
                    {});
    nav->setDataSource(&m_tables->dsRec);
    auto enabled = [nav] {
        QString s;
        for (int b = DbNavigator::First; b <= DbNavigator::Refresh; ++b)
            s += nav->button(DbNavigator::Button(b))->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        return s;
    };
    //                 first prior next last insert delete edit post cancel refresh
    QCOMPARE(enabled(), QStringLiteral("0000101001"));  // empty table
    m_tables->addRec(QStringLiteral("a"), 1);
    m_tables->addRec(QStringLiteral("b"), 2);
    m_tables->rec.First();
    QCOMPARE(enabled(), QStringLiteral("0011111001"));
    m_tables->rec.Last();
    QCOMPARE(enabled(), QStringLiteral("1100111001"));
    m_tables->rec.Edit();
    QCOMPARE(enabled(), QStringLiteral("1100110111"));
    m_tables->rec.Cancel();
    nav->BtnClick(DbNavigator::Insert);
    QCOMPARE(m_tables->rec.State(), dsInsert);
    QCOMPARE(enabled(), QStringLiteral("1111110111"));
    nav->BtnClick(DbNavigator::Cancel);
    QCOMPARE(m_tables->rec.State(), dsBrowse);
    m_tables->rec.setReadOnly(true);
    m_tables->rec.Close();
    m_tables->rec.Open();
    QCOMPARE(enabled(), QStringLiteral("0011000001"));
    m_tables->rec.Close();
    QCOMPARE(enabled(), QStringLiteral("0000000000"));
}

void TestDbControls::navigatorDeleteAsksFirst()
{
    m_tables->addRec(QStringLiteral("a"), 1);
    m_tables->addRec(QStringLiteral("b"), 2);
    auto* nav = host(new DbNavigator);
    nav->setButtons({DbNavigator::Delete}, {QStringLiteral("Удалити")});
    nav->setDataSource(&m_tables->dsRec);
    QCOMPARE(nav->button(DbNavigator::Delete)->toolTip(), QStringLiteral("Удалити"));
    m_tables->rec.First();

    m_dialogs->queueAnswer(MsgAnswer::Cancel);
    QTest::mouseClick(nav->button(DbNavigator::Delete), Qt::LeftButton);
    QCOMPARE(m_tables->liveRecords(QStringLiteral("rec.dbf")), 2);
    QCOMPARE(m_dialogs->messages().size(), 1);
    const MessageRequest& asked = m_dialogs->messages().first();
    QCOMPARE(asked.text, QStringLiteral("Delete record?"));
    QCOMPARE(asked.kind, MsgKind::Confirmation);
    QCOMPARE(asked.buttons, MsgButtons(MsgButton::Ok | MsgButton::Cancel));

    m_dialogs->queueAnswer(MsgAnswer::Ok);
    QTest::mouseClick(nav->button(DbNavigator::Delete), Qt::LeftButton);
    QCOMPARE(m_tables->liveRecords(QStringLiteral("rec.dbf")), 1);
    QCOMPARE(field(m_tables->rec, "NAME"), QStringLiteral("b"));
}

// ---------------------------------------------------------------- grid

DbGrid* TestDbControls::makeGrid()
{
    auto* grid = new DbGrid;
    grid->setLookupSource(&m_tables->dsCont);
    grid->setDataSource(&m_tables->dsData);
    return grid;
}

QStringList gridRows(DbGrid* grid)
{
    const QAbstractItemModel* model = grid->model();
    QStringList rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c)
            cells.append(model->index(r, c).data().toString());
        rows.append(cells.join(QLatin1Char('|')));
    }
    return rows;
}

void TestDbControls::gridModelStaysConsistent()
{
    DataSetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setDataSource(&m_tables->dsData);
    m_tables->addData(2, 1.5, 2.0);
    m_tables->addData(1, QVariant(), 0.25);
    TApolloTable& data = m_tables->data;
    data.First();
    data.Insert();
    QCOMPARE(model.rowCount(), 3);
    QVERIFY(model.IsInsertRow(0));
    model.setData(model.index(0, model.ColumnOf(QStringLiteral("FACT"))), QStringLiteral("3"));
    data.Post();
    data.Last();
    data.Edit();
    data.Delete();
    data.Close();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 0);
}

void TestDbControls::insertKeyStartsARecordBeforeTheCurrentOne()
{
    m_tables->addData(1, 1.0, 1.0);
    m_tables->addData(2, 2.0, 2.0);
    auto* grid = host(makeGrid());
    m_tables->data.Last();
    QCOMPARE(grid->currentIndex().row(), 1);
    QTest::keyClick(grid, Qt::Key_Insert);
    QCOMPARE(m_tables->data.State(), dsInsert);
    QCOMPARE(grid->currentIndex().row(), 1);
    QCOMPARE(gridRows(grid), (QStringList{"01001|Арсен|1.000|1.000|0.001", "||||", "01002|Ванадій|2.000|2.000|0.02"}));
}

void TestDbControls::downArrowAppendsAndGivesUpAnUnchangedNewRecord()
{
    m_tables->addData(1, 1.0, 1.0);
    auto* grid = host(makeGrid());
    m_tables->data.First();
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(m_tables->data.State(), dsInsert);
    QCOMPARE(grid->model()->rowCount(), 2);
    QCOMPARE(grid->currentIndex().row(), 1);

    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(m_tables->data.State(), dsBrowse);
    QCOMPARE(grid->model()->rowCount(), 1);
    QCOMPARE(m_tables->liveRecords(QStringLiteral("data.dbf")), 1);

    // A new record that has received an entry is posted by the next Down.
    QTest::keyClick(grid, Qt::Key_Down);
    m_tables->data.FieldByName(QStringLiteral("CONTID"))->setAsInteger(3);
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(m_tables->liveRecords(QStringLiteral("data.dbf")), 2);
    QCOMPARE(m_tables->data.State(), dsInsert);
}

void TestDbControls::escapeCancelsTheRecordsChanges()
{
    m_tables->addData(1, 1.0, 1.0);
    auto* grid = host(makeGrid());
    const QModelIndex fact = grid->model()->index(0, grid->DataModel()->ColumnOf(QStringLiteral("FACT")));
    grid->setCurrentIndex(fact);
    typeText(grid, QStringLiteral("9"));
    QCOMPARE(m_tables->data.State(), dsEdit);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QCOMPARE(m_tables->data.State(), dsBrowse);
    QCOMPARE(fact.data().toString(), QStringLiteral("1.000"));

    grid->setCurrentIndex(fact);
    typeText(grid, QStringLiteral("9"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    // The delegate commits an Enter through the event queue.
    QTRY_COMPARE(fact.data().toString(), QStringLiteral("9.000"));
    QTest::keyClick(grid, Qt::Key_Escape);
    QCOMPARE(m_tables->data.State(), dsBrowse);
    QCOMPARE(fact.data().toString(), QStringLiteral("1.000"));
    QCOMPARE(m_tables->stored(QStringLiteral("data.dbf"), 1, QStringLiteral("FACT")), QStringLiteral("1"));
}

void TestDbControls::ctrlDeleteAsksFirst()
{
    m_tables->addData(1, 1.0, 1.0);
    m_tables->addData(2, 2.0, 2.0);
    auto* grid = host(makeGrid());
    m_tables->data.First();
    m_dialogs->queueAnswer(MsgAnswer::Cancel);
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(m_tables->liveRecords(QStringLiteral("data.dbf")), 2);
    m_dialogs->queueAnswer(MsgAnswer::Ok);
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(m_tables->liveRecords(QStringLiteral("data.dbf")), 1);
    QCOMPARE(m_dialogs->texts(), (QStringList{"Delete record?", "Delete record?"}));
    QCOMPARE(gridRows(grid), QStringList{"01002|Ванадій|2.000|2.000|0.02"});
}

void TestDbControls::typingIntoAPollutantCellChoosesFromTheList()
{
    m_tables->addData(1, 1.0, 1.0);
    auto* grid = host(makeGrid());
    grid->setCurrentIndex(grid->model()->index(0, grid->DataModel()->ColumnOf(QStringLiteral("DESCR"))));
    typeText(grid, QStringLiteral("з"));
    auto* editor = qobject_cast<LookupBox*>(QApplication::focusWidget());
    if (!editor) {
        // The focus is in the open list; its owner is the cell editor.
        editor = grid->findChild<LookupBox*>(QStringLiteral("lookupCellEditor"));
    }
    QVERIFY(editor);
    QVERIFY(editor->ListVisible());
    QCOMPARE(editor->text(), QStringLiteral("Залізо"));
    QTest::keyClick(editor->Popup()->View(), Qt::Key_Return);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(m_tables->data.FieldByName(QStringLiteral("CONTID"))->AsInteger(), 3);
    QCOMPARE(gridRows(grid), QStringList{"01003|Залізо|1.000|1.000|0.1"});
}

void TestDbControls::tabInTheOpenListTakesTheEntryAndMovesOn()
{
    m_tables->addData(1, 1.0, 1.0);
    auto* grid = host(makeGrid());
    const int code = grid->DataModel()->ColumnOf(QStringLiteral("CODE"));
    grid->setCurrentIndex(grid->model()->index(0, code));
    typeText(grid, QStringLiteral("0"));
    auto* editor = grid->findChild<LookupBox*>(QStringLiteral("lookupCellEditor"));
    QVERIFY(editor);
    QVERIFY(editor->ListVisible());
    typeText(editor->Popup()->View(), QStringLiteral("1003"));
    QCOMPARE(editor->KeyValue().toInt(), 3);
    QTest::keyClick(editor->Popup()->View(), Qt::Key_Tab);
    QTRY_COMPARE(m_tables->data.FieldByName(QStringLiteral("CONTID"))->AsInteger(), 3);
    // The cell after the code is current: a second Tab reaches the amount.
    QCOMPARE(grid->currentIndex().column(), code + 1);
}

void TestDbControls::doubleClickTakesTheNextPollutant()
{
    m_tables->addData(2, 1.0, 1.0);
    auto* grid = host(makeGrid());
    const QModelIndex code = grid->model()->index(0, grid->DataModel()->ColumnOf(QStringLiteral("CODE")));
    grid->setCurrentIndex(code);
    const QPoint at = grid->visualRect(code).center();
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(m_tables->data.FieldByName(QStringLiteral("CONTID"))->AsInteger(), 3);
    QCOMPARE(m_tables->data.State(), dsEdit);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(m_tables->data.FieldByName(QStringLiteral("CONTID"))->AsInteger(), 1);
    QVERIFY(!grid->findChild<LookupBox*>(QStringLiteral("lookupCellEditor")));
}

void TestDbControls::limitColumnIsReadOnly()
{
    m_tables->addData(1, 1.0, 1.0);
    auto* grid = host(makeGrid());
    const QModelIndex limit = grid->model()->index(0, grid->DataModel()->ColumnOf(QStringLiteral("LIMIT")));
    QVERIFY(!(limit.flags() & Qt::ItemIsEditable));
    QVERIFY(grid->model()->index(0, 0).flags() & Qt::ItemIsEditable);
    grid->setCurrentIndex(limit);
    typeText(grid, QStringLiteral("5"));
    QCOMPARE(m_tables->data.State(), dsBrowse);
}

void TestDbControls::columnsFillTheGrid()
{
    auto* grid = host(makeGrid());
    QHeaderView* header = grid->horizontalHeader();
    auto total = [header] {
        int sum = 0;
        for (int i = 0; i < header->count(); ++i)
            sum += header->sectionSize(i);
        return sum;
    };
    QCOMPARE(header->count(), 5);
    QCOMPARE(total(), grid->viewport()->width());
    // Code : name follows their display widths, 8 : 30.
    QVERIFY(qAbs(header->sectionSize(1) * 8 - header->sectionSize(0) * 30) < 8 * 30);
    const int right = header->sectionSize(2) + header->sectionSize(3) + header->sectionSize(4);
    header->resizeSection(1, header->sectionSize(1) + 40);
    QCOMPARE(total(), grid->viewport()->width());
    QCOMPARE(header->sectionSize(2) + header->sectionSize(3) + header->sectionSize(4), right - 40);
    m_window->resize(800, 300);
    QApplication::processEvents();
    QTRY_COMPARE(total(), grid->viewport()->width());
}

// The header's height is measured once per batch of column resizes (the
// grid's fitting after a column is dragged or the grid resized): when the
// batch ends it must be the height the titles need at their new widths,
// both ways, with nothing else moving the view.
void TestDbControls::headerHeightFollowsTheColumnWidths()
{
    QStandardItemModel model(1, 3);
    model.setHorizontalHeaderLabels({QStringLiteral("Забруднююча речовина|Код"),
                                     QStringLiteral("Забруднююча речовина|Назва речовини"),
                                     QStringLiteral("Потенцiйний викид за рiк")});
    auto* view = new QTableView;
    auto* header = new TwoLevelHeader(view);
    view->setHorizontalHeader(header);
    view->setModel(&model);
    host(view);
    const auto resizeAll = [header](int width) {
        const TwoLevelHeader::ResizeBatch batch(*header);
        for (int section = 0; section < header->count(); ++section)
            header->resizeSection(section, width);
    };
    resizeAll(180);
    QTRY_COMPARE(header->height(), header->sizeHint().height());
    const int wide = header->height();

    resizeAll(40);
    QTRY_COMPARE(header->height(), header->sizeHint().height());
    QVERIFY(header->height() > wide);

    resizeAll(180);
    QTRY_COMPARE(header->height(), header->sizeHint().height());
    QCOMPARE(header->height(), wide);
}

// A grid narrower than its display widths ask for: no word of a column's
// title is cut, and the code's cell editor shows the whole code, from its
// first digit, beside its drop-down button.
void TestDbControls::narrowGridCutsNoTitleWordNorCode()
{
    TApolloTable& cont = m_tables->cont;
    cont.Append();
    cont.FieldByName(QStringLiteral("CONTID"))->setAsInteger(4);
    cont.FieldByName(QStringLiteral("CODE"))->setAsString(QStringLiteral("03001"));
    cont.FieldByName(QStringLiteral("DESCR"))
        ->setAsString(
            QStringLiteral("Речовини у вигляді суспендованих твердих частинок, недиференційованих за складом"));
    cont.Post();
    m_tables->addData(1, 1.0, 1.0);
    m_tables->addData(4, 1.0, 1.0);
    auto* grid = host(makeGrid());
    m_window->resize(420, 300);
    QApplication::processEvents();
    QHeaderView* header = grid->horizontalHeader();
    const QFontMetrics metrics(header->font());
    int total = 0;
    for (int column = 0; column < header->count(); ++column) {
        const QString title = grid->model()->headerData(column, Qt::Horizontal).toString();
        for (const QString& word : TwoLevelHeader::SplitTitle(title).second.split(QLatin1Char(' ')))
            QVERIFY2(metrics.horizontalAdvance(word) + 4 < header->sectionSize(column), qPrintable(word));
        total += header->sectionSize(column);
    }
    QCOMPARE(total, grid->viewport()->width());

    const auto leftmostPosition = [](QLineEdit* editor) {
        const int left = editor->contentsRect().left() + editor->textMargins().left() + 3;
        return editor->cursorPositionAt(QPoint(left, editor->height() / 2));
    };
    grid->setCurrentIndex(grid->model()->index(0, 0));
    QTest::keyClick(grid, Qt::Key_F2);
    auto* editor = grid->findChild<LookupBox*>(QStringLiteral("lookupCellEditor"));
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("01001"));
    editor->end(false);
    QCOMPARE(leftmostPosition(editor), 0);
    QTest::keyClick(editor, Qt::Key_Escape);
    QTRY_VERIFY(!grid->findChild<LookupBox*>(QStringLiteral("lookupCellEditor")));

    // A name wider than its cell shows its beginning.
    grid->setCurrentIndex(grid->model()->index(1, 1));
    QTest::keyClick(grid, Qt::Key_F2);
    editor = grid->findChild<LookupBox*>(QStringLiteral("lookupCellEditor"));
    QVERIFY(editor);
    QVERIFY(editor->text().startsWith(QStringLiteral("Речовини")));
    QVERIFY(metrics.horizontalAdvance(editor->text()) > editor->width());
    QCOMPARE(leftmostPosition(editor), 0);
}

void TestDbControls::onlyCopyAndSelectAllAreOffered()
{
    m_tables->addData(1, 1.5, 2.0);
    m_tables->addData(2, 3.0, 4.0);
    auto* grid = host(makeGrid());
    QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(),
             QStringLiteral("01001\tАрсен\t1.500\t2.000\t0.001\n01002\tВанадій\t3.000\t4.000\t0.02"));
    QApplication::clipboard()->setText(QStringLiteral("9"));
    QTest::keyClick(grid, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(grid, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(m_tables->data.State(), dsBrowse);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("9"));
    QCOMPARE(m_tables->liveRecords(QStringLiteral("data.dbf")), 2);
}

void TestDbControls::leavingTheGridGivesUpAnUnchangedNewRecord()
{
    m_tables->addData(1, 1.0, 1.0);
    auto* grid = host(makeGrid());
    QTest::keyClick(grid, Qt::Key_Insert);
    QCOMPARE(m_tables->data.State(), dsInsert);
    leaveControl();
    QCOMPARE(m_tables->data.State(), dsBrowse);
    QCOMPARE(grid->model()->rowCount(), 1);

    // A new record with an entry stays.
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Insert);
    m_tables->data.FieldByName(QStringLiteral("CONTID"))->setAsInteger(2);
    leaveControl();
    QCOMPARE(m_tables->data.State(), dsInsert);
}

void TestDbControls::textThatIsNoNumberIsShownAndRefused()
{
    m_tables->addData(1, 1.0, 1.0);
    auto* grid = host(makeGrid());
    const QModelIndex poten = grid->model()->index(0, grid->DataModel()->ColumnOf(QStringLiteral("POTEN")));
    grid->setCurrentIndex(poten);
    typeText(grid, QStringLiteral("a"));
    typeText(QApplication::focusWidget(), QStringLiteral("bc"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(m_dialogs->texts(),
                 QStringList{QStringLiteral("'abc' is not a valid floating point value for field 'Потенцiйний'")});
    QCOMPARE(m_dialogs->messages().first().kind, MsgKind::Error);
    QCOMPARE(poten.data().toString(), QStringLiteral("1.000"));
}

void TestDbControls::moveRefusedByBeforePostKeepsTheRow()
{
    m_tables->addData(1, 1.0, 1.0);
    m_tables->addData(2, 2.0, 2.0);
    m_tables->data.BeforePost.add([](TApolloTable& table) {
        if (table.FieldByName(QStringLiteral("CONTID"))->IsNull())
            Abort();
    });
    auto* grid = host(makeGrid());
    m_tables->data.First();
    m_tables->data.Edit();
    m_tables->data.FieldByName(QStringLiteral("CONTID"))->Clear();
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(m_tables->data.State(), dsEdit);
    QCOMPARE(grid->currentIndex().row(), 0);
    QCOMPARE(m_dialogs->messages().size(), 0);
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestDbControls test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dbcontrols.moc"
