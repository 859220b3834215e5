#include "savedialog.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QIdentityProxyModel>
#include <QStringList>
#include <QToolButton>
#include <QUrl>

namespace emlo {

namespace {

SaveDialogSetup::ExecuteHook& executeHook()
{
    static SaveDialogSetup::ExecuteHook hook;
    return hook;
}

QString suffixOf(const QString& pattern)
{
    // "*.txt" -> "txt"
    const qsizetype dot = pattern.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : pattern.mid(dot + 1);
}

// The file list's column titles in the program's language.
class FileListTitles : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const char* titles[] = {"Ім'я", "Розмір", "Тип", "Змінено"};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 4)
            return QString::fromUtf8(titles[section]);
        return QIdentityProxyModel::headerData(section, orientation, role);
    }
};

// Qt's own dialog carries English tool tips, menus and names; the ones a
// user meets get our texts, the rest (renaming, deleting) are switched off.
void useOwnTexts(QFileDialog& dialog)
{
    dialog.setOption(QFileDialog::ReadOnly);
    dialog.setProxyModel(new FileListTitles(&dialog));
    dialog.setSidebarUrls({QUrl::fromLocalFile(QDir::rootPath()), QUrl::fromLocalFile(QDir::homePath())});
    const struct {
        const char* button;
        const char* tip;
    } tips[] = {
        {"backButton", "Назад"},           {"forwardButton", "Вперед"},  {"toParentButton", "На рівень вище"},
        {"newFolderButton", "Нова папка"}, {"listModeButton", "Список"}, {"detailModeButton", "Таблиця"},
    };
    for (const auto& tip : tips) {
        if (auto* button = dialog.findChild<QToolButton*>(QLatin1String(tip.button)))
            button->setToolTip(QString::fromUtf8(tip.tip));
    }
    for (auto* view : dialog.findChildren<QAbstractItemView*>())
        view->setContextMenuPolicy(Qt::NoContextMenu);
}

}  // namespace

void SaveDialogSetup::setExecuteHook(ExecuteHook hook)
{
    executeHook() = std::move(hook);
}

bool SaveDialogSetup::Execute(QWidget* parent)
{
    if (executeHook())
        return executeHook()(*this);
    return runQtDialog(parent);
}

bool SaveDialogSetup::runQtDialog(QWidget* parent)
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
    useOwnTexts(dialog);

    QStringList nameFilters;
    // Qt takes the patterns from the parentheses of the text shown; a
    // description that already names its pattern is shown as it is.
    for (const Filter& filter : Filters) {
        const QString named = QStringLiteral("(%1)").arg(filter.second);
        nameFilters << (filter.first.endsWith(named) ? filter.first : QStringLiteral("%1 %2").arg(filter.first, named));
    }
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
