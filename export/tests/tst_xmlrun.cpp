// A run of the XML export writer: the checks before writing, the table before
// and after a run, and what is left on disk when a run fails.

#include <sys/resource.h>

#include <csignal>

#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include "export/exporttable.h"
#include "export/vxmlexport.h"
#include "store/cp1251.h"
#include "store/errors.h"
#include "export/tests/support/exportfixture.h"

using namespace emlo;
using namespace emlo::testing;

class TestXmlRun : public QObject {
    Q_OBJECT
private slots:
    void failedCheckCreatesNoFile_data();
    void failedCheckCreatesNoFile();
    void tableIsLeftAtEndAndSettingsCleared();
    void closedTableIsOpenedAndClosedAgain();
    void unwritableAttrFileStopsBeforeDataFile();
    void missingFolderNamesTheFullPath();
    void errorDuringRunKeepsPreviousTarget();
    void writeErrorKeepsPreviousTarget();
    void completedAttrFileStaysWhenDataFileFails();
    void existingFileInOtherLetterCaseIsReplaced();
};

namespace {

// Fails the value of the second record, as a read error of the table would.
class FailingSecondRecord : public TVXMLExport {
public:
    QString GetFieldText(const TField& field) const override
    {
        if (field.FieldName() == QLatin1String("CONTID") && ++m_rows == 2)
            throw EApolloError(QStringLiteral("Read error"));
        return TVXMLExport::GetFieldText(field);
    }

private:
    mutable int m_rows = 0;
};

// Lowers the largest file size this process may write, so that writes beyond
// it fail as on a full disk; restores the limit when it goes.
class ExportSizeLimit {
public:
    explicit ExportSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~ExportSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }
    bool ok() const { return m_ok; }

private:
    rlimit m_saved{};
    bool m_ok = false;
};

}  // namespace

void TestXmlRun::failedCheckCreatesNoFile_data()
{
    QTest::addColumn<bool>("withFileName");
    QTest::addColumn<bool>("withDataset");
    QTest::addColumn<bool>("tableOpen");
    QTest::addColumn<QString>("error");
    QTest::newRow("no file name") << false << true << true << QStringLiteral("Invalid file name!");
    QTest::newRow("no table") << true << false << true << QStringLiteral("Dataset not assigned!");
    QTest::newRow("closed table") << true << true << false << QStringLiteral("Dataset not active!");
}

void TestXmlRun::failedCheckCreatesNoFile()
{
    QFETCH(bool, withFileName);
    QFETCH(bool, withDataset);
    QFETCH(bool, tableOpen);
    QFETCH(QString, error);

    ProgramFolder fx(kExportPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    if (!tableOpen)
        dm.tblData->Close();

    TVXMLExport expXML;
    if (withFileName)
        expXML.FileName = fx.OutDir() + QStringLiteral("data.xml");
    if (withDataset)
        expXML.setDataset(dm.tblData);
    QString raised;
    try {
        expXML.Execute();
    } catch (const Exception& e) {
        raised = e.Message;
    }
    QCOMPARE(raised, error);
    QCOMPARE(FolderEntries(fx.OutDir()), QStringList());
}

void TestXmlRun::tableIsLeftAtEndAndSettingsCleared()
{
    ProgramFolder fx(kExportPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.AddData(7, 1.0, 1.0);
    fx.AddData(3, 2.0, 2.0);
    dm.tblData->First();

    TVXMLExport expXML;
    ExportTable(expXML, *dm.tblData, fx.OutDir() + QStringLiteral("data.xml"));
    QVERIFY(dm.tblData->Eof());
    QVERIFY(dm.tblData->Active());
    QVERIFY(expXML.ExportedFields.isEmpty());
    // Index order: CONTID 3 before 7.
    const QStringList rows = rowLines(ReadFile(fx.OutDir() + QStringLiteral("data.xml")));
    QCOMPARE(rows.size(), 2);
    QVERIFY(rows[0].startsWith(QLatin1String(R"(<ROW CONTID="3,000")")));
}

void TestXmlRun::closedTableIsOpenedAndClosedAgain()
{
    ProgramFolder fx;
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.WriteAttr({{QStringLiteral("ENNAME"), QStringLiteral("Завод")}});
    dm.tblAttr->Close();

    TVXMLExport expXML;
    QVERIFY(ExportTable(expXML, *dm.tblAttr, fx.OutDir() + QStringLiteral("attr.xml")));
    QVERIFY(!dm.tblAttr->Active());
    QVERIFY(
        fromCp1251(ReadFile(fx.OutDir() + QStringLiteral("attr.xml"))).contains(QStringLiteral(R"(ENNAME="Завод")")));

    // Also after a failed run.
    QVERIFY(QDir(fx.OutDir()).mkdir(QStringLiteral("blocked.xml")));
    QVERIFY_THROWS_EXCEPTION(Exception, ExportTable(expXML, *dm.tblAttr, fx.OutDir() + QStringLiteral("blocked.xml")));
    QVERIFY(!dm.tblAttr->Active());
    QVERIFY(expXML.ExportedFields.isEmpty());
}

void TestXmlRun::unwritableAttrFileStopsBeforeDataFile()
{
    ProgramFolder fx(kExportPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.AddData(3, 1.0, 1.0);
    // A folder in the way of attr.xml: the file cannot be created there,
    // while data.xml could be.
    QVERIFY(QDir(fx.OutDir()).mkdir(QStringLiteral("attr.xml")));

    TVXMLExport expXML;
    QString error;
    try {
        ExportWorkFiles(expXML, dm, fx.OutDir());
    } catch (const Exception& e) {
        error = e.Message;
    }
    QCOMPARE(error, QStringLiteral("Cannot create file ") + fx.OutDir() + QStringLiteral("attr.xml"));
    QCOMPARE(FolderEntries(fx.OutDir()), QStringList{QStringLiteral("attr.xml")});
}

void TestXmlRun::missingFolderNamesTheFullPath()
{
    ProgramFolder fx;
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    const QString folder = fx.OutDir() + QStringLiteral("no/such/folder/");

    TVXMLExport expXML;
    QString error;
    try {
        ExportWorkFiles(expXML, dm, folder);
    } catch (const Exception& e) {
        error = e.Message;
    }
    QCOMPARE(error, QStringLiteral("Cannot create file ") + folder + QStringLiteral("attr.xml"));
    QVERIFY(!QFileInfo::exists(fx.OutDir() + QStringLiteral("no")));
}

void TestXmlRun::errorDuringRunKeepsPreviousTarget()
{
    ProgramFolder fx(kExportPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.AddData(3, 1.0, 1.0);
    fx.AddData(7, 2.0, 2.0);
    const QString path = fx.OutDir() + QStringLiteral("data.xml");
    WriteFile(path, "previous export\r\n");

    FailingSecondRecord expXML;
    QCOMPARE(exportTable(*dm.tblData, path, &expXML), QStringLiteral("Read error"));
    QCOMPARE(ReadFile(path), QByteArray("previous export\r\n"));
    QCOMPARE(FolderEntries(fx.OutDir()), QStringList{QStringLiteral("data.xml")});

    // Without an earlier file nothing is left at all.
    QVERIFY(QFile::remove(path));
    FailingSecondRecord again;
    QCOMPARE(exportTable(*dm.tblData, path, &again), QStringLiteral("Read error"));
    QCOMPARE(FolderEntries(fx.OutDir()), QStringList());
}

void TestXmlRun::writeErrorKeepsPreviousTarget()
{
    ProgramFolder fx(kExportPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    for (int i = 0; i < 20; ++i)
        fx.AddData(3, 1.0 + i, 2.0);
    const QString path = fx.OutDir() + QStringLiteral("data.xml");
    WriteFile(path, "previous export\r\n");

    QString error;
    {
        // The file being written outgrows the limit: its writes fail as on a full disk.
        ExportSizeLimit limit(1024);
        QVERIFY(limit.ok());
        error = exportTable(*dm.tblData, path);
    }
    QCOMPARE(error, QStringLiteral("Stream write error"));
    QCOMPARE(ReadFile(path), QByteArray("previous export\r\n"));
    QCOMPARE(FolderEntries(fx.OutDir()), QStringList{QStringLiteral("data.xml")});
}

void TestXmlRun::completedAttrFileStaysWhenDataFileFails()
{
    ProgramFolder fx(kExportPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.WriteAttr({{QStringLiteral("ENNAME"), QStringLiteral("Завод")}});
    QVERIFY(QDir(fx.OutDir()).mkdir(QStringLiteral("data.xml")));

    TVXMLExport expXML;
    QString error;
    try {
        ExportWorkFiles(expXML, dm, fx.OutDir());
    } catch (const Exception& e) {
        error = e.Message;
    }
    QCOMPARE(error, QStringLiteral("Cannot create file ") + fx.OutDir() + QStringLiteral("data.xml"));
    const QString attr = fromCp1251(ReadFile(fx.OutDir() + QStringLiteral("attr.xml")));
    QVERIFY(attr.contains(QStringLiteral(R"(ENNAME="Завод")")));
    QVERIFY(attr.endsWith(QStringLiteral("</ROWDATA>\r\n</DATAPACKET>\r\n")));
}

void TestXmlRun::existingFileInOtherLetterCaseIsReplaced()
{
    ProgramFolder fx;
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.WriteAttr({{QStringLiteral("ENNAME"), QStringLiteral("Завод")}});
    WriteFile(fx.OutDir() + QStringLiteral("ATTR.XML"), "old\r\n");

    TVXMLExport expXML;
    QVERIFY(ExportTable(expXML, *dm.tblAttr, fx.OutDir() + QStringLiteral("attr.xml")));
    QCOMPARE(FolderEntries(fx.OutDir()), QStringList{QStringLiteral("ATTR.XML")});
    QVERIFY(fromCp1251(ReadFile(fx.OutDir() + QStringLiteral("ATTR.XML"))).contains(QStringLiteral("Завод")));
}

int main(int argc, char** argv)
{
    // Pin the user's locale before Qt reads it: the expected texts use a comma.
    qputenv("LC_ALL", "uk_UA.UTF-8");
    QCoreApplication app(argc, argv);
    TestXmlRun test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_xmlrun.moc"
