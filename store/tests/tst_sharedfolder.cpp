// The data module on a working folder that other copies of the program
// use at the same time: a lock held, a table made meanwhile, several
// copies starting at once.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <QProcess>
#include <QtTest>

#include "store/datamodule.h"
#include "store/errors.h"
#include "store/tests/support/datamoduletest.h"
#include "store/tests/support/storetestsupport.h"

using namespace emlo;
using namespace storetest;

namespace {

// A copy of the program starting on a working folder: opens (creating what
// is missing) and stores one emission record.
int startOn(const QString& programFolder, const QString& workFolder, int contId)
{
    struct Silent : DataModuleReporter {
        bool failed = false;
        void ShowError(const QString& text, int) override
        {
            failed = true;
            std::fprintf(stderr, "%s\n", qPrintable(text));
        }
        void FatalStop() override { failed = true; }
    } reporter;
    TDataModule dm(&reporter);
    dm.ProgramPath = programFolder;
    dm.WorkPath = workFolder;
    dm.OpenReferenceTables();
    dm.OpenWorkTables();
    if (reporter.failed)
        return 3;
    try {
        dm.tblData->Append();
        dm.tblDataCONTID->setAsInteger(contId);
        dm.tblData->Post();
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 4;
    }
    return 0;
}

}  // namespace

class TestSharedFolder : public DataModuleTest {
    Q_OBJECT

private slots:
    void lockedDataTableIsUsedWithoutIndex();
    void tableMadeMeanwhileIsOpenedNotReplaced();
    void programsStartingOnANewFolderShareOneTable();
};

void TestSharedFolder::lockedDataTableIsUsedWithoutIndex()
{
    makeReferenceTables();
    const QString data = work(QStringLiteral("data.dbf"));
    createTable(data, catalogColumns("DATA"));
    appendRows(data, {{132, 1.0, 1.0}, {5, 2.0, 2.0}});
    LockHolder holder;
    QVERIFY(holder.start(data, LockHolder::Record, 1));
    openAll();
    QCOMPARE(m_reporter.calls, QStringList());
    QVERIFY(!QFileInfo::exists(work(QStringLiteral("data.idx"))));
    QCOMPARE(m_dm->tblData->IndexName(), QString());
    QCOMPARE(contIdsInOrder(*m_dm->tblData), (QVector<int>{132, 5}));
}

// The table was found missing, but another copy of the program made it
// before this one could: that table is opened, never replaced.
void TestSharedFolder::tableMadeMeanwhileIsOpenedNotReplaced()
{
    makeReferenceTables();
    m_dm->OpenReferenceTables();
    createTable(work(QStringLiteral("data.dbf")),
                {{QStringLiteral("CONTID"), 'N', 5, 0},
                 {QStringLiteral("POTEN"), 'N', 18, 7},
                 {QStringLiteral("FACT"), 'N', 18, 7}});
    appendRows(work(QStringLiteral("data.dbf")), {{5, 1.0, 1.0}, {18, 2.0, 2.0}});
    m_dm->CreateTable(QStringLiteral("data"));
    QCOMPARE(m_reporter.calls, QStringList());
    QCOMPARE(headerRecordCount(work(QStringLiteral("data.dbf"))), 2);
    m_dm->OpenWorkTables();
    QCOMPARE(m_reporter.calls, QStringList());
    QCOMPARE(contIdsInOrder(*m_dm->tblData), (QVector<int>{5, 18}));
}

// Several copies of the program started at once on a new folder: each one
// creates what it finds missing, and every record any of them stores ends
// up in the one table (none in a file that was replaced under it).
void TestSharedFolder::programsStartingOnANewFolderShareOneTable()
{
    makeReferenceTables();
    m_dm->OpenReferenceTables();  // the settlement index is there, as installed
    constexpr int kCopies = 4;
    for (int round = 0; round < 3; ++round) {
        QTemporaryDir folder;
        std::vector<std::unique_ptr<QProcess>> copies;
        for (int i = 0; i < kCopies; ++i) {
            auto process = std::make_unique<QProcess>();
            process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process->start(QCoreApplication::applicationFilePath(),
                           {QStringLiteral("--start-on"), m_program->path() + u'/', folder.path() + u'/',
                            QString::number(100 + i)});
            copies.push_back(std::move(process));
        }
        for (auto& process : copies) {
            QVERIFY(process->waitForFinished(60000));
            QCOMPARE(process->exitCode(), 0);
        }
        QCOMPARE(filesIn(folder.path()), (QStringList{u"attr.dbf"_qs, u"data.dbf"_qs, u"data.idx"_qs}));
        m_dm->WorkPath = folder.path() + u'/';
        m_dm->OpenReferenceTables();
        m_dm->OpenWorkTables();
        QCOMPARE(m_reporter.calls, QStringList());
        QCOMPARE(contIdsInOrder(*m_dm->tblData), (QVector<int>{100, 101, 102, 103}));
        m_dm->tblData->Close();
        m_dm->tblAttr->Close();
    }
}

int main(int argc, char** argv)
{
    if (argc == 5 && QByteArray(argv[1]) == "--start-on") {
        QCoreApplication app(argc, argv);
        return startOn(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), std::atoi(argv[4]));
    }
    int childExit = 0;
    if (storetest::runChildIfAsked(argc, argv, &childExit))
        return childExit;
    QCoreApplication app(argc, argv);
    TestSharedFolder tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_sharedfolder.moc"
