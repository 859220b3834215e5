#pragma once

#include "frdataadapter.h"

namespace emlo {
class TApolloTable;
}  // namespace emlo

namespace emlo::print {

/// The data adapter over an open table: walks it with First/Next/Eof in its
/// current order and reads the table's fields (defined ones, look-up fields
/// included) by name. Does not open or close the table; the walk leaves it on
/// its last record. The data set name is the table component's name
/// ("tblAttr"). Errors of the table layer pass through.
class TfrDBDataSet : public TfrDataAdapter {
public:
    /// The table must outlive the adapter.
    explicit TfrDBDataSet(TApolloTable* table);

    QString DataSetName() const override;
    void First() override;
    void Next() override;
    bool Eof() const override;
    bool HasField(const QString& name) const override;
    bool IsCharField(const QString& name) const override;
    bool IsNull(const QString& name) const override;
    QVariant Value(const QString& name) const override;

private:
    TApolloTable* m_table;
};

}  // namespace emlo::print
