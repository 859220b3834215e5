// The folder dialog and SelectDirectory: texts, browsing that moves the
// process's current folder, the question for a missing folder, and the
// creation (or refusal) of the chosen folder.
#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QTemporaryDir>
#include <QTest>

#include "store/errors.h"
#include "widgets/folderdialog.h"
#include "widgets/testing/scripteddialogs.h"

using namespace emlo;

Q_DECLARE_METATYPE(emlo::MsgAnswer)

class TestFolderDialog : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void showsItsTexts();
    void opensOnCurrentFolder();
    void pickingFolderFillsNameWithoutMoving();
    void browsingMovesProcessCurrentFolder();
    void driveListOffersCurrentVolume();
    void driveListAlwaysOffersTheRoot_data();
    void driveListAlwaysOffersTheRoot();
    void okOnMissingFolderAsks_data();
    void okOnMissingFolderAsks();
    void okOnExistingFolderAsksNothing();
    void relativeNameIsTakenFromCurrentFolder();
    void selectDirectoryOpensOnCurrentFolder_data();
    void selectDirectoryOpensOnCurrentFolder();
    void selectDirectoryCreatesFolderWithParents();
    void selectDirectoryCancelledChangesNothing();
    void selectDirectoryRefusesWhatCannotBeCreated_data();
    void selectDirectoryRefusesWhatCannotBeCreated();

private:
    QString m_savedCurrent;
    QTemporaryDir* m_dir = nullptr;
};

void TestFolderDialog::init()
{
    m_savedCurrent = QDir::currentPath();
    m_dir = new QTemporaryDir;
    QDir root(m_dir->path());
    root.mkpath(QStringLiteral("alpha/inner"));
    root.mkpath(QStringLiteral("beta"));
    QFile f(root.filePath(QStringLiteral("ATTR.DBF")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void TestFolderDialog::cleanup()
{
    QDir::setCurrent(m_savedCurrent);
    delete m_dir;
    m_dir = nullptr;
}

void TestFolderDialog::showsItsTexts()
{
    FolderDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Вкажить шлях"));
    QStringList labels;
    for (QLabel* l : dialog.findChildren<QLabel*>())
        labels.append(l->text());
    for (const char* text : {"Назва дiректорi:", "Дiски:", "Дiректорi:", "Файли: (*.*)"})
        QVERIFY2(labels.contains(QString::fromUtf8(text)), text);
    QStringList buttons;
    for (QPushButton* b : dialog.findChildren<QPushButton*>())
        buttons.append(b->text());
    QVERIFY(buttons.contains(QStringLiteral("OK")));
    QVERIFY(buttons.contains(QStringLiteral("Вiдмова")));
    QCOMPARE(dialog.networkButton()->text(), QStringLiteral("Сiть..."));
    dialog.show();
    QVERIFY(!dialog.networkButton()->isVisible());
}

void TestFolderDialog::opensOnCurrentFolder()
{
    FolderDialog dialog;
    QTreeWidget* folders = dialog.folderTree();
    QCOMPARE(folders->currentItem()->data(0, Qt::UserRole).toString(), QDir::currentPath());
    QStringList paths;
    for (QTreeWidgetItemIterator it(folders); *it; ++it)
        paths.append((*it)->data(0, Qt::UserRole).toString());
    QCOMPARE(paths.first(), QStringLiteral("/"));
    // The tree runs from the root down to the current folder.
    QCOMPARE(paths.indexOf(QDir::currentPath()), paths.indexOf(m_dir->filePath(QStringLiteral("alpha"))) - 1);
    QVERIFY(paths.contains(m_dir->filePath(QStringLiteral("alpha"))));
    QVERIFY(paths.contains(m_dir->filePath(QStringLiteral("beta"))));
    QVERIFY(!paths.contains(m_dir->filePath(QStringLiteral("alpha/inner"))));
    // The files are shown for orientation only.
    QVERIFY(!dialog.fileList()->isEnabled());
    QCOMPARE(dialog.fileList()->count(), 1);
    QCOMPARE(dialog.fileList()->item(0)->text(), QStringLiteral("ATTR.DBF"));
}

void TestFolderDialog::pickingFolderFillsNameWithoutMoving()
{
    FolderDialog dialog;
    dialog.show();
    QTreeWidget* folders = dialog.folderTree();
    const auto items = folders->findItems(QStringLiteral("beta"), Qt::MatchExactly | Qt::MatchRecursive);
    QCOMPARE(items.size(), 1);
    QTest::mouseClick(folders->viewport(), Qt::LeftButton, {}, folders->visualItemRect(items.first()).center());
    QCOMPARE(dialog.folderName(), m_dir->filePath(QStringLiteral("beta")));
    QCOMPARE(QDir::currentPath(), m_dir->path());
}

void TestFolderDialog::browsingMovesProcessCurrentFolder()
{
    {
        FolderDialog dialog;
        dialog.show();
        QTreeWidget* folders = dialog.folderTree();
        const auto items = folders->findItems(QStringLiteral("alpha"), Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(items.size(), 1);
        // A real double click: a click, then the second press as a double click.
        const QPoint at = folders->visualItemRect(items.first()).center();
        QTest::mouseClick(folders->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(folders->viewport(), Qt::LeftButton, {}, at);
        QTRY_COMPARE(QDir::currentPath(), m_dir->filePath(QStringLiteral("alpha")));
        QCOMPARE(dialog.folderName(), m_dir->filePath(QStringLiteral("alpha")));
        QCOMPARE(dialog.fileList()->count(), 0);
        dialog.reject();
    }
    // A cancelled dialog still leaves the next one where the user was.
    FolderDialog next;
    QCOMPARE(next.folderTree()->currentItem()->data(0, Qt::UserRole).toString(),
             m_dir->filePath(QStringLiteral("alpha")));
    QVERIFY(!next.folderTree()->findItems(QStringLiteral("inner"), Qt::MatchExactly | Qt::MatchRecursive).isEmpty());
}

void TestFolderDialog::driveListOffersCurrentVolume()
{
    FolderDialog dialog;
    QComboBox* drives = dialog.driveBox();
    QVERIFY(drives->count() >= 1);
    QVERIFY(drives->findData(QStringLiteral("/")) >= 0);
    QVERIFY(QDir::currentPath().startsWith(drives->currentData().toString()));
}

void TestFolderDialog::driveListAlwaysOffersTheRoot_data()
{
    QTest::addColumn<QStringList>("mounted");
    QTest::addColumn<QString>("currentVolume");
    QTest::addColumn<QStringList>("roots");
    // A container or chroot: no volume at all, or none for the root itself.
    QTest::newRow("nothing mounted") << QStringList{} << QString() << QStringList{QStringLiteral("/")};
    QTest::newRow("only inner mounts") << QStringList{QStringLiteral("/work"), QStringLiteral("/dev")} << QString()
                                       << QStringList{QStringLiteral("/"), QStringLiteral("/dev"),
                                                      QStringLiteral("/work")};
    QTest::newRow("ordinary system") << QStringList{QStringLiteral("/home"), QStringLiteral("/"),
                                                    QStringLiteral("/boot"), QStringLiteral("/home")}
                                     << QStringLiteral("/home")
                                     << QStringList{QStringLiteral("/"), QStringLiteral("/boot"),
                                                    QStringLiteral("/home")};
    QTest::newRow("current volume not listed") << QStringList{QStringLiteral("/")} << QStringLiteral("/media/usb")
                                               << QStringList{QStringLiteral("/"), QStringLiteral("/media/usb")};
}

void TestFolderDialog::driveListAlwaysOffersTheRoot()
{
    QFETCH(QStringList, mounted);
    QFETCH(QString, currentVolume);
    QFETCH(QStringList, roots);
    QCOMPARE(FolderDialog::driveRoots(mounted, currentVolume), roots);
}

void TestFolderDialog::okOnMissingFolderAsks_data()
{
    QTest::addColumn<MsgAnswer>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("yes closes") << MsgAnswer::Yes << true;
    QTest::newRow("no keeps the dialog") << MsgAnswer::No << false;
}

void TestFolderDialog::okOnMissingFolderAsks()
{
    QFETCH(MsgAnswer, answer);
    QFETCH(bool, closes);
    testing::ScriptedDialogs dialogs;
    dialogs.queueAnswer(answer);
    FolderDialog dialog;
    dialog.show();
    const QString missing = m_dir->filePath(QStringLiteral("new/deeper"));
    dialog.nameEdit()->setText(missing);
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
    QCOMPARE(dialogs.messages().size(), 1);
    const MessageRequest& asked = dialogs.messages().first();
    QCOMPARE(asked.text, QStringLiteral("Указанная директория не существует. Создать её?"));
    QCOMPARE(asked.kind, MsgKind::Confirmation);
    QCOMPARE(asked.buttons, MsgButton::Yes | MsgButton::No);
    QCOMPARE(dialog.isVisible(), !closes);
    QCOMPARE(dialog.result() == QDialog::Accepted, closes);
    QCOMPARE(dialog.chosenFolder(), missing);
    // The dialog only asks: creating is SelectDirectory's job.
    QVERIFY(!QFileInfo::exists(missing));
}

void TestFolderDialog::okOnExistingFolderAsksNothing()
{
    testing::ScriptedDialogs dialogs;
    FolderDialog dialog;
    dialog.show();
    dialog.nameEdit()->setText(m_dir->filePath(QStringLiteral("beta")));
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
    QVERIFY(dialogs.messages().isEmpty());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void TestFolderDialog::relativeNameIsTakenFromCurrentFolder()
{
    FolderDialog dialog;
    dialog.nameEdit()->setText(QStringLiteral("alpha/../beta/"));
    QCOMPARE(dialog.chosenFolder(), m_dir->filePath(QStringLiteral("beta")));
}

// The working-folder command's dialog names the current folder, the
// export's starts with an empty name; both show the current folder, which
// browsing in the last one moved.
void TestFolderDialog::selectDirectoryOpensOnCurrentFolder_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("nameShown");
    QTest::newRow("working folder") << int(FolderNameStart::CurrentFolder) << true;
    QTest::newRow("export") << int(FolderNameStart::Empty) << false;
}

void TestFolderDialog::selectDirectoryOpensOnCurrentFolder()
{
    QFETCH(int, start);
    QFETCH(bool, nameShown);
    testing::ScriptedDialogs dialogs;
    dialogs.letFolderDialogOpen(true);
    QVERIFY(QDir::setCurrent(m_dir->filePath(QStringLiteral("alpha"))));
    const QString alpha = QDir::currentPath();
    QString shownName = QStringLiteral("<not opened>");
    QString shownFolder;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<FolderDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        shownName = dialog->folderName();
        shownFolder = dialog->folderTree()->currentItem()->data(0, Qt::UserRole).toString();
        dialog->reject();
    });
    QString dir;
    QVERIFY(!SelectDirectory(dir, nullptr, FolderNameStart(start)));
    QCOMPARE(shownName, nameShown ? alpha : QString());
    QCOMPARE(shownFolder, alpha);
    QVERIFY(dir.isEmpty());
}

void TestFolderDialog::selectDirectoryCreatesFolderWithParents()
{
    testing::ScriptedDialogs dialogs;
    const QString target = m_dir->filePath(QStringLiteral("one/two/three"));
    dialogs.queueFolder(true, target);
    QString dir;
    QVERIFY(SelectDirectory(dir));
    QCOMPARE(dir, target);
    QVERIFY(QFileInfo(target).isDir());
    QCOMPARE(dialogs.folderRequests(), QStringList{QDir::currentPath()});
}

void TestFolderDialog::selectDirectoryCancelledChangesNothing()
{
    testing::ScriptedDialogs dialogs;
    dialogs.queueFolder(false, m_dir->filePath(QStringLiteral("never")));
    QString dir = QStringLiteral("/keep");
    QVERIFY(!SelectDirectory(dir));
    QCOMPARE(dir, QStringLiteral("/keep"));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("never"))));
}

void TestFolderDialog::selectDirectoryRefusesWhatCannotBeCreated_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("empty name") << QString();
    QTest::newRow("below a file") << QStringLiteral("ATTR.DBF/sub");
}

void TestFolderDialog::selectDirectoryRefusesWhatCannotBeCreated()
{
    QFETCH(QString, folder);
    testing::ScriptedDialogs dialogs;
    dialogs.queueFolder(true, folder.isEmpty() ? folder : m_dir->filePath(folder));
    QString dir = QStringLiteral("/keep");
    try {
        SelectDirectory(dir);
        QFAIL("no error");
    } catch (const EInOutError& e) {
        QCOMPARE(e.Message, QStringLiteral("Неможливо утворити дiректорiю"));
    }
    QCOMPARE(dir, QStringLiteral("/keep"));
}

QTEST_MAIN(TestFolderDialog)
#include "tst_folderdialog.moc"
