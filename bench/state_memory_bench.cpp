// The memory a study keeps between calls, after a full recalculation of the
// 1-million-bar chart (the time shown is that one recalculation):
//   Session Levels  its state record, plus three growable lists of doubles
//                   that gain at most one entry each per RTH session
//   Anchored VWAP   its anchor state table, fixed in size
// Counters: state_bytes (the object itself), list_bytes (the lists'
// reserved storage), sessions, and list bytes per session (used and
// reserved).
#include <benchmark/benchmark.h>

#include "anchored_vwap/anchor_table.h"
#include "bench/hosted_chart.h"
#include "bench/repetition_minimum.h"
#include "session_levels/state.h"

namespace keelmark::bench {

namespace {

constexpr int kStateObjectKey = 1;

double reservedBytes(const session_levels::RangeList& list) {
    return static_cast<double>(list.entries.capacity() * sizeof(double));
}

double usedBytes(const session_levels::RangeList& list) {
    return static_cast<double>(list.entries.size() * sizeof(double));
}

void sessionLevelsState(benchmark::State& state) {
    HostedChart chart(loadedModule().sessionLevels());
    setUpSessionLevels(chart, static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        chart.study().fullRecalculation();
    }
    const auto* record = static_cast<const session_levels::StateRecord*>(
        chart.study().persistentPointer(kStateObjectKey));
    if (record == nullptr) {
        state.SkipWithError("no state record after a full recalculation");
        return;
    }
    const double sessions = record->levels.sessionIndex + 1.0;
    const double reserved = reservedBytes(record->openingRanges) +
                            reservedBytes(record->initialBalances) +
                            reservedBytes(record->overnights);
    const double used = usedBytes(record->openingRanges) + usedBytes(record->initialBalances) +
                        usedBytes(record->overnights);
    state.counters["state_bytes"] = sizeof(session_levels::StateRecord);
    state.counters["list_bytes"] = reserved;
    state.counters["sessions"] = sessions;
    state.counters["used_bytes_per_session"] = sessions > 0 ? used / sessions : 0.0;
    state.counters["reserved_bytes_per_session"] = sessions > 0 ? reserved / sessions : 0.0;
}

void anchoredVwapState(benchmark::State& state) {
    HostedChart chart(loadedModule().anchoredVwap());
    setUpAnchoredVwap(chart, static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        chart.study().fullRecalculation();
    }
    if (chart.study().persistentPointer(kStateObjectKey) == nullptr) {
        state.SkipWithError("no anchor table after a full recalculation");
        return;
    }
    state.counters["state_bytes"] = sizeof(anchored_vwap::AnchorTable);
    state.counters["list_bytes"] = 0;
}

}  // namespace

BENCHMARK(sessionLevelsState)
    ->Name("StateMemory/SessionLevels")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kOneMillion)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(anchoredVwapState)
    ->Name("StateMemory/AnchoredVwap")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kOneMillion)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace keelmark::bench
