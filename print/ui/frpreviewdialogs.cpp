#include "frpreviewdialogs.h"

#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>

namespace emlo::print {

using namespace Qt::StringLiterals;

namespace {

// The real dialogs, given the program's own texts where Qt lets us.
class RealDialogs final : public TfrPreviewDialogs {
public:
    QString AskPdfFileName(QWidget* parent, const QString& suggested) override
    {
        QFileDialog dialog(parent, u"Зберегти звіт як PDF"_s);
        // Qt's own dialog, so that its labels can carry our texts.
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(u"Документи PDF (*.pdf)"_s);
        dialog.setDefaultSuffix(u"pdf"_s);
        dialog.setLabelText(QFileDialog::LookIn, u"Папка:"_s);
        dialog.setLabelText(QFileDialog::FileName, u"Ім'я файлу:"_s);
        dialog.setLabelText(QFileDialog::FileType, u"Тип файлу:"_s);
        dialog.setLabelText(QFileDialog::Accept, u"Зберегти"_s);
        dialog.setLabelText(QFileDialog::Reject, u"Вiдмова"_s);
        dialog.selectFile(suggested);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    }

    bool SetUpPrinter(QPrinter& printer, int pageCount, QWidget* parent) override
    {
        QPrintDialog dialog(&printer, parent);
        dialog.setWindowTitle(u"Друк"_s);
        dialog.setMinMax(1, pageCount);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
        dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
        return dialog.exec() == QDialog::Accepted;
    }
};

TfrPreviewDialogs* g_responder = nullptr;

}  // namespace

TfrPreviewDialogs& FrPreviewDialogs::current()
{
    static RealDialogs real;
    return g_responder ? *g_responder : real;
}

void FrPreviewDialogs::setResponder(TfrPreviewDialogs* dialogs)
{
    g_responder = dialogs;
}

}  // namespace emlo::print
