#include "frreport.h"

#include <cmath>
#include <utility>

#include "frtextmeasure.h"

namespace emlo::print {

using namespace Qt::StringLiterals;

namespace {

constexpr double kEpsilon = 0.01;

// A band evaluated for the current record: its boxes relative to the band's
// top, its height after stretching, and the texts its suppress-repeats boxes
// will remember once it is placed.
struct BandLayout {
    double height = 0;
    QVector<TfrPlacedBox> boxes;
    QVector<std::pair<const TfrMemo*, QString>> printed;
};

// One pass over the template and the data: builds the pages.
class Pass final : public TfrEvalContext {
public:
    Pass(const TfrTemplate& tpl, const QHash<QString, TfrDataAdapter*>& adapters, const TfrPrepareOptions& options,
         int totalPages)
        : m_tpl(tpl), m_adapters(adapters), m_options(options), m_totalPages(totalPages)
    {
        m_today = options.today.isValid() ? options.today : QDate::currentDate();
        for (const QString& v : tpl.variables)
            m_variables.insert(v.toUpper(), TfrValue::fromText(QString()));
    }

    TfrDocument run()
    {
        m_doc.title = m_tpl.title;
        for (qsizetype i = 0; i < m_tpl.sections.size(); ++i)
            runSection(int(i));
        return std::move(m_doc);
    }

    // TfrEvalContext
    TfrValue FieldValue(const QString& dataSet, const QString& field) override;
    TfrValue NameValue(const QString& name) override;
    void SetVariable(const QString& name, const TfrValue& value) override;
    QLocale Locale() const override { return m_options.locale; }

private:
    TfrDataAdapter* adapter(const QString& sourceName) const
    {
        TfrDataAdapter* a = m_adapters.value(sourceName);
        if (!a)
            throw TfrError(u"Джерело даних \"%1\" не під'єднане до звіту"_s.arg(sourceName));
        return a;
    }

    void runSection(int index);
    void runMasterRecord();
    void startPage(bool firstOfSection);
    void endPage(bool lastOfSection);
    void printBand(const TfrBand& band);
    void place(const BandLayout& layout, double top, const QString& bandName);
    bool footerMayPrintOnCurrentPage() const;

    BandLayout layoutBand(const TfrBand& band);
    QString evaluateText(const TfrMemo& memo);
    TfrPlacedBox makeBox(const TfrMemo& memo, const QString& text, QStringList* lines) const;
    void finishBox(TfrPlacedBox& box, const TfrMemo& memo, QStringList lines) const;
    QStringList wrapText(const TfrMemo& memo, const TfrFont& font, const QString& text) const;
    double textHeight(const TfrFont& font, double lineSpacing, qsizetype lineCount) const;
    void shrinkToFit(TfrPlacedBox& box, const TfrMemo& memo, QStringList& lines, double room,
                     double& lineSpacing) const;

    const TfrTemplate& m_tpl;
    const QHash<QString, TfrDataAdapter*>& m_adapters;
    const TfrPrepareOptions& m_options;
    const int m_totalPages;
    QDate m_today;
    TfrTextMeasurer m_measurer;

    TfrDocument m_doc;
    QHash<QString, TfrValue> m_variables;
    QHash<const TfrMemo*, QString> m_lastPrinted;

    const TfrSection* m_section = nullptr;
    int m_sectionIndex = 0;
    double m_y = 0;           // top of the next band
    double m_bottom = 0;      // bottom limit of the page
    double m_freeBottom = 0;  // bottom limit less the page footer
    bool m_pageHasBody = false;
    bool m_masterOpen = false;
    bool m_detailOpen = false;
    int m_line = 0;
};

TfrValue Pass::FieldValue(const QString& dataSet, const QString& field)
{
    for (TfrDataAdapter* a : m_adapters) {
        if (a->DataSetName().compare(dataSet, Qt::CaseInsensitive) != 0)
            continue;
        if (!a->HasField(field))
            throw TfrError(u"Набір даних \"%1\" не має поля \"%2\""_s.arg(dataSet, field));
        const bool isChar = a->IsCharField(field);
        if (a->Eof() || a->IsNull(field))
            return isChar ? TfrValue::fromText(QString()) : TfrValue::fromNumber(0);
        const QVariant v = a->Value(field);
        if (isChar) {
            QString s = v.toString();
            while (!s.isEmpty() && s.back() == u' ')
                s.chop(1);
            return TfrValue::fromText(s);
        }
        if (v.metaType().id() == QMetaType::QDate)
            return TfrValue::fromDate(v.toDate());
        if (v.metaType().id() == QMetaType::Bool)
            return TfrValue::fromBool(v.toBool());
        return TfrValue::fromNumber(v.toDouble());
    }
    throw TfrError(u"Невідомий набір даних \"%1\""_s.arg(dataSet));
}

TfrValue Pass::NameValue(const QString& name)
{
    const QString key = name.toUpper();
    if (key == u"LINE#")
        return TfrValue::fromNumber(m_line);
    if (key == u"PAGE#")
        return TfrValue::fromNumber(double(m_doc.pages.size()));
    if (key == u"TOTALPAGES")
        return TfrValue::fromNumber(m_totalPages);
    if (key == u"DATE")
        return TfrValue::fromDate(m_today);
    const auto it = m_variables.constFind(key);
    if (it != m_variables.constEnd())
        return *it;
    throw TfrError(u"Невідома змінна \"%1\""_s.arg(name));
}

void Pass::SetVariable(const QString& name, const TfrValue& value)
{
    const QString key = name.toUpper();
    if (!m_variables.contains(key))
        throw TfrError(u"Невідома змінна \"%1\""_s.arg(name));
    m_variables[key] = value;
}

void Pass::runSection(int index)
{
    m_section = &m_tpl.sections[index];
    m_sectionIndex = index;
    const TfrBand* masterData = m_section->band(TfrBandKind::MasterData);
    const TfrBand* masterHeader = m_section->band(TfrBandKind::MasterHeader);

    TfrDataAdapter* master = masterData ? adapter(masterData->dataSource) : nullptr;
    if (master) {
        // Nothing is printed for an empty master source: no sheet at all.
        master->First();
        if (master->Eof())
            return;
    }

    startPage(true);
    if (master) {
        m_masterOpen = true;
        if (masterHeader)
            printBand(*masterHeader);
        int masterLine = 0;
        while (!master->Eof()) {
            m_line = ++masterLine;
            runMasterRecord();
            master->Next();
        }
        m_masterOpen = false;
    }
    endPage(true);
}

void Pass::runMasterRecord()
{
    printBand(*m_section->band(TfrBandKind::MasterData));
    const int masterLine = m_line;
    if (const TfrBand* detailData = m_section->band(TfrBandKind::DetailData)) {
        TfrDataAdapter* detail = adapter(detailData->dataSource);
        detail->First();
        m_detailOpen = true;
        if (const TfrBand* header = m_section->band(TfrBandKind::DetailHeader))
            printBand(*header);
        int line = 0;
        while (!detail->Eof()) {
            m_line = ++line;
            printBand(*detailData);
            detail->Next();
        }
        m_detailOpen = false;
        if (const TfrBand* footer = m_section->band(TfrBandKind::DetailFooter))
            printBand(*footer);
    }
    m_line = masterLine;
    if (const TfrBand* footer = m_section->band(TfrBandKind::MasterFooter))
        printBand(*footer);
}

bool Pass::footerMayPrintOnCurrentPage() const
{
    const TfrBand* footer = m_section->band(TfrBandKind::PageFooter);
    if (!footer)
        return false;
    // Whether this page turns out to be the section's last is not known yet,
    // so the footer's room is kept free except where it surely stays away.
    return m_doc.pages.size() != 1 || footer->onFirstPage;
}

void Pass::startPage(bool firstOfSection)
{
    TfrPage page;
    page.size = m_section->page.sheetSize();
    page.section = m_sectionIndex;
    m_doc.pages.append(page);

    const TfrPageSettings& ps = m_section->page;
    m_y = ps.marginTop;
    m_bottom = page.size.height() - (ps.marginBottom > 0 ? ps.marginBottom : m_options.printableMargin);
    m_freeBottom = m_bottom;
    if (footerMayPrintOnCurrentPage())
        m_freeBottom -= m_section->band(TfrBandKind::PageFooter)->height;
    m_pageHasBody = false;

    auto placeHere = [this](const TfrBand& band) {
        const BandLayout layout = layoutBand(band);
        place(layout, m_y, band.name);
        m_y += layout.height;
    };
    if (const TfrBand* header = m_section->band(TfrBandKind::PageHeader)) {
        if (!firstOfSection || header->onFirstPage)
            placeHere(*header);
    }
    if (firstOfSection)
        return;
    const TfrBand* masterHeader = m_section->band(TfrBandKind::MasterHeader);
    if (m_masterOpen && masterHeader && masterHeader->repeat)
        placeHere(*masterHeader);
    const TfrBand* detailHeader = m_section->band(TfrBandKind::DetailHeader);
    if (m_detailOpen && detailHeader && detailHeader->repeat)
        placeHere(*detailHeader);
}

void Pass::endPage(bool lastOfSection)
{
    const TfrBand* footer = m_section->band(TfrBandKind::PageFooter);
    if (!footer)
        return;
    if (m_doc.pages.size() == 1 && !footer->onFirstPage)
        return;
    if (lastOfSection && !footer->onLastPage)
        return;
    const BandLayout layout = layoutBand(*footer);
    place(layout, m_bottom - layout.height, footer->name);
}

void Pass::printBand(const TfrBand& band)
{
    BandLayout layout = layoutBand(band);
    // A band that does not fit moves to a new page; on a page that holds no
    // body band yet it stays, as no later page would hold it either.
    if (m_y + layout.height > m_freeBottom + kEpsilon && m_pageHasBody) {
        endPage(false);
        startPage(false);
        layout = layoutBand(band);  // page numbers and scripts may differ now
    }
    place(layout, m_y, band.name);
    m_y += layout.height;
    m_pageHasBody = true;
}

void Pass::place(const BandLayout& layout, double top, const QString& bandName)
{
    TfrPage& page = m_doc.pages.last();
    for (TfrPlacedBox box : layout.boxes) {
        box.band = bandName;
        box.rect.translate(0, top);
        for (TfrPlacedLine& l : box.lines)
            l.origin.ry() += top;
        for (QLineF& u : box.underlines)
            u.translate(0, top);
        page.boxes.append(box);
    }
    for (const auto& [memo, text] : layout.printed)
        m_lastPrinted[memo] = text;
}

QString Pass::evaluateText(const TfrMemo& memo)
{
    QString out;
    for (const TfrTextTemplate::Part& part : memo.text.parts) {
        if (!part.expression) {
            out += part.literal;
            continue;
        }
        const TfrValue v = part.expression->Evaluate(*this);
        if (memo.hideZeros && v.isNumber() && v.number == 0)
            continue;
        out += ValueToText(v, memo.format, m_options.locale);
    }
    return out;
}

double Pass::textHeight(const TfrFont& font, double lineSpacing, qsizetype lineCount) const
{
    if (lineCount <= 0)
        return 0;
    return double(lineCount) * m_measurer.lineHeight(font) + double(lineCount - 1) * lineSpacing;
}

QStringList Pass::wrapText(const TfrMemo& memo, const TfrFont& font, const QString& text) const
{
    if (text.isEmpty())
        return {};
    if (memo.autoWidth || !memo.wordWrap)
        return text.split(u'\n');
    return m_measurer.wrap(font, text, memo.rect.width() - memo.insetLeft - memo.insetRight);
}

TfrPlacedBox Pass::makeBox(const TfrMemo& memo, const QString& text, QStringList* lines) const
{
    TfrPlacedBox box;
    box.name = memo.name;
    box.rect = memo.rect;
    box.text = text;
    box.font = memo.font;
    box.frame = memo.frame;
    box.hAlign = memo.hAlign;
    box.vAlign = memo.vAlign;
    *lines = wrapText(memo, memo.font, text);

    if (memo.autoWidth) {
        // The box keeps its left edge and takes its text's width; the
        // alignment then places the text inside that width.
        double widest = 0;
        for (const QString& l : *lines)
            widest = qMax(widest, m_measurer.width(memo.font, l));
        box.rect.setWidth(widest + memo.insetLeft + memo.insetRight);
    }
    return box;
}

// A box that cannot grow (its band does not stretch) prints a text too long
// for it in a smaller font rather than losing its end: a name whose registry
// code falls on a cut-off second line would print a wrong form.
void Pass::shrinkToFit(TfrPlacedBox& box, const TfrMemo& memo, QStringList& lines, double room,
                       double& lineSpacing) const
{
    constexpr double kSmallestSize = 6;
    TfrFont font = box.font;
    while (font.size > kSmallestSize) {
        font.size = qMax(kSmallestSize, font.size - 0.5);
        const QStringList smaller = wrapText(memo, font, box.text);
        if (textHeight(font, memo.lineSpacing, smaller.size()) <= room + kEpsilon) {
            box.font = font;
            lines = smaller;
            return;
        }
    }
    // Not even the smallest size holds it all: the lines set tight at the
    // smallest size may still hold it (a long name in capitals on a one-line
    // box); else that size shows the most of it and the caller cuts the rest.
    if (font.size < box.font.size) {
        box.font = font;
        lines = wrapText(memo, font, box.text);
        if (textHeight(font, 0, lines.size()) <= room + kEpsilon)
            lineSpacing = 0;
    }
}

// Places the lines of a box whose final size is known: vertical alignment of
// the text block, horizontal alignment of each line, the rules of an
// underlined box, and the lines cut off at its bottom.
void Pass::finishBox(TfrPlacedBox& box, const TfrMemo& memo, QStringList lines) const
{
    const double room = box.rect.height() - memo.insetTop - memo.insetBottom;
    double lineSpacing = memo.lineSpacing;
    if (!memo.autoWidth && lines.size() > 1 && textHeight(box.font, lineSpacing, lines.size()) > room + kEpsilon)
        shrinkToFit(box, memo, lines, room, lineSpacing);

    const TfrFont& font = box.font;
    const double lh = m_measurer.lineHeight(font);
    const double pitch = lh + lineSpacing;

    qsizetype fit = 1;
    while (fit < lines.size() && textHeight(font, lineSpacing, fit + 1) <= room + kEpsilon)
        ++fit;
    if (lines.size() > fit) {
        lines.resize(fit);
        box.overflow = true;
    }

    // An empty box places its rules as if it held one line.
    const double blockHeight = textHeight(font, lineSpacing, qMax<qsizetype>(lines.size(), 1));
    double y0 = box.rect.top() + memo.insetTop;
    if (memo.vAlign == TfrVAlign::Middle)
        y0 = box.rect.top() + (box.rect.height() - blockHeight) / 2;
    else if (memo.vAlign == TfrVAlign::Bottom)
        y0 = box.rect.bottom() - memo.insetBottom - blockHeight;

    const double ascent = m_measurer.ascent(font);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        TfrPlacedLine pl;
        pl.text = lines[i];
        pl.width = m_measurer.width(font, pl.text);
        double x = box.rect.left() + memo.insetLeft;
        if (memo.hAlign == TfrHAlign::Right)
            x = box.rect.right() - memo.insetRight - pl.width;
        else if (memo.hAlign == TfrHAlign::Centre)
            x = box.rect.left() + (box.rect.width() - pl.width) / 2;
        pl.origin = QPointF(x, y0 + double(i) * pitch + ascent);
        box.lines.append(pl);
    }

    if (memo.underlined) {
        // A rule under every line of text, and under every further line the
        // box has room for: an empty box is a line to write on.
        const double gap = qMin(lineSpacing / 2, 1.0);
        for (qsizetype i = 0;; ++i) {
            const double y = y0 + double(i) * pitch + lh + gap;
            if (i >= qMax<qsizetype>(lines.size(), 1) && y > box.rect.bottom() + kEpsilon)
                break;
            box.underlines.append(QLineF(box.rect.left(), y, box.rect.right(), y));
        }
    }
}

BandLayout Pass::layoutBand(const TfrBand& band)
{
    BandLayout out;
    out.height = band.height;
    QVector<QStringList> lines;
    QVector<double> needed;
    for (const TfrMemo& memo : band.memos) {
        memo.script.Run(*this);
        QString text = evaluateText(memo);
        if (memo.suppressRepeats) {
            const auto last = m_lastPrinted.constFind(&memo);
            if (last != m_lastPrinted.constEnd() && *last == text)
                text.clear();
            else
                out.printed.append({&memo, text});
        }
        QStringList boxLines;
        out.boxes.append(makeBox(memo, text, &boxLines));
        needed.append(boxLines.isEmpty() ? 0
                                         : memo.insetTop + memo.insetBottom
                              + textHeight(memo.font, memo.lineSpacing, boxLines.size()));
        lines.append(boxLines);
    }

    if (band.stretch) {
        for (qsizetype i = 0; i < out.boxes.size(); ++i) {
            const TfrMemo& memo = band.memos[i];
            QRectF& r = out.boxes[i].rect;
            if (memo.stretch && needed[i] > r.height())
                r.setHeight(needed[i]);
            out.height = qMax(out.height, r.bottom());
        }
        // Boxes that reached the band's bottom as designed reach it still,
        // so the frames of a grown table row stay closed and aligned.
        for (qsizetype i = 0; i < out.boxes.size(); ++i) {
            const TfrMemo& memo = band.memos[i];
            if (std::fabs(memo.rect.bottom() - band.height) < kEpsilon)
                out.boxes[i].rect.setBottom(out.height);
        }
    }

    for (qsizetype i = 0; i < out.boxes.size(); ++i)
        finishBox(out.boxes[i], band.memos[i], lines[i]);
    return out;
}

}  // namespace

TfrReport::TfrReport(TfrTemplate tpl) : m_template(std::move(tpl)) { }

void TfrReport::SetDataAdapter(const QString& name, TfrDataAdapter* adapter)
{
    m_adapters.insert(name, adapter);
}

TfrDocument TfrReport::PrepareReport(const TfrPrepareOptions& options) const
{
    // The first pass only counts the pages, so that [TOTALPAGES] is right
    // wherever the second pass prints it.
    const int pageCount = int(Pass(m_template, m_adapters, options, 0).run().pages.size());
    return Pass(m_template, m_adapters, options, pageCount).run();
}

}  // namespace emlo::print
