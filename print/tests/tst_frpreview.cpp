#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#include "formfixture.h"
#include "print/ui/frpreviewdialogs.h"
#include "print/ui/frpreviewform.h"
#include "print/printform.h"
#include "print/ui/showprintform.h"
#include "store/errors.h"
#include "widgets/testing/scripteddialogs.h"

using namespace emlo;

using namespace emlo::print;
using namespace Qt::StringLiterals;

namespace {

// Answers the preview's file and print dialogs and records that they opened.
class FakeDialogs : public TfrPreviewDialogs {
public:
    FakeDialogs() { FrPreviewDialogs::setResponder(this); }
    ~FakeDialogs() override { FrPreviewDialogs::setResponder(nullptr); }

    QString AskPdfFileName(QWidget*, const QString& suggested) override
    {
        suggestedName = suggested;
        ++asked;
        return pdfPath;
    }
    bool SetUpPrinter(QPrinter& printer, int pageCount, QWidget*) override
    {
        ++asked;
        offeredPages = pageCount;
        if (!setUp)
            return false;
        setUp(printer);
        return true;
    }

    QString pdfPath;
    QString suggestedName;
    std::function<void(QPrinter&)> setUp;
    int asked = 0;
    int offeredPages = 0;
};

// Runs `inside` on the modal window once it is shown, then closes it.
void whenModalShows(std::function<void(QWidget*)> inside, bool* seen)
{
    QTimer::singleShot(0, [inside, seen] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        *seen = true;
        inside(modal);
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
    });
}

int pdfPages(const QString& path)
{
    QProcess p;
    p.start(u"pdfinfo"_s, {path});
    p.waitForFinished(60000);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const QRegularExpressionMatch m = QRegularExpression(u"Pages:\\s+(\\d+)"_s).match(out);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

TfrDocument sampleDocument(int emissions)
{
    auto attr = formfixture::attr();
    auto data = formfixture::data(emissions);
    return PrepareForm(*attr, *data);
}

// An emission table whose reading fails, as a damaged table would.
class BrokenData : public TfrMemoryDataSet {
public:
    BrokenData() : TfrMemoryDataSet(*formfixture::data(2)) { }
    QVariant Value(const QString&) const override { throw EApolloError(u"Table read error"_s); }
};

}  // namespace

class TestFrPreview : public QObject {
    Q_OBJECT

private slots:
    void previewOpensModalWithItsCommands()
    {
        emlo::testing::ScriptedDialogs boxes;
        auto attr = formfixture::attr();
        auto data = formfixture::data(50);
        bool seen = false;
        QString title;
        QStringList buttons;
        QString pageLabel;
        whenModalShows(
            [&](QWidget* w) {
                title = w->windowTitle();
                for (const char16_t* name : {u"btnPrint", u"btnSavePdf", u"btnClose"}) {
                    if (auto* b = w->findChild<QPushButton*>(QString::fromUtf16(name)))
                        buttons.append(b->text());
                }
                pageLabel = w->findChild<QLabel*>(u"lblPage"_s)->text();
            },
            &seen);
        QVERIFY(ShowPrintForm(*attr, *data));
        QVERIFY(seen);
        QCOMPARE(title, u"Попередній перегляд - Звіт"_s);
        QCOMPARE(buttons, (QStringList{u"Друк..."_s, u"Зберегти як PDF..."_s, u"Закрити"_s}));
        QVERIFY(pageLabel.startsWith(u"Сторінка 1 з "_s));
        QVERIFY(boxes.messages().isEmpty());
        // The walk leaves both tables at their end.
        QVERIFY(attr->Eof());
        QVERIFY(data->Eof());
    }

    void closeButtonEndsThePreview()
    {
        auto attr = formfixture::attr();
        auto data = formfixture::data(1);
        bool closedByButton = false;
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            QTest::mouseClick(modal->findChild<QPushButton*>(u"btnClose"_s), Qt::LeftButton);
            closedByButton = !modal->isVisible();
        });
        QVERIFY(ShowPrintForm(*attr, *data));
        QVERIFY(closedByButton);
    }

    void nothingIsShownForAnEmptyForm()
    {
        auto attr = formfixture::emptyAttr();
        auto data = formfixture::data(3);
        bool seen = false;
        whenModalShows([](QWidget*) {}, &seen);
        QVERIFY(!ShowPrintForm(*attr, *data));
        QTest::qWait(10);
        QVERIFY(!seen);
    }

    void preparationErrorIsShownAndNoPreviewOpens()
    {
        emlo::testing::ScriptedDialogs boxes;
        auto attr = formfixture::attr();
        BrokenData data;
        bool seen = false;
        whenModalShows([](QWidget*) {}, &seen);
        QVERIFY(!ShowPrintForm(*attr, data));
        QTest::qWait(10);
        QVERIFY(!seen);
        QCOMPARE(boxes.texts(), QStringList{u"Table read error"_s});
        QCOMPARE(boxes.messages().first().kind, emlo::MsgKind::Error);
    }

    void zoomChangesTheSizeOfThePages()
    {
        TfrPreviewForm preview(sampleDocument(50));
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        auto* view = preview.findChild<QWidget*>(u"frPageView"_s);
        auto* zoom = preview.findChild<QComboBox*>(u"cbZoom"_s);
        QCOMPARE(zoom->currentText(), u"100 %"_s);
        const int natural = view->width();

        zoom->setCurrentIndex(zoom->findText(u"200 %"_s));
        emit zoom->activated(zoom->currentIndex());
        QVERIFY(qAbs(view->width() - 2 * natural) < 40);

        zoom->setCurrentIndex(zoom->findText(u"По ширині сторінки"_s));
        emit zoom->activated(zoom->currentIndex());
        auto* scroll = preview.findChild<QScrollArea*>(u"frPages"_s);
        QVERIFY(view->width() <= scroll->viewport()->width());
        QVERIFY(view->width() >= scroll->viewport()->width() - 40);

        QTest::keyClick(&preview, Qt::Key_Plus);
        QVERIFY(view->width() > scroll->viewport()->width());

        // Scrolling to the end shows the last page's number.
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        QCOMPARE(preview.currentPage(), int(preview.document().pages.size()));
        QVERIFY(preview.findChild<QLabel*>(u"lblPage"_s)
                    ->text()
                    .startsWith(u"Сторінка %1 з"_s.arg(preview.document().pages.size())));
    }

    void saveAsPdfWritesTheFile()
    {
        QTemporaryDir dir;
        FakeDialogs dialogs;
        emlo::testing::ScriptedDialogs boxes;
        dialogs.pdfPath = dir.filePath(u"звіт.pdf"_s);
        TfrPreviewForm preview(sampleDocument(50));
        QTest::mouseClick(preview.findChild<QPushButton*>(u"btnSavePdf"_s), Qt::LeftButton);
        QCOMPARE(dialogs.asked, 1);
        QVERIFY(dialogs.suggestedName.endsWith(u"Звіт.pdf"_s));
        QCOMPARE(pdfPages(dialogs.pdfPath), int(preview.document().pages.size()));
        // The user learns that, and where, the file was written.
        QCOMPARE(boxes.texts(), QStringList{u"Звіт збережено у файлі "_s + dialogs.pdfPath});
        QCOMPARE(boxes.messages().first().kind, emlo::MsgKind::Information);

        // A missing folder is made, as the export makes its folder.
        boxes.clear();
        dialogs.pdfPath = dir.filePath(u"нова/папка/звіт.pdf"_s);
        preview.saveAsPdf();
        QCOMPARE(pdfPages(dialogs.pdfPath), int(preview.document().pages.size()));
        QCOMPARE(boxes.texts(), QStringList{u"Звіт збережено у файлі "_s + dialogs.pdfPath});
    }

    void saveAsPdfCancelledOrFailing()
    {
        QTemporaryDir dir;
        FakeDialogs dialogs;
        emlo::testing::ScriptedDialogs boxes;
        TfrPreviewForm preview(sampleDocument(1));

        dialogs.pdfPath.clear();  // cancelled: nothing happens
        preview.saveAsPdf();
        QVERIFY(boxes.messages().isEmpty());
        QVERIFY(QDir(dir.path()).isEmpty());

        // A folder stands where the file should go: the error names the file.
        dialogs.pdfPath = dir.filePath(u"x.pdf"_s);
        QVERIFY(QDir().mkpath(dialogs.pdfPath));
        preview.saveAsPdf();
        QCOMPARE(boxes.messages().size(), 1);
        QVERIFY2(boxes.texts().first().startsWith(u"Помилка збереження звіту:\r\nНеможливо створити файл "_s
                                                  + dialogs.pdfPath),
                 qPrintable(boxes.texts().first()));
        QCOMPARE(boxes.messages().first().kind, emlo::MsgKind::Error);
    }

    // The preview fits a small screen (a laptop's 768 pixels and less)
    // instead of a fixed 900 x 1000 window.
    void previewFitsTheScreen()
    {
        TfrPreviewForm preview(sampleDocument(50));
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        const QRect room = preview.screen()->availableGeometry();
        QVERIFY2(
            room.contains(preview.geometry()),
            qPrintable(
                u"%1x%2 on %3x%4"_s.arg(preview.width()).arg(preview.height()).arg(room.width()).arg(room.height())));
    }

    // After a zoom is chosen with the keys, PageDown and PageUp turn pages
    // and leave the zoom alone.
    void pageKeysTurnPagesAfterTheZoomBox()
    {
        TfrPreviewForm preview(sampleDocument(120));
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        QVERIFY(preview.document().pages.size() >= 3);
        auto* zoom = preview.findChild<QComboBox*>(u"cbZoom"_s);
        zoom->setFocus();
        QTest::keyClick(zoom, Qt::Key_Up);  // 100 % -> 75 %
        QCOMPARE(zoom->currentText(), u"75 %"_s);
        QCOMPARE(preview.zoom(), 0.75);
        QCOMPARE(preview.currentPage(), 1);
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &preview, Qt::Key_PageDown);
        QCOMPARE(preview.zoom(), 0.75);
        QCOMPARE(preview.currentPage(), 2);
        // Even with the focus left in the zoom box.
        zoom->setFocus();
        QTest::keyClick(zoom, Qt::Key_PageUp);
        QCOMPARE(zoom->currentText(), u"75 %"_s);
        QCOMPARE(preview.currentPage(), 1);
    }

    void printsTheChosenPagesOnA4()
    {
        QTemporaryDir dir;
        FakeDialogs dialogs;
        const QString out = dir.filePath(u"printed.pdf"_s);
        dialogs.setUp = [&](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(out);
            printer.setPrintRange(QPrinter::PageRange);
            printer.setFromTo(2, 3);
        };
        TfrPreviewForm preview(sampleDocument(100));
        QVERIFY(preview.document().pages.size() >= 4);
        QTest::mouseClick(preview.findChild<QPushButton*>(u"btnPrint"_s), Qt::LeftButton);
        QCOMPARE(dialogs.offeredPages, int(preview.document().pages.size()));
        QCOMPARE(pdfPages(out), 2);

        QProcess text;
        text.start(u"pdftotext"_s, {u"-enc"_s, u"UTF-8"_s, out, u"-"_s});
        text.waitForFinished(60000);
        const QString printed = QString::fromUtf8(text.readAllStandardOutput());
        QVERIFY(printed.contains(u"стор. 1"_s));
        QVERIFY(printed.contains(u"стор. 2"_s));
        QVERIFY(!printed.contains(u"ЗАГАЛЬНІ ВІДОМОСТІ"_s));

        QProcess info;
        info.start(u"pdfinfo"_s, {out});
        info.waitForFinished(60000);
        QVERIFY(QString::fromUtf8(info.readAllStandardOutput()).contains(u"(A4)"_s));
    }

    void cancelledPrintDialogPrintsNothing()
    {
        FakeDialogs dialogs;
        emlo::testing::ScriptedDialogs boxes;
        TfrPreviewForm preview(sampleDocument(1));
        preview.printDocument();
        QCOMPARE(dialogs.asked, 1);
        QVERIFY(boxes.messages().isEmpty());
    }
};

QTEST_MAIN(TestFrPreview)
#include "tst_frpreview.moc"
