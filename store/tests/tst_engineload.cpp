// Loading the engine library: a missing library or a library without every
// function is one failure, reported once with the program's own message,
// after which nothing calls into the engine.

#include <dlfcn.h>

#include <QtTest>

#include "store/apolloenv.h"
#include "store/apollotable.h"
#include "store/engine.h"
#include "store/errors.h"

using namespace emlo;

class TestEngineLoad : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanupTestCase();
    void missingLibraryIsReportedOnceAndTablesFail();
    void libraryWithoutEveryFunctionIsRefusedUnused();
    void libraryOfAnOlderInterfaceIsRefusedUnused();
    void settingsComponentReportsTheFailedLoad();

private:
    QStringList m_reports;
};

void TestEngineLoad::init()
{
    m_reports.clear();
    ApolloEngine::Reset();
    ApolloEngine::setLoadFailureHandler([this](const QString& message) { m_reports << message; });
}

void TestEngineLoad::cleanupTestCase()
{
    ApolloEngine::Reset();
}

void TestEngineLoad::missingLibraryIsReportedOnceAndTablesFail()
{
    ApolloEngine::setLibraryFileName(QStringLiteral("/nonexistent/folder/libsde50.so"));
    QVERIFY(!ApolloEngine::Load());
    QVERIFY(!ApolloEngine::Load());
    QCOMPARE(m_reports, QStringList{QStringLiteral("Unable to load required Apollo DLL: SDE50.DLL")});

    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(QStringLiteral("/tmp/whatever.dbf"));
    try {
        table.Open();
        QFAIL("Open succeeded without an engine");
    } catch (const EApolloError& e) {
        QCOMPARE(e.Message, QStringLiteral("Unable to load required Apollo DLL: SDE50.DLL"));
    }
    QVERIFY(!table.Active());
    QCOMPARE(table.CreateNew(QStringLiteral("/tmp/x.dbf"), 2, 1), short(0));
    QCOMPARE(m_reports.size(), 1);
}

void TestEngineLoad::libraryWithoutEveryFunctionIsRefusedUnused()
{
    ApolloEngine::setLibraryFileName(QStringLiteral(PARTIAL_ENGINE_PATH));
    QVERIFY(!ApolloEngine::Load());
    QCOMPARE(m_reports, QStringList{QStringLiteral("Unable to load required Apollo DLL: SDE50.DLL")});

    void* handle = dlopen(PARTIAL_ENGINE_PATH, RTLD_NOW);
    QVERIFY(handle);
    const int* calls = static_cast<const int*>(dlsym(handle, "partial_engine_calls"));
    QVERIFY(calls);
    QCOMPARE(*calls, 0);
    dlclose(handle);
}

void TestEngineLoad::libraryOfAnOlderInterfaceIsRefusedUnused()
{
    // Held open here, so that its call counter outlives the loader's dlclose.
    void* handle = dlopen(OLD_ENGINE_PATH, RTLD_NOW);
    QVERIFY(handle);
    const int* calls = static_cast<const int*>(dlsym(handle, "old_engine_calls"));
    QVERIFY(calls);

    ApolloEngine::setLibraryFileName(QStringLiteral(OLD_ENGINE_PATH));
    QVERIFY(!ApolloEngine::Load());
    QVERIFY(!ApolloEngine::Load());
    QCOMPARE(m_reports,
             QStringList{QStringLiteral("Unable to load required Apollo DLL: SDE50.DLL\r\nБібліотека рушія "
                                        "таблиць застаріла: версія інтерфейсу 1, програмі потрібна 2.")});
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(QStringLiteral("/tmp/whatever.dbf"));
    QVERIFY_THROWS_EXCEPTION(EApolloError, table.Open());
    QCOMPARE(m_reports.size(), 1);
    QCOMPARE(*calls, 0);
    dlclose(handle);
}

void TestEngineLoad::settingsComponentReportsTheFailedLoad()
{
    ApolloEngine::setLibraryFileName(QStringLiteral(PARTIAL_ENGINE_PATH));
    TApolloEnv env;
    env.setApplyTo(atLocal);
    env.setDeleted(true);
    QCOMPARE(m_reports.size(), 1);
    TApolloEnv::Current()->Apply();  // nothing more is reported or called
    QCOMPARE(m_reports.size(), 1);
}

QTEST_GUILESS_MAIN(TestEngineLoad)
#include "tst_engineload.moc"
