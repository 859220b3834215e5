// The report window's go-to: from a remark to its page and control, or to
// its emission record, by the command and by a double click.

#include <QtTest>

#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>

#include "check/tests/support/reporttest.h"
#include "check/ui/checkcommands.h"
#include "check/ui/report.h"
#include "check/ui/reportnavigator.h"
#include "store/apollotable.h"

using namespace emlo;
using namespace emlo::testing;

namespace {

// Records the steps the report window asks of the main window.
class RecordingNavigator : public ReportNavigator {
public:
    void ShowPage(ReportPage page) override
    {
        static const char* names[] = {"page tsAttr", "page tsCodes", "page tsData"};
        Steps << QString::fromLatin1(names[int(page)]);
    }
    void ActivateMainWindow() override { Steps << QStringLiteral("activate"); }
    void FocusControl(const QString& objectName) override { Steps << QStringLiteral("focus ") + objectName; }
    void GoToDataRecord(qint32 recNo) override { Steps << QStringLiteral("record %1").arg(recNo); }

    QStringList Steps;
};

}  // namespace

class TestReportGoTo : public checktest::ReportTest {
    Q_OBJECT

private slots:
    void goTo_data()
    {
        QTest::addColumn<int>("section");
        QTest::addColumn<int>("target");
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("name: attributes page, edEnName")
            << 0 << 5 << QStringList{"page tsAttr", "activate", "focus edEnName"};
        QTest::newRow("seconds of longitude") << 0 << 19 << QStringList{"page tsAttr", "activate", "focus edY3"};
        QTest::newRow("district code: codes page, cbCityDescr")
            << 1 << 7 << QStringList{"page tsCodes", "activate", "focus cbCityDescr"};
        QTest::newRow("ownership code") << 1 << 9 << QStringList{"page tsCodes", "activate", "focus cbKfvID"};
        QTest::newRow("code naming no control") << 0 << 12 << QStringList{"page tsAttr", "activate"};
        QTest::newRow("code above 19") << 1 << 20 << QStringList{"page tsCodes", "activate"};
        QTest::newRow("emission record") << 2 << 3 << QStringList{"page tsData", "record 3", "activate"};
        QTest::newRow("all-clear row") << 100 << 0 << QStringList();
        QTest::newRow("unknown section") << 7 << 5 << QStringList();
    }

    void goTo()
    {
        QFETCH(int, section);
        QFETCH(int, target);
        QFETCH(QStringList, steps);
        RecordingNavigator navigator;
        report->SetNavigator(&navigator);
        report->AddRemark(QStringLiteral("перший"), 2, 1);
        report->AddRemark(QStringLiteral("вибраний"), quint8(section), target);
        selectRow(1);
        report->actReportGo->trigger();
        QCOMPARE(navigator.Steps, steps);
    }

    void doubleClickGoesToSelectedRow()
    {
        RecordingNavigator navigator;
        report->SetNavigator(&navigator);
        report->AddRemark(QStringLiteral("a"), 0, 1);
        report->AddRemark(QStringLiteral("b"), 1, 8);
        report->ShowReport();
        QVERIFY(QTest::qWaitForWindowExposed(report.get()));
        QWidget* viewport = report->sgReport->viewport();
        const QPoint inRow2 = report->sgReport->visualRect(report->sgReport->model()->index(1, 1)).center();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, inRow2);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, inRow2);
        QCOMPARE(navigator.Steps, (QStringList{"page tsCodes", "activate", "focus cbCityID"}));

        // The header row is part of the table too.
        navigator.Steps.clear();
        QHeaderView* header = report->sgReport->horizontalHeader();
        QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, QPoint(20, header->height() / 2));
        QCOMPARE(navigator.Steps, (QStringList{"page tsCodes", "activate", "focus cbCityID"}));
    }

    void mainWindowNavigatorFindsPagesAndControls()
    {
        QWidget mainWindow;
        auto* pc = new QTabWidget(&mainWindow);
        pc->setObjectName(QStringLiteral("pc"));
        QWidget* pages[3];
        const char* names[] = {"tsAttr", "tsCodes", "tsData"};
        for (int i = 0; i < 3; ++i) {
            pages[i] = new QWidget;
            pages[i]->setObjectName(QLatin1String(names[i]));
            pc->addTab(pages[i], QString());
        }
        auto* edEnName = new QLineEdit(pages[0]);
        edEnName->setObjectName(QStringLiteral("edEnName"));
        auto* cbCityDescr = new QLineEdit(pages[1]);
        cbCityDescr->setObjectName(QStringLiteral("cbCityDescr"));
        mainWindow.show();
        QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));

        // The window as the main window creates it.
        report = CreateReportWindow(&mainWindow, fx->Data());
        report->AddRemark(QStringLiteral("Не вказан код району"), 1, 7);
        report->AddRemark(QStringLiteral("Не вказана назва підприємства"), 0, 5);
        selectRow(0);
        report->actReportGoExecute();
        QCOMPARE(pc->currentWidget(), pages[1]);
        QTRY_COMPARE(QApplication::focusWidget(), cbCityDescr);
        selectRow(1);
        report->actReportGoExecute();
        QCOMPARE(pc->currentWidget(), pages[0]);
        QTRY_COMPARE(QApplication::focusWidget(), edEnName);
    }

    void goToEmissionRecord()
    {
        fx->WriteAttr(CheckFixture::FullAttr());
        fx->AddData(5, 1.0, QVariant());
        fx->AddData(7, 1.0, 1.0);
        fx->AddData(9, QVariant(), 1.0);
        QWidget mainWindow;
        MainWindowNavigator navigator(&mainWindow, fx->Data().tblData);
        report->SetNavigator(&navigator);
        TApolloTable& data = *fx->Data().tblData;
        data.setRecNo(2);

        QVERIFY(!CheckAndShow(fx->Data(), *report));
        QCOMPARE(report->ErrorDataAt(1).Target, 3);
        selectRow(1);
        report->actReportGoExecute();
        QCOMPARE(data.RecNo(), 3);

        // A record deleted since the check is not sought: the place stays.
        fx->DeleteData(1);
        data.setRecNo(2);
        selectRow(0);
        report->actReportGoExecute();
        QCOMPARE(data.RecNo(), 2);
    }
};

QTEST_MAIN(TestReportGoTo)
#include "tst_reportgoto.moc"
