#pragma once

#include <functional>

#include <QList>
#include <QPair>
#include <QString>

class QWidget;

namespace emlo {

// The save dialog of the check report: its title, filters and file name, and
// one call that shows it. Tests replace the real dialog through a hook, so no
// test ever waits on a modal window.
class SaveDialogSetup {
public:
    using Filter = QPair<QString, QString>;  // description, pattern ("*.txt")
    using ExecuteHook = std::function<bool(SaveDialogSetup& dialog)>;

    QString Title;
    QList<Filter> Filters;
    int FilterIndex = 1;  // the filter chosen at opening, counted from 1
    QString FileName;     // the initial name on entry, the chosen path on return

    // Shows the dialog modally. Returns true when the user confirmed a file:
    // FileName then holds its full path and FilterIndex the filter chosen. A
    // name typed without extension gets the extension of the chosen filter;
    // an existing file is taken without a question.
    bool Execute(QWidget* parent);

    // Installs a hook that answers in place of the real dialog (empty: none).
    static void setExecuteHook(ExecuteHook hook);

private:
    bool runQtDialog(QWidget* parent);
};

}  // namespace emlo
