// Google Benchmark timings of the engine's main roads on a CY-like table of 30,000
// records (CYID N(5,0), CODE C(10), DESCR C(100), records in random code order):
// open + full scan, index build, prefix query with count, seek, appends.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "xbase/include/sde.h"

namespace {

namespace fs = std::filesystem;

struct Data {
    std::string dir, cy, idx, seekKey;

    Data()
    {
        char tmpl[] = "/tmp/xbase_bench_XXXXXX";
        dir = ::mkdtemp(tmpl);
        cy = dir + "/CY.DBF";
        idx = dir + "/CY.IDX";
        sx_CreateNew(cy.c_str(), "CY", SX_SDEFOX, 3);
        sx_CreateField("CYID", "N", 5, 0);
        sx_CreateField("CODE", "C", 10, 0);
        sx_CreateField("DESCR", "C", 100, 0);
        sx_CreateExec();
        std::mt19937 rng(1);
        std::string image(static_cast<size_t>(sx_RecSize()), ' ');
        for (int i = 1; i <= 30000; ++i) {
            char buf[128];
            std::snprintf(buf, sizeof buf, "%5d%02u%08u", i % 100000, static_cast<unsigned>(1 + rng() % 27),
                          static_cast<unsigned>(rng() % 100000000u));
            std::string code(buf + 5, 10);
            if (i == 15000)
                seekKey = code;
            image.replace(1, 5, buf, 5);
            image.replace(6, 10, code);
            std::string descr = "\xF1. \xC1\xEE\xE3\xE4\xE0\xED\xE8\xF7\xB3\xE2\xEA\xE0 " + std::to_string(i);
            descr.resize(100, ' ');
            image.replace(16, 100, descr);
            sx_AppendBlank();
            sx_PutRecord(image.data());
        }
        sx_Index(idx.c_str(), "CODE", 0, 0, "");
        sx_CloseAll();
    }
    ~Data() { fs::remove_all(dir); }
};

Data& data()
{
    static Data d;
    return d;
}

void openCy(bool withIndex)
{
    sx_SetDeleted(1);
    sx_Use(data().cy.c_str(), "CY", SX_READWRITE, SX_SDEFOX);
    if (withIndex)
        sx_SetOrder(sx_IndexOpen(data().idx.c_str()));
}

void BM_OpenAndScan(benchmark::State& state)
{
    std::string image(116, '\0');
    for (auto _ : state) {
        openCy(false);
        long n = 0;
        for (sx_GoTop(); !sx_Eof(); sx_Skip(1)) {
            sx_GetRecord(image.data());
            n += image[1];
        }
        benchmark::DoNotOptimize(n);
        sx_CloseAll();
    }
}
BENCHMARK(BM_OpenAndScan)->Unit(benchmark::kMillisecond);

void BM_BuildIndexOnCode(benchmark::State& state)
{
    const std::string idx = data().dir + "/BUILD.IDX";
    for (auto _ : state) {
        openCy(false);
        benchmark::DoNotOptimize(sx_Index(idx.c_str(), "CODE", 0, 0, ""));
        sx_CloseAll();
    }
}
BENCHMARK(BM_BuildIndexOnCode)->Unit(benchmark::kMillisecond);

void BM_PrefixQueryCountFirst(benchmark::State& state)
{
    for (auto _ : state) {
        openCy(true);
        sx_Query("CODE = \"12\"");
        benchmark::DoNotOptimize(sx_QueryRecCount());
        benchmark::DoNotOptimize(sx_RecNo());
        sx_CloseAll();
    }
}
BENCHMARK(BM_PrefixQueryCountFirst)->Unit(benchmark::kMillisecond);

void BM_OpenIndexAndSeek(benchmark::State& state)
{
    for (auto _ : state) {
        openCy(true);
        benchmark::DoNotOptimize(sx_Seek(data().seekKey.c_str()));
        sx_CloseAll();
    }
}
BENCHMARK(BM_OpenIndexAndSeek)->Unit(benchmark::kMillisecond);

void BM_Append150WithIndex(benchmark::State& state)
{
    const std::string dbf = data().dir + "/DATA.DBF", idx = data().dir + "/DATA.IDX";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(dbf);
        fs::remove(idx);
        sx_CreateNew(dbf.c_str(), "DATA", SX_SDEFOX, 3);
        sx_CreateField("CONTID", "N", 5, 0);
        sx_CreateField("POTEN", "N", 18, 7);
        sx_CreateField("FACT", "N", 18, 7);
        sx_CreateExec();
        sx_Index(idx.c_str(), "CONTID", 0, 0, "");
        state.ResumeTiming();
        std::string image(42, ' ');
        for (int i = 0; i < 150; ++i) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%5d%18.7f%18.7f", (i * 37) % 150 + 1, i * 1.5, i * 0.25);
            image.replace(1, 41, buf);
            sx_AppendBlank();
            sx_PutRecord(image.data());
            sx_Unlock(0);
        }
        state.PauseTiming();
        sx_CloseAll();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Append150WithIndex)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
