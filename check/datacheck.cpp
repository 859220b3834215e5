#include "datacheck.h"

#include <QSet>

#include "store/ApolloTable.h"
#include "store/Errors.h"
#include "store/Fields.h"

namespace emlo {

namespace {

struct TAttrRule {
    const char* Field;
    const char* Description;
    quint8 Section;
    qint32 Target;
};

// The attribute record's required fields, in the order they are reported.
const TAttrRule kAttrRules[] = {
    {"ENNAME", "Не вказана назва підприємства", SectionAttr, ccEnName},
    {"EDRPOU", "Не вказаний код ЄДРПОУ підприємства", SectionAttr, ccEDRPOU},
    {"ENADDR", "Не вказана адреса підприємства", SectionAttr, ccEnAddr},
    {"ENPHONE", "Не вказаний телефон підприємства", SectionAttr, ccEnPhone},
    {"ENCH_POS", "Не вказан керівник підприємства", SectionAttr, ccEnChPos},
    {"ENCH_NAME", "Не вказане ім''я керівника підприємства", SectionAttr, ccEnChName},
    {"OBL_DESCR", "Не вказана назва області", SectionCodes, ccCityDescr},
    {"OBL_ID", "Не вказан код області", SectionCodes, ccCityDescr},
    {"REGN_DESCR", "Не вказана назва району", SectionCodes, ccCityDescr},
    {"REGN_ID", "Не вказан код району", SectionCodes, ccCityDescr},
    {"CITY_DESCR", "Не вказана назва населеного пункту", SectionCodes, ccCityDescr},
    {"CITY_ID", "Не вказан код населеного пункту", SectionCodes, ccCityID},
    {"SPODU_D", "Не вказана відомча підпорядкованість", SectionCodes, ccSpoduID},
    {"SPODU_ID", "Не вказан код відомчої підпорядкованісті", SectionCodes, ccSpoduID},
    {"KVED_DESCR", "Не вказана назва виду економічної діяльності", SectionCodes, ccKvedID},
    {"KVED_ID", "Не вказан код виду економічної діяльності", SectionCodes, ccKvedID},
    {"KFV_DESCR", "Не вказана форма власності", SectionCodes, ccKfvID},
    {"KFV_ID", "Не вказан код форми власності", SectionCodes, ccKfvID},
    {"X1", "Не вказані градуси широти підприємства", SectionAttr, ccX1},
    {"X2", "Не вказані мінути широти підприємства", SectionAttr, ccX2},
    {"X3", "Не вказані секунди широти підприємства", SectionAttr, ccX3},
    {"Y1", "Не вказані градуси довготи підприємства", SectionAttr, ccY1},
    {"Y2", "Не вказані мінути довготи підприємства", SectionAttr, ccY2},
    {"Y3", "Не вказані секунди довготи підприємства", SectionAttr, ccY3},
};

const char kNoPollutant[] = "Не вказана забруднююча речовина";
const char kNoPotential[] = "Не вказан потенційний обсяг викидів";
const char kNoActual[] = "Не вказан фактичній обсяг викидів";
const char kRepeated[] = "Забруднююча речовина вже вказана";
const char kAllClear[] = "Все гаразд";

TRemark makeRemark(const QString& description, quint8 section, qint32 target)
{
    TErrorData data;
    data.Section = section;
    data.Target = target;
    return TRemark{description, SectionText(section), data};
}

// An amount without a value counts as 0 in the sums.
double amountOf(const TField* field)
{
    return field->IsNull() ? 0.0 : field->AsFloat();
}

}  // namespace

bool FieldIsEmpty(const TField* field)
{
    if (field == nullptr || field->IsNull())
        return true;
    const QString text = field->AsString();
    for (QChar ch : text) {
        if (ch.unicode() > 32)
            return false;
    }
    return true;
}

const QList<TGroupTotal>& GroupTotals()
{
    static const QList<TGroupTotal> groups = {
        {"CONTID > 0 .and. CONTID < 12", nullptr, 132, "CONTID = 132"},
        {"CONTID > 11 .and. CONTID < 18", nullptr, 133, "CONTID = 133"},
        {"CONTID = 21 .or. CONTID = 22 .or. CONTID = 134", "CONTID = 19 .or. CONTID = 20", 18,
         "CONTID = 18"},
        {"CONTID = 30 .or. CONTID = 31", nullptr, 135, "CONTID = 135"},
        {"(CONTID > 34 .and. CONTID < 40) .or. (CONTID = 136)", nullptr, 34, "CONTID = 34"},
        {"(CONTID > 40 .and. CONTID < 64) .or. (CONTID > 64 .and. CONTID < 78) .or. "
         "(CONTID > 78 .and. CONTID < 94) .or. (CONTID = 137)",
         nullptr, 40, "CONTID = 40"},
        {"(CONTID > 95 .and. CONTID < 116) .or. (CONTID = 138)", nullptr, 95, "CONTID = 95"},
    };
    return groups;
}

bool IsGroupTotalId(qint32 contId)
{
    for (const TGroupTotal& group : GroupTotals()) {
        if (group.TotalId == contId)
            return true;
    }
    return false;
}

TDataCheck::TDataCheck(TApolloTable& tblAttr, TApolloTable& tblData)
    : m_tblAttr(tblAttr), m_tblData(tblData)
{
}

TRemarkList TDataCheck::CollectRemarks()
{
    TRemarkList rows;
    checkAttributes(rows);

    // Settle a pending emission edit before remembering the place: a new
    // record has no number until it is posted, and it is the record the
    // user was on.
    m_tblData.CheckBrowseMode();
    const TBookmark saved = m_tblData.Bookmark();
    checkEmissionFields(rows);
    checkRepeatedPollutants(rows);
    if (saved != 0)
        m_tblData.setBookmark(saved);

    if (rows.isEmpty())
        rows.append(makeRemark(QString::fromUtf8(kAllClear), SectionAllClear, 0));
    return rows;
}

bool TDataCheck::IsAllClear(const TRemarkList& rows)
{
    return rows.size() == 1 && rows.constFirst().Data.Section == SectionAllClear;
}

bool TDataCheck::CheckData(TRemarkList* rows)
{
    TRemarkList found = CollectRemarks();
    const bool clean = IsAllClear(found);
    if (rows != nullptr)
        *rows = found;
    // Group totals are kept only after a clean check.
    if (clean)
        CalcGroupTotals();
    return clean;
}

void TDataCheck::checkAttributes(TRemarkList& rows)
{
    for (const TAttrRule& rule : kAttrRules) {
        if (FieldIsEmpty(m_tblAttr.FieldByName(QString::fromLatin1(rule.Field))))
            rows.append(makeRemark(QString::fromUtf8(rule.Description), rule.Section, rule.Target));
    }
}

void TDataCheck::checkEmissionFields(TRemarkList& rows)
{
    const TField* contId = m_tblData.FieldByName(QStringLiteral("CONTID"));
    const TField* poten = m_tblData.FieldByName(QStringLiteral("POTEN"));
    const TField* fact = m_tblData.FieldByName(QStringLiteral("FACT"));
    m_tblData.First();
    while (!m_tblData.Eof()) {
        const qint32 recNo = m_tblData.RecNo();
        if (FieldIsEmpty(contId))
            rows.append(makeRemark(QString::fromUtf8(kNoPollutant), SectionData, recNo));
        if (FieldIsEmpty(poten))
            rows.append(makeRemark(QString::fromUtf8(kNoPotential), SectionData, recNo));
        if (FieldIsEmpty(fact))
            rows.append(makeRemark(QString::fromUtf8(kNoActual), SectionData, recNo));
        m_tblData.Next();
    }
}

void TDataCheck::checkRepeatedPollutants(TRemarkList& rows)
{
    // Comparing with the previous id alone finds repeats only while the
    // table is in CONTID order; a missing or stale index would hide them. The
    // set of ids seen finds them in any order, and in CONTID order both tests
    // agree (the previous id starting at 0 included).
    const TField* contId = m_tblData.FieldByName(QStringLiteral("CONTID"));
    QSet<qint32> seen;
    qint32 previous = 0;
    m_tblData.First();
    while (!m_tblData.Eof()) {
        if (!contId->IsNull()) {
            const qint32 id = contId->AsInteger();
            if (id == previous || seen.contains(id))
                rows.append(makeRemark(QString::fromUtf8(kRepeated), SectionData, m_tblData.RecNo()));
            seen.insert(id);
            previous = id;
        }
        m_tblData.Next();
    }
}

void TDataCheck::CalcGroupTotals()
{
    TField* contId = m_tblData.FieldByName(QStringLiteral("CONTID"));
    TField* poten = m_tblData.FieldByName(QStringLiteral("POTEN"));
    TField* fact = m_tblData.FieldByName(QStringLiteral("FACT"));
    const TBookmark saved = m_tblData.Bookmark();

    const auto restore = [this, saved] {
        m_tblData.Query(QString());
        if (saved != 0)
            m_tblData.setBookmark(saved);
    };

    try {
        for (const TGroupTotal& group : GroupTotals()) {
            double potenSum = 0.0;
            double factSum = 0.0;

            m_tblData.Query(QString::fromLatin1(group.Added));
            m_tblData.First();
            while (!m_tblData.Eof()) {
                potenSum = potenSum + amountOf(poten);
                factSum = factSum + amountOf(fact);
                m_tblData.Next();
            }
            if (group.Subtracted != nullptr) {
                m_tblData.Query(QString::fromLatin1(group.Subtracted));
                m_tblData.First();
                while (!m_tblData.Eof()) {
                    potenSum = potenSum - amountOf(poten);
                    factSum = factSum - amountOf(fact);
                    m_tblData.Next();
                }
            }

            m_tblData.Query(QString::fromLatin1(group.TotalQuery));
            // Exactly zero, no tolerance: a total of 1e-9 is still kept.
            const bool bothZero = potenSum == 0.0 && factSum == 0.0;
            if (m_tblData.Bof() && m_tblData.Eof()) {
                if (!bothZero) {
                    m_tblData.Insert();
                    contId->setAsInteger(group.TotalId);
                    poten->setAsFloat(potenSum);
                    fact->setAsFloat(factSum);
                    m_tblData.Post();
                }
            } else if (bothZero) {
                m_tblData.Delete();
            } else {
                m_tblData.Edit();
                poten->setAsFloat(potenSum);
                fact->setAsFloat(factSum);
                m_tblData.Post();
            }
        }
    } catch (...) {
        // A total that could not be stored is given up rather than left
        // pending, so that the return to the remembered record does not try
        // to post it again.
        try {
            if (m_tblData.State() == dsEdit || m_tblData.State() == dsInsert)
                m_tblData.Cancel();
            restore();
        } catch (...) {
        }
        throw;
    }
    restore();
}

}  // namespace emlo
