// The commands that run the check: the check command with its report
// window, and the check in front of print and export.

#include <QtTest>

#include <QAction>
#include <QTableWidget>

#include "check/tests/support/reporttest.h"
#include "check/ui/checkcommands.h"
#include "check/ui/report.h"
#include "store/apollotable.h"

using namespace emlo;
using namespace emlo::testing;

class TestCheckCommands : public checktest::ReportTest {
    Q_OBJECT

private slots:
    void checkEndedByAnErrorShowsTheRemarksFoundSoFar()
    {
        fx->WriteAttr({});
        fx->Data().tblData->Close();
        QVERIFY_THROWS_EXCEPTION(std::exception, CheckAndShow(fx->Data(), *report));
        QCOMPARE(report->RemarkCount(), 24);
        QCOMPARE(report->sgReport->item(0, 0)->text(), QStringLiteral("Не вказана назва підприємства"));
        QCOMPARE(report->sgReport->currentRow(), 0);
    }

    void checkCommandRunsOnlyWhileWindowHidden()
    {
        actCheckExecute(fx->Data(), *report);
        QVERIFY(report->isVisible());
        QCOMPARE(report->RemarkCount(), 24);

        // Open window: brought to the front, the report keeps the old check.
        fx->WriteAttr(CheckFixture::FullAttr());
        actCheckExecute(fx->Data(), *report);
        QCOMPARE(report->RemarkCount(), 24);

        report->actReportClose->trigger();
        actCheckExecute(fx->Data(), *report);
        QCOMPARE(report->RemarkCount(), 1);
        QCOMPARE(report->sgReport->item(0, 0)->text(), QStringLiteral("Все гаразд"));
    }

    void checkCommandPostsPendingAttributeEdit()
    {
        fx->WriteAttr(CheckFixture::FullAttr());
        TApolloTable& attr = *fx->Data().tblAttr;
        attr.Edit();
        attr.FieldByName(QStringLiteral("ENPHONE"))->Clear();
        fx->Data().AttrModified = true;
        actCheckExecute(fx->Data(), *report);
        QCOMPARE(attr.State(), dsBrowse);
        QVERIFY(!fx->Data().AttrModified);
        QCOMPARE(report->RemarkCount(), 1);
        QCOMPARE(report->sgReport->item(0, 0)->text(), QStringLiteral("Не вказаний телефон підприємства"));
    }

    void checkBeforeOutputWithRemarks()
    {
        fx->AddData(1, 1.0, 1.0);
        bool visibleWhileAsked = true;
        dialogs->onMessage = [&](const MessageRequest&) { visibleWhileAsked = report->isVisible(); };
        QVERIFY(!CheckBeforeOutput(fx->Data(), report.get()));
        QCOMPARE(dialogs->messages().size(), 1);
        const MessageRequest& box = dialogs->messages().at(0);
        QCOMPARE(box.kind, MsgKind::Error);
        QCOMPARE(box.text, QStringLiteral("Помилка при перевірці данних.\r\nНажаль вигрузка не можлива."));
        QCOMPARE(box.buttons, MsgButtons(MsgButton::Ok | MsgButton::Help));
        QCOMPARE(box.helpTopic, 20007);
        // The report window comes after the message is closed.
        QVERIFY(!visibleWhileAsked);
        QVERIFY(report->isVisible());
        QCOMPARE(report->RemarkCount(), 24);
        // No total was stored by a check with remarks.
        QCOMPARE(fx->DataRows().size(), 1);
    }

    void checkBeforeOutputCleanRefillsHiddenReport()
    {
        fx->WriteAttr(CheckFixture::FullAttr());
        fx->AddData(1, 1.0, 1.0);
        report->AddRemark(QStringLiteral("старе"), 0, 5);
        QVERIFY(CheckBeforeOutput(fx->Data(), report.get()));
        QVERIFY(dialogs->messages().isEmpty());
        QVERIFY(!report->isVisible());
        QCOMPARE(report->RemarkCount(), 1);
        QCOMPARE(report->sgReport->item(0, 0)->text(), QStringLiteral("Все гаразд"));
        QCOMPARE(fx->DataRows().size(), 2);  // the total 132
    }

    // Print and export are gated by the same check before any report window
    // exists: remarks still refuse the output with the message.
    void checkBeforeOutputWithoutReportWindow()
    {
        fx->AddData(1, 1.0, 1.0);
        QVERIFY(!CheckBeforeOutput(fx->Data(), nullptr));
        QCOMPARE(dialogs->texts(),
                 QStringList{QStringLiteral("Помилка при перевірці данних.\r\nНажаль вигрузка не можлива.")});
        QCOMPARE(fx->DataRows().size(), 1);

        fx->WriteAttr(CheckFixture::FullAttr());
        QVERIFY(CheckBeforeOutput(fx->Data(), nullptr));
        QCOMPARE(dialogs->messages().size(), 1);
        QCOMPARE(fx->DataRows().size(), 2);  // the total 132
    }
};

QTEST_MAIN(TestCheckCommands)
#include "tst_checkcommands.moc"
