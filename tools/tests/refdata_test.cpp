#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "store/apollotable.h"
#include "tools/reftables.h"

using namespace emlo;

class RefDataTest : public QObject {
    Q_OBJECT

    static QString refdataDir() { return qEnvironmentVariable("EMLO_REFDATA_DIR"); }

    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    // A source folder holding the real classifier files, with one of them replaced.
    static void copySources(const QString& to, const QString& replaced = QString(),
                            const QByteArray& content = QByteArray())
    {
        for (const RefTable& t : ReferenceTables()) {
            const QString name = QString::fromLatin1(t.csvName);
            if (name == replaced)
                writeFile(to + u'/' + name, content);
            else
                QVERIFY(QFile::copy(refdataDir() + u'/' + name, to + u'/' + name));
        }
    }

private slots:
    // validate.py keeps its own description of the reference tables (it runs
    // without the program): it must say what the catalogue says.
    void validatorAgreesWithCatalogue()
    {
        QFile script(refdataDir() + QStringLiteral("/validate.py"));
        QVERIFY(script.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(script.readAll());
        static const QRegularExpression entry(
            QStringLiteral(R"('(\w+)': \('(\w+\.csv)', '(\w+)', \[\('CODE', (\d+)\), \('DESCR', (\d+)\)\]\))"));
        QStringList described;
        for (const QRegularExpressionMatch& m : entry.globalMatch(text)) {
            const emlo::TableDef* def = emlo::FindTableDef(m.captured(1));
            QVERIFY2(def != nullptr && def->reference, qPrintable(m.captured(1)));
            QCOMPARE(m.captured(2), m.captured(1) + QStringLiteral(".csv"));
            QCOMPARE(m.captured(3), QLatin1String(def->columns.at(0).name));
            QCOMPARE(m.captured(4).toInt(), def->columns.at(1).width);
            QCOMPARE(m.captured(5).toInt(), def->columns.at(2).width);
            QCOMPARE(def->columns.at(0).width, short(5));  // ID_MAX = 99999
            described << m.captured(1).toUpper();
        }
        QStringList reference;
        for (const RefTable& t : ReferenceTables())
            reference << QLatin1String(t.def->name);
        described.sort();
        reference.sort();
        QCOMPARE(described, reference);
        QVERIFY(text.contains(QStringLiteral("ID_MAX = 99999")));
    }

    void csvParsing_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QStringList>("flat");  // rows joined by "|" per row
        QTest::newRow("plain crlf") << QByteArray("A,B\r\n1,2\r\n") << QStringList{"A|B", "1|2"};
        QTest::newRow("lf, no final newline") << QByteArray("A,B\n1,2") << QStringList{"A|B", "1|2"};
        QTest::newRow("quoted comma and doubled quote")
            << QByteArray("1,\"Мiнiстерство, \"\"головне\"\"\"\r\n") << QStringList{"1|Мiнiстерство, \"головне\""};
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF"
                                                       "A\r\n")
                                         << QStringList{"A"};
        QTest::newRow("empty field kept") << QByteArray("1,,3\r\n") << QStringList{"1||3"};
        QTest::newRow("apostrophe untouched") << QByteArray("п'ять\r\n") << QStringList{"п'ять"};
    }
    void csvParsing()
    {
        QFETCH(QByteArray, input);
        QFETCH(QStringList, flat);
        QVector<QStringList> rows;
        QString error;
        QVERIFY2(ParseCsv(input, &rows, &error), qPrintable(error));
        QStringList got;
        for (const QStringList& r : rows)
            got << r.join(u'|');
        QCOMPARE(got, flat);
    }

    void csvErrors_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::newRow("unclosed quote") << QByteArray("1,\"abc\r\n2,3\r\n");
        QTest::newRow("text after closing quote") << QByteArray("1,\"abc\"x\r\n");
        QTest::newRow("not utf-8") << QByteArray("1,\xCF\xF0\r\n");
    }
    void csvErrors()
    {
        QFETCH(QByteArray, input);
        QVector<QStringList> rows;
        QString error;
        QVERIFY(!ParseCsv(input, &rows, &error));
        QVERIFY(!error.isEmpty());
    }

    // Values that the tables cannot hold fail the build instead of being cut or replaced.
    void validation_data()
    {
        QTest::addColumn<QString>("csv");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("problem");
        QTest::newRow("code too wide") << "ow.csv" << QByteArray("OWID,CODE,DESCR\r\n1,100,Приватна\r\n")
                                       << "ow.csv:2: CODE: 3 символів не вміщуються в поле завширшки 2";
        QTest::newRow("not windows-1251") << "ow.csv" << QByteArray("OWID,CODE,DESCR\r\n1,10,Приватна \xE2\x88\x92\r\n")
                                          << "ow.csv:2: DESCR: символ U+2212 не можна записати у Windows-1251";
        QTest::newRow("id not a number") << "ow.csv" << QByteArray("OWID,CODE,DESCR\r\nx,10,A\r\n")
                                         << "ow.csv:2: OWID: «x» не є числом";
        QTest::newRow("id too wide") << "ow.csv" << QByteArray("OWID,CODE,DESCR\r\n123456,10,A\r\n")
                                     << "ow.csv:2: OWID: «123456» не вміщується в N(5,0)";
        QTest::newRow("limit with 8 decimals")
            << "cont.csv" << QByteArray("CONTID,CODE,DESCR,LIMIT\r\n1,01001,A,0.00000001\r\n")
            << "cont.csv:2: LIMIT: у «0.00000001» більше 7 знаків після коми";
        QTest::newRow("wrong header") << "ow.csv" << QByteArray("ID,CODE,DESCR\r\n1,10,A\r\n")
                                      << "ow.csv:1: рядок заголовку має бути OWID,CODE,DESCR";
        QTest::newRow("missing field") << "ow.csv" << QByteArray("OWID,CODE,DESCR\r\n1,10\r\n")
                                       << "ow.csv:2: полів 2 замість 3";
    }
    void validation()
    {
        QFETCH(QString, csv);
        QFETCH(QByteArray, content);
        QFETCH(QString, problem);
        QTemporaryDir src, out;
        copySources(src.path(), csv, content);
        writeFile(out.path() + QStringLiteral("/OW.DBF"), "old");
        QStringList errors;
        QVERIFY(!BuildReferenceTables(src.path(), out.path(), &errors));
        QVERIFY2(errors.contains(problem), qPrintable(errors.join(u'\n')));
        // Nothing in the program folder changed.
        QFile old(out.path() + QStringLiteral("/OW.DBF"));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot),
                 QStringList{"OW.DBF"});
    }

    // The shipped classifier data builds, and the tables read back as the CSV says.
    void buildsTheShippedData()
    {
        QTemporaryDir out;
        // an old table in another spelling is replaced, not left beside the new one
        writeFile(out.path() + QStringLiteral("/cont.dbf"), "old");
        QStringList errors;
        QVERIFY2(BuildReferenceTables(refdataDir(), out.path(), &errors), qPrintable(errors.join(u'\n')));
        QStringList files = QDir(out.path()).entryList(QDir::Files);
        files.sort();
        QCOMPARE(files, (QStringList{"CONT.DBF", "CY.DBF", "CY.IDX", "DP.DBF", "EA.DBF", "OBL.DBF", "OW.DBF"}));

        TApolloTable cont(QStringLiteral("tblCont"));
        cont.setTableName(out.path() + QStringLiteral("/CONT.DBF"));
        cont.Open();
        QCOMPARE(cont.VisibleRecNos().size(), 138);
        QCOMPARE(cont.FieldByName(QStringLiteral("CODE"))->AsString(), QStringLiteral("01001"));
        QCOMPARE(cont.FieldByName(QStringLiteral("LIMIT"))->AsFloat(), 0.001);
        QVERIFY(cont.FieldByName(QStringLiteral("DESCR"))->AsString().startsWith(QStringLiteral("Арсен")));

        // CY is seen in code order through its index, and seeks work.
        TApolloTable cy(QStringLiteral("tblCY"));
        cy.setTableName(out.path() + QStringLiteral("/CY.DBF"));
        cy.Open();
        QVERIFY(cy.IndexOpen(out.path() + QStringLiteral("/CY.IDX")) != 0);
        QString prev;
        int n = 0;
        for (cy.First(); !cy.Eof(); cy.Next(), ++n) {
            const QString code = cy.FieldByName(QStringLiteral("CODE"))->AsString();
            QVERIFY2(prev <= code, qPrintable(prev + u' ' + code));
            prev = code;
        }
        QCOMPARE(n, 30316);
        QCOMPARE(cy.Lookup(QStringLiteral("CODE"), QStringLiteral("0110100000"), QStringLiteral("DESCR")).toString(),
                 QStringLiteral("СІМФЕРОПОЛЬ"));
    }
};

QTEST_GUILESS_MAIN(RefDataTest)
#include "refdata_test.moc"
