#include "savedialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

namespace emlo {

namespace {

TSaveDialog::ExecuteHook& executeHook()
{
    static TSaveDialog::ExecuteHook hook;
    return hook;
}

QString suffixOf(const QString& pattern)
{
    // "*.txt" -> "txt"
    const qsizetype dot = pattern.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : pattern.mid(dot + 1);
}

}  // namespace

void TSaveDialog::setExecuteHook(ExecuteHook hook)
{
    executeHook() = std::move(hook);
}

bool TSaveDialog::Execute(QWidget* parent)
{
    if (executeHook())
        return executeHook()(*this);
    return runQtDialog(parent);
}

bool TSaveDialog::runQtDialog(QWidget* parent)
{
    // Qt's own dialog, not the desktop's, so that every text is ours.
    QFileDialog dialog(parent, Title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Папка:"));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Ім'я файлу:"));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Тип файлу:"));
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Зберегти"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Вiдмова"));

    QStringList nameFilters;
    for (const Filter& filter : Filters)
        nameFilters << QStringLiteral("%1 (%2)").arg(filter.first, filter.second);
    dialog.setNameFilters(nameFilters);
    const int first = qBound(1, FilterIndex, int(qMax<qsizetype>(1, Filters.size())));
    if (!nameFilters.isEmpty()) {
        dialog.selectNameFilter(nameFilters.at(first - 1));
        dialog.setDefaultSuffix(suffixOf(Filters.at(first - 1).second));
    }
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, nameFilters, this](const QString& chosen) {
                         const qsizetype i = nameFilters.indexOf(chosen);
                         if (i >= 0)
                             dialog.setDefaultSuffix(suffixOf(Filters.at(i).second));
                     });
    if (!FileName.isEmpty())
        dialog.selectFile(FileName);

    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    FileName = dialog.selectedFiles().constFirst();
    FilterIndex = int(nameFilters.indexOf(dialog.selectedNameFilter())) + 1;
    return true;
}

}  // namespace emlo
