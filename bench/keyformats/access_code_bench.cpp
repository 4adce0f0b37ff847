// Remote access codes per second, short and long form (the register cipher of the window).
#include "keyformats/access_code.h"

#include <benchmark/benchmark.h>

#include <string_view>
#include <vector>

using namespace std::chrono;

static void BM_AccessCodeShort(benchmark::State& state)
{
    int hour = 0;
    for (auto _ : state) {
        auto code = MakeAccessCode("49D99FB70167EC5C", 2, 2026y / June / 1, hour, 2026y / June / 20, 12, 0);
        benchmark::DoNotOptimize(code);
        hour = (hour + 1) % 24;
    }
    state.counters["codes/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AccessCodeShort);

static void BM_AccessCodeLong(benchmark::State& state)
{
    int hour = 0;
    for (auto _ : state) {
        auto code = MakeAccessCode("49D99FB70167EC5C", 1, 2026y / December / 20, hour, 2027y / March / 1, 12, 3);
        benchmark::DoNotOptimize(code);
        hour = (hour + 1) % 24;
    }
    state.counters["codes/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AccessCodeLong);
