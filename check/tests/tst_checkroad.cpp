// The user's road through the real main window: check, jump from a remark to
// its control or emission record, correct, check again.
#include <QtTest>

#include <QAction>
#include <QTabWidget>
#include <QTableWidget>

#include "check/ui/report.h"
#include "shell/ui/main.h"
#include "store/apollotable.h"
#include "store/cp1251.h"
#include "check/tests/support/checkfixture.h"
#include "widgets/errorbox.h"
#include "widgets/testing/scripteddialogs.h"

using namespace emlo;
using namespace emlo::testing;

namespace {

int rowOf(const TfrmReport& report, const QString& description)
{
    for (int row = 0; row < report.sgReport->rowCount(); ++row) {
        if (report.sgReport->item(row, 0)->text() == description)
            return row;
    }
    return -1;
}

}  // namespace

class TestCheckRoad : public QObject {
    Q_OBJECT

private slots:
    void checkJumpCorrectAndCheckAgain()
    {
        QLocale::setDefault(QLocale::c());
        ScriptedDialogs dialogs;
        CheckFixture fx;
        QVERIFY(fx.IsValid());
        fx.Open();
        QMap<QString, QVariant> attr = CheckFixture::FullAttr();
        attr.remove(QStringLiteral("ENNAME"));
        attr.remove(QStringLiteral("KFV_ID"));
        fx.WriteAttr(attr);
        fx.AddData(1, 1.5, 0.0);
        const qint32 noFact = fx.AddData(5, 2.0, QVariant());
        fx.Close();

        QFile settings(fx.ProgramDir() + QStringLiteral("emlo.ini"));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("[General]\r\nPath=" + toCp1251(fx.WorkDir()) + "\r\n");
        settings.close();

        TfrmMain frmMain(AppPaths{fx.ProgramDir(), fx.ProgramDir() + QStringLiteral("emlo.ini")});
        TfrmReport* const report = frmMain.ReportWindow();
        frmMain.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frmMain));
        dialogs.clear();  // the missing help file's warning

        frmMain.actCheck->trigger();
        QVERIFY(report->isVisible());
        QCOMPARE(report->RemarkCount(), 3);

        // The code remark leads to the codes page, built at that moment, and its box.
        QVERIFY(!frmMain.findChild<QWidget*>(QStringLiteral("cbKfvID")));
        const auto codes = report->sgReport->findItems(QStringLiteral("Статистичні коди"), Qt::MatchExactly);
        QCOMPARE(codes.size(), 1);
        report->sgReport->setCurrentCell(codes.first()->row(), 0);
        report->actReportGo->trigger();
        QCOMPARE(frmMain.pc->currentWidget(), frmMain.tsCodes);
        QWidget* cbKfvID = frmMain.findChild<QWidget*>(QStringLiteral("cbKfvID"));
        QVERIFY(cbKfvID != nullptr);
        QTRY_COMPARE(frmMain.focusWidget(), cbKfvID);

        // The name remark leads to the attributes page and its name box.
        frmMain.pc->setCurrentWidget(frmMain.tsData);
        report->sgReport->setCurrentCell(rowOf(*report, QStringLiteral("Не вказана назва підприємства")), 0);
        report->actReportGo->trigger();
        QCOMPARE(frmMain.pc->currentWidget(), frmMain.tsAttr);
        QWidget* edEnName = frmMain.findChild<QWidget*>(QStringLiteral("edEnName"));
        QVERIFY(edEnName != nullptr);
        QTRY_COMPARE(frmMain.focusWidget(), edEnName);

        // The amount remark leads to the emissions page and that record.
        TApolloTable& data = *frmMain.DataModule->tblData;
        data.First();
        report->sgReport->setCurrentCell(rowOf(*report, QStringLiteral("Не вказан фактичній обсяг викидів")), 0);
        report->actReportGo->trigger();
        QCOMPARE(frmMain.pc->currentWidget(), frmMain.tsData);
        QCOMPARE(data.RecNo(), noFact);

        // While the report is open the command does not check again.
        data.Edit();
        data.FieldByName(QStringLiteral("FACT"))->setAsFloat(0.5);
        data.Post();
        TApolloTable& attrTable = *frmMain.DataModule->tblAttr;
        attrTable.Edit();
        attrTable.FieldByName(QStringLiteral("ENNAME"))->setAsString(QStringLiteral("ПрАТ \"Азот\""));
        attrTable.FieldByName(QStringLiteral("KFV_ID"))->setAsVariant(CheckFixture::FullAttr().value("KFV_ID"));
        attrTable.Post();
        frmMain.actCheck->trigger();
        QCOMPARE(report->RemarkCount(), 3);

        // Closed and run again: a clean check, and the total of group 1.
        report->actReportClose->trigger();
        frmMain.actCheck->trigger();
        QCOMPARE(report->RemarkCount(), 1);
        QCOMPARE(report->sgReport->item(0, 0)->text(), QStringLiteral("Все гаразд"));
        QVERIFY(dialogs.messages().isEmpty());
        QVERIFY(data.Locate(QStringLiteral("CONTID"), 132));
        QCOMPARE(data.FieldByName(QStringLiteral("POTEN"))->AsFloat(), 3.5);
        QCOMPARE(data.FieldByName(QStringLiteral("FACT"))->AsFloat(), 0.5);
        frmMain.close();
    }
};

int main(int argc, char** argv)
{
    Application app(argc, argv);
    TestCheckRoad test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_checkroad.moc"
