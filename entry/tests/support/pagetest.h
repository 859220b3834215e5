#pragma once

// Base of the tests of the data-entry pages: the real main window over the
// fixture folders, modal boxes answered through the dialog seam, beeps
// counted and refused characters recorded with their reasons, the end of the
// program recorded instead of carried out.

#include <memory>

#include <QObject>
#include <QString>
#include <QStringList>

#include "entry/tests/support/entryfixture.h"
#include "shell/ui/main.h"
#include "widgets/testing/scripteddialogs.h"

class QWidget;

namespace entrytest {

class PageTest : public QObject {
    Q_OBJECT
public:
    PageTest();
    ~PageTest() override;

private slots:
    void initTestCase();
    void init();
    void cleanup();

protected:
    // Shows the main window on the folders and waits until it is active.
    void start();
    // Clicks an item of the navigation bar.
    void showPage(const char* item);
    // A field of the attribute record, as stored in the file.
    QString stored(const char* field) const;
    // A field of the attribute record, as the table holds it now.
    QString attr(const char* field) const;
    template <typename T> T* control(const char* name) const
    {
        T* found = m_window->findChild<T*>(QLatin1String(name));
        if (!found)
            qWarning("no control %s", name);
        return found;
    }
    // Moves the focus from the box to the next control of its page that takes it.
    void leave(QWidget* box);

    std::unique_ptr<Folders> m_folders;
    std::unique_ptr<emlo::testing::ScriptedDialogs> m_dialogs;
    std::unique_ptr<emlo::TfrmMain> m_window;
    int m_beeps = 0;
    // The reason given for each character a box refused, in order.
    QStringList m_refusals;

private:
    QString m_savedCurrent;
};

}  // namespace entrytest
