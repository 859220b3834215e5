#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "formfixture.h"
#include "print/frpainter.h"
#include "print/printform.h"

using namespace emlo::print;
using namespace Qt::StringLiterals;

namespace {

QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(program), p.readAllStandardError().constData());
    return QString::fromUtf8(p.readAllStandardOutput());
}

TfrDocument sampleForm(int emissions)
{
    auto attr = formfixture::attr();
    auto data = formfixture::data(emissions);
    TfrPrepareOptions o;
    o.today = QDate(2024, 3, 5);
    return PrepareForm(*attr, *data, o);
}

}  // namespace

// The PDF made from a laid-out form holds its texts, one A4 sheet per page.
class TestFrPdf : public QObject {
    Q_OBJECT

private slots:
    void pdfHoldsTheFormsTexts()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"form.pdf"_s);
        const TfrDocument doc = sampleForm(40);
        QString error;
        QVERIFY2(RenderPdf(doc, path, &error), qPrintable(error));

        const QString info = run(u"pdfinfo"_s, {path});
        QVERIFY2(info.contains(QRegularExpression(u"Pages:\\s+%1\\n"_s.arg(doc.pages.size()))), qPrintable(info));
        QVERIFY2(info.contains(u"(A4)"_s), qPrintable(info));
        QVERIFY2(info.contains(u"Звіт"_s), qPrintable(info));

        const QString text = run(u"pdftotext"_s, {u"-enc"_s, u"UTF-8"_s, path, u"-"_s});
        const QStringList pages = text.split(u'\f');
        QVERIFY(pages.size() >= doc.pages.size());
        for (const QString& expected :
             {u"ЗАГАЛЬНІ ВІДОМОСТІ"_s, u"Публічне акціонерне товариство \"Запорізький завод феросплавів\" / 00186520"_s,
              u"(повна назва об`єкта / код за ЄДРПОУ)"_s, u"Географічні координати об`єкта:"_s,
              u"(прізвище, ім`я та по батькові керівника)"_s, u"Коваленко Олександр Петрович"_s}) {
            QVERIFY2(pages[0].simplified().contains(expected), qPrintable(expected));
        }
        for (const QString& expected : {u"Таблиця 2.1"_s, u"Забруднююча речовина"_s, u"найменування"_s, u"2023 рiк"_s,
                                        u"Азоту діоксид"_s, u"10,125"_s, u"стор. 1"_s}) {
            QVERIFY2(pages[1].simplified().contains(expected), qPrintable(expected));
        }
        QVERIFY(pages[2].contains(u"стор. 2"_s));
        QVERIFY(pages[2].contains(u"5.3.2024"_s));
    }

    void failuresAreReportedAndLeaveNoFile()
    {
        QTemporaryDir dir;
        QString error;
        // A missing folder is made, as the export makes its folder.
        const QString missingFolder = dir.filePath(u"no/such/folder/form.pdf"_s);
        QVERIFY2(RenderPdf(sampleForm(1), missingFolder, &error), qPrintable(error));
        QVERIFY(QFile::exists(missingFolder));

        // A folder that cannot be made (a file stands in its place) is reported.
        QFile blocker(dir.filePath(u"blocker"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString blocked = dir.filePath(u"blocker/form.pdf"_s);
        error.clear();
        QVERIFY(!RenderPdf(sampleForm(1), blocked, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFile::exists(blocked));

        // An empty document writes nothing and keeps a file already there.
        const QString existing = dir.filePath(u"old.pdf"_s);
        QFile f(existing);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old");
        f.close();
        error.clear();
        QVERIFY(!RenderPdf(TfrDocument(), existing, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("old"));
    }

    void pageImageIsDrawn()
    {
        const TfrDocument doc = sampleForm(1);
        const QImage image = RenderPageImage(doc.pages[0], 50);
        QCOMPARE(image.width(), qRound(210 / 25.4 * 50 + 0.5));
        // The frame of the coordinates table's first cell is drawn black
        // where the layout placed it.
        const TfrPlacedBox* cell = doc.pages[0].box(u"Band1"_s, u"X1"_s);
        const double ppu = 50 / kUnitsPerInch;
        const QPoint onLeftEdge(qRound(cell->rect.left() * ppu), qRound(cell->rect.center().y() * ppu));
        QVERIFY(qGray(image.pixel(onLeftEdge)) < 160);
        const QPoint inside(qRound((cell->rect.left() + 10) * ppu), qRound((cell->rect.top() + 3) * ppu));
        QCOMPARE(qGray(image.pixel(inside)), 255);
    }
};

QTEST_MAIN(TestFrPdf)
#include "tst_frpdf.moc"
