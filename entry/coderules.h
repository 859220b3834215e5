#pragma once

#include <QString>

namespace emlo {
class TApolloTable;

// Rules of the statistical codes page that need no window. They write into
// the attribute record (tblAttr) from the reference lists as the look-up
// boxes leave them, and do nothing unless the attribute record is being
// edited or inserted.

// The district code of a settlement: the code trimmed of blanks, without its
// last five characters, followed by "00000". Five characters or fewer give "00000".
QString DistrictCode(const QString& settlementCode);

// The query that restricts the settlement list to a region: CODE = "12" for a
// region code beginning with 12 (non-exact comparison keeps every code that
// begins with the two characters). The prefix is always written as a proper
// string literal: in double quotes, in single quotes when it holds a double
// quote; a prefix that no literal can hold (both quote characters, or a
// control character) gives a query that keeps no settlement.
QString RegionQuery(const QString& regionCode);

// Copies DESCR of the list's current entry into the attribute field
// targetField (the names of subordination, activity and ownership).
void CopyListName(TApolloTable& attr, const TApolloTable& list, const QString& targetField);

// Takes the settlement list's current entry as the enterprise's settlement:
// CITY_ID and CITY_DESCR from its CODE and DESCR, REGN_ID from the district
// code, REGN_DESCR from the list entry of that district code. The list is
// left on the entry it stood on. A district that has no entry in the list
// leaves REGN_DESCR empty; an empty list (a region without settlements)
// clears all four fields.
void CommitSettlement(TApolloTable& attr, TApolloTable& cy);

// Takes the region list's current entry as the enterprise's region (OBL_ID,
// OBL_DESCR), restricts the settlement list to it and takes its first
// settlement as by CommitSettlement.
void CommitRegion(TApolloTable& attr, TApolloTable& obl, TApolloTable& cy);

}  // namespace emlo
