#pragma once

#include <functional>

#include <QHash>
#include <QList>
#include <QStringList>
#include <QWidget>

#include "store/datasource.h"

class QToolButton;

namespace emlo {

// A bar of buttons that move through and edit a table through its data
// source. Each button is enabled only while its action is possible in the
// table's current state. Delete asks "Delete record?" (OK, Cancel) first;
// Refresh settles a pending change and reads the records again.
class DbNavigator : public QWidget, public TDataLink {
    Q_OBJECT
public:
    enum Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };

    explicit DbNavigator(QWidget* parent = nullptr);
    ~DbNavigator() override;

    void setDataSource(TDataSource* source);
    // The buttons shown, in order, with their hints.
    void setButtons(const QList<Button>& buttons, const QStringList& hints);
    QToolButton* button(Button which) const { return m_buttons.value(which); }

    // Runs a button's action as a click does.
    void BtnClick(Button which);

    // Whether a button's action is possible now.
    bool CanDo(Button which) const;

    // Runs after a button's action has been carried out.
    std::function<void(DbNavigator& sender, Button which)> OnClick;

protected:
    void ActiveChanged() override { updateButtons(); }
    void EditingChanged() override { updateButtons(); }
    void DataSetChanged() override { updateButtons(); }
    void RecordChanged(TField*) override { updateButtons(); }
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateButtons();
    void layoutButtons();

    QList<Button> m_order;
    QHash<int, QToolButton*> m_buttons;
};

// Asks "Delete record?" with OK and Cancel; true for OK.
bool ConfirmDeleteRecord(QWidget* parent);

}  // namespace emlo
