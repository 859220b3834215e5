// Timings of the IDX module: building and writing, opening, and one change of a large index.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "idx.h"

namespace {

std::vector<xb::IdxEntry> randomCodes(size_t n)
{
    std::mt19937 rng(5);
    std::vector<xb::IdxEntry> v;
    v.reserve(n);
    for (size_t i = 0; i < n; ++i)
        v.push_back({xb::IdxFile::charKey(std::to_string(rng() % 1000000000), 10), uint32_t(i + 1)});
    return v;
}

std::string scratch(const char* name)
{
    return (std::filesystem::temp_directory_path() / (std::string("idx_bench_") + name)).string();
}

void BM_CreateChar10(benchmark::State& state)
{
    const auto entries = randomCodes(size_t(state.range(0)));
    const std::string path = scratch("create.idx");
    for (auto _ : state) {
        state.PauseTiming();   // the caller makes the keys; that is not the index's work
        std::vector<xb::IdxEntry> keys = entries;
        state.ResumeTiming();
        auto f = xb::IdxFile::create(path, "CODE", xb::IdxKeyType::Character, 10, std::move(keys), nullptr);
        benchmark::DoNotOptimize(f.get());
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_CreateChar10)->Arg(30000)->Unit(benchmark::kMillisecond);

void BM_OpenChar10(benchmark::State& state)
{
    const std::string path = scratch("open.idx");
    xb::IdxFile::create(path, "CODE", xb::IdxKeyType::Character, 10, randomCodes(size_t(state.range(0))), nullptr);
    for (auto _ : state) {
        auto f = xb::IdxFile::open(path, nullptr);
        benchmark::DoNotOptimize(f.get());
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_OpenChar10)->Arg(30000)->Unit(benchmark::kMillisecond);

void BM_InsertRemoveChar10(benchmark::State& state)
{
    const std::string path = scratch("insert.idx");
    auto f = xb::IdxFile::create(path, "CODE", xb::IdxKeyType::Character, 10,
        randomCodes(size_t(state.range(0))), nullptr);
    const xb::IdxEntry e{xb::IdxFile::charKey("5", 10), 999999};
    for (auto _ : state) {
        f->insert(e, nullptr);
        f->remove(e, nullptr);
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_InsertRemoveChar10)->Arg(100)->Arg(30000)->Unit(benchmark::kMicrosecond);

}   // namespace
