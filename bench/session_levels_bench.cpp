// Session Levels through the stand-in host: default inputs, the session
// panel on, "Sessions to Show" 5.
#include "bench/repetition_minimum.h"
#include "bench/update_calls.h"

namespace keelmark::bench {

namespace {

StudyFunction sessionLevels() { return loadedModule().sessionLevels(); }

void fullRecalculation(benchmark::State& state) {
    timeFullRecalculation(state, sessionLevels(), setUpSessionLevels);
}
void formingBarUpdate(benchmark::State& state) {
    timeFormingBarUpdate(state, sessionLevels(), setUpSessionLevels);
}
void newBarAppended(benchmark::State& state) {
    timeNewBarAppended(state, sessionLevels(), setUpSessionLevels);
}
void naiveTick(benchmark::State& state) {
    timeNaiveTick(state, sessionLevels(), setUpSessionLevels);
}

}  // namespace

BENCHMARK(fullRecalculation)
    ->Name("SessionLevels/FullRecalculation")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kTenThousand)
    ->Arg(kHundredThousand)
    ->Arg(kOneMillion)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(formingBarUpdate)
    ->Name("SessionLevels/FormingBarUpdate")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kTenThousand)
    ->Arg(kOneMillion)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(newBarAppended)
    ->Name("SessionLevels/NewBarAppended")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kOneMillion)
    ->Iterations(kAppendedBars)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(naiveTick)
    ->Name("SessionLevels/NaiveTick")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kTenThousand)
    ->Arg(kOneMillion)
    ->Unit(benchmark::kMillisecond);

}  // namespace keelmark::bench
