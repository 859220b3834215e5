#include <QTest>

#include "print/frdataadapter.h"
#include "print/frreport.h"
#include "print/frtextmeasure.h"

#include "enginetemplates.h"

using namespace emlo::print;
using namespace Qt::StringLiterals;

namespace {

TfrTemplate load(const char* json)
{
    TfrTemplate t;
    QString error;
    if (!TfrTemplate::FromJson(QByteArray(json), &t, &error))
        qFatal("template: %s", qPrintable(error));
    return t;
}

struct ListData {
    TfrMemoryDataSet master{u"m"_s, {{u"NAME"_s, true}}};
    TfrMemoryDataSet detail{u"d"_s, {{u"TEXT"_s, true}, {u"VAL"_s, false}}};

    ListData(int masters, int rows)
    {
        for (int i = 0; i < masters; ++i)
            master.AppendRecord({u"M%1"_s.arg(i + 1)});
        for (int i = 0; i < rows; ++i)
            detail.AppendRecord({u"row %1"_s.arg(i + 1), double(i + 1)});
    }

    TfrDocument prepare(const char* json = kListTemplate)
    {
        TfrReport report(load(json));
        report.SetDataAdapter(u"frM"_s, &master);
        report.SetDataAdapter(u"frD"_s, &detail);
        return report.PrepareReport({QDate(2024, 3, 5), QLocale::c(), 18});
    }
};

QStringList bandsInOrder(const TfrPage& page)
{
    QStringList out;
    for (const TfrPlacedBox& b : page.boxes) {
        if (out.isEmpty() || out.last() != b.band)
            out.append(b.band);
    }
    return out;
}

double bottomOfBand(const TfrPage& page, const QString& band)
{
    double bottom = 0;
    for (const TfrPlacedBox* b : page.boxesOfBand(band))
        bottom = qMax(bottom, b->rect.bottom());
    return bottom;
}

}  // namespace

class TestFrEngine : public QObject {
    Q_OBJECT

private slots:
    void rowsFlowOverPagesUnderRepeatedHeaders()
    {
        ListData data(1, 30);
        const TfrDocument doc = data.prepare();
        QVERIFY(doc.pages.size() >= 3);

        QStringList numbers;
        for (qsizetype p = 0; p < doc.pages.size(); ++p) {
            const TfrPage& page = doc.pages[p];
            const QStringList bands = bandsInOrder(page);
            // Every page begins with the page header, the repeated master
            // header and the table head, and ends with the page footer.
            QCOMPARE(bands.mid(0, 3), (QStringList{u"PH"_s, u"MH"_s, u"DH"_s}));
            QCOMPARE(bands.last(), u"PF"_s);
            const TfrPlacedBox* footer = page.box(u"PF"_s, u"PageNo"_s);
            QCOMPARE(footer->text, u"p. %1 of %2"_s.arg(p + 1).arg(doc.pages.size()));
            // The footer stands at the bottom limit, and no row runs into it.
            QCOMPARE(footer->rect.bottom(), page.size.height() - 10);
            QVERIFY(bottomOfBand(page, u"DD"_s) <= footer->rect.top());
            // The caption is suppressed where the master header repeats.
            QCOMPARE(page.box(u"MH"_s, u"Caption"_s)->text, p == 0 ? u"(caption)"_s : QString());
            QCOMPARE(page.box(u"MH"_s, u"Name"_s)->text, u"on M1"_s);
            for (const TfrPlacedBox* b : page.boxesOfBand(u"DD"_s)) {
                if (b->name == u"No")
                    numbers.append(b->text.trimmed());
            }
        }
        QStringList expected;
        for (int i = 1; i <= 30; ++i)
            expected.append(QString::number(i));
        QCOMPARE(numbers, expected);
        QCOMPARE(bandsInOrder(doc.pages.last()).mid(bandsInOrder(doc.pages.last()).size() - 2),
                 (QStringList{u"MF"_s, u"PF"_s}));
    }

    void masterFooterAloneOnANewPageRepeatsOnlyTheMasterHeader()
    {
        // Find a row count whose rows fill page 1 so that the footer moves on.
        for (int rows = 5; rows < 20; ++rows) {
            ListData data(1, rows);
            const TfrDocument doc = data.prepare();
            if (doc.pages.size() == 2 && doc.pages[1].boxesOfBand(u"DD"_s).isEmpty()) {
                QCOMPARE(bandsInOrder(doc.pages[1]), (QStringList{u"PH"_s, u"MH"_s, u"MF"_s, u"PF"_s}));
                return;
            }
        }
        QFAIL("no row count moved the master footer alone to page 2");
    }

    void everyMasterRecordGetsItsDetailAndFooter()
    {
        ListData data(2, 2);
        const TfrDocument doc = data.prepare();
        QCOMPARE(doc.pages.size(), 1);
        const TfrPage& page = doc.pages[0];
        QCOMPARE(bandsInOrder(page),
                 (QStringList{u"PH"_s, u"MH"_s, u"DH"_s, u"DD"_s, u"MF"_s, u"DH"_s, u"DD"_s, u"MF"_s, u"PF"_s}));
        QCOMPARE(page.boxesWithText(u"end of M1"_s).size(), 1);
        QCOMPARE(page.boxesWithText(u"end of M2"_s).size(), 1);
        // LINE# restarts for each master record.
        QCOMPARE(page.boxesWithText(u"1  "_s).size(), 2);
        // The master header is printed once, before the first record.
        QCOMPARE(page.boxesWithText(u"on M1"_s).size(), 1);
    }

    void emptyMasterGivesNoPage()
    {
        ListData data(0, 5);
        QVERIFY(data.prepare().isEmpty());
    }

    void emptyDetailKeepsHeadersAndFooter()
    {
        ListData data(1, 0);
        const TfrDocument doc = data.prepare();
        QCOMPARE(doc.pages.size(), 1);
        QCOMPARE(bandsInOrder(doc.pages[0]), (QStringList{u"PH"_s, u"MH"_s, u"DH"_s, u"MF"_s, u"PF"_s}));
    }

    void stretchedRowGrowsAndKeepsItsFramesClosed()
    {
        ListData data(1, 0);
        data.detail.AppendRecord({u"a long text that needs several lines in its narrow cell"_s, 5.0});
        data.detail.AppendRecord({u"short"_s, 6.0});
        const TfrDocument doc = data.prepare();
        const TfrPage& page = doc.pages[0];
        const auto row = page.boxesOfBand(u"DD"_s);
        QCOMPARE(row.size(), 8);

        const TfrPlacedBox* text = row[1];
        QVERIFY(text->lines.size() >= 3);
        QVERIFY(!text->overflow);
        QVERIFY(text->rect.height() > 40);
        // Boxes that reached the row's bottom reach the grown bottom too; a
        // box that did not ("Mark", 10 high) grows only to its own text.
        QCOMPARE(row[0]->rect.bottom(), text->rect.bottom());
        QCOMPARE(row[2]->rect.bottom(), text->rect.bottom());
        QVERIFY(row[3]->rect.bottom() < row[0]->rect.center().y());
        // The middle-aligned number sits in the middle of the grown cell.
        const double mid = row[0]->rect.center().y();
        QVERIFY(qAbs(row[0]->lines[0].origin.y() - mid) < 8);
        // The next row starts where the grown one ends and keeps its height.
        QCOMPARE(row[4]->rect.top(), text->rect.bottom());
        QCOMPARE(row[4]->rect.height(), 20.0);
    }

    void boxThatCannotGrowShrinksItsTextElseCutsIt()
    {
        const char* json = kFixedBandTemplate;
        ListData data(0, 0);
        data.master.AppendRecord({u"slightly longer"_s});
        data.master.AppendRecord({u"far too long to fit in one line of this box even at the smallest size"_s});
        data.master.AppendRecord({u"fits"_s});
        const TfrDocument doc = data.prepare(json);
        const auto boxes = doc.pages[0].boxesOfBand(u"MD"_s);
        QCOMPARE(boxes.size(), 3);

        // Shrunk: the whole text on one line in a smaller font, same box.
        QCOMPARE(boxes[0]->rect.height(), 20.0);
        QCOMPARE(boxes[0]->lines.size(), 1);
        QCOMPARE(boxes[0]->lines[0].text, u"slightly longer"_s);
        QVERIFY(boxes[0]->font.size < 11 && boxes[0]->font.size >= 6);
        QVERIFY(boxes[0]->lines[0].width <= 60 - 4);
        QVERIFY(!boxes[0]->overflow);

        // Even the smallest size cannot hold it: at that size, the lines
        // that fit, marked (not the first line of the designed size).
        QCOMPARE(boxes[1]->font.size, 6.0);
        QCOMPARE(boxes[1]->lines.size(), 1);
        QVERIFY2(boxes[1]->lines[0].text.startsWith(u"far too long"_s), qPrintable(boxes[1]->lines[0].text));
        QVERIFY(boxes[1]->overflow);

        QCOMPARE(boxes[2]->font.size, 11.0);
        QVERIFY(!boxes[2]->overflow);
    }

    void hideZerosBlanksZeroAndNullNumbers()
    {
        ListData data(1, 0);
        data.detail.AppendRecord({u"zero"_s, 0.0});
        data.detail.AppendRecord({u"null"_s, QVariant()});
        data.detail.AppendRecord({QVariant(), 2.5});
        const TfrDocument doc = data.prepare();
        const auto row = doc.pages[0].boxesOfBand(u"DD"_s);
        QCOMPARE(row[2]->text, QString());
        QCOMPARE(row[6]->text, QString());
        QVERIFY(row[6]->lines.isEmpty());
        // A null character field prints as an empty text.
        QCOMPARE(row[9]->text, QString());
        QCOMPARE(row[10]->text, u"2.5"_s);
    }

    void linesAreAlignedInsideTheInsets()
    {
        ListData data(1, 1);
        const TfrDocument doc = data.prepare();
        const TfrMemo memo;
        const TfrPlacedBox* no = doc.pages[0].box(u"DD"_s, u"No"_s);
        const TfrPlacedLine& l = no->lines[0];
        // Right-aligned: the trailing blanks count, so the digit stands
        // clear of the frame by their width.
        QCOMPARE(l.origin.x() + l.width, no->rect.right() - memo.insetRight);
        TfrTextMeasurer m;
        QVERIFY(qAbs(l.width - m.width(memo.font, u"1  "_s)) < 1e-9);
        const TfrPlacedBox* text = doc.pages[0].box(u"DD"_s, u"Text"_s);
        QCOMPARE(text->lines[0].origin.x(), text->rect.left() + memo.insetLeft);
        QCOMPARE(text->lines[0].origin.y(), text->rect.top() + memo.insetTop + m.ascent(memo.font));
    }

    void pageFooterFlags()
    {
        // Footer without "on first page": not on the document's first page;
        // without "on last page": not on the section's last page.
        const char* json = kFooterFlagsTemplate;
        ListData data(8, 0);
        const TfrDocument doc = data.prepare(json);
        QVERIFY(doc.pages.size() >= 3);
        for (qsizetype p = 0; p < doc.pages.size(); ++p) {
            const bool expected = p != 0 && p != doc.pages.size() - 1;
            QCOMPARE(doc.pages[p].box(u"PF"_s, u"F"_s) != nullptr, expected);
        }
        // The first page keeps no room for the footer it does not print.
        const int onFirst = int(doc.pages[0].boxesOfBand(u"MD"_s).size());
        const int onSecond = int(doc.pages[1].boxesOfBand(u"MD"_s).size());
        QVERIFY(onFirst >= onSecond);
    }

    void pageHeaderWithoutOnFirstPageSkipsTheSectionsFirstPage()
    {
        QByteArray json(kListTemplate);
        json.replace(kHeaderFlagsAsGiven, kHeaderFlagsNone);
        ListData data(1, 30);
        const TfrDocument doc = data.prepare(json.constData());
        QVERIFY(doc.pages.size() >= 2);
        QVERIFY(doc.pages[0].boxesOfBand(u"PH"_s).isEmpty());
        QVERIFY(!doc.pages[1].boxesOfBand(u"PH"_s).isEmpty());
    }

    void eachSectionStartsANewSheetAndPageNumbersRunOn()
    {
        const char* json = kTwoSectionsTemplate;
        ListData data(1, 0);
        const TfrDocument doc = data.prepare(json);
        QCOMPARE(doc.pages.size(), 2);
        QCOMPARE(doc.pages[0].box(u"A"_s, u"B"_s)->text, u"A 1/2"_s);
        QCOMPARE(doc.pages[1].box(u"C"_s, u"B"_s)->text, u"C 2/2"_s);
        QCOMPARE(doc.pages[1].section, 1);
        QVERIFY(doc.pages[1].size.width() > doc.pages[1].size.height());
    }

    void underlinedBoxesRuleEveryLineAlsoWhenEmpty()
    {
        const char* json = kUnderlineTemplate;
        ListData data(1, 0);
        const TfrDocument doc = data.prepare(json);
        const TfrPage& page = doc.pages[0];
        const TfrPlacedBox* empty = page.box(u"MD"_s, u"Empty"_s);
        QCOMPARE(empty->underlines.size(), 1);
        QCOMPARE(empty->underlines[0].x1(), empty->rect.left());
        QCOMPARE(empty->underlines[0].x2(), empty->rect.right());
        QVERIFY(empty->underlines[0].y1() > empty->rect.top() && empty->underlines[0].y1() <= empty->rect.bottom());
        QCOMPARE(page.box(u"MD"_s, u"Tall"_s)->underlines.size(), 2);
        QVERIFY(page.box(u"MD"_s, u"Plain"_s)->underlines.isEmpty());
    }

    void autoWidthKeepsTheLeftEdge()
    {
        const char* json = kAutoWidthTemplate;
        ListData data(1, 0);
        const TfrDocument doc = data.prepare(json);
        const TfrPlacedBox* a = doc.pages[0].box(u"MD"_s, u"A"_s);
        TfrTextMeasurer m;
        QCOMPARE(a->text, u"[x]"_s);  // plain: no expression
        QCOMPARE(a->rect.left(), 100.0);
        QVERIFY(qAbs(a->rect.width() - (m.width(TfrFont(), u"[x]"_s) + 4)) < 1e-9);
        QCOMPARE(a->underlines[0].x2(), a->rect.right());
    }

    void errorsWhilePreparing()
    {
        ListData data(1, 1);
        TfrReport unconnected(load(kListTemplate));
        unconnected.SetDataAdapter(u"frM"_s, &data.master);
        QVERIFY_THROWS_EXCEPTION(TfrError, unconnected.PrepareReport());

        const char* json = kUnknownFieldTemplate;
        QVERIFY_THROWS_EXCEPTION(TfrError, data.prepare(json));
    }

    void malformedTemplatesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("mentions");
        for (const MalformedTemplate& t : kMalformedTemplates)
            QTest::newRow(t.name) << QByteArray(t.json) << QString::fromUtf16(t.mentions);
    }

    void malformedTemplatesAreRefused()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, mentions);
        TfrTemplate t;
        QString error;
        QVERIFY(!TfrTemplate::FromJson(json, &t, &error));
        QVERIFY2(error.contains(mentions), qPrintable(error));
    }
};

QTEST_MAIN(TestFrEngine)
#include "tst_frengine.moc"
