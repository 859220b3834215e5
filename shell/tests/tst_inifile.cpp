// The settings file: reading as profile readers do, writing one value while
// keeping the rest of the file, Windows-1251 text; where the file lives.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "shell/apppaths.h"
#include "shell/inifile.h"

using namespace emlo;

class TestIniFile : public QObject {
    Q_OBJECT
private slots:
    void readsValue_data();
    void readsValue();
    void missingFileGivesFallback();
    void writeChangesOnlyItsLine_data();
    void writeChangesOnlyItsLine();
    void writesWindows1251();
    void refusesValuesOneLineCannotHold_data();
    void refusesValuesOneLineCannotHold();
    void unwritableFolderIsReported();
    void settingsFileSitsBesideExecutable_data();
    void settingsFileSitsBesideExecutable();
    void settingsFileOfOtherLetterCaseIsUsed();
    void workFolderFromSetting_data();
    void workFolderFromSetting();

private:
    QString write(const QByteArray& content);
    QByteArray read();
    QTemporaryDir m_dir;
};

QString TestIniFile::write(const QByteArray& content)
{
    const QString path = m_dir.filePath(QStringLiteral("emlo.ini"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write(content);
    return path;
}

QByteArray TestIniFile::read()
{
    QFile file(m_dir.filePath(QStringLiteral("emlo.ini")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestIniFile::readsValue_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QByteArray("[General]\r\nPath=/data/a/\r\n") << QStringLiteral("/data/a/");
    QTest::newRow("names in other case, blanks around")
        << QByteArray("[ general ]\r\n  PATH  =  /data/a/  \r\n") << QStringLiteral("/data/a/");
    QTest::newRow("lf line ends, no final break") << QByteArray("[General]\nPath=/x/") << QStringLiteral("/x/");
    QTest::newRow("quoted") << QByteArray("[General]\r\nPath=\"/with blank/\"\r\n") << QStringLiteral("/with blank/");
    QTest::newRow("equals sign in value") << QByteArray("[General]\r\nPath=/a=b/\r\n") << QStringLiteral("/a=b/");
    QTest::newRow("empty value") << QByteArray("[General]\r\nPath=\r\n") << QString();
    QTest::newRow("key of another section is not taken")
        << QByteArray("[Other]\r\nPath=/wrong/\r\n[General]\r\nPath=/right/\r\n") << QStringLiteral("/right/");
    QTest::newRow("commented key is not taken")
        << QByteArray("[General]\r\n;Path=/wrong/\r\nPath=/right/\r\n") << QStringLiteral("/right/");
    QTest::newRow("first of two wins") << QByteArray("[General]\r\nPath=/one/\r\nPath=/two/\r\n")
                                       << QStringLiteral("/one/");
    QTest::newRow("cp1251 text") << QByteArray("[General]\r\nPath=/\xc4\xe0\xed\xb3/\r\n") << QStringLiteral("/Дані/");
    QTest::newRow("absent key") << QByteArray("[General]\r\nOther=1\r\n") << QStringLiteral("<none>");
    QTest::newRow("absent section") << QByteArray("Path=/top/\r\n") << QStringLiteral("<none>");
}

void TestIniFile::readsValue()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    const IniFile ini(write(content));
    QCOMPARE(ini.readString(QStringLiteral("General"), QStringLiteral("Path"), QStringLiteral("<none>")), expected);
}

void TestIniFile::missingFileGivesFallback()
{
    const IniFile ini(m_dir.filePath(QStringLiteral("absent.ini")));
    QCOMPARE(ini.readString(QStringLiteral("General"), QStringLiteral("Path"), QStringLiteral("/p/")),
             QStringLiteral("/p/"));
}

void TestIniFile::writeChangesOnlyItsLine_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("new file") << QByteArray() << QByteArray("[General]\r\nPath=/w/\r\n");
    QTest::newRow("value replaced, rest kept") << QByteArray(
        "; Emlo\r\n[Window]\r\nLeft=10\r\n\r\n[General]\r\nLang=uk\r\npath = /old/\r\nZoom=2\r\n\r\n[Last]\r\nX=1\r\n")
                                               << QByteArray("; "
                                                             "Emlo\r\n[Window]\r\nLeft=10\r\n\r\n[General]\r\nLang="
                                                             "uk\r\nPath=/w/\r\nZoom=2\r\n\r\n[Last]\r\nX=1\r\n");
    QTest::newRow("key added at the end of its section")
        << QByteArray("[General]\r\nLang=uk\r\n\r\n[Last]\r\nPath=/not this/\r\n")
        << QByteArray("[General]\r\nLang=uk\r\nPath=/w/\r\n\r\n[Last]\r\nPath=/not this/\r\n");
    QTest::newRow("section added at the end")
        << QByteArray("[Window]\r\nLeft=10\r\n") << QByteArray("[Window]\r\nLeft=10\r\n\r\n[General]\r\nPath=/w/\r\n");
    QTest::newRow("lf file stays lf") << QByteArray("[General]\nPath=/old/\nZoom=2\n")
                                      << QByteArray("[General]\nPath=/w/\nZoom=2\n");
    QTest::newRow("no final line break") << QByteArray("[General]\r\nPath=/old/")
                                         << QByteArray("[General]\r\nPath=/w/\r\n");
}

void TestIniFile::writeChangesOnlyItsLine()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QString path = m_dir.filePath(QStringLiteral("emlo.ini"));
    QFile::remove(path);
    if (!before.isEmpty())
        path = write(before);
    IniFile ini(path);
    QVERIFY2(ini.writeString(QStringLiteral("General"), QStringLiteral("Path"), QStringLiteral("/w/")),
             qPrintable(ini.errorString()));
    QCOMPARE(read(), after);
}

void TestIniFile::writesWindows1251()
{
    IniFile ini(write("[General]\r\nPath=/a/\r\n"));
    QVERIFY(
        ini.writeString(QStringLiteral("General"), QStringLiteral("Path"), QStringLiteral("/home/user/Викиди їжака/")));
    QCOMPARE(read(), QByteArray("[General]\r\nPath=/home/user/\xc2\xe8\xea\xe8\xe4\xe8 \xbf\xe6\xe0\xea\xe0/\r\n"));
    QCOMPARE(ini.readString(QStringLiteral("General"), QStringLiteral("Path")),
             QStringLiteral("/home/user/Викиди їжака/"));
}

void TestIniFile::refusesValuesOneLineCannotHold_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("errorHolds");
    QTest::newRow("outside Windows-1251")
        << QStringLiteral("/home/用户/")
        << QStringLiteral("\"/home/用户/\": воно містить символи, яких немає в кодуванні Windows-1251");
    // A folder named with a line break would otherwise inject a line.
    QTest::newRow("line feed") << QStringLiteral("/tmp/x\n[Other]\nPath=/evil/")
                               << QStringLiteral("\"/tmp/x\\n[Other]\\nPath=/evil/\": воно містить розрив рядка");
    QTest::newRow("carriage return") << QStringLiteral("/tmp/x\rKey=1/") << QStringLiteral("розрив рядка");
    QTest::newRow("other control") << QStringLiteral("/tmp/a\x01") + QStringLiteral("b/")
                                   << QStringLiteral("/tmp/a\\x01b/");
}

void TestIniFile::refusesValuesOneLineCannotHold()
{
    QFETCH(QString, value);
    QFETCH(QString, errorHolds);
    const QByteArray before("[General]\r\nPath=/a/\r\n");
    IniFile ini(write(before));
    QVERIFY(!ini.writeString(QStringLiteral("General"), QStringLiteral("Path"), value));
    QVERIFY2(ini.errorString().startsWith(QStringLiteral("Неможливо записати у файл налаштувань ") + ini.path()),
             qPrintable(ini.errorString()));
    QVERIFY2(ini.errorString().contains(errorHolds), qPrintable(ini.errorString()));
    QCOMPARE(read(), before);
}

void TestIniFile::unwritableFolderIsReported()
{
    IniFile ini(m_dir.filePath(QStringLiteral("no/such/folder/emlo.ini")));
    QVERIFY(!ini.writeString(QStringLiteral("General"), QStringLiteral("Path"), QStringLiteral("/w/")));
    QVERIFY2(ini.errorString().startsWith(QStringLiteral("Неможливо записати файл налаштувань ") + ini.path()
                                          + QStringLiteral(":\r\n")),
             qPrintable(ini.errorString()));
}

void TestIniFile::settingsFileSitsBesideExecutable_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("settings");
    QTest::newRow("no extension") << QStringLiteral("/opt/emlo/emlo") << QStringLiteral("/opt/emlo/")
                                  << QStringLiteral("/opt/emlo/emlo.ini");
    QTest::newRow("extension replaced") << QStringLiteral("/opt/emlo/EMLO.EXE") << QStringLiteral("/opt/emlo/")
                                        << QStringLiteral("/opt/emlo/EMLO.ini");
}

void TestIniFile::settingsFileSitsBesideExecutable()
{
    QFETCH(QString, executable);
    QFETCH(QString, folder);
    QFETCH(QString, settings);
    const AppPaths paths = AppPaths::forExecutable(executable);
    QCOMPARE(paths.programFolder, folder);
    QCOMPARE(paths.settingsFile, settings);
}

void TestIniFile::settingsFileOfOtherLetterCaseIsUsed()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("EMLO.INI")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const AppPaths paths = AppPaths::forExecutable(dir.filePath(QStringLiteral("emlo")));
    QCOMPARE(paths.settingsFile, dir.filePath(QStringLiteral("EMLO.INI")));
}

void TestIniFile::workFolderFromSetting_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("folder");
    QTest::newRow("with separator") << QStringLiteral("/data/a/") << QStringLiteral("/data/a/");
    QTest::newRow("without separator") << QStringLiteral("/data/a") << QStringLiteral("/data/a/");
    QTest::newRow("empty is the root") << QString() << QStringLiteral("/");
    QTest::newRow("relative from the start folder") << QStringLiteral("firm") << QStringLiteral("/home/u/start/firm/");
    QTest::newRow("relative upwards") << QStringLiteral("../firm/") << QStringLiteral("/home/u/firm/");
}

void TestIniFile::workFolderFromSetting()
{
    QFETCH(QString, value);
    QFETCH(QString, folder);
    QCOMPARE(::workFolderFromSetting(value, QStringLiteral("/home/u/start/")), folder);
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
