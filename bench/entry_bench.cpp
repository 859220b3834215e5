// Type-ahead and list filling of the settlement boxes over the full CY table
// of the program folder (about 30,000 settlements, in CY.IDX order).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>

#include "entry/coderules.h"
#include "store/datamodule.h"
#include "widgets/db/dblookupcombo.h"
#include "widgets/db/lookuplist.h"

using namespace emlo;

namespace {

class SilentReporter : public DataModuleReporter {
public:
    void ShowError(const QString& text, int) override { qWarning("%s", qPrintable(text)); }
    void FatalStop() override { qFatal("the tables could not be opened"); }
};

// The program's tables over the program folder and an empty working folder.
struct Tables {
    Tables()
    {
        dm.ProgramPath = QStringLiteral(EMLO_PROGRAM_DIR);
        dm.WorkPath = work.path() + QLatin1Char('/');
        dm.OpenReferenceTables();
        dm.OpenWorkTables();
        list = LookupList::ForSource(dm.dsCY);
    }
    QTemporaryDir work;
    SilentReporter reporter;
    TDataModule dm{&reporter};
    std::shared_ptr<LookupList> list;
};

Tables& tables()
{
    static Tables t;
    return t;
}

// Filling the list a settlement box shows: the visible settlements and the
// code and name columns, after the query changed.
void BM_FillSettlementList(benchmark::State& state, const QString& regionCode)
{
    Tables& t = tables();
    const QString query = regionCode.isEmpty() ? QString() : RegionQuery(regionCode);
    for (auto _ : state) {
        state.PauseTiming();
        t.dm.tblCY->Query(QStringLiteral("CODE = \"99\""));  // another set, so that the list is read anew
        t.list->Count();
        state.ResumeTiming();
        t.dm.tblCY->Query(query);
        benchmark::DoNotOptimize(t.list->Count());
        benchmark::DoNotOptimize(t.list->Text(0, QStringLiteral("CODE")));
        benchmark::DoNotOptimize(t.list->Text(0, QStringLiteral("DESCR")));
    }
    state.counters["entries"] = t.list->Count();
}
BENCHMARK_CAPTURE(BM_FillSettlementList, all, QString())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FillSettlementList, region_12, QStringLiteral("1200000000"))->Unit(benchmark::kMillisecond);

// The search of one keystroke alone: the first name beginning with the text.
void BM_PrefixSearch(benchmark::State& state, const QString& prefix)
{
    Tables& t = tables();
    t.dm.tblCY->Query(QString());
    t.list->Text(0, QStringLiteral("DESCR"));
    for (auto _ : state)
        benchmark::DoNotOptimize(t.list->FindPrefix(QStringLiteral("DESCR"), prefix));
}
BENCHMARK_CAPTURE(BM_PrefixSearch, early_match, QStringLiteral("с"))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PrefixSearch, no_match, QStringLiteral("щщщ"))->Unit(benchmark::kMicrosecond);

// One keystroke in the settlement name box as the user types it: search,
// choice, the list put on the chosen entry, the box's text completed.
void BM_TypeAheadKeystroke(benchmark::State& state)
{
    Tables& t = tables();
    t.dm.tblCY->Query(QString());
    DbLookupCombo box;
    box.setListSource(t.dm.dsCY);
    box.setKeyField(QStringLiteral("DESCR"));
    box.setDisplayField(QStringLiteral("DESCR"));
    box.setListFields({QStringLiteral("CODE"), QStringLiteral("DESCR")});
    box.setDataSource(t.dm.dsAttr);
    box.setDataField(QStringLiteral("CITY_DESCR"));
    // The letters whose first names stand furthest down the list (rows
    // 16,638 and 8,803 of 30,316 in code order): the slowest keystrokes.
    const QChar letters[] = {QChar(u'ї'), QChar(u'е')};
    int i = 0;
    for (auto _ : state) {
        box.setKeyValue(box.KeyValue());  // a fresh search
        box.TypeChar(letters[i++ % 2]);
    }
    t.dm.tblAttr->Cancel();
}
BENCHMARK(BM_TypeAheadKeystroke)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
