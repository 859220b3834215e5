#include "folderdialog.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "dialogseam.h"
#include "messagebox.h"
#include "store/errors.h"

namespace emlo {

namespace {

constexpr int kPathRole = Qt::UserRole;

// The chain of folders from the root down to `folder`, root first.
QStringList ancestorsOf(const QString& folder)
{
    QStringList chain;
    QDir dir(folder);
    for (;;) {
        chain.prepend(dir.absolutePath());
        if (dir.isRoot() || !dir.cdUp())
            break;
    }
    return chain;
}

QString displayName(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

}  // namespace

FolderDialog::FolderDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("folderDialog"));
    setWindowTitle(QStringLiteral("Вкажить шлях"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);

    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("folderNameEdit"));
    auto* nameLabel = new QLabel(QStringLiteral("Назва дiректорi:"), this);
    nameLabel->setBuddy(m_name);

    m_currentFolder = new QLabel(this);
    m_currentFolder->setObjectName(QStringLiteral("currentFolderLabel"));
    m_currentFolder->setTextFormat(Qt::PlainText);
    m_currentFolder->setMinimumWidth(200);

    m_folders = new QTreeWidget(this);
    m_folders->setObjectName(QStringLiteral("folderTree"));
    m_folders->setHeaderHidden(true);
    m_folders->setRootIsDecorated(false);
    m_folders->setIndentation(12);
    auto* foldersLabel = new QLabel(QStringLiteral("Дiректорi:"), this);
    foldersLabel->setBuddy(m_folders);

    m_files = new QListWidget(this);
    m_files->setObjectName(QStringLiteral("fileList"));
    m_files->setEnabled(false);
    auto* filesLabel = new QLabel(QStringLiteral("Файли: (*.*)"), this);
    filesLabel->setEnabled(false);

    m_drives = new QComboBox(this);
    m_drives->setObjectName(QStringLiteral("driveBox"));
    auto* drivesLabel = new QLabel(QStringLiteral("Дiски:"), this);
    drivesLabel->setBuddy(m_drives);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Вiдмова"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    m_network = new QPushButton(QStringLiteral("Сiть..."), this);
    m_network->setObjectName(QStringLiteral("networkButton"));
    // Connecting a network drive is a dialog this system does not offer:
    // network shares are mounted outside the program and appear among the volumes.
    m_network->setVisible(false);
    for (QPushButton* b : {ok, cancel, m_network})
        b->setMinimumWidth(80);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->addWidget(nameLabel, 0, 0, 1, 2);
    grid->addWidget(m_name, 1, 0, 1, 2);
    grid->addWidget(m_currentFolder, 2, 0, 1, 2);
    grid->addWidget(foldersLabel, 3, 0);
    grid->addWidget(filesLabel, 3, 1);
    grid->addWidget(m_folders, 4, 0);
    grid->addWidget(m_files, 4, 1);
    grid->addWidget(drivesLabel, 5, 0, 1, 2);
    grid->addWidget(m_drives, 6, 0, 1, 2);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    grid->setRowStretch(4, 1);

    auto* buttons = new QVBoxLayout;
    buttons->addSpacing(nameLabel->sizeHint().height());
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(m_network);
    buttons->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(buttons);
    resize(520, 360);

    connect(ok, &QPushButton::clicked, this, &FolderDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &FolderDialog::reject);
    connect(m_folders, &QTreeWidget::itemClicked, this, &FolderDialog::folderClicked);
    connect(m_folders, &QTreeWidget::itemActivated, this, &FolderDialog::folderActivated);

    fillDrives();
    refresh();
    connect(m_drives, &QComboBox::activated, this, &FolderDialog::driveChosen);
}

void FolderDialog::setFolderName(const QString& name)
{
    m_name->setText(name);
}

QString FolderDialog::folderName() const
{
    return m_name->text();
}

QString FolderDialog::chosenFolder() const
{
    const QString name = m_name->text();
    if (name.isEmpty())
        return {};
    return QDir::cleanPath(QDir::current().absoluteFilePath(QDir::fromNativeSeparators(name)));
}

bool FolderDialog::browseTo(const QString& folder)
{
    if (!QDir::setCurrent(folder))
        return false;
    m_name->setText(QDir::toNativeSeparators(QDir::currentPath()));
    refresh();
    return true;
}

void FolderDialog::accept()
{
    const QString folder = chosenFolder();
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        const MsgAnswer answer = messageDlg(QStringLiteral("Указанная директория не существует. Создать её?"),
                                            MsgKind::Confirmation, MsgButton::Yes | MsgButton::No, 0, this);
        if (answer != MsgAnswer::Yes)
            return;
    }
    QDialog::accept();
}

void FolderDialog::refresh()
{
    const QString current = QDir::currentPath();
    m_currentFolder->setText(QDir::toNativeSeparators(current));

    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    m_folders->clear();
    // The open folders from the root down to the current one, then its subfolders.
    QTreeWidgetItem* parent = nullptr;
    for (const QString& path : ancestorsOf(current)) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_folders);
        item->setText(0, displayName(path));
        item->setIcon(0, openIcon);
        item->setData(0, kPathRole, path);
        parent = item;
    }
    const QDir dir(current);
    const QStringList subfolders = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : subfolders) {
        auto* item = new QTreeWidgetItem(parent);
        item->setText(0, name);
        item->setIcon(0, closedIcon);
        item->setData(0, kPathRole, dir.absoluteFilePath(name));
    }
    m_folders->expandAll();
    m_folders->setCurrentItem(parent);
    m_folders->scrollToItem(parent);

    m_files->clear();
    m_files->addItems(dir.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase));

    int index = m_drives->findData(QStorageInfo(current).rootPath());
    if (index < 0)
        index = m_drives->findData(QDir::rootPath());
    if (index >= 0)
        m_drives->setCurrentIndex(index);
}

QStringList FolderDialog::driveRoots(QStringList mountPoints, const QString& currentVolume)
{
    mountPoints.append(currentVolume);
    mountPoints.append(QDir::rootPath());
    mountPoints.removeAll(QString());
    mountPoints.removeDuplicates();
    mountPoints.sort();
    return mountPoints;
}

void FolderDialog::fillDrives()
{
    m_drives->clear();
    QStringList mounted;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady())
            mounted.append(volume.rootPath());
    }
    const QString currentVolume = QStorageInfo(QDir::currentPath()).rootPath();
    for (const QString& root : driveRoots(mounted, currentVolume))
        m_drives->addItem(QDir::toNativeSeparators(root), root);
}

void FolderDialog::folderClicked(QTreeWidgetItem* item)
{
    m_name->setText(QDir::toNativeSeparators(item->data(0, kPathRole).toString()));
}

void FolderDialog::folderActivated(QTreeWidgetItem* item)
{
    // Deferred: browsing rebuilds the tree that is delivering this signal.
    const QString path = item->data(0, kPathRole).toString();
    QMetaObject::invokeMethod(
        this, [this, path] { browseTo(path); }, Qt::QueuedConnection);
}

void FolderDialog::driveChosen(int index)
{
    if (index >= 0)
        browseTo(m_drives->itemData(index).toString());
}

bool SelectDirectory(QString& dir, QWidget* parent, FolderNameStart start)
{
    QString name = dir;
    if (name.isEmpty() && start == FolderNameStart::CurrentFolder)
        name = QDir::toNativeSeparators(QDir::currentPath());
    FolderAnswer answer;
    DialogResponder* responder = DialogSeam::responder();
    if (responder != nullptr && responder->answersFolders()) {
        answer = responder->answerFolder(name);
    } else {
        FolderDialog dialog(parent);
        dialog.setFolderName(name);
        answer.accepted = dialog.exec() == QDialog::Accepted;
        answer.folder = dialog.chosenFolder();
    }
    if (!answer.accepted)
        return false;
    // A folder that cannot be made is refused here rather than handed on, so
    // no caller goes on with a folder that is not there.
    if (answer.folder.isEmpty() || !QDir().mkpath(answer.folder) || !QFileInfo(answer.folder).isDir())
        throw EInOutError(QStringLiteral("Неможливо утворити дiректорiю"));
    dir = answer.folder;
    return true;
}

}  // namespace emlo
