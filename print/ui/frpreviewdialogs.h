#pragma once

#include <QString>

class QPrinter;
class QWidget;

namespace emlo::print {

/// The two standard dialogs the preview opens: the file dialog of "save as
/// PDF" and the print dialog. Tests install their own answers so that no
/// test waits on a real window; the program runs with the real dialogs.
class TfrPreviewDialogs {
public:
    virtual ~TfrPreviewDialogs() = default;
    /// The file to write the PDF to; empty when the user cancels.
    virtual QString AskPdfFileName(QWidget* parent, const QString& suggested) = 0;
    /// Lets the user choose the printer, pages and copies; false on cancel.
    virtual bool SetUpPrinter(QPrinter& printer, int pageCount, QWidget* parent) = 0;
};

namespace FrPreviewDialogs {

/// The dialogs in use: the installed ones, else the real windows.
TfrPreviewDialogs& current();
/// Installs answers; nullptr brings the real windows back. The caller keeps
/// ownership and uninstalls before destroying them.
void setResponder(TfrPreviewDialogs* dialogs);

}  // namespace FrPreviewDialogs

}  // namespace emlo::print
