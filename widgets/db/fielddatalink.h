#pragma once

#include <functional>

#include <QString>

#include "store/datasource.h"

namespace emlo {

// The data link of a control bound to one field of its source's table. The
// field is found by name whenever it is asked for, because a table that is
// reopened gets new field objects. The control hears the link's events
// through the callbacks.
class FieldDataLink : public TDataLink {
public:
    FieldDataLink() = default;

    const QString& FieldName() const { return m_fieldName; }
    void setFieldName(const QString& name) { m_fieldName = name; }
    // The bound field, or nullptr (no source, table closed, no such field).
    TField* Field() const;
    // Whether the bound field may be written: the table can be modified and
    // the field is not read-only.
    bool CanModify() const;

    // The bound field's value, or the whole record, must be shown again.
    std::function<void()> onDataChange;
    // The table entered or left editing.
    std::function<void()> onEditingChange;
    // Commit the control's pending change now (may throw).
    std::function<void()> onUpdateData;

protected:
    void ActiveChanged() override;
    void RecordChanged(TField* field) override;
    void DataSetChanged() override;
    void EditingChanged() override;
    void UpdateData() override;

private:
    QString m_fieldName;
};

}  // namespace emlo
