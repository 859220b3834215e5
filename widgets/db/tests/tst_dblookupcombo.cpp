// The look-up box on a small table and its list: type-ahead, the drop-down
// list, when a choice reaches the record, and keys missing from the list.
#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QTest>

#include "dbtestsupport.h"
#include "store/fields.h"
#include "widgets/db/dblookupcombo.h"
#include "widgets/db/lookuppopup.h"

using namespace emlo;
using dbtest::typeText;

class TestDbLookupCombo : public dbtest::ControlTest {
    Q_OBJECT
private slots:
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
};

namespace {

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
}  // namespace

void TestDbLookupCombo::typeAheadFindsTheFirstEntryByPrefix_data()
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

void TestDbLookupCombo::typeAheadFindsTheFirstEntryByPrefix()
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

void TestDbLookupCombo::listIsOnTheNewKeyWhenTheHandlerRuns()
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

void TestDbLookupCombo::choiceIsCommittedWhenFocusLeaves()
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

void TestDbLookupCombo::handledChoiceWritesNothing()
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

void TestDbLookupCombo::escapeGivesUpAnUncommittedChoice()
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

void TestDbLookupCombo::listOpensOnTypingWithNineRowsAtMost()
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

void TestDbLookupCombo::choosingARowOfTheListWithTheMouse()
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

void TestDbLookupCombo::keyMissingFromTheListIsShownAsStored_data()
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
void TestDbLookupCombo::keyMissingFromTheListIsShownAsStored()
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

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestDbLookupCombo test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dblookupcombo.moc"
