#pragma once

#include <QDialog>
#include <QStringList>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTreeWidget;
class QTreeWidgetItem;
class QPushButton;

namespace emlo {

// The folder selection window: a typed folder name, the folder tree of the
// current folder, the mounted volumes and the (greyed) files of the current
// folder. Browsing changes the process's current folder, so the next opening
// starts where this one was left. "OK" on a folder that does not exist asks
// whether to create it; the creation itself is left to SelectDirectory.
class FolderDialog : public QDialog {
    Q_OBJECT
public:
    explicit FolderDialog(QWidget* parent = nullptr);

    // The name field, as given (it may be empty).
    void setFolderName(const QString& name);
    QString folderName() const;
    // The name field as an absolute folder (relative names are taken from the
    // current folder); empty when the field is empty.
    QString chosenFolder() const;

    // Makes `folder` the current folder of the process and shows it.
    bool browseTo(const QString& folder);

    QLineEdit* nameEdit() const { return m_name; }
    QTreeWidget* folderTree() const { return m_folders; }
    QListWidget* fileList() const { return m_files; }
    QComboBox* driveBox() const { return m_drives; }
    QPushButton* networkButton() const { return m_network; }

    // The drive list's entries: the mount points and the current folder's volume,
    // sorted, and the file system root always among them, also where it is not a
    // mount point of its own (a container or chroot lists no volume for it).
    static QStringList driveRoots(QStringList mountPoints, const QString& currentVolume);

public slots:
    void accept() override;

private:
    void refresh();
    void fillDrives();
    void folderClicked(QTreeWidgetItem* item);
    void folderActivated(QTreeWidgetItem* item);
    void driveChosen(int index);

    QLineEdit* m_name;
    QLabel* m_currentFolder;
    QTreeWidget* m_folders;
    QListWidget* m_files;
    QComboBox* m_drives;
    QPushButton* m_network;
};

// What the name field holds when the dialog opens without a name: the
// current folder (the working-folder command) or nothing (the export).
enum class FolderNameStart { CurrentFolder, Empty };

// Shows the folder dialog on the current folder of the process, its name
// field holding `dir`, or when that is empty what `start` says. On "OK" the chosen folder and any missing parents are created, `dir`
// receives it and the result is true; on "Вiдмова" the result is false and
// `dir` is unchanged. Throws EInOutError "Неможливо утворити дiректорiю" when
// the confirmed name is empty or the folder cannot be created.
bool SelectDirectory(QString& dir, QWidget* parent = nullptr, FolderNameStart start = FolderNameStart::CurrentFolder);

}  // namespace emlo
