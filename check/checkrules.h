#pragma once

#include <functional>

#include <QSet>
#include <QString>
#include <QStringList>

#include "errordata.h"

namespace emlo {

// The remark rules of the data check over plain values, whatever holds them:
// the table-backed check reads the work tables, the registry reads the XML
// files an enterprise sent. Both get the same rules, texts and order.

// True when the text holds no character above code 32. A null value is
// empty too; a number that is zero is not.
bool TextIsEmpty(const QString& text);

// A remark row: the description, the section's text and the target.
Remark MakeRemark(const QString& description, quint8 section, qint32 target);

// The single row of a check without remarks: "Все гаразд", section 100.
Remark AllClearRemark();

// Rules 1 to 24. isEmpty answers for an attribute field named in capitals
// ("ENNAME"); one remark is appended for each empty field, in rule order.
// fields, when given, receives the name of the field behind each remark.
void CheckAttrRecord(const std::function<bool(const QString& field)>& isEmpty, RemarkList& rows,
                     QStringList* fields = nullptr);

// Rules 25 to 27 for one emission record (CONTID, POTEN, FACT), with the
// record's target (its record number in the table). fields as above.
void CheckEmissionRecord(bool contIdEmpty, bool potenEmpty, bool factEmpty, qint32 target, RemarkList& rows,
                         QStringList* fields = nullptr);

// Rule 28 over the emission records in their order: a pollutant id met
// before gives "Забруднююча речовина вже вказана". Records without an id are
// not passed in.
class RepeatedPollutantRule {
public:
    // Appends the remark when the id is a repeat; returns true then.
    bool Check(qint32 contId, qint32 target, RemarkList& rows);

private:
    // The previous id alone finds repeats only in CONTID order; the set finds
    // them in any order, and in CONTID order both agree.
    QSet<qint32> m_seen;
    qint32 m_previous = 0;
};

}  // namespace emlo
