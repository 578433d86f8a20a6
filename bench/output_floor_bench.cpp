// The memory floor of a full recalculation: the same output bytes the study
// writes (every array it writes, over the full chart) written with memset,
// into the host's own arrays of the same chart, in the same run. Session
// Levels writes its 25 series and its session numbers; Anchored VWAP its 40
// series, each counted once (a slot's reset clears its five series before it
// writes them from the anchor bar on, which the floor does not count twice).
#include <benchmark/benchmark.h>

#include <cstring>

#include "bench/hosted_chart.h"
#include "bench/repetition_minimum.h"

namespace keelmark::bench {

namespace {

void writeFloor(benchmark::State& state, HostedChart& chart, bool withSessionNumbers) {
    const std::vector<OutputArray> arrays = writtenOutputArrays(chart.study(), withSessionNumbers);
    std::size_t bytes = 0;
    for (const OutputArray& a : arrays) {
        bytes += a.count * sizeof(float);
    }
    for (auto _ : state) {
        for (const OutputArray& a : arrays) {
            std::memset(a.data, 0, a.count * sizeof(float));
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
    state.counters["arrays"] = static_cast<double>(arrays.size());
}

void sessionLevelsFloor(benchmark::State& state) {
    HostedChart chart(loadedModule().sessionLevels());
    setUpSessionLevels(chart, static_cast<std::size_t>(state.range(0)));
    writeFloor(state, chart, true);
}

void anchoredVwapFloor(benchmark::State& state) {
    HostedChart chart(loadedModule().anchoredVwap());
    setUpAnchoredVwap(chart, static_cast<std::size_t>(state.range(0)));
    writeFloor(state, chart, false);
}

}  // namespace

BENCHMARK(sessionLevelsFloor)
    ->Name("Floor/SessionLevels")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kTenThousand)
    ->Arg(kHundredThousand)
    ->Arg(kOneMillion)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(anchoredVwapFloor)
    ->Name("Floor/AnchoredVwap")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kTenThousand)
    ->Arg(kHundredThousand)
    ->Arg(kOneMillion)
    ->Unit(benchmark::kMillisecond);

}  // namespace keelmark::bench
