// The data check over a full enterprise: the attribute record filled in and
// one emission record for each of the 138 pollutants (the seven totals
// included, so every run edits them in place).
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "check/datacheck.h"
#include "store/apollotable.h"
#include "check/tests/support/checkfixture.h"

namespace {

using emlo::DataCheck;
using emlo::testing::CheckFixture;

std::unique_ptr<CheckFixture> makeFullEnterprise()
{
    auto fx = std::make_unique<CheckFixture>();
    if (!fx->IsValid())
        return nullptr;
    fx->Open();
    fx->WriteAttr(CheckFixture::FullAttr());
    // Stored in descending order, so the index does the ordering.
    for (int id = 138; id >= 1; --id)
        fx->AddData(id, 0.125 * id, 0.0625 * id);
    return fx;
}

void BM_CheckData(benchmark::State& state)
{
    auto fx = makeFullEnterprise();
    if (!fx) {
        state.SkipWithError("fixture");
        return;
    }
    DataCheck check(*fx->Data().tblAttr, *fx->Data().tblData);
    for (auto _ : state) {
        emlo::RemarkList rows;
        benchmark::DoNotOptimize(check.CheckData(&rows));
    }
}
BENCHMARK(BM_CheckData)->Unit(benchmark::kMillisecond);

void BM_CollectRemarks(benchmark::State& state)
{
    auto fx = makeFullEnterprise();
    if (!fx) {
        state.SkipWithError("fixture");
        return;
    }
    DataCheck check(*fx->Data().tblAttr, *fx->Data().tblData);
    for (auto _ : state)
        benchmark::DoNotOptimize(check.CollectRemarks());
}
BENCHMARK(BM_CollectRemarks)->Unit(benchmark::kMillisecond);

void BM_CalcGroupTotals(benchmark::State& state)
{
    auto fx = makeFullEnterprise();
    if (!fx) {
        state.SkipWithError("fixture");
        return;
    }
    DataCheck check(*fx->Data().tblAttr, *fx->Data().tblData);
    for (auto _ : state)
        check.CalcGroupTotals();
}
BENCHMARK(BM_CalcGroupTotals)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
