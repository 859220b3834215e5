#include "checkrules.h"

namespace emlo {

namespace {

struct AttrRule {
    const char* Field;
    const char* Description;
    quint8 Section;
    qint32 Target;
};

// The attribute record's required fields, in the order they are reported.
const AttrRule kAttrRules[] = {
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

void addRemark(RemarkList& rows, QStringList* fields, const char* description, quint8 section, qint32 target,
               const char* field)
{
    rows.append(MakeRemark(QString::fromUtf8(description), section, target));
    if (fields != nullptr)
        fields->append(QString::fromLatin1(field));
}

}  // namespace

bool TextIsEmpty(const QString& text)
{
    for (QChar ch : text) {
        if (ch.unicode() > 32)
            return false;
    }
    return true;
}

Remark MakeRemark(const QString& description, quint8 section, qint32 target)
{
    TErrorData data;
    data.Section = section;
    data.Target = target;
    return Remark{description, SectionText(section), data};
}

Remark AllClearRemark()
{
    return MakeRemark(QString::fromUtf8(kAllClear), SectionAllClear, 0);
}

void CheckAttrRecord(const std::function<bool(const QString& field)>& isEmpty, RemarkList& rows, QStringList* fields)
{
    for (const AttrRule& rule : kAttrRules) {
        if (isEmpty(QString::fromLatin1(rule.Field)))
            addRemark(rows, fields, rule.Description, rule.Section, rule.Target, rule.Field);
    }
}

void CheckEmissionRecord(bool contIdEmpty, bool potenEmpty, bool factEmpty, qint32 target, RemarkList& rows,
                         QStringList* fields)
{
    if (contIdEmpty)
        addRemark(rows, fields, kNoPollutant, SectionData, target, "CONTID");
    if (potenEmpty)
        addRemark(rows, fields, kNoPotential, SectionData, target, "POTEN");
    if (factEmpty)
        addRemark(rows, fields, kNoActual, SectionData, target, "FACT");
}

bool RepeatedPollutantRule::Check(qint32 contId, qint32 target, RemarkList& rows)
{
    const bool repeated = contId == m_previous || m_seen.contains(contId);
    if (repeated)
        rows.append(MakeRemark(QString::fromUtf8(kRepeated), SectionData, target));
    m_seen.insert(contId);
    m_previous = contId;
    return repeated;
}

}  // namespace emlo
