#pragma once

#include "errordata.h"

namespace emlo {
class TApolloTable;
class TDataModule;
class TField;

struct GroupTotalRow;

// True when the field has no value, or when its text with every leading and
// trailing character of code 32 and below removed is empty. A numeric field
// that holds zero is not empty. A missing field (nullptr) counts as empty.
bool FieldIsEmpty(const TField* field);

// The data check over the two work tables: which required data is missing and
// which pollutant is entered twice. It produces the report rows as values and
// keeps the group-total emission records; showing the rows is left to the
// caller (the check report window, the command-line tool).
class DataCheck {
public:
    // The tables stay owned by the caller and must outlive the check. tblAttr
    // stands on the attribute record (an empty table reads as all fields
    // empty); tblData is the emission table, normally in its CONTID order.
    DataCheck(TApolloTable& tblAttr, TApolloTable& tblData);

    // Runs the remark rules and returns the report rows in the order found:
    // one row per remark, or the single all-clear row "Все гаразд" (section
    // 100, target 0) when there is none. A pending emission edit is settled
    // by the move to the first record; the current emission record is
    // restored when both emission passes complete. Errors of the table layer
    // pass through as exceptions.
    RemarkList CollectRemarks();
    // The same, appending each row to `rows` as it is found: when an error of
    // the table layer ends the check, `rows` holds what was found before it.
    void CollectRemarks(RemarkList& rows);

    // Brings the seven group-total emission records up to date: inserts,
    // edits or deletes them from the sums of their groups; a total that is
    // already right is not written. The whole pass holds the emission
    // table's file lock, so that two checks at once never both add a total;
    // when the lock is not granted within LockWait() it raises an
    // EApolloError saying so and changes nothing. Whatever happens, the
    // query is removed, the lock released and the current emission record
    // restored (when it was deleted as a total that fell to zero, the record
    // that followed it becomes current). Errors of the table layer pass through.
    void CalcGroupTotals();

    // How long CalcGroupTotals waits for the file lock, in milliseconds.
    int LockWait() const { return m_lockWaitMs; }
    void setLockWait(int milliseconds) { m_lockWaitMs = milliseconds; }

    // CollectRemarks, then CalcGroupTotals when no remark was found. Returns
    // true for a check without remarks; `rows` (when given) receives the
    // rows, also those found before an error of the table layer ended it.
    bool CheckData(RemarkList* rows = nullptr);

    // True when the rows are the single all-clear row.
    static bool IsAllClear(const RemarkList& rows);

private:
    void checkAttributes(RemarkList& rows);
    void checkEmissionFields(RemarkList& rows);
    void checkRepeatedPollutants(RemarkList& rows);
    void lockEmissionTable();
    void storeTotal(const GroupTotalRow& group, double potenSum, double factSum);

    TApolloTable& m_tblAttr;
    TApolloTable& m_tblData;
    int m_lockWaitMs = 10000;
};

// The one check in front of output, run by the window (check, print and
// export commands) and by emlo-cli alike: posts a pending attribute edit,
// then DataCheck::CheckData on the module's work tables. True when output
// may go on. `rows` receives the report rows, and when an error of the
// table layer passes through, the rows found before it.
bool CheckBeforeOutput(TDataModule& dataModule, RemarkList& rows);

// One group of pollutants whose amounts a group-total record keeps summed.
struct GroupTotalRow {
    const char* Added;       // query of the records added
    const char* Subtracted;  // query of the records subtracted, or nullptr
    qint32 TotalId;          // CONTID of the total record
    const char* TotalQuery;  // query that finds the total record
};

// The seven groups, in the order they are calculated.
const QList<GroupTotalRow>& GroupTotals();

// True for the CONTID of a group-total record (18, 34, 40, 95, 132, 133, 135).
bool IsGroupTotalId(qint32 contId);

}  // namespace emlo
