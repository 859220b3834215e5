#include <QFontMetricsF>
#include <QImage>
#include <QTest>

#include <cmath>

#include "formfixture.h"
#include "print/frtextmeasure.h"
#include "print/printform.h"

using namespace emlo::print;
using namespace Qt::StringLiterals;

namespace {

const QDate kToday(2024, 3, 5);

TfrPrepareOptions options(const QLocale& locale = QLocale(QLocale::Ukrainian, QLocale::Ukraine))
{
    TfrPrepareOptions o;
    o.today = kToday;
    o.locale = locale;
    return o;
}

TfrDocument prepare(TfrMemoryDataSet& attr, TfrMemoryDataSet& data, const TfrPrepareOptions& o = options())
{
    return PrepareForm(attr, data, o);
}

// Texts of the boxes a band placed on a page, in order.
QStringList textsOf(const TfrPage& page, const QString& band)
{
    QStringList out;
    for (const TfrPlacedBox* b : page.boxesOfBand(band))
        out.append(b->text);
    return out;
}

QString textOf(const TfrPage& page, const QString& band, const QString& box)
{
    const TfrPlacedBox* b = page.box(band, box);
    return b ? b->text : u"<no box %1>"_s.arg(box);
}

QStringList bandsOf(const TfrPage& page)
{
    QStringList out;
    for (const TfrPlacedBox& b : page.boxes) {
        if (!out.contains(b.band))
            out.append(b.band);
    }
    return out;
}

// The inked stretches of a page: the tight glyph bounds of every run of
// non-blank characters of every line, with the box it belongs to.
struct Ink {
    QRectF rect;
    const TfrPlacedBox* box;
    QString word;
};

QVector<Ink> inkOf(const TfrPage& page)
{
    TfrTextMeasurer m;
    QImage device(8, 8, QImage::Format_RGB32);
    const int dpi = TfrTextMeasurer::kDpi;
    device.setDotsPerMeterX(int(std::lround(dpi / 0.0254)));
    device.setDotsPerMeterY(int(std::lround(dpi / 0.0254)));
    const double unitsPerPixel = kUnitsPerInch / dpi;

    QVector<Ink> out;
    for (const TfrPlacedBox& b : page.boxes) {
        const QFontMetricsF fm(TfrTextMeasurer::QtFont(b.font), &device);
        for (const TfrPlacedLine& l : b.lines) {
            qsizetype i = 0;
            while (i < l.text.size()) {
                if (l.text[i].isSpace()) {
                    ++i;
                    continue;
                }
                qsizetype j = i;
                while (j < l.text.size() && !l.text[j].isSpace())
                    ++j;
                const QString word = l.text.mid(i, j - i);
                const QRectF px = fm.tightBoundingRect(word);
                const QPointF pen(l.origin.x() + m.width(b.font, l.text.left(i)), l.origin.y());
                const QRectF rect(pen + px.topLeft() * unitsPerPixel, px.size() * unitsPerPixel);
                out.append({rect, &b, word});
                i = j;
            }
        }
    }
    return out;
}

}  // namespace

class TestPrintForm : public QObject {
    Q_OBJECT

private slots:
    void sectionOneHoldsEveryTextAndValue()
    {
        auto attr = formfixture::attr();
        auto data = formfixture::data(3);
        const TfrDocument doc = prepare(*attr, *data);
        QCOMPARE(doc.title, u"Звіт"_s);
        const TfrPage& page = doc.pages[0];
        QCOMPARE(page.section, 0);
        QVERIFY(qAbs(page.size.width() - 757.5) < 0.1);
        QVERIFY(qAbs(page.size.height() - 1071.4) < 0.1);

        QCOMPARE(textsOf(page, u"PageHeader1"_s), QStringList{u"ЗАГАЛЬНІ ВІДОМОСТІ"_s});
        const QStringList expected = {
            u"   Публічне акціонерне товариство \"Запорізький завод феросплавів\" / 00186520"_s,
            u"(повна назва об`єкта / код  за ЄДРПОУ)"_s,
            u"   69600, м. Запоріжжя, вул. Північне шосе, 20, (061) 289-20-00"_s,
            u"(місцезнаходження, телефон)"_s,
            u"   ЗАПОРІЗЬКА ОБЛАСТЬ / 2300000000"_s,
            u"(назва області / код за КОАТУУ)"_s,
            u"   ЗАПОРІЖЖЯ / 2310100000"_s,
            u"(назва району / код за КОАТУУ)"_s,
            u"   ЗАПОРІЖЖЯ / 2310100000"_s,
            u"(назва населеного пункту / код за КОАТУУ)"_s,
            u"   Міністерство економіки України / L02"_s,
            u"(відомча підпорядкованість / код  за СПОДУ)"_s,
            u"   Виробництво чавуну, сталі та феросплавів / 24.10"_s,
            u"(назва виду економічної діяльності / код за КВЕД)"_s,
            u"   Приватна власність / 10"_s,
            u"(форма власності  / код за КФВ)"_s,
            u"Географічні координати об`єкта:"_s,
            u"Широта"_s,
            u"Довгота"_s,
            u"градуси"_s,
            u"мінути"_s,
            u"секунди"_s,
            u"градуси"_s,
            u"мінути"_s,
            u"секунди"_s,
            u"(  )"_s,
            u"(')"_s,
            u"(\")"_s,
            u"(  )"_s,
            u"(')"_s,
            u"(\")"_s,
            u"0"_s,
            u"0"_s,
            u"1"_s,
            u"2"_s,
            u"3"_s,
            u"4"_s,
            u"5"_s,
            u"6"_s,
            u"47"_s,
            u"52"_s,
            u"4"_s,
            u"35"_s,
            u"9"_s,
            u"31"_s,
            u"       Інформація про види та обсяги забруднюючих речовин, що викидаються в атмосферне \n"
            u"повітря, додається на          арк."_s,
            u"1"_s,
            u" Генеральний директор"_s,
            QString(),
            u"  Коваленко Олександр Петрович"_s,
            u"(керівник об`єкта)"_s,
            u"(підпис)"_s,
            u"(прізвище, ім`я та по батькові керівника)"_s,
        };
        QCOMPARE(textsOf(page, u"Band1"_s), expected);

        // Positions as designed: x from the sheet's edge, y from the band's
        // top, which lies under the 48-unit page header at the top margin.
        const TfrPlacedBox* name = page.box(u"Band1"_s, u"EnName"_s);
        QCOMPARE(name->rect, QRectF(76, 72 + 48 + 32, 648, 20));
        QCOMPARE(name->underlines.size(), 1);
        const TfrPlacedBox* x1 = page.box(u"Band1"_s, u"X1"_s);
        QCOMPARE(x1->rect, QRectF(76, 72 + 48 + 504, 108, 20));
        QVERIFY(x1->frame.all());
        // The empty signature line is still a line.
        QCOMPARE(page.box(u"Band1"_s, u"HeadSignature"_s)->underlines.size(), 1);
    }

    void sectionOneFitsOnOnePageAndSectionTwoFollows()
    {
        auto attr = formfixture::attr();
        auto data = formfixture::data(3);
        const TfrDocument doc = prepare(*attr, *data);
        QCOMPARE(doc.pages.size(), 2);
        QCOMPARE(bandsOf(doc.pages[0]), (QStringList{u"PageHeader1"_s, u"Band1"_s}));
        QCOMPARE(doc.pages[1].section, 1);
        // Section 1 carries no page number.
        QVERIFY(doc.pages[0].boxesOfBand(u"PageFooter1"_s).isEmpty());
    }

    void sectionTwoWithoutEmissionsShowsHeadersAndFooterOnly()
    {
        auto attr = formfixture::attr();
        auto data = formfixture::emptyData();
        const TfrDocument doc = prepare(*attr, *data);
        QCOMPARE(doc.pages.size(), 2);
        const TfrPage& page = doc.pages[1];
        QCOMPARE(
            bandsOf(page),
            (QStringList{u"Band2"_s, u"MasterHeader1"_s, u"DetailHeader1"_s, u"MasterFooter1"_s, u"PageFooter1"_s}));
        QCOMPARE(textsOf(page, u"Band2"_s),
                 QStringList{
                     u"Інформація про види та обсяги забруднюючих речовин, \nщо викидаються в атмосферне повітря"_s});
        QCOMPARE(textsOf(page, u"MasterHeader1"_s),
                 (QStringList{u"на"_s, u"   Публічне акціонерне товариство \"Запорізький завод феросплавів\""_s,
                              u"(повна назва об`єкта)"_s}));
        QCOMPARE(textOf(page, u"PageFooter1"_s, u"PageNo"_s), u"стор. 1"_s);
        QCOMPARE(textOf(doc.pages[0], u"Band1"_s, u"NumPages"_s), u"1"_s);
        // The master data strip is an empty 20-unit gap under the master header.
        const double headerBottom = page.box(u"MasterHeader1"_s, u"MasterEnNameCaption"_s)->rect.bottom();
        const double tableTop = page.box(u"DetailHeader1"_s, u"TableNo"_s)->rect.top() - 4;
        QCOMPARE(tableTop - headerBottom, 4.0 + 20.0);
    }

    void emptyAttributeTableGivesNoPage()
    {
        auto attr = formfixture::emptyAttr();
        auto data = formfixture::data(5);
        QVERIFY(prepare(*attr, *data).isEmpty());
    }

    void hundredEmissionsRunOverSeveralSheets()
    {
        auto attr = formfixture::attr();
        auto data = formfixture::data(100);
        const TfrDocument doc = prepare(*attr, *data);
        QVERIFY(doc.pages.size() >= 4);
        QCOMPARE(textOf(doc.pages[0], u"Band1"_s, u"NumPages"_s), QString::number(doc.pages.size() - 1));

        QStringList rowNumbers;
        for (qsizetype p = 1; p < doc.pages.size(); ++p) {
            const TfrPage& page = doc.pages[p];
            const bool first = p == 1;
            QCOMPARE(textOf(page, u"PageFooter1"_s, u"PageNo"_s), u"стор. %1"_s.arg(p));
            QCOMPARE(textOf(page, u"MasterHeader1"_s, u"On"_s), u"на"_s);
            QCOMPARE(textOf(page, u"MasterHeader1"_s, u"MasterEnName"_s),
                     u"   Публічне акціонерне товариство \"Запорізький завод феросплавів\""_s);
            // The caption is printed once: repeated, it is suppressed.
            QCOMPARE(textOf(page, u"MasterHeader1"_s, u"MasterEnNameCaption"_s),
                     first ? u"(повна назва об`єкта)"_s : QString());
            QCOMPARE(textOf(page, u"DetailHeader1"_s, u"TableNo"_s), u"Таблиця 2.1"_s);
            QCOMPARE(bandsOf(page).first(), u"Band2"_s);
            // The master data strip comes once, on the first sheet only.
            const QStringList bands = bandsOf(page);
            QCOMPARE(bands.indexOf(u"MasterFooter1"_s) >= 0, p == doc.pages.size() - 1);

            const TfrPlacedBox* footer = page.box(u"PageFooter1"_s, u"PageNo"_s);
            for (const TfrPlacedBox* b : page.boxesOfBand(u"DetailData1"_s)) {
                QVERIFY(b->rect.bottom() <= footer->rect.top());
                if (b->name == u"RowNo")
                    rowNumbers.append(b->text.trimmed());
            }
        }
        QCOMPARE(rowNumbers.size(), 100);
        for (int i = 0; i < 100; ++i)
            QCOMPARE(rowNumbers[i], QString::number(i + 1));
    }

    void truncatedDescriptions_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("cut");
        QTest::newRow("SPODU_D of 59 whole") << u"SPODU_D"_s << 59 << u"Spodu"_s << false;
        QTest::newRow("SPODU_D of 60 gets dots") << u"SPODU_D"_s << 60 << u"Spodu"_s << true;
        QTest::newRow("SPODU_D of 100 cut") << u"SPODU_D"_s << 100 << u"Spodu"_s << true;
        QTest::newRow("KVED_DESCR of 79 whole") << u"KVED_DESCR"_s << 79 << u"Kved"_s << false;
        QTest::newRow("KVED_DESCR of 80 gets dots") << u"KVED_DESCR"_s << 80 << u"Kved"_s << true;
    }

    void truncatedDescriptions()
    {
        QFETCH(QString, field);
        QFETCH(int, length);
        QFETCH(QString, box);
        QFETCH(bool, cut);
        // No blank at the cut, which the field would drop as trailing.
        const QString value = QString(u"Підпорядкування"_s).repeated(8).left(length);
        QCOMPARE(value.size(), length);
        auto attr = formfixture::attr({{field, value}});
        auto data = formfixture::data(1);
        const TfrDocument doc = prepare(*attr, *data);
        const int keep = field == u"SPODU_D" ? 60 : 80;
        const QString code = field == u"SPODU_D" ? u"L02"_s : u"24.10"_s;
        const QString shown = cut ? value.left(keep) + u"..."_s : value;
        QCOMPARE(textOf(doc.pages[0], u"Band1"_s, box), u"   "_s + shown + u" / "_s + code);
    }

    void longestNameAndAddressKeepTheirCodesOnTheLine()
    {
        const QString name = u"Товариство з обмеженою відповідальністю \"Науково-виробниче підприємство "
                             u"\"Укрпромекологія\" м. Запоріжжя"_s.left(100);
        const QString address = u"69600, Запорізька обл., м. Запоріжжя, Вознесенівський р-н, "
                                u"вул. Північне шосе, буд. 20, корп. 3, прохідна 2"_s.left(100);
        QCOMPARE(name.size(), 100);
        QCOMPARE(address.size(), 100);
        auto attr = formfixture::attr(
            {{u"ENNAME"_s, name}, {u"ENADDR"_s, address}, {u"ENPHONE"_s, u"(061) 289-20-00, 289-20-01"_s.left(20)}});
        auto data = formfixture::data(1);
        const TfrDocument doc = prepare(*attr, *data);
        for (const QString& box : {u"EnName"_s, u"EnAddr"_s}) {
            const TfrPlacedBox* b = doc.pages[0].box(u"Band1"_s, box);
            QCOMPARE(b->rect.height(), 20.0);
            QCOMPARE(b->lines.size(), 1);
            QCOMPARE(b->lines[0].text, b->text);
            QVERIFY(b->font.size < 11);
            QVERIFY(!b->overflow);
        }
        QVERIFY(doc.pages[0].box(u"Band1"_s, u"EnName"_s)->text.endsWith(u" / 00186520"_s));
        QVERIFY(doc.pages[0].box(u"Band1"_s, u"EnAddr"_s)->text.endsWith(u", (061) 289-20-00, 289"_s));
    }

    // The table pages repeat the enterprise's name on their header line; a
    // long name is printed whole there too, in a smaller font.
    void longNameOnTableHeaderLineIsPrintedWhole_data()
    {
        QTest::addColumn<QString>("name");
        const QString mixed = u"Товариство з обмеженою відповідальністю \"Науково-виробниче підприємство "
                              u"\"Укрпромекологія\" м. Запоріжжя"_s.left(100);
        QTest::newRow("mixed letters") << mixed;
        // In capitals it does not fit one line even at 6 points.
        QTest::newRow("capitals") << mixed.toUpper();
    }

    void longNameOnTableHeaderLineIsPrintedWhole()
    {
        QFETCH(QString, name);
        QCOMPARE(name.size(), 100);
        auto attr = formfixture::attr({{u"ENNAME"_s, name}});
        auto data = formfixture::data(60);
        const TfrDocument doc = prepare(*attr, *data);
        QVERIFY(doc.pages.size() >= 3);
        for (qsizetype i = 1; i < doc.pages.size(); ++i) {
            const TfrPlacedBox* b = doc.pages[i].box(u"MasterHeader1"_s, u"MasterEnName"_s);
            QVERIFY2(b, qPrintable(u"page %1"_s.arg(i + 1)));
            QStringList shown;
            for (const TfrPlacedLine& line : b->lines)
                shown << line.text.trimmed();
            QCOMPARE(shown.join(u' '), name);
            QVERIFY(b->font.size < 11 && b->font.size >= 6);
            QVERIFY(!b->overflow);
            QVERIFY(b->lines.last().origin.y() <= b->rect.bottom());
        }
        // The first section's name line holds it with the registry code.
        const TfrPlacedBox* first = doc.pages[0].box(u"Band1"_s, u"EnName"_s);
        QVERIFY(!first->overflow);
    }

    void codesOfRegionDistrictAndSettlement()
    {
        auto attr = formfixture::attr({{u"OBL_ID"_s, 0.0}, {u"REGN_ID"_s, QVariant()}, {u"CITY_ID"_s, QVariant()}});
        auto data = formfixture::data(1);
        const TfrPage page = prepare(*attr, *data).pages[0];
        QCOMPARE(textOf(page, u"Band1"_s, u"Obl"_s), u"   ЗАПОРІЗЬКА ОБЛАСТЬ / "_s);
        QCOMPARE(textOf(page, u"Band1"_s, u"Regn"_s), u"   ЗАПОРІЖЖЯ / 0"_s);
        QCOMPARE(textOf(page, u"Band1"_s, u"City"_s), u"   ЗАПОРІЖЖЯ / 0"_s);

        auto blank = formfixture::attr({{u"OBL_ID"_s, QVariant()}});
        const TfrPage blankPage = prepare(*blank, *data).pages[0];
        QCOMPARE(textOf(blankPage, u"Band1"_s, u"Obl"_s), u"   ЗАПОРІЗЬКА ОБЛАСТЬ / "_s);
    }

    void amountsUseACommaUnderAnyLocale_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("limit");
        QTest::newRow("Ukrainian") << QLocale(QLocale::Ukrainian, QLocale::Ukraine) << u"0,5  "_s;
        QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates) << u"0.5  "_s;
        QTest::newRow("C") << QLocale::c() << u"0.5  "_s;
    }

    void amountsUseACommaUnderAnyLocale()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, limit);
        auto attr = formfixture::attr();
        auto data = formfixture::emptyData();
        formfixture::addEmission(*data, u"11000"_s, u"Азоту (1) оксид [N2O]"_s, 12.5, 0.0005, 0.5);
        formfixture::addEmission(*data, u"12000"_s, u"Фтор"_s, QVariant(), 1234567.8912, QVariant());
        const TfrDocument doc = prepare(*attr, *data, options(locale));
        const QStringList rows = textsOf(doc.pages[1], u"DetailData1"_s);
        QCOMPARE(
            rows.mid(0, 6),
            (QStringList{u"     1"_s, u"   11000"_s, u"Азоту (1) оксид [N2O]"_s, u"12,500  "_s, u"0,001  "_s, limit}));
        // A blank amount and a blank threshold print as zero.
        QCOMPARE(rows.mid(6, 6),
                 (QStringList{u"     2"_s, u"   12000"_s, u"Фтор"_s, u"0,000  "_s, u"1234567,891  "_s, u"0  "_s}));
    }

    void longPollutantNameWrapsAndItsRowGrows()
    {
        auto attr = formfixture::attr();
        auto data = formfixture::emptyData();
        const QString longName = u"Речовини у вигляді суспендованих твердих частинок, недиференційовані за складом"_s;
        formfixture::addEmission(*data, u"03001"_s, longName, 1.0, 1.0, 0.0);
        formfixture::addEmission(*data, u"03002"_s, u"Сажа"_s, 1.0, 1.0, 0.0);
        const TfrPage page = prepare(*attr, *data).pages[1];
        const auto cells = page.boxesOfBand(u"DetailData1"_s);
        QCOMPARE(cells.size(), 12);
        const TfrPlacedBox* descr = cells[2];
        QCOMPARE(descr->text, longName);
        QVERIFY(descr->lines.size() >= 3);
        QStringList lines;
        for (const TfrPlacedLine& l : descr->lines)
            lines.append(l.text);
        QCOMPARE(lines.join(u' '), longName);
        QVERIFY(!descr->overflow);
        QVERIFY(descr->rect.height() >= 2 + 3 * 15 + 2 * 2);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(cells[i]->rect.top(), descr->rect.top());
            QCOMPARE(cells[i]->rect.bottom(), descr->rect.bottom());
            QCOMPARE(cells[i + 6]->rect.top(), descr->rect.bottom());
            QCOMPARE(cells[i + 6]->rect.height(), 20.0);
        }
    }

    void yearInTheColumnHeadAndTodayInTheFooter()
    {
        auto attr = formfixture::attr();
        auto data = formfixture::data(1);
        const TfrPage page = prepare(*attr, *data).pages[1];
        QCOMPARE(textOf(page, u"DetailHeader1"_s, u"FactHead"_s), u"Викиди за \n2023 рiк \n(факт), \nтонн/рiк"_s);
        QCOMPARE(textOf(page, u"MasterFooter1"_s, u"Date"_s), u"5.3.2024"_s);
        // The date's rule runs under the date only (auto width).
        const TfrPlacedBox* date = page.box(u"MasterFooter1"_s, u"Date"_s);
        QVERIFY(date->rect.width() < 80);
        QCOMPARE(date->underlines.size(), 1);
        QCOMPARE(textsOf(page, u"MasterFooter1"_s).mid(1),
                 (QStringList{u" Генеральний директор"_s, QString(), u"  Коваленко Олександр Петрович"_s,
                              u"(керівник об`єкта)"_s, u"(підпис)"_s, u"(прізвище, ім`я та по батькові керівника)"_s}));

        TfrPrepareOptions now = options();
        now.today = QDate();
        const QDate today = QDate::currentDate();
        const TfrPage current = prepare(*attr, *data, now).pages[1];
        QCOMPARE(textOf(current, u"MasterFooter1"_s, u"Date"_s),
                 u"%1.%2.%3"_s.arg(today.day()).arg(today.month()).arg(today.year()));
    }

    void realisticFormIsCleanOnEveryPage()
    {
        auto attr = formfixture::attr();
        auto data = formfixture::data(40);
        const TfrDocument doc = prepare(*attr, *data);
        for (const TfrPage& page : doc.pages) {
            const QVector<Ink> ink = inkOf(page);
            for (const Ink& a : ink) {
                QVERIFY2(!a.box->overflow, qPrintable(a.box->text));
                // No text runs out of its box sideways.
                QVERIFY2(a.rect.left() >= a.box->rect.left() - 0.01 && a.rect.right() <= a.box->rect.right() + 0.01,
                         qPrintable(a.word));
                QVERIFY2(a.rect.right() <= page.size.width() && a.rect.bottom() <= page.size.height(),
                         qPrintable(a.word));
            }
            // No two words of different boxes touch: the degree marks sit
            // between their brackets, the page count in the gap left for it.
            for (qsizetype i = 0; i < ink.size(); ++i) {
                for (qsizetype j = i + 1; j < ink.size(); ++j) {
                    if (ink[i].box != ink[j].box && ink[i].rect.intersects(ink[j].rect))
                        QFAIL(qPrintable(u"\"%1\" overlaps \"%2\""_s.arg(ink[i].word, ink[j].word)));
                }
            }
        }
    }
};

QTEST_MAIN(TestPrintForm)
#include "tst_printform.moc"
