#pragma once

#include <QHash>
#include <QSet>
#include <QString>

#include "submission.h"

namespace emlo::registry {

// The codes a submission may use, as the registry's reference tables hold them.
struct ReferenceSets {
    QSet<QString> RegionCodes;      // OBL CODE, ten digits
    QSet<QString> SettlementCodes;  // CY CODE: settlements and districts
    QSet<qint32> PollutantIds;      // CONT CONTID
};

// Decides whether a submission that was read cleanly may be stored: the data
// check's completeness and repetition rules (the same code the program runs
// before an export), then the codes: EDRPOU of 8 digits, KOATUU codes found
// in the region and settlement tables, pollutant ids found in CONT.
class SubmissionValidator {
public:
    explicit SubmissionValidator(const ReferenceSets& reference) : m_reference(reference) { }

    // Appends every reason found, in the check's order and then the codes';
    // returns true when there is none. The names are the files' names on disk.
    bool Validate(const SubmissionData& submission, const QString& attrName, const QString& dataName,
                  RejectionList* errors) const;

private:
    void checkCompleteness(const SubmissionData& s, const QString& attrName, const QString& dataName,
                           RejectionList* errors) const;
    void checkCodes(const SubmissionData& s, const QString& attrName, const QString& dataName,
                    RejectionList* errors) const;

    const ReferenceSets& m_reference;
};

// True for a trimmed EDRPOU of exactly eight digits.
bool IsValidEdrpou(const QString& text);

}  // namespace emlo::registry
