// The grid over an emission table with look-up fields: its model, its keys
// and cell editors, the pollutant list in a cell, and how its columns and
// two-level titles share the width. Modal boxes are answered through the
// dialog seam.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

#include "dbtestsupport.h"
#include "store/errors.h"
#include "store/fields.h"
#include "widgets/db/datasetmodel.h"
#include "widgets/db/dbgrid.h"
#include "widgets/db/lookupbox.h"
#include "widgets/db/lookuppopup.h"
#include "widgets/db/twolevelheader.h"
#include "widgets/testing/scripteddialogs.h"

using namespace emlo;
using dbtest::typeText;

class TestDbGrid : public dbtest::ControlTest {
    Q_OBJECT
private slots:
    void twoLevelTitlesShareTheirUpperPart();
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
    DbGrid* makeGrid();
};

namespace {

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
}  // namespace

DbGrid* TestDbGrid::makeGrid()
{
    auto* grid = new DbGrid;
    grid->setLookupSource(&m_tables->dsCont);
    grid->setDataSource(&m_tables->dsData);
    return grid;
}

void TestDbGrid::twoLevelTitlesShareTheirUpperPart()
{
    QCOMPARE(TwoLevelHeader::SplitTitle(QStringLiteral("Речовина|Код")),
             qMakePair(QStringLiteral("Речовина"), QStringLiteral("Код")));
    QCOMPARE(TwoLevelHeader::SplitTitle(QStringLiteral("Факт")), qMakePair(QString(), QStringLiteral("Факт")));
    auto* grid = host(makeGrid());
    auto* header = qobject_cast<TwoLevelHeader*>(grid->horizontalHeader());
    QVERIFY(header);
    QVERIFY(header->height() >= 2 * grid->fontMetrics().height());
}

void TestDbGrid::gridModelStaysConsistent()
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

void TestDbGrid::insertKeyStartsARecordBeforeTheCurrentOne()
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

void TestDbGrid::downArrowAppendsAndGivesUpAnUnchangedNewRecord()
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

void TestDbGrid::escapeCancelsTheRecordsChanges()
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

void TestDbGrid::ctrlDeleteAsksFirst()
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

void TestDbGrid::typingIntoAPollutantCellChoosesFromTheList()
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

void TestDbGrid::tabInTheOpenListTakesTheEntryAndMovesOn()
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

void TestDbGrid::doubleClickTakesTheNextPollutant()
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

void TestDbGrid::limitColumnIsReadOnly()
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

void TestDbGrid::columnsFillTheGrid()
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
void TestDbGrid::headerHeightFollowsTheColumnWidths()
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
void TestDbGrid::narrowGridCutsNoTitleWordNorCode()
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

void TestDbGrid::onlyCopyAndSelectAllAreOffered()
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

void TestDbGrid::leavingTheGridGivesUpAnUnchangedNewRecord()
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

void TestDbGrid::textThatIsNoNumberIsShownAndRefused()
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

void TestDbGrid::moveRefusedByBeforePostKeepsTheRow()
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
    TestDbGrid test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dbgrid.moc"
