#pragma once

#include <functional>

#include <QLineEdit>

#include "fielddatalink.h"

namespace emlo {
class TDataSource;
class TField;

// An edit box bound to one field of a table through a data source.
//
// It shows the field's stored value. The user's first change puts the record
// into editing (on an empty table it starts a new record). The changed text
// stays in the box until it is committed: when the focus leaves the box, or
// when the record is posted (the table collects every bound control's
// pending change first). Committing runs OnUpdateData with Handled false;
// unless the handler sets Handled, the text is written into the field (an
// empty text clears it). Escape gives the change up. A character that
// Windows-1251 cannot hold is refused with the beep, typed or pasted.
class DbEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DbEdit(QWidget* parent = nullptr);
    ~DbEdit() override;

    TDataSource* DataSource() const { return m_link.DataSource(); }
    void setDataSource(TDataSource* source);
    const QString& DataField() const { return m_link.FieldName(); }
    void setDataField(const QString& name);
    TField* Field() const { return m_link.Field(); }

    // An edit mask such as "99;0;_" (see QtInputMask); empty: none.
    void setEditMask(const QString& editMask);
    // A read-only box takes the focus but no change, and has the tooltip background.
    void setReadOnlyBox(bool readOnly);

    // Whether the box holds a change not yet committed.
    bool Modified() const { return m_modified; }
    // Commits a pending change now. Errors of the field pass to the caller.
    void Commit();
    // Gives a pending change up and shows the stored value.
    void Reset();

    // Each typed character, before the box uses it; setting it to QChar(0) discards it.
    std::function<void(DbEdit& sender, QChar& key)> OnKeyPress;
    // Runs at commit before anything is written; Handled true writes nothing.
    std::function<void(DbEdit& sender, bool& Handled)> OnUpdateData;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void showField();
    void placeMaskCursor();
    void userEdited();
    bool startEditing();
    QString textForField() const;

    FieldDataLink m_link;
    bool m_modified = false;
    bool m_loading = false;
    bool m_committing = false;
    bool m_keepText = false;
};

}  // namespace emlo
