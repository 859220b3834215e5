#include "submissionvalidator.h"

#include "check/checkrules.h"

namespace emlo::registry {

bool IsValidEdrpou(const QString& text)
{
    const QString code = text.trimmed();
    if (code.size() != 8)
        return false;
    for (QChar ch : code) {
        if (ch < u'0' || ch > u'9')
            return false;
    }
    return true;
}

bool SubmissionValidator::Validate(const SubmissionData& submission, const QString& attrName, const QString& dataName,
                                   RejectionList* errors) const
{
    const qsizetype before = errors->size();
    checkCompleteness(submission, attrName, dataName, errors);
    checkCodes(submission, attrName, dataName, errors);
    return errors->size() == before;
}

void SubmissionValidator::checkCompleteness(const SubmissionData& s, const QString& attrName, const QString& dataName,
                                            RejectionList* errors) const
{
    RemarkList remarks;
    QStringList fields;
    // No attribute record reads as every field empty, as in the program.
    CheckAttrRecord([&s](const QString& field) { return !s.HasAttrRecord || TextIsEmpty(s.AttrText(field)); }, remarks,
                    &fields);
    for (qsizetype i = 0; i < remarks.size(); ++i)
        errors->append(Rejection{attrName, s.HasAttrRecord ? 1 : 0, 0, fields.at(i), remarks.at(i).Description});

    remarks.clear();
    fields.clear();
    for (const EmissionRow& row : s.Rows)
        CheckEmissionRecord(!row.ContId, !row.Poten, !row.Fact, row.Record, remarks, &fields);
    for (qsizetype i = 0; i < remarks.size(); ++i)
        errors->append(Rejection{dataName, remarks.at(i).Data.Target, 0, fields.at(i), remarks.at(i).Description});

    remarks.clear();
    RepeatedPollutantRule repeated;
    for (const EmissionRow& row : s.Rows) {
        if (row.ContId)
            repeated.Check(qint32(*row.ContId), row.Record, remarks);
    }
    for (const Remark& remark : remarks)
        errors->append(Rejection{dataName, remark.Data.Target, 0, QStringLiteral("CONTID"), remark.Description});
}

void SubmissionValidator::checkCodes(const SubmissionData& s, const QString& attrName, const QString& dataName,
                                     RejectionList* errors) const
{
    const QString edrpou = s.AttrText(QStringLiteral("EDRPOU"));
    if (!TextIsEmpty(edrpou) && !IsValidEdrpou(edrpou))
        errors->append(Rejection{attrName, 1, 0, QStringLiteral("EDRPOU"),
                                 QStringLiteral("код ЄДРПОУ «%1» має складатися з 8 цифр").arg(edrpou.trimmed())});

    struct KoatuuField {
        const char* Field;
        const QSet<QString>& Codes;
        const char* Table;
    };
    const KoatuuField koatuuFields[] = {
        {"OBL_ID", m_reference.RegionCodes, "областей"},
        {"REGN_ID", m_reference.SettlementCodes, "населених пунктів і районів"},
        {"CITY_ID", m_reference.SettlementCodes, "населених пунктів і районів"},
    };
    for (const KoatuuField& f : koatuuFields) {
        const QString field = QString::fromLatin1(f.Field);
        if (!s.AttrNumbers.contains(field))
            continue;
        const QString code = s.KoatuuCode(field);
        if (code.isEmpty() || !f.Codes.contains(code))
            errors->append(
                Rejection{attrName, 1, 0, field,
                          QStringLiteral("коду КОАТУУ %1 немає в довіднику %2")
                              .arg(code.isEmpty() ? s.AttrText(field).trimmed() : code, QString::fromUtf8(f.Table))});
    }

    for (const EmissionRow& row : s.Rows) {
        if (row.ContId && !m_reference.PollutantIds.contains(qint32(*row.ContId)))
            errors->append(Rejection{
                dataName, row.Record, 0, QStringLiteral("CONTID"),
                QStringLiteral("забруднюючої речовини з кодом %1 немає в довіднику речовин").arg(qint64(*row.ContId))});
    }
}

}  // namespace emlo::registry
