// The check report window: its frame, size, tool bar and help, the report
// table a check fills, and its close.

#include <QtTest>

#include <QAction>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>

#include "check/tests/support/reporttest.h"
#include "check/ui/checkcommands.h"
#include "check/ui/report.h"
#include "widgets/helpviewer.h"

using namespace emlo;
using namespace emlo::testing;

class TestReportWindow : public checktest::ReportTest {
    Q_OBJECT

private slots:
    void windowFrame()
    {
        QCOMPARE(report->windowTitle(), QStringLiteral("Звіт з перевірки"));
        QCOMPARE(report->objectName(), QStringLiteral("frmReport"));
        const Qt::WindowFlags flags = report->windowFlags();
        QVERIFY(flags & Qt::WindowSystemMenuHint);
        QVERIFY(flags & Qt::WindowMaximizeButtonHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QCOMPARE(report->font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(report->font().pixelSize(), 13);
        QVERIFY(!report->isVisible());

        report->ShowReport();
        QVERIFY(QTest::qWaitForWindowExposed(report.get()));
        QCOMPARE(report->frameGeometry().size(), QSize(500, 400));
    }

    void firstShownCentredOverMainWindow()
    {
        QWidget mainWindow;
        mainWindow.setGeometry(200, 150, 600, 350);
        mainWindow.show();
        QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
        TfrmReport window(&mainWindow);
        window.ShowReport();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.frameGeometry().size(), QSize(500, 400));
        const QPoint offset = window.frameGeometry().center() - mainWindow.frameGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 2, qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
    }

    void f1OpensItsHelpTopic()
    {
        HelpSystem::setHelpFile(QStringLiteral(EMLO_HELP_SOURCE));
        report->ShowReport();
        QVERIFY(QTest::qWaitForWindowExposed(report.get()));
        QTest::keyClick(report->sgReport, Qt::Key_F1);
        QTRY_VERIFY(HelpSystem::viewer() != nullptr);
        QCOMPARE(HelpSystem::viewer()->currentTopic(), 7500);
        HelpSystem::viewer()->close();
        HelpSystem::setHelpFile(QString());
    }

    void toolBarAndActions()
    {
        struct Expected {
            QAction* action;
            const char* name;
            const char* caption;
            const char* hint;
        };
        const Expected expected[] = {
            {report->actReportGo, "actReportGo", "Перейти..", "Перейти до вказаного елементу з помилкою"},
            {report->actReportSave, "actReportSave", "Зберегти", "Зберегти звіт з перевірки.."},
            {report->actReportClose, "actReportClose", "Зачинити", "Зачинити цей сеанс перевірки"},
        };
        for (const Expected& e : expected) {
            QCOMPARE(e.action->objectName(), QString::fromUtf8(e.name));
            QCOMPARE(e.action->text(), QString::fromUtf8(e.caption));
            QCOMPARE(e.action->toolTip(), QString::fromUtf8(e.hint));
            QVERIFY(!e.action->icon().pixmap(32, 32).isNull());
        }

        // Buttons from left to right: go, save, separator, close.
        const QList<QAction*> actions = report->ToolBar->actions();
        QCOMPARE(actions.size(), 4);
        QCOMPARE(actions.at(0), report->actReportGo);
        QCOMPARE(actions.at(1), report->actReportSave);
        QVERIFY(actions.at(2)->isSeparator());
        QCOMPARE(actions.at(3), report->actReportClose);
        for (QToolButton* button : {report->tbGo, report->tbSave, report->tbClose}) {
            QCOMPARE(button->size(), QSize(39, 38));
            QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonIconOnly);
        }
        QCOMPARE(report->ToolBar->iconSize(), QSize(32, 32));
    }

    void reportTableAfterCheck()
    {
        fx->WriteAttr(CheckFixture::FullAttr());
        QVERIFY(CheckAndShow(fx->Data(), *report));
        QTableWidget* grid = report->sgReport;
        QCOMPARE(grid->columnCount(), 2);
        QCOMPARE(grid->horizontalHeaderItem(0)->text(), QStringLiteral("     Опис зауваження"));
        QCOMPARE(grid->horizontalHeaderItem(1)->text(), QStringLiteral("  Роздiл"));
        QCOMPARE(grid->rowCount(), 1);
        QCOMPARE(grid->item(0, 0)->text(), QStringLiteral("Все гаразд"));
        QCOMPARE(grid->item(0, 1)->text(), QString());
        QCOMPARE(report->ErrorDataAt(0).Section, quint8(100));
        QCOMPARE(grid->verticalHeader()->defaultSectionSize(), 20);
        QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectRows);

        // A new check replaces every row of the previous one.
        fx->WriteAttr({});
        QVERIFY(!CheckAndShow(fx->Data(), *report));
        QCOMPARE(grid->rowCount(), 24);
        QCOMPARE(grid->item(0, 0)->text(), QStringLiteral("Не вказана назва підприємства"));
        QCOMPARE(grid->item(0, 1)->text(), QStringLiteral("Реквізити"));
        QCOMPARE(report->ErrorDataAt(0).Target, 5);
        QCOMPARE(grid->item(6, 1)->text(), QStringLiteral("Статистичні коди"));
        QCOMPARE(grid->currentRow(), 0);
    }

    void columnWidths()
    {
        report->ShowReport();
        QVERIFY(QTest::qWaitForWindowExposed(report.get()));
        report->resize(792, 373);
        QTRY_COMPARE(report->width(), 792);
        CheckAndShow(fx->Data(), *report);
        QCOMPARE(report->sgReport->columnWidth(0), 633);
        QCOMPARE(report->sgReport->columnWidth(1), 154);

        // A change of the height alone: the resize rule, 70 %.
        report->resize(792, 300);
        QTRY_COMPARE(report->height(), 300);
        QCOMPARE(report->sgReport->columnWidth(0), 554);
        QCOMPARE(report->sgReport->columnWidth(1), 233);
    }

    // At the first size (500 pixels) the shares would cut the section column,
    // and a long report's scroll bar would cover its right edge.
    void sectionTextsAreWholeInANarrowWindow()
    {
        report->ShowReport();
        QVERIFY(QTest::qWaitForWindowExposed(report.get()));
        for (const int width : {492, 300}) {
            report->resize(width, 300);
            QTRY_COMPARE(report->width(), width);
            fx->WriteAttr({});
            CheckAndShow(fx->Data(), *report);
            QTableWidget* grid = report->sgReport;
            QTRY_VERIFY(grid->verticalScrollBar()->isVisible());
            const QFontMetrics metrics(grid->font());
            const int shown = grid->viewport()->width() - grid->columnWidth(0);
            QVERIFY2(shown > metrics.horizontalAdvance(QStringLiteral("Статистичні коди")) + 4,
                     qPrintable(QStringLiteral("%1 pixels at %2").arg(shown).arg(width)));
            QCOMPARE(grid->columnWidth(0) + grid->columnWidth(1) + 5, report->width());
            QVERIFY(grid->columnWidth(0) > width / 2);
        }
    }

    void sizeLimits_data()
    {
        QTest::addColumn<QSize>("proposed");
        QTest::addColumn<QSize>("allowed");
        QTest::newRow("too small") << QSize(100, 100) << QSize(300, 200);
        QTest::newRow("one below") << QSize(299, 199) << QSize(300, 200);
        QTest::newRow("at the limit") << QSize(300, 200) << QSize(300, 200);
        QTest::newRow("narrow only") << QSize(250, 600) << QSize(300, 600);
        QTest::newRow("large") << QSize(800, 600) << QSize(800, 600);
    }

    void sizeLimits()
    {
        QFETCH(QSize, proposed);
        QFETCH(QSize, allowed);
        int width = proposed.width();
        int height = proposed.height();
        bool resize = false;
        TfrmReport::FormCanResize(width, height, resize);
        QCOMPARE(QSize(width, height), allowed);
        QVERIFY(resize);
    }

    void windowCannotShrinkBelowLimits()
    {
        report->ShowReport();
        QVERIFY(QTest::qWaitForWindowExposed(report.get()));
        report->resize(50, 50);
        QTest::qWait(20);
        QVERIFY(report->frameGeometry().width() >= 300);
        QVERIFY(report->frameGeometry().height() >= 200);
    }

    void closeHidesAndKeepsReport()
    {
        fx->WriteAttr(CheckFixture::FullAttr());
        report->ShowReport();
        CheckAndShow(fx->Data(), *report);
        report->actReportClose->trigger();
        QVERIFY(!report->isVisible());
        QCOMPARE(report->RemarkCount(), 1);
        QCOMPARE(report->sgReport->item(0, 0)->text(), QStringLiteral("Все гаразд"));
    }
};

QTEST_MAIN(TestReportWindow)
#include "tst_reportwindow.moc"
