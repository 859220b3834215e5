// The report window's save: the file it writes, the dialog, and the files
// and reports it refuses.

#include <QtTest>

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QTableWidget>
#include <QTimer>

#include "check/tests/support/reporttest.h"
#include "check/ui/checkcommands.h"
#include "check/ui/report.h"
#include "store/cp1251.h"

using namespace emlo;
using namespace emlo::testing;

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

}  // namespace

class TestReportSave : public checktest::ReportTest {
    Q_OBJECT

private slots:
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
};

QTEST_MAIN(TestReportSave)
#include "tst_reportsave.moc"
