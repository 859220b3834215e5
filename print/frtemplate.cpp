#include "frtemplate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace emlo::print {

using namespace Qt::StringLiterals;

QSizeF TfrPageSettings::sheetSize() const
{
    const double w = paperWidth / 254.0 * kUnitsPerInch;
    const double h = paperHeight / 254.0 * kUnitsPerInch;
    return portrait ? QSizeF(w, h) : QSizeF(h, w);
}

const TfrBand* TfrSection::band(TfrBandKind kind) const
{
    for (const TfrBand& b : bands) {
        if (b.kind == kind)
            return &b;
    }
    return nullptr;
}

namespace {

// Reads one JSON object, refusing keys it does not know, so that a misspelt
// attribute in the template is an error and not a silently lost setting.
class ObjectReader {
public:
    ObjectReader(const QJsonObject& obj, QString where, QStringList known) : m_obj(obj), m_where(std::move(where))
    {
        for (auto it = obj.begin(); it != obj.end(); ++it) {
            if (!known.contains(it.key()))
                throw TfrError(u"%1: невідомий ключ \"%2\""_s.arg(m_where, it.key()));
        }
    }

    bool has(const QString& key) const { return m_obj.contains(key); }

    double number(const QString& key, double fallback) const
    {
        if (!has(key))
            return fallback;
        if (!m_obj[key].isDouble())
            throw TfrError(u"%1: \"%2\" має бути числом"_s.arg(m_where, key));
        return m_obj[key].toDouble();
    }

    double requiredNumber(const QString& key) const
    {
        if (!has(key))
            throw TfrError(u"%1: бракує \"%2\""_s.arg(m_where, key));
        return number(key, 0);
    }

    QString string(const QString& key, const QString& fallback = {}) const
    {
        if (!has(key))
            return fallback;
        if (!m_obj[key].isString())
            throw TfrError(u"%1: \"%2\" має бути текстом"_s.arg(m_where, key));
        return m_obj[key].toString();
    }

    bool boolean(const QString& key, bool fallback) const
    {
        if (!has(key))
            return fallback;
        if (!m_obj[key].isBool())
            throw TfrError(u"%1: \"%2\" має бути true або false"_s.arg(m_where, key));
        return m_obj[key].toBool();
    }

    QStringList strings(const QString& key) const
    {
        if (!has(key))
            return {};
        if (!m_obj[key].isArray())
            throw TfrError(u"%1: \"%2\" має бути списком"_s.arg(m_where, key));
        QStringList out;
        for (const QJsonValue& v : m_obj[key].toArray()) {
            if (!v.isString())
                throw TfrError(u"%1: \"%2\" має містити лише тексти"_s.arg(m_where, key));
            out.append(v.toString());
        }
        return out;
    }

    QJsonObject object(const QString& key) const
    {
        if (has(key) && !m_obj[key].isObject())
            throw TfrError(u"%1: \"%2\" має бути об'єктом"_s.arg(m_where, key));
        return m_obj[key].toObject();
    }

    QJsonArray array(const QString& key) const
    {
        if (has(key) && !m_obj[key].isArray())
            throw TfrError(u"%1: \"%2\" має бути списком"_s.arg(m_where, key));
        return m_obj[key].toArray();
    }

    const QString& where() const { return m_where; }

private:
    QJsonObject m_obj;
    QString m_where;
};

QJsonObject asObject(const QJsonValue& v, const QString& where)
{
    if (!v.isObject())
        throw TfrError(u"%1: очікується об'єкт"_s.arg(where));
    return v.toObject();
}

TfrBandKind bandKind(const QString& s, const QString& where)
{
    static const QHash<QString, TfrBandKind> kinds = {
        {u"pageHeader"_s, TfrBandKind::PageHeader},     {u"pageFooter"_s, TfrBandKind::PageFooter},
        {u"masterHeader"_s, TfrBandKind::MasterHeader}, {u"masterData"_s, TfrBandKind::MasterData},
        {u"masterFooter"_s, TfrBandKind::MasterFooter}, {u"detailHeader"_s, TfrBandKind::DetailHeader},
        {u"detailData"_s, TfrBandKind::DetailData},     {u"detailFooter"_s, TfrBandKind::DetailFooter},
    };
    const auto it = kinds.find(s);
    if (it == kinds.end())
        throw TfrError(u"%1: невідомий вид смуги \"%2\""_s.arg(where, s));
    return *it;
}

void readAlignment(const QString& s, TfrMemo& m, const QString& where)
{
    const QStringList parts = s.split(u'/');
    static const QHash<QString, TfrHAlign> h = {
        {u"left"_s, TfrHAlign::Left}, {u"centre"_s, TfrHAlign::Centre}, {u"right"_s, TfrHAlign::Right}};
    static const QHash<QString, TfrVAlign> v = {
        {u"top"_s, TfrVAlign::Top}, {u"middle"_s, TfrVAlign::Middle}, {u"bottom"_s, TfrVAlign::Bottom}};
    if (parts.size() != 2 || !h.contains(parts[0]) || !v.contains(parts[1]))
        throw TfrError(u"%1: невідоме вирівнювання \"%2\""_s.arg(where, s));
    m.hAlign = h[parts[0]];
    m.vAlign = v[parts[1]];
}

void readFrame(const ObjectReader& r, TfrMemo& m)
{
    const QString frame = r.string(u"frame"_s, u"none"_s);
    if (frame == u"box") {
        m.frame.left = m.frame.top = m.frame.right = m.frame.bottom = true;
    } else if (frame != u"none") {
        for (const QString& side : frame.split(u' ', Qt::SkipEmptyParts)) {
            if (side == u"left")
                m.frame.left = true;
            else if (side == u"top")
                m.frame.top = true;
            else if (side == u"right")
                m.frame.right = true;
            else if (side == u"bottom")
                m.frame.bottom = true;
            else
                throw TfrError(u"%1: невідома рамка \"%2\""_s.arg(r.where(), frame));
        }
    }
    m.frame.width = r.number(u"frameWidth"_s, 1);
}

void readExtras(const QStringList& extras, TfrMemo& m, const QString& where)
{
    for (const QString& e : extras) {
        if (e == u"underlined")
            m.underlined = true;
        else if (e == u"hideZeros")
            m.hideZeros = true;
        else if (e == u"suppressRepeats")
            m.suppressRepeats = true;
        else if (e == u"autoWidth")
            m.autoWidth = true;
        else if (e == u"plain")
            m.plain = true;
        else if (e == u"noWrap")
            m.wordWrap = false;
        else if (e == u"noStretch")
            m.stretch = false;
        else
            throw TfrError(u"%1: невідома ознака \"%2\""_s.arg(where, e));
    }
}

TfrMemo readMemo(const QJsonObject& obj, const QString& where)
{
    const ObjectReader r(obj, where,
                         {u"name"_s, u"x"_s, u"y"_s, u"w"_s, u"h"_s, u"text"_s, u"frame"_s, u"frameWidth"_s, u"align"_s,
                          u"font"_s, u"extras"_s, u"format"_s, u"script"_s, u"inset"_s, u"lineSpacing"_s});
    TfrMemo m;
    m.name = r.string(u"name"_s);
    const double x = r.requiredNumber(u"x"_s);
    const double y = r.requiredNumber(u"y"_s);
    const double w = r.requiredNumber(u"w"_s);
    const double h = r.requiredNumber(u"h"_s);
    m.rect = QRectF(x, y, w, h);
    m.lines = r.strings(u"text"_s);
    readFrame(r, m);
    readAlignment(r.string(u"align"_s, u"left/top"_s), m, where);

    const ObjectReader font(r.object(u"font"_s), where + u" font"_s, {u"family"_s, u"size"_s, u"bold"_s, u"italic"_s});
    m.font.family = font.string(u"family"_s, m.font.family);
    m.font.size = font.number(u"size"_s, m.font.size);
    m.font.bold = font.boolean(u"bold"_s, false);
    m.font.italic = font.boolean(u"italic"_s, false);

    readExtras(r.strings(u"extras"_s), m, where);

    const ObjectReader format(r.object(u"format"_s), where + u" format"_s, {u"pattern"_s, u"decimalSeparator"_s});
    m.format.pattern = format.string(u"pattern"_s);
    m.format.decimalSeparator = format.string(u"decimalSeparator"_s);

    const QJsonArray inset = r.array(u"inset"_s);
    if (!inset.isEmpty()) {
        if (inset.size() != 4)
            throw TfrError(u"%1: \"inset\" має містити 4 числа"_s.arg(where));
        m.insetLeft = inset[0].toDouble();
        m.insetTop = inset[1].toDouble();
        m.insetRight = inset[2].toDouble();
        m.insetBottom = inset[3].toDouble();
    }
    m.lineSpacing = r.number(u"lineSpacing"_s, m.lineSpacing);
    m.scriptSource = r.string(u"script"_s);

    m.text = TfrTextTemplate::Parse(m.lines.join(u'\n'), m.plain);
    m.script = TfrScript::Parse(m.scriptSource);
    return m;
}

void readBandFlags(const QStringList& flags, TfrBand& b, const QString& where)
{
    for (const QString& f : flags) {
        if (f == u"stretch")
            b.stretch = true;
        else if (f == u"repeat")
            b.repeat = true;
        else if (f == u"onFirstPage")
            b.onFirstPage = true;
        else if (f == u"onLastPage")
            b.onLastPage = true;
        else if (f == u"printIfDetailEmpty")
            b.printIfDetailEmpty = true;
        else
            throw TfrError(u"%1: невідомий прапорець \"%2\""_s.arg(where, f));
    }
}

TfrBand readBand(const QJsonObject& obj, const QString& where)
{
    const ObjectReader r(obj, where, {u"name"_s, u"kind"_s, u"height"_s, u"dataSource"_s, u"flags"_s, u"boxes"_s});
    TfrBand b;
    b.name = r.string(u"name"_s);
    const QString at = u"%1 (%2)"_s.arg(where, b.name);
    b.kind = bandKind(r.string(u"kind"_s), at);
    b.height = r.requiredNumber(u"height"_s);
    b.dataSource = r.string(u"dataSource"_s);
    readBandFlags(r.strings(u"flags"_s), b, at);
    const QJsonArray boxes = r.array(u"boxes"_s);
    for (qsizetype i = 0; i < boxes.size(); ++i) {
        const QString boxWhere = u"%1, об'єкт %2"_s.arg(at).arg(i + 1);
        b.memos.append(readMemo(asObject(boxes[i], boxWhere), boxWhere));
    }
    return b;
}

TfrPageSettings readPage(const QJsonObject& obj, const QString& where)
{
    const ObjectReader r(obj, where, {u"paper"_s, u"width"_s, u"height"_s, u"orientation"_s, u"margins"_s});
    TfrPageSettings p;
    p.paperSize = int(r.number(u"paper"_s, p.paperSize));
    p.paperWidth = int(r.number(u"width"_s, p.paperWidth));
    p.paperHeight = int(r.number(u"height"_s, p.paperHeight));
    const QString orientation = r.string(u"orientation"_s, u"portrait"_s);
    if (orientation != u"portrait" && orientation != u"landscape")
        throw TfrError(u"%1: невідома орієнтація \"%2\""_s.arg(where, orientation));
    p.portrait = orientation == u"portrait";
    const ObjectReader m(r.object(u"margins"_s), where + u" margins"_s, {u"left"_s, u"top"_s, u"right"_s, u"bottom"_s});
    p.marginLeft = m.number(u"left"_s, p.marginLeft);
    p.marginTop = m.number(u"top"_s, p.marginTop);
    p.marginRight = m.number(u"right"_s, p.marginRight);
    p.marginBottom = m.number(u"bottom"_s, p.marginBottom);
    if (p.paperWidth <= 0 || p.paperHeight <= 0)
        throw TfrError(u"%1: неприпустимий розмір паперу"_s.arg(where));
    return p;
}

// A data band's adapter, a variable's name: facts the engine relies on,
// checked once here.
void checkSection(const TfrSection& s, const QString& where)
{
    QSet<TfrBandKind> seen;
    for (const TfrBand& b : s.bands) {
        if (seen.contains(b.kind))
            throw TfrError(u"%1: смуга виду \"%2\" повторюється"_s.arg(where, b.name));
        seen.insert(b.kind);
        const bool isData = b.kind == TfrBandKind::MasterData || b.kind == TfrBandKind::DetailData;
        if (isData && b.dataSource.isEmpty())
            throw TfrError(u"%1: смуга \"%2\" не має джерела даних"_s.arg(where, b.name));
        if (b.height < 0)
            throw TfrError(u"%1: смуга \"%2\" має від'ємну висоту"_s.arg(where, b.name));
    }
    if (seen.contains(TfrBandKind::DetailData) && !seen.contains(TfrBandKind::MasterData))
        throw TfrError(u"%1: смуга деталей без головної смуги даних"_s.arg(where));
}

}  // namespace

bool TfrTemplate::FromJson(const QByteArray& json, TfrTemplate* out, QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    try {
        if (doc.isNull())
            throw TfrError(u"Шаблон звіту не є JSON: %1"_s.arg(parseError.errorString()));
        const ObjectReader r(asObject(doc.object(), u"шаблон"_s), u"шаблон"_s,
                             {u"title"_s, u"printer"_s, u"variables"_s, u"sections"_s});
        TfrTemplate t;
        t.title = r.string(u"title"_s);
        t.printerName = r.string(u"printer"_s);
        t.variables = r.strings(u"variables"_s);
        const QJsonArray sections = r.array(u"sections"_s);
        for (qsizetype i = 0; i < sections.size(); ++i) {
            const QString where = u"розділ %1"_s.arg(i + 1);
            const ObjectReader s(asObject(sections[i], where), where, {u"page"_s, u"bands"_s});
            TfrSection section;
            section.page = readPage(s.object(u"page"_s), where);
            const QJsonArray bands = s.array(u"bands"_s);
            for (const QJsonValue& b : bands)
                section.bands.append(readBand(asObject(b, where), where));
            checkSection(section, where);
            t.sections.append(section);
        }
        *out = std::move(t);
        return true;
    } catch (const TfrError& e) {
        if (error)
            *error = e.Message;
        return false;
    }
}

}  // namespace emlo::print
