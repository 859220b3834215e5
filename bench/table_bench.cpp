// Hot paths of the table layer over the engine: full scan with decoding,
// indexed look-up, the prefix query the settlement boxes use, and posting.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include "store/apollotable.h"
#include "store/fields.h"

using namespace emlo;

namespace {

// A CY-like table of n records in pseudo-random code order, with its index.
struct Fixture {
    QTemporaryDir dir;
    QString dbf, idx;

    explicit Fixture(int n)
    {
        dbf = dir.filePath(QStringLiteral("CY.DBF"));
        idx = dir.filePath(QStringLiteral("CY.IDX"));
        TApolloTable t(QStringLiteral("tblCY"));
        t.CreateNew(dbf, 2, 3);
        t.CreateField(QStringLiteral("CYID"), QStringLiteral("N"), 5, 0);
        t.CreateField(QStringLiteral("CODE"), QStringLiteral("C"), 10, 0);
        t.CreateField(QStringLiteral("DESCR"), QStringLiteral("C"), 100, 0);
        t.CreateExec();
        t.setTableName(dbf);
        t.setSyncOnPost(false);
        t.Open();
        unsigned x = 12345;
        for (int i = 1; i <= n; ++i) {
            x = x * 1103515245u + 12345u;
            const int region = 1 + int((x >> 8) % 27);
            t.Append();
            t.FieldByName(QStringLiteral("CYID"))->setAsInteger(i);
            t.FieldByName(QStringLiteral("CODE"))
                ->setAsString(QStringLiteral("%1%2")
                                  .arg(region * 3 + 2, 2, 10, QChar(u'0'))
                                  .arg((x >> 4) % 100000000, 8, 10, QChar(u'0')));
            t.FieldByName(QStringLiteral("DESCR"))->setAsString(QStringLiteral("НАСЕЛЕНИЙ ПУНКТ %1").arg(i));
            t.Post();
        }
        t.Index(idx, QStringLiteral("CODE"));
        t.Close();
    }
};

Fixture& cy()
{
    static Fixture f(30000);
    return f;
}

void BM_ScanDecode(benchmark::State& state)
{
    TApolloTable t(QStringLiteral("tblCY"));
    t.setTableName(cy().dbf);
    t.Open();
    for (auto _ : state) {
        long sum = 0;
        for (t.First(); !t.Eof(); t.Next())
            sum += t.Fields(0)->AsInteger() + t.Fields(1)->AsString().size() + t.Fields(2)->AsString().size();
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 30000);
}
BENCHMARK(BM_ScanDecode)->Unit(benchmark::kMillisecond);

void BM_IndexedLookup(benchmark::State& state)
{
    TApolloTable t(QStringLiteral("tblCY"));
    t.setTableName(cy().dbf);
    t.Open();
    t.IndexOpen(cy().idx);
    t.setRecNo(15000);
    const QString code = t.FieldByName(QStringLiteral("CODE"))->AsString();
    for (auto _ : state)
        benchmark::DoNotOptimize(t.Lookup(QStringLiteral("CODE"), code, QStringLiteral("DESCR")));
}
BENCHMARK(BM_IndexedLookup)->Unit(benchmark::kMicrosecond);

void BM_PrefixQuery(benchmark::State& state)
{
    TApolloTable t(QStringLiteral("tblCY"));
    t.setTableName(cy().dbf);
    t.Open();
    t.IndexOpen(cy().idx);
    for (auto _ : state) {
        t.Query(QStringLiteral("CODE = \"41\""));
        benchmark::DoNotOptimize(t.VisibleRecNos().size());
        t.Query(QString());
    }
}
BENCHMARK(BM_PrefixQuery)->Unit(benchmark::kMillisecond);

void BM_PostEdit(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString dbf = dir.filePath(QStringLiteral("DATA.DBF"));
    TApolloTable t(QStringLiteral("tblData"));
    t.CreateNew(dbf, 2, 3);
    t.CreateField(QStringLiteral("CONTID"), QStringLiteral("N"), 5, 0);
    t.CreateField(QStringLiteral("POTEN"), QStringLiteral("N"), 18, 7);
    t.CreateField(QStringLiteral("FACT"), QStringLiteral("N"), 18, 7);
    t.CreateExec();
    t.setTableName(dbf);
    t.Open();
    t.Index(dir.filePath(QStringLiteral("DATA.IDX")), QStringLiteral("CONTID"));
    for (int i = 1; i <= 138; ++i) {
        t.Append();
        t.FieldByName(QStringLiteral("CONTID"))->setAsInteger(i);
        t.Post();
    }
    t.First();
    double v = 0;
    for (auto _ : state) {
        t.Edit();
        t.FieldByName(QStringLiteral("FACT"))->setAsFloat(v += 0.5);
        t.Post();
    }
}
BENCHMARK(BM_PostEdit)->Unit(benchmark::kMicrosecond);

// Appending a record as the emissions page does, without and with the sync
// to the disk that Post makes by default (its cost decides that default).
void BM_PostAppend(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString dbf = dir.filePath(QStringLiteral("DATA.DBF"));
    TApolloTable t(QStringLiteral("tblData"));
    t.CreateNew(dbf, 2, 3);
    t.CreateField(QStringLiteral("CONTID"), QStringLiteral("N"), 5, 0);
    t.CreateField(QStringLiteral("POTEN"), QStringLiteral("N"), 18, 7);
    t.CreateField(QStringLiteral("FACT"), QStringLiteral("N"), 18, 7);
    t.CreateExec();
    t.setTableName(dbf);
    t.setSyncOnPost(state.range(0) != 0);
    t.Open();
    t.Index(dir.filePath(QStringLiteral("DATA.IDX")), QStringLiteral("CONTID"));
    int id = 0;
    for (auto _ : state) {
        t.Append();
        t.FieldByName(QStringLiteral("CONTID"))->setAsInteger(++id % 99999);
        t.FieldByName(QStringLiteral("POTEN"))->setAsFloat(id * 0.5);
        t.Post();
    }
}
BENCHMARK(BM_PostAppend)->Arg(0)->Arg(1)->ArgName("sync")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
