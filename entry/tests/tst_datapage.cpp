// The emissions page in the real main window: the navigators and the grid,
// the amounts as shown in the user's locale, the cell colours, and what
// reaches the emission table's file. Modal boxes are answered through the
// dialog seam.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QTest>
#include <QToolButton>

#include "entry/tests/support/pagetest.h"
#include "entry/ui/datapage.h"
#include "store/apollotable.h"
#include "store/datamodule.h"
#include "store/datasource.h"
#include "store/fields.h"
#include "widgets/db/datasetmodel.h"
#include "widgets/db/dbgrid.h"
#include "widgets/db/dbnavigator.h"
#include "widgets/db/tests/dbtestsupport.h"

using namespace emlo;
using dbtest::typeText;

class TestDataPage : public entrytest::PageTest {
    Q_OBJECT
private slots:
    void insertButtonThenPostWritesPollutantOne();
    void newRowIsGivenUpByMovingAway();
    void amountsAreShownInTheDisplayFormat();
    void amountThatIsNoNumberIsRefused();
    void cellColours();
    void deleteAsksFirst();
    void aPageGoneLeavesNoListener();
};

namespace {

// The locale's decimal separator: the tests run once for each separator.
QString dec(QString text)
{
    return text.replace(QLatin1Char('.'), QLocale::system().decimalPoint());
}

}  // namespace

void TestDataPage::insertButtonThenPostWritesPollutantOne()
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

void TestDataPage::newRowIsGivenUpByMovingAway()
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

void TestDataPage::amountsAreShownInTheDisplayFormat()
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

void TestDataPage::amountThatIsNoNumberIsRefused()
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

void TestDataPage::cellColours()
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

void TestDataPage::deleteAsksFirst()
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

// The data module outlives its pages: a page that goes takes its state
// listener with it, and the table's next state change reaches no dead page.
void TestDataPage::aPageGoneLeavesNoListener()
{
    start();
    TDataModule& dm = *m_window->DataModule;
    const int listeners = dm.dsData->OnStateChange.listenerCount();
    {
        QGroupBox box;
        DataPage page(dm, &box);
        QCOMPARE(dm.dsData->OnStateChange.listenerCount(), listeners + 1);
    }
    QCOMPARE(dm.dsData->OnStateChange.listenerCount(), listeners);
    dm.tblData->Insert();
    dm.tblData->Cancel();
}

QTEST_MAIN(TestDataPage)
#include "tst_datapage.moc"
