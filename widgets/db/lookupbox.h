#pragma once

#include <functional>
#include <memory>

#include <QLineEdit>
#include <QStringList>
#include <QVariant>

namespace emlo {
class TDataSource;

class LookupList;
class LookupListModel;
class LookupPopup;

// A box that holds a key value chosen from a reference list: it shows the
// chosen entry's text, offers the list in a drop-down, and lets the user
// choose by typing. Each typed character searches the list, without regard
// to letter case, for the first entry whose shown text begins with the text
// typed so far; a match becomes the choice and the box's text is completed to
// the entry's text, the completed part selected. Text that matches no entry
// leaves the choice as it was.
//
// Whenever the key value changes (the user's choice, or setKeyValue) the list
// is put on the first entry with that key, then OnKeyValueChanged runs.
//
// A key the list does not hold (a code stored before the list changed) is
// shown as stored when the box shows the key column, and as nothing when it
// shows another column; it stays the key until the user chooses, so merely
// showing, entering or leaving the box never changes the stored value.
class LookupBox : public QLineEdit {
    Q_OBJECT
public:
    explicit LookupBox(QWidget* parent = nullptr);
    ~LookupBox() override;

    // The reference list and its fields: the key (what the box holds), the
    // columns of the drop-down list and the one shown in the box.
    void setListSource(TDataSource* source);
    void setKeyField(const QString& name) { m_keyField = name; }
    const QString& KeyField() const { return m_keyField; }
    void setListFields(const QStringList& names);
    const QStringList& ListFields() const { return m_listFields; }
    void setDisplayField(const QString& name) { m_displayField = name; }
    const QString& DisplayField() const { return m_displayField; }
    // Whether the drop-down list opens at the first typed character.
    void setDropDownOnType(bool on) { m_dropDownOnType = on; }

    QVariant KeyValue() const { return m_keyValue; }
    // Takes a key value as the data holds it (no choice of the user's).
    void setKeyValue(const QVariant& key);
    // The row of the list entry the box shows; -1 when none.
    int KeyRow() const;

    // The user's ways of choosing, also for the owner's key handling.
    bool ChooseRow(int row);
    // Chooses the entry after the chosen one (the first when none).
    bool ChooseNext();
    bool ChoosePrior();
    void TypeChar(QChar ch);

    void DropDown();
    void CloseUp();
    bool ListVisible() const;
    LookupPopup* Popup() const { return m_popup; }
    LookupList* List() const { return m_list.get(); }
    const QString& SearchText() const { return m_search; }

    std::function<void(LookupBox& sender)> OnKeyValueChanged;

signals:
    // The user has chosen an entry (by typing, from the list, or by arrows).
    void choiceMade();

protected:
    // Asked before a user's choice is taken; false refuses the choice.
    virtual bool beginChoice() { return true; }
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

    // Shows the text of the entry with the box's key, without a search.
    void showKeyText();
    void clearSearch() { m_search.clear(); }
    // Puts the list on the entry of the key (before a handler reads it).
    void positionList();
    // Runs an action of the user's, showing what it throws.
    static void guarded(const std::function<void()>& action);

private:
    bool applyKey(const QVariant& key, bool userChoice);
    QVariant rowKey(int row) const;
    void ensurePopup();
    void backspace();
    void handleKey(QKeyEvent* event);

    std::shared_ptr<LookupList> m_list;
    LookupListModel* m_model = nullptr;
    LookupPopup* m_popup = nullptr;
    QString m_keyField;
    QString m_displayField;
    QStringList m_listFields;
    bool m_dropDownOnType = false;
    QVariant m_keyValue;
    QString m_search;
};

// Equality of key values as the look-up controls compare them: null and a
// blank text both mean no key; numbers by value; texts without trailing blanks.
bool KeysEqual(const QVariant& a, const QVariant& b);

}  // namespace emlo
