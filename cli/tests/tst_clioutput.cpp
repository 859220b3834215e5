// emlo-cli print and export: the form as PDF only after a clean check, and
// the decimal separator of the exported numbers.

#include <QtTest>

#include <QDir>
#include <QProcess>

#include "check/tests/support/checkfixture.h"
#include "cli/tests/support/clitest.h"

using namespace emlo::testing;
using namespace clitest;

class TestCliOutput : public CliTest {
    Q_OBJECT

private slots:
    // The print command writes the form only after a check without remarks.
    void printWritesTheFormAsPdf()
    {
        CheckFixture fx;
        QVERIFY(fx.IsValid());
        writeCleanCase(fx);
        const QString pdf = fx.WorkDir() + QStringLiteral("out/form.pdf");
        QVERIFY(QDir().mkpath(fx.WorkDir() + QStringLiteral("out")));
        const CliRun run =
            runCli({QStringLiteral("print"), fx.WorkDir(), pdf, QStringLiteral("--program-dir"), fx.ProgramDir()});
        QCOMPARE(QString::fromUtf8(run.Err), QString());
        QCOMPARE(run.ExitCode, 0);
        QVERIFY(readFile(pdf).startsWith("%PDF"));

        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(),
                 "pdftotext is missing; scripts/install-deps.sh installs poppler-utils");
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(30000));
        const QString content = QString::fromUtf8(text.readAllStandardOutput());
        for (const QString& expected :
             {QStringLiteral("ЗАГАЛЬНІ ВІДОМОСТІ"), QStringLiteral("05393056"),
              QStringLiteral("Коваленко Іван Петрович"), QStringLiteral("1,500"), QStringLiteral("0,250")})
            QVERIFY2(content.contains(expected), qPrintable(expected + QStringLiteral(" missing in:\n") + content));
    }

    void printWithRemarksWritesNothing()
    {
        CheckFixture fx;
        QVERIFY(fx.IsValid());
        fx.Open();  // empty work tables: every attribute is missing
        fx.Close();
        const QString pdf = fx.WorkDir() + QStringLiteral("form.pdf");
        const CliRun run =
            runCli({QStringLiteral("print"), fx.WorkDir(), pdf, QStringLiteral("--program-dir"), fx.ProgramDir()});
        QCOMPARE(run.ExitCode, 1);
        QVERIFY(QString::fromUtf8(run.Out).startsWith(QStringLiteral("Не вказана назва підприємства\tРеквізити\n")));
        QCOMPARE(QString::fromUtf8(run.Err),
                 QStringLiteral("Помилка при перевірці данних.\nНажаль вигрузка не можлива.\n"));
        QVERIFY(!QFile::exists(pdf));
    }

    // Numbers in the XML follow the system's decimal separator unless the
    // command line names one.
    void exportDecimalSeparator_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("poten");
        QTest::newRow("system with point") << "C.UTF-8" << QStringList() << QByteArray("POTEN=\"1.500\"");
        QTest::newRow("system with comma") << "uk_UA.UTF-8" << QStringList() << QByteArray("POTEN=\"1,500\"");
        QTest::newRow("comma asked on a point system")
            << "C.UTF-8" << QStringList{"--decimal-separator", ","} << QByteArray("POTEN=\"1,500\"");
        QTest::newRow("point asked on a comma system")
            << "uk_UA.UTF-8" << QStringList{"--decimal-separator=."} << QByteArray("POTEN=\"1.500\"");
    }

    void exportDecimalSeparator()
    {
        QFETCH(QString, locale);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, poten);
        CheckFixture fx;
        QVERIFY(fx.IsValid());
        writeCleanCase(fx);
        const QString out = fx.WorkDir() + QStringLiteral("out");
        const CliRun run = runCli(options
                                      + QStringList{QStringLiteral("export"), fx.WorkDir(), out,
                                                    QStringLiteral("--program-dir"), fx.ProgramDir()},
                                  QStringLiteral(EMLO_CLI_PATH), RunAs::Self, locale);
        QCOMPARE(QString::fromUtf8(run.Err), QString());
        QCOMPARE(run.ExitCode, 0);
        const QByteArray data = readFile(out + QStringLiteral("/data.xml"));
        QVERIFY2(data.contains(poten), data.constData());
    }
};

QTEST_GUILESS_MAIN(TestCliOutput)
#include "tst_clioutput.moc"
