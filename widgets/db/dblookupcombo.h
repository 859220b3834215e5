#pragma once

#include <functional>

#include "fielddatalink.h"
#include "lookupbox.h"

namespace emlo {

// A look-up box bound to a field: it takes its key value from the field
// whenever the record is shown or changed, and writes its key value back
// into the field when it commits. A user's choice first puts the record into
// editing (on an empty table it starts a new record). The choice is
// committed like a DbEdit's text: when the focus leaves the box, or when the
// record is posted; OnUpdateData runs first with Handled false and may keep
// the field from being written. Escape gives an uncommitted choice up.
class DbLookupCombo : public LookupBox {
    Q_OBJECT
public:
    explicit DbLookupCombo(QWidget* parent = nullptr);
    ~DbLookupCombo() override;

    TDataSource* DataSource() const { return m_link.DataSource(); }
    void setDataSource(TDataSource* source);
    const QString& DataField() const { return m_link.FieldName(); }
    void setDataField(const QString& name);
    TField* Field() const { return m_link.Field(); }

    bool Modified() const { return m_modified; }
    void Commit();
    void Reset();

    std::function<void(DbLookupCombo& sender, bool& Handled)> OnUpdateData;

protected:
    bool beginChoice() override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void showField();

    FieldDataLink m_link;
    bool m_modified = false;
    bool m_committing = false;
};

}  // namespace emlo
