// The data module: the fields of the emission table, and opening and
// creating the work tables with every message in its order.

#include <QtTest>

#include "store/datamodule.h"
#include "store/errors.h"
#include "store/tests/support/datamoduletest.h"
#include "store/tests/support/storetestsupport.h"

using namespace emlo;
using namespace storetest;

namespace {

const QString kCreateHeading = QStringLiteral("Помилка утворення робочих таблиць:");
const QString kWorkHeading = QStringLiteral("Помилка відкриття робочіх таблиць:");

}  // namespace

class TestWorkTables : public DataModuleTest {
    Q_OBJECT

private slots:
    void definedFieldsOfTheEmissionTable();
    void emptyWorkingFolderGetsItsFiles();
    void failedCreationReportsAndOpeningGoesOn();
    void pendingAttributeEditGoesToTheOldFolder();
    void unusableTableIsReportedNeverReplaced_data();
    void unusableTableIsReportedNeverReplaced();
    void missingWorkTablesReportedWhenNotCreating();
};

void TestWorkTables::definedFieldsOfTheEmissionTable()
{
    makeReferenceTables();
    openAll();
    QCOMPARE(m_reporter.calls, QStringList());
    TApolloTable& data = *m_dm->tblData;
    QCOMPARE(data.FieldCount(), 6);
    const QStringList names = {u"CONTID"_qs, u"CODE"_qs, u"DESCR"_qs, u"POTEN"_qs, u"FACT"_qs, u"LIMIT"_qs};
    const QStringList classes = {u"TFloatField"_qs, u"TStringField"_qs, u"TStringField"_qs,
                                 u"TFloatField"_qs, u"TFloatField"_qs,  u"TFloatField"_qs};
    const QStringList labels = {u"CONTID"_qs,
                                u"Забруднююча речовина|Код"_qs,
                                u"Забруднююча речовина|найменування"_qs,
                                u"Потенцiйний обсяг викидiв, тонн/рiк"_qs,
                                u"Викиди за 2001 рiк (факт), тонн/рiк"_qs,
                                u"Пороговi значення потенцiйних викидiв, тонн/рiк"_qs};
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(data.Fields(i)->FieldName(), names.at(i));
        QCOMPARE(data.Fields(i)->ClassName(), classes.at(i));
        QCOMPARE(data.Fields(i)->DisplayName(), labels.at(i));
    }
    QVERIFY(!m_dm->tblDataCONTID->Visible());
    QCOMPARE(m_dm->tblDataCODE->FieldKind(), fkLookup);
    QCOMPARE(m_dm->tblDataCODE->DisplayWidth(), 8);
    QCOMPARE(m_dm->tblDataDESCR->DisplayWidth(), 30);
    QVERIFY(m_dm->tblDataLIMIT->ReadOnly());

    // A new emission record shows its pollutant from CONT at once.
    data.Insert();
    m_dm->tblDataCONTID->setAsInteger(1);
    m_dm->tblDataPOTEN->setAsFloat(1234.5);
    QCOMPARE(m_dm->tblDataCODE->AsString(), QStringLiteral("0001"));
    QCOMPARE(m_dm->tblDataDESCR->AsString(), QStringLiteral("Речовини у вигляді суспендованих твердих частинок"));
    QCOMPARE(m_dm->tblDataLIMIT->AsFloat(), 3.0);
    QCOMPARE(m_dm->tblDataPOTEN->DisplayText(), QStringLiteral("1234.500"));  // LC_ALL=C
    QCOMPARE(m_dm->tblDataLIMIT->DisplayText(), QStringLiteral("3"));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, m_dm->tblDataLIMIT->setAsFloat(1.0));
    data.Post();
    QCOMPARE(rawRecord(work(QStringLiteral("data.dbf")), 1), QByteArray("     1      1234.5000000                  "));
}

void TestWorkTables::emptyWorkingFolderGetsItsFiles()
{
    makeReferenceTables();
    openAll();
    QCOMPARE(m_reporter.calls, QStringList());
    QCOMPARE(filesIn(m_work->path()), (QStringList{u"attr.dbf"_qs, u"data.dbf"_qs, u"data.idx"_qs}));
    QVERIFY(m_dm->tblData->Active());
    QVERIFY(m_dm->tblAttr->Active());
    QVERIFY(m_dm->tblData->IsEmpty());
    QVERIFY(m_dm->tblAttr->IsEmpty());
    QCOMPARE(headerRecordCount(work(QStringLiteral("attr.dbf"))), 0);
    QCOMPARE(m_dm->tblData->IndexName(), QStringLiteral("data.idx"));
    // Opening the same folder again finds the files, creates nothing new.
    m_dm->OpenWorkTables();
    QCOMPARE(m_reporter.calls, QStringList());
    QCOMPARE(m_dm->tblData->IndexName(), work(QStringLiteral("data.idx")));
    for (TApolloTable* t : {m_dm->tblCont, m_dm->tblOW, m_dm->tblCY, m_dm->tblEA, m_dm->tblDP, m_dm->tblOBL})
        QVERIFY2(t->Active(), qPrintable(t->Name()));
}

void TestWorkTables::failedCreationReportsAndOpeningGoesOn()
{
    makeReferenceTables();
    m_dm->OpenReferenceTables();
    m_dm->WorkPath = m_work->path() + QStringLiteral("/gone/");
    m_dm->OpenWorkTables();
    const QString dataPath = m_dm->WorkPath + QStringLiteral("data.dbf");
    const QString attrPath = m_dm->WorkPath + QStringLiteral("attr.dbf");
    const QChar cr(u'\r');
    const QString notThere = QStringLiteral("Table does not exist.") + cr
        + QStringLiteral("File or directory does not exist.") + cr + QStringLiteral("File: ");
    // The creation reports and returns; opening the table then fails on its
    // own and ends the procedure, so ATTR is never reached.
    QCOMPARE(m_reporter.calls,
             (QStringList{u"20001|"_qs + kCreateHeading + u"\r\n"_qs + u"неможливо утворити таблицю викидiв"_qs
                              + u"\r\nПапку не знайдено: "_qs + m_dm->WorkPath,
                          u"FatalStop"_qs, u"20002|"_qs + kWorkHeading + u"\r\n"_qs + notThere + dataPath,
                          u"FatalStop"_qs}));
    QVERIFY(!m_dm->tblData->Active());
    QVERIFY(!m_dm->tblAttr->Active());

    // The attribute table alone: its own creation message.
    m_reporter.calls.clear();
    m_dm->CreateTable(QStringLiteral("attr"));
    QCOMPARE(m_reporter.calls,
             (QStringList{u"20001|"_qs + kCreateHeading + u"\r\n"_qs + u"неможливо утворити таблицю реквізитів"_qs
                              + u"\r\nПапку не знайдено: "_qs + m_dm->WorkPath,
                          u"FatalStop"_qs}));
    Q_UNUSED(attrPath);

    // An index on a table that is not open: the layer's own text.
    m_reporter.calls.clear();
    m_dm->CreateTable(QStringLiteral("data_idx"));
    QCOMPARE(m_reporter.calls, QStringList());  // Flock on a closed table fails: nothing is done
}

void TestWorkTables::pendingAttributeEditGoesToTheOldFolder()
{
    makeReferenceTables();
    openAll();
    TApolloTable& attr = *m_dm->tblAttr;
    // The module's own listeners keep AttrModified: no page is needed.
    m_dm->dsAttr->Edit();  // an empty table: the attribute record starts
    QCOMPARE(attr.State(), dsInsert);
    QVERIFY(m_dm->AttrModified);
    attr.FieldByName(QStringLiteral("ENNAME"))->setAsString(QStringLiteral("ПАТ «Завод»"));

    QTemporaryDir other;
    const QString oldAttr = work(QStringLiteral("attr.dbf"));
    m_dm->WorkPath = other.path() + u'/';
    m_dm->OpenWorkTables();
    QVERIFY(!m_dm->AttrModified);
    QCOMPARE(headerRecordCount(oldAttr), 1);
    QCOMPARE(rawRecord(oldAttr, 1).mid(1, 11), QByteArray("\xcf\xc0\xd2 \xab\xc7\xe0\xe2\xee\xe4\xbb"));
    QCOMPARE(headerRecordCount(other.path() + QStringLiteral("/attr.dbf")), 0);
    QCOMPARE(attr.FilePath(), other.path() + QStringLiteral("/attr.dbf"));
}

// Something of the table's name that is not a usable table (a second
// spelling, a link to an unmounted disk, a folder) is reported; a new empty
// table is never made over it or beside it.
void TestWorkTables::unusableTableIsReportedNeverReplaced_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("message");  // %1: the working folder with its "/"
    QTest::newRow("two spellings") << "both"
                                   << "У папці %1 є кілька файлів, назви яких різняться лише великими й малими "
                                      "літерами: DATA.DBF, data.dbf. Невідомо, який з них використовувати; "
                                      "залиште тільки один.";
    QTest::newRow("link to nowhere") << "link"
                                     << "Table does not exist.\rFile or directory does not exist.\rFile: "
                                        "%1data.dbf\rПосилання веде до файлу, якого немає: /nonexistent/disk/DATA.DBF";
    QTest::newRow("folder of that name") << "folder"
                                         << "Unable to open table: %1data.dbf\rЦе папка, а не файл таблиці.";
}

void TestWorkTables::unusableTableIsReportedNeverReplaced()
{
    QFETCH(QString, setup);
    QFETCH(QString, message);
    makeReferenceTables();
    const QVector<Column> layout = {{QStringLiteral("CONTID"), 'N', 5, 0},
                                    {QStringLiteral("POTEN"), 'N', 18, 7},
                                    {QStringLiteral("FACT"), 'N', 18, 7}};
    if (setup == u"both") {
        createTable(work(QStringLiteral("DATA.DBF")), layout);
        appendRows(work(QStringLiteral("DATA.DBF")), {{1, 1.0, 1.0}, {5, 2.0, 2.0}});
        // Made aside: the layer would take "data.dbf" for the existing DATA.DBF.
        QTemporaryDir aside;
        createTable(aside.filePath(QStringLiteral("data.dbf")), layout);
        appendRows(aside.filePath(QStringLiteral("data.dbf")), {{7, 1.0, 1.0}});
        QVERIFY(QFile::copy(aside.filePath(QStringLiteral("data.dbf")), work(QStringLiteral("data.dbf"))));
    } else if (setup == u"link") {
        QVERIFY(QFile::link(QStringLiteral("/nonexistent/disk/DATA.DBF"), work(QStringLiteral("DATA.DBF"))));
    } else {
        QVERIFY(QDir().mkdir(work(QStringLiteral("data.dbf"))));
    }
    const QStringList before = filesIn(m_work->path());
    openAll();
    QCOMPARE(m_reporter.calls,
             (QStringList{u"20002|"_qs + kWorkHeading + u"\r\n"_qs + message.arg(m_dm->WorkPath), u"FatalStop"_qs}));
    QVERIFY(!m_dm->tblData->Active());
    QCOMPARE(filesIn(m_work->path()), before);
    if (setup == u"both") {
        QCOMPARE(headerRecordCount(work(QStringLiteral("DATA.DBF"))), 2);
        QCOMPARE(headerRecordCount(work(QStringLiteral("data.dbf"))), 1);
    } else if (setup == u"link") {
        QVERIFY(QFileInfo(work(QStringLiteral("DATA.DBF"))).isSymLink());
    }
}

// The command-line program must not hand on an empty table in place of one
// that went missing: with creation off, a missing work table is an error.
void TestWorkTables::missingWorkTablesReportedWhenNotCreating()
{
    makeReferenceTables();
    createTable(work(QStringLiteral("ATTR.DBF")), {{QStringLiteral("ENNAME"), 'C', 100, 0}});
    m_dm->CreateMissingWorkFiles = false;
    openAll();
    QCOMPARE(m_reporter.calls,
             (QStringList{u"20002|"_qs + kWorkHeading + u"\r\n"_qs + u"У робочій папці "_qs + m_dm->WorkPath
                              + u" немає робочих таблиць: DATA.DBF"_qs,
                          u"FatalStop"_qs}));
    QCOMPARE(filesIn(m_work->path()), QStringList{u"ATTR.DBF"_qs});
    QVERIFY(!m_dm->tblData->Active());

    // Both missing: both named. A missing index alone is rebuilt as always.
    m_reporter.calls.clear();
    QFile::remove(work(QStringLiteral("ATTR.DBF")));
    m_dm->OpenWorkTables();
    QCOMPARE(m_reporter.calls.value(0),
             u"20002|"_qs + kWorkHeading + u"\r\n"_qs + u"У робочій папці "_qs + m_dm->WorkPath
                 + u" немає робочих таблиць: DATA.DBF, ATTR.DBF"_qs);
    m_reporter.calls.clear();
    createTable(work(QStringLiteral("DATA.DBF")),
                {{QStringLiteral("CONTID"), 'N', 5, 0},
                 {QStringLiteral("POTEN"), 'N', 18, 7},
                 {QStringLiteral("FACT"), 'N', 18, 7}});
    createTable(work(QStringLiteral("ATTR.DBF")), {{QStringLiteral("ENNAME"), 'C', 100, 0}});
    m_dm->OpenWorkTables();
    QCOMPARE(m_reporter.calls, QStringList());
    QVERIFY(QFileInfo::exists(work(QStringLiteral("data.idx"))));
}

STORE_TEST_MAIN(TestWorkTables)

#include "tst_worktables.moc"
