#pragma once

#include <QIcon>
#include <QList>
#include <QWidget>

class QToolButton;
class QPushButton;
class QVBoxLayout;

namespace emlo {

// The navigation bar: groups of large-icon items under a header button, one
// group open at a time. Groups are numbered from 1. Clicking an item reports
// its text; what that means is up to the window.
class OutlookBar : public QWidget {
    Q_OBJECT
public:
    explicit OutlookBar(QWidget* parent = nullptr);

    // Adds a group and returns its number.
    int addGroup(const QString& caption);
    void addItem(int group, const QString& text, const QIcon& icon);

    int activeGroup() const { return m_active; }
    void setActiveGroup(int group);
    int groupCount() const { return int(m_groups.size()); }

    // The button of an item of the active group, or nullptr.
    QToolButton* itemButton(const QString& text) const;

signals:
    void itemClicked(const QString& text);

private:
    struct Group {
        QPushButton* header;
        QWidget* items;
        QVBoxLayout* itemLayout;
    };

    QVBoxLayout* m_layout;
    QList<Group> m_groups;
    int m_active = 0;
};

}  // namespace emlo
