#pragma once

#include <QVariantMap>

#include <memory>

#include "print/frdataadapter.h"

// In-memory work tables shaped like ATTR.DBF and DATA.DBF with the emission
// table's look-up fields (CODE, DESCR, LIMIT), for the form's tests.
namespace formfixture {

using emlo::print::TfrMemoryDataSet;

// An attribute table with the fields of ATTR.DBF and no record.
std::unique_ptr<TfrMemoryDataSet> emptyAttr();
// An attribute table with one record of a realistic enterprise; the values
// in `changes` (field name → value, a null QVariant for a blank field)
// replace the enterprise's.
std::unique_ptr<TfrMemoryDataSet> attr(const QVariantMap& changes = {});
// An emission table with no record.
std::unique_ptr<TfrMemoryDataSet> emptyData();
// An emission table of `count` records taken in turn from real pollutants.
std::unique_ptr<TfrMemoryDataSet> data(int count);
// Appends one emission record.
void addEmission(TfrMemoryDataSet& data, const QString& code, const QString& descr, const QVariant& poten,
                 const QVariant& fact, const QVariant& limit);

}  // namespace formfixture
