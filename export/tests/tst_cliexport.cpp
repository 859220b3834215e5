// `emlo-cli export` run as the user runs it: a separate process on a program
// folder and a working folder, with the locale given through the environment.

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include "store/cp1251.h"
#include "export/tests/support/exportfixture.h"

using namespace emlo;

using namespace emlo::testing;

namespace {

const QList<ContRow> kPollutants = {
    {3, QStringLiteral("0001"), QStringLiteral("Пил \"А\" & сажа"), 10.0},
};

struct CliRun {
    int ExitCode = -1;
    QString Out;
    QString Err;
};

// Runs emlo-cli with a clean locale environment plus the given variables.
CliRun runCli(const QStringList& arguments, const QMap<QString, QString>& env = {},
              const QString& workingDirectory = QString())
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LC_ALL", "LC_NUMERIC", "LANG", "LANGUAGE"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("uk_UA.UTF-8"));
    for (auto it = env.begin(); it != env.end(); ++it) {
        if (it.value().isNull())
            environment.remove(it.key());
        else
            environment.insert(it.key(), it.value());
    }
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(QStringLiteral(EMLO_CLI_PATH), arguments);
    CliRun run;
    if (!process.waitForFinished(60000))
        return run;
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Out = QString::fromUtf8(process.readAllStandardOutput());
    run.Err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// A working folder whose data passes the check.
void fillPassingData(ProgramFolder& fx)
{
    fx.Open();
    fx.WriteAttr(ProgramFolder::FullAttr());
    fx.AddData(3, 12.5, 0.0123456);
    fx.Close();
}

QString rowOf(const QString& file)
{
    const QString text = fromCp1251(ReadFile(file));
    const qsizetype start = text.indexOf(QStringLiteral("<ROW "));
    return start < 0 ? QString() : text.mid(start, text.indexOf(QStringLiteral("\r\n"), start) - start);
}

}  // namespace

class TestCliExport : public QObject {
    Q_OBJECT
private slots:
    void decimalSeparatorFollowsTheLocale_data();
    void decimalSeparatorFollowsTheLocale();
    void remarksStopTheExport();
    void writeErrorExitsWithTwo();
    void relativeOutputFolderIsTheCallersFolder();
};

void TestCliExport::decimalSeparatorFollowsTheLocale_data()
{
    QTest::addColumn<QString>("lcAll");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("lcNumeric");
    QTest::addColumn<QString>("row");
    const QString comma = QStringLiteral(
        R"(<ROW CONTID="3,000" CODE="0001" DESCR="Пил &quot;А&quot; &amp; сажа" POTEN="12,500" FACT="0,0123456" LIMIT="10,000"/>)");
    const QString point = QStringLiteral(
        R"(<ROW CONTID="3.000" CODE="0001" DESCR="Пил &quot;А&quot; &amp; сажа" POTEN="12.500" FACT="0.0123456" LIMIT="10.000"/>)");
    QTest::newRow("Ukrainian locale: comma") << "uk_UA.UTF-8" << QString() << QString() << comma;
    QTest::newRow("C locale: point") << "C.UTF-8" << QString() << QString() << point;
    QTest::newRow("numbers alone in Ukrainian") << QString() << "C.UTF-8"
                                                << "uk_UA.UTF-8" << comma;
    QTest::newRow("English locale: point") << QString() << "en_US.UTF-8" << QString() << point;
}

void TestCliExport::decimalSeparatorFollowsTheLocale()
{
    QFETCH(QString, lcAll);
    QFETCH(QString, lang);
    QFETCH(QString, lcNumeric);
    QFETCH(QString, row);

    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    fillPassingData(fx);
    // A folder that does not exist yet, parents included.
    const QString out = fx.OutDir() + QStringLiteral("2024/q1");

    const CliRun run = runCli(
        {QStringLiteral("export"), fx.WorkDir(), out, QStringLiteral("--program-dir"), fx.ProgramDir()},
        {{QStringLiteral("LC_ALL"), lcAll}, {QStringLiteral("LANG"), lang}, {QStringLiteral("LC_NUMERIC"), lcNumeric}});
    QCOMPARE(run.Err, QString());
    QCOMPARE(run.ExitCode, 0);
    QCOMPARE(run.Out, QStringLiteral("Все гаразд\t\n"));
    QCOMPARE(FolderEntries(out), (QStringList{QStringLiteral("attr.xml"), QStringLiteral("data.xml")}));
    QCOMPARE(rowOf(out + QStringLiteral("/data.xml")), row);
    QVERIFY(rowOf(out + QStringLiteral("/attr.xml")).contains(QStringLiteral(R"(X1="48")")));
}

void TestCliExport::remarksStopTheExport()
{
    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    fx.Open();
    QMap<QString, QVariant> attr = ProgramFolder::FullAttr();
    attr.remove(QStringLiteral("EDRPOU"));
    fx.WriteAttr(attr);
    fx.AddData(3, QVariant(), 1.0);
    fx.Close();
    const QString out = fx.OutDir() + QStringLiteral("new");

    const CliRun run =
        runCli({QStringLiteral("export"), fx.WorkDir(), out, QStringLiteral("--program-dir"), fx.ProgramDir()});
    QCOMPARE(run.ExitCode, 1);
    QCOMPARE(run.Out,
             QStringLiteral("Не вказаний код ЄДРПОУ підприємства\tРеквізити\n"
                            "Не вказан потенційний обсяг викидів\tВикиди\n"));
    QCOMPARE(run.Err, QStringLiteral("Помилка при перевірці данних.\nНажаль вигрузка не можлива.\n"));
    QVERIFY(!QFileInfo::exists(out));
}

void TestCliExport::writeErrorExitsWithTwo()
{
    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    fillPassingData(fx);
    QVERIFY(QDir(fx.OutDir()).mkdir(QStringLiteral("attr.xml")));
    const QString out = fx.OutDir().chopped(1);

    const CliRun run =
        runCli({QStringLiteral("export"), fx.WorkDir(), out, QStringLiteral("--program-dir"), fx.ProgramDir()});
    QCOMPARE(run.ExitCode, 2);
    QCOMPARE(run.Err,
             QStringLiteral("Помилка вигрузки інформації:\nCannot create file ") + out + QStringLiteral("/attr.xml\n"));
    QCOMPARE(FolderEntries(out), QStringList{QStringLiteral("attr.xml")});
}

void TestCliExport::relativeOutputFolderIsTheCallersFolder()
{
    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    fillPassingData(fx);

    // Opening the tables makes the program folder the current one; the
    // output folder must still be taken from where the command was given.
    const CliRun run = runCli({QStringLiteral("export"), fx.WorkDir(), QStringLiteral("rel"),
                               QStringLiteral("--program-dir"), fx.ProgramDir()},
                              {}, fx.OutDir());
    QCOMPARE(run.ExitCode, 0);
    QCOMPARE(FolderEntries(fx.OutDir() + QStringLiteral("rel")),
             (QStringList{QStringLiteral("attr.xml"), QStringLiteral("data.xml")}));
    QVERIFY(!QFileInfo::exists(fx.ProgramDir() + QStringLiteral("rel")));
}

QTEST_GUILESS_MAIN(TestCliExport)

#include "tst_cliexport.moc"
