// The XML export of a full enterprise: CONT with the 138 pollutants, one
// emission record for each of them (look-ups resolved through CONT for every
// row), and the attribute record filled in.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "export/exporttable.h"
#include "export/vxmlexport.h"
#include "store/apollotable.h"
#include "export/tests/support/exportfixture.h"

using namespace emlo;

namespace {

using emlo::testing::ContRow;
using emlo::testing::ProgramFolder;

constexpr int kPollutants = 138;

std::unique_ptr<ProgramFolder> makeFullEnterprise()
{
    QList<ContRow> cont;
    for (int id = 1; id <= kPollutants; ++id) {
        cont.append({id, QStringLiteral("%1").arg(id, 4, 10, QLatin1Char('0')),
                     QStringLiteral("Забруднююча речовина № %1 (сполуки \"А\" & \"Б\")").arg(id), 0.5 * id});
    }
    auto fx = std::make_unique<ProgramFolder>(cont);
    if (!fx->IsValid())
        return nullptr;
    fx->Open();
    fx->WriteAttr(ProgramFolder::FullAttr());
    for (int id = kPollutants; id >= 1; --id)
        fx->AddData(id, 0.125 * id + 0.0000001, 0.0625 * id);
    return fx;
}

void exportOne(benchmark::State& state, bool data)
{
    auto fx = makeFullEnterprise();
    if (!fx) {
        state.SkipWithError("fixture");
        return;
    }
    emlo::TVXMLExport expXML;
    emlo::ApplyProgramSettings(expXML);
    TApolloTable& table = data ? *fx->Data().tblData : *fx->Data().tblAttr;
    const QString path = fx->OutDir() + (data ? QStringLiteral("data.xml") : QStringLiteral("attr.xml"));
    for (auto _ : state)
        benchmark::DoNotOptimize(emlo::ExportTable(expXML, table, path));
}

void BM_ExportData(benchmark::State& state)
{
    exportOne(state, true);
}
BENCHMARK(BM_ExportData)->Unit(benchmark::kMillisecond);

void BM_ExportAttr(benchmark::State& state)
{
    exportOne(state, false);
}
BENCHMARK(BM_ExportAttr)->Unit(benchmark::kMillisecond);

// What the transfer command writes: both files.
void BM_ExportWorkFiles(benchmark::State& state)
{
    auto fx = makeFullEnterprise();
    if (!fx) {
        state.SkipWithError("fixture");
        return;
    }
    emlo::TVXMLExport expXML;
    emlo::ApplyProgramSettings(expXML);
    for (auto _ : state)
        emlo::ExportWorkFiles(expXML, fx->Data(), fx->OutDir());
}
BENCHMARK(BM_ExportWorkFiles)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
