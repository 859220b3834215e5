#pragma once

#include <QFrame>

class QTableView;

namespace emlo {

class LookupListModel;
class TwoLevelHeader;

// The drop-down list of a look-up control: the entries of a reference list
// in columns with (two-level) titles, up to nine rows at a time, columns and
// the list itself resizable by the user. It chooses nothing by itself: it
// reports a click or Enter on a row, and hands typed keys back to its owner.
class LookupPopup : public QFrame {
    Q_OBJECT
public:
    explicit LookupPopup(QWidget* owner);

    void setModel(LookupListModel* model);
    QTableView* View() const { return m_view; }
    TwoLevelHeader* Header() const { return m_header; }

    // Shows the list under the anchor (above it when the screen has no room
    // below): as wide as its columns, never narrower than the anchor.
    void ShowBelow(QWidget* anchor);
    int CurrentRow() const;
    void setCurrentRow(int row);

    static constexpr int kVisibleRows = 9;

signals:
    void rowChosen(int row);
    // A key the list does not handle itself (typed characters, Backspace).
    void keyForwarded(QKeyEvent* event);
    void tabForwarded(int key, Qt::KeyboardModifiers modifiers);
    // Tab or Shift+Tab pressed in the list, after the list has closed.
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int columnWidth(int column) const;

    QTableView* m_view;
    TwoLevelHeader* m_header;
    LookupListModel* m_model = nullptr;
};

}  // namespace emlo
