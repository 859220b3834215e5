// The check report window: its frame, the report table, the go-to, the save
// and the two commands that run the check.
#include <QtTest>

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTabWidget>
#include <QScrollBar>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>

#include "check/ui/checkcommands.h"
#include "check/ui/report.h"
#include "check/ui/reportnavigator.h"
#include "store/apollotable.h"
#include "store/cp1251.h"
#include "check/tests/support/checkfixture.h"
#include "widgets/helpviewer.h"
#include "widgets/testing/scripteddialogs.h"

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

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

}  // namespace

class TestReport : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<CheckFixture> fx;
    std::unique_ptr<TfrmReport> report;
    std::unique_ptr<ScriptedDialogs> dialogs;
    QStringList saveDialogNames;

    void useSaveAnswer(const QString& path)
    {
        SaveDialogSetup::setExecuteHook([this, path](SaveDialogSetup& dialog) {
            saveDialogNames << dialog.FileName;
            if (path.isEmpty())
                return false;
            dialog.FileName = path;
            return true;
        });
    }

    void selectRow(int row) { report->sgReport->setCurrentCell(row, 0); }

private slots:
    void init()
    {
        QLocale::setDefault(QLocale::c());
        dialogs = std::make_unique<ScriptedDialogs>();
        fx = std::make_unique<CheckFixture>();
        QVERIFY(fx->IsValid());
        fx->Open();
        report = std::make_unique<TfrmReport>();
        saveDialogNames.clear();
    }

    void cleanup()
    {
        SaveDialogSetup::setExecuteHook(nullptr);
        report.reset();
        fx.reset();
        dialogs.reset();
    }

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

    void checkEndedByAnErrorShowsTheRemarksFoundSoFar()
    {
        fx->WriteAttr({});
        fx->Data().tblData->Close();
        QVERIFY_THROWS_EXCEPTION(std::exception, CheckAndShow(fx->Data(), *report));
        QCOMPARE(report->RemarkCount(), 24);
        QCOMPARE(report->sgReport->item(0, 0)->text(), QStringLiteral("Не вказана назва підприємства"));
        QCOMPARE(report->sgReport->currentRow(), 0);
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

    void saveWritesDescriptionColumnInCp1251()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("звіт.txt"));
        fx->WriteAttr(CheckFixture::FullAttr());
        CheckAndShow(fx->Data(), *report);
        useSaveAnswer(path);
        report->actReportSave->trigger();
        QCOMPARE(readFile(path), toCp1251(QStringLiteral("     Опис зауваження\r\nВсе гаразд\r\n")));

        // Remarks: the description column only, an existing file replaced.
        fx->WriteAttr(CheckFixture::FullAttr());
        fx->AddData(5, QVariant(), 1.0);
        fx->AddData(5, 1.0, 1.0);
        CheckAndShow(fx->Data(), *report);
        report->actReportSave->trigger();
        const QByteArray expected = toCp1251(QStringLiteral(
            "     Опис зауваження\r\nНе вказан потенційний обсяг викидів\r\nЗабруднююча речовина вже вказана\r\n"));
        QCOMPARE(readFile(path), expected);
        QCOMPARE(saveDialogNames, (QStringList{"report", "report"}));
        QVERIFY(dialogs->messages().isEmpty());
    }

    void saveDialogSetUp()
    {
        const SaveDialogSetup& dialog = report->SaveDialog;
        QCOMPARE(dialog.Title, QStringLiteral("Укажите путь и файл для сохранения отчёта"));
        QCOMPARE(dialog.Filters.size(), 2);
        QCOMPARE(dialog.Filters.at(0).first, QStringLiteral("Отчёты (*.txt)"));
        QCOMPARE(dialog.Filters.at(0).second, QStringLiteral("*.txt"));
        QCOMPARE(dialog.Filters.at(1).first, QStringLiteral("Отчёты (*.rtf)"));
        QCOMPARE(dialog.Filters.at(1).second, QStringLiteral("*.rtf"));
        QCOMPARE(dialog.FilterIndex, 1);
    }

    // The real dialog: our title and filters, the name it opens with, and the
    // extension of the chosen filter added to a name typed without one.
    void realSaveDialogAddsExtensionOfChosenFilter_data()
    {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved");
        QTest::newRow("txt filter") << 0 << QString() << "report.txt";
        QTest::newRow("rtf filter") << 1 << QString() << "report.rtf";
        QTest::newRow("typed with extension") << 1 << "zvit.txt"
                                              << "zvit.txt";
    }

    void realSaveDialogAddsExtensionOfChosenFilter()
    {
        QFETCH(int, filter);
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        QTemporaryDir dir;
        SaveDialogSetup dialog = report->SaveDialog;
        dialog.FileName = dir.filePath(QStringLiteral("report"));
        QString title;
        QStringList filters;
        QString nameShown;
        QTimer::singleShot(0, this, [&] {
            auto* shown = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(shown != nullptr);
            title = shown->windowTitle();
            filters = shown->nameFilters();
            auto* name = shown->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name != nullptr);
            nameShown = name->text();
            auto* types = shown->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            QVERIFY(types != nullptr);
            types->setCurrentIndex(filter);
            // What a user's choice in the list emits.
            emit types->activated(filter);
            emit types->textActivated(types->itemText(filter));
            if (!typed.isEmpty())
                name->setText(typed);
            static_cast<QDialog*>(shown)->accept();
        });
        QVERIFY(dialog.Execute(report.get()));
        QCOMPARE(title, QStringLiteral("Укажите путь и файл для сохранения отчёта"));
        QCOMPARE(filters, (QStringList{"Отчёты (*.txt)", "Отчёты (*.rtf)"}));
        QCOMPARE(nameShown, QStringLiteral("report"));
        QCOMPARE(QFileInfo(dialog.FileName).fileName(), saved);
        QCOMPARE(dialog.FilterIndex, filter + 1);
    }

    void saveCancelledWritesNothing()
    {
        useSaveAnswer(QString());
        report->actReportSave->trigger();
        QCOMPARE(saveDialogNames, QStringList{"report"});
        QVERIFY(dialogs->messages().isEmpty());
    }

    void saveToUncreatableFileShowsError()
    {
        fx->WriteAttr(CheckFixture::FullAttr());
        CheckAndShow(fx->Data(), *report);
        const QString path = QStringLiteral("/nonexistent-folder-of-emlo/sub/report.txt");
        useSaveAnswer(path);
        report->actReportSave->trigger();
        QCOMPARE(dialogs->texts(), QStringList{"Cannot create file " + path});
        QCOMPARE(dialogs->messages().at(0).kind, MsgKind::Error);
        QCOMPARE(report->RemarkCount(), 1);
    }

    // The program's tables lie in the working folder; a report saved over
    // one of them would destroy the data.
    void saveRefusesTableAndIndexFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("work table") << "data.dbf";
        QTest::newRow("capital letters") << "ATTR.DBF";
        QTest::newRow("index") << "data.idx";
        QTest::newRow("reference index") << "Cy.Idx";
    }

    void saveRefusesTableAndIndexFiles()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QFile table(path);
        QVERIFY(table.open(QIODevice::WriteOnly));
        table.write("table bytes");
        table.close();
        CheckAndShow(fx->Data(), *report);
        useSaveAnswer(path);
        report->actReportSave->trigger();
        QCOMPARE(dialogs->texts(), QStringList{"Файл " + path + " — таблиця або індекс; звіт у нього не записується"});
        QCOMPARE(dialogs->messages().at(0).kind, MsgKind::Error);
        QVERIFY(table.open(QIODevice::ReadOnly));
        QCOMPARE(table.readAll(), QByteArray("table bytes"));
    }

    // A report that Windows-1251 cannot hold is refused before the file is
    // touched: an earlier report stays whole.
    void unencodableReportLeavesEarlierFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("report.txt"));
        QFile earlier(path);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier report\r\n");
        earlier.close();
        CheckAndShow(fx->Data(), *report);
        report->sgReport->item(0, 0)->setText(QStringLiteral("工厂"));
        useSaveAnswer(path);
        report->actReportSave->trigger();
        QCOMPARE(
            dialogs->texts(),
            QStringList{"Звіт містить символи, яких немає в кодуванні Windows-1251; файл " + path + " не записано"});
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("earlier report\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"report.txt"});
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

QTEST_MAIN(TestReport)
#include "tst_report.moc"
