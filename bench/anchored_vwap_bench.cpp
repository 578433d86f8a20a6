// Anchored VWAP through the stand-in host: 8 anchors spread over the chart,
// standard-deviation bands on, default price (typical price).
#include "bench/repetition_minimum.h"
#include "bench/update_calls.h"

namespace keelmark::bench {

namespace {

StudyFunction anchoredVwap() { return loadedModule().anchoredVwap(); }

void fullRecalculation(benchmark::State& state) {
    timeFullRecalculation(state, anchoredVwap(), setUpAnchoredVwap);
}
void formingBarUpdate(benchmark::State& state) {
    timeFormingBarUpdate(state, anchoredVwap(), setUpAnchoredVwap);
}
void newBarAppended(benchmark::State& state) {
    timeNewBarAppended(state, anchoredVwap(), setUpAnchoredVwap);
}
void naiveTick(benchmark::State& state) { timeNaiveTick(state, anchoredVwap(), setUpAnchoredVwap); }

}  // namespace

BENCHMARK(fullRecalculation)
    ->Name("AnchoredVwap/FullRecalculation")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kTenThousand)
    ->Arg(kHundredThousand)
    ->Arg(kOneMillion)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(formingBarUpdate)
    ->Name("AnchoredVwap/FormingBarUpdate")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kTenThousand)
    ->Arg(kOneMillion)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(newBarAppended)
    ->Name("AnchoredVwap/NewBarAppended")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kOneMillion)
    ->Iterations(kAppendedBars)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(naiveTick)
    ->Name("AnchoredVwap/NaiveTick")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kTenThousand)
    ->Arg(kOneMillion)
    ->Unit(benchmark::kMillisecond);

}  // namespace keelmark::bench
