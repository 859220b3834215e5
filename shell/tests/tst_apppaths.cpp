// The two ways to run: a portable program folder keeps settings, tables and
// the default working folder beside the program; an installed program (the
// share/emlo layout, or a read-only program folder) reads its tables from
// share/emlo and keeps the user's files in the user's own folders.
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "shell/apppaths.h"

using namespace emlo;

class TestAppPaths : public QObject {
    Q_OBJECT
private slots:
    void init();
    void writableFolderIsPortable();
    void installLayoutIsInstalled_data();
    void installLayoutIsInstalled();
    void readOnlyFolderKeepsItsTablesButNotTheSettings();
    void userFoldersAreMadeOnlyWhenInstalled();

private:
    QString mkdir(const QString& relative);
    QTemporaryDir m_root;
    QString m_home;
    QString m_config;
};

QString TestAppPaths::mkdir(const QString& relative)
{
    const QString path = m_root.filePath(relative);
    QDir().mkpath(path);
    return path + QLatin1Char('/');
}

void TestAppPaths::init()
{
    // A fresh user for every case: home, configuration folder, no user-dirs.dirs.
    QVERIFY(m_root.isValid());
    QDir(m_root.path()).removeRecursively();
    QDir().mkpath(m_root.path());
    m_home = mkdir(QStringLiteral("home/user"));
    m_config = mkdir(QStringLiteral("home/user/.config-test"));
    qputenv("HOME", QFile::encodeName(m_home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config));
}

void TestAppPaths::writableFolderIsPortable()
{
    const QString program = mkdir(QStringLiteral("stick/emlo"));
    const AppPaths paths = AppPaths::forExecutable(program + QStringLiteral("emlo"));
    QVERIFY(!paths.installed);
    QCOMPARE(paths.programFolder, program);
    QCOMPARE(paths.settingsFile, program + QStringLiteral("emlo.ini"));
    QCOMPARE(paths.tablesFolder(), program);
    QCOMPARE(paths.defaultWorkFolder(), program);
}

void TestAppPaths::installLayoutIsInstalled_data()
{
    QTest::addColumn<QString>("userDirs");   // content of user-dirs.dirs, empty: none
    QTest::addColumn<QString>("documents");  // below the home folder
    QTest::newRow("no user-dirs.dirs: ~/Documents") << QString() << QStringLiteral("Documents/");
    QTest::newRow("Ukrainian documents folder of user-dirs.dirs")
        << QStringLiteral("XDG_DOCUMENTS_DIR=\"$HOME/Документи\"\n") << QStringLiteral("Документи/");
}

void TestAppPaths::installLayoutIsInstalled()
{
    QFETCH(QString, userDirs);
    QFETCH(QString, documents);
    if (!userDirs.isEmpty()) {
        QFile file(m_config + QStringLiteral("user-dirs.dirs"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(userDirs.toUtf8());
    }
    // Writable, as it is for root: the layout alone decides.
    const QString bin = mkdir(QStringLiteral("usr/bin"));
    const QString share = mkdir(QStringLiteral("usr/share/emlo"));
    const AppPaths paths = AppPaths::forExecutable(bin + QStringLiteral("emlo"));
    QVERIFY(paths.installed);
    QCOMPARE(paths.programFolder, bin);
    QCOMPARE(paths.tablesFolder(), share);
    QCOMPARE(paths.settingsFile, m_config + QStringLiteral("emlo/emlo.ini"));
    QCOMPARE(paths.defaultWorkFolder(), m_home + documents + QStringLiteral("Emlo/"));
}

void TestAppPaths::readOnlyFolderKeepsItsTablesButNotTheSettings()
{
    if (::geteuid() == 0)
        QSKIP("root may write into any folder; the install layout case covers root");
    const QString program = mkdir(QStringLiteral("cdrom/emlo"));
    QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
    const AppPaths paths = AppPaths::forExecutable(program + QStringLiteral("emlo"));
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(paths.installed);
    QCOMPARE(paths.tablesFolder(), program);
    QCOMPARE(paths.settingsFile, m_config + QStringLiteral("emlo/emlo.ini"));
    QCOMPARE(paths.defaultWorkFolder(), m_home + QStringLiteral("Documents/Emlo/"));
}

void TestAppPaths::userFoldersAreMadeOnlyWhenInstalled()
{
    const QString program = mkdir(QStringLiteral("stick/emlo"));
    AppPaths::forExecutable(program + QStringLiteral("emlo")).prepareUserFolders();
    QVERIFY(!QFileInfo::exists(m_config + QStringLiteral("emlo")));
    QVERIFY(!QFileInfo::exists(m_home + QStringLiteral("Documents")));

    const QString bin = mkdir(QStringLiteral("usr/bin"));
    mkdir(QStringLiteral("usr/share/emlo"));
    const AppPaths installed = AppPaths::forExecutable(bin + QStringLiteral("emlo"));
    installed.prepareUserFolders();
    QVERIFY(QFileInfo(m_config + QStringLiteral("emlo")).isDir());
    QVERIFY(QFileInfo(installed.defaultWorkFolder()).isDir());
    QCOMPARE(QDir(bin).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

QTEST_GUILESS_MAIN(TestAppPaths)
#include "tst_apppaths.moc"
