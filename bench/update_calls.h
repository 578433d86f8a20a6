// The calls a charting host makes, timed on a study set up on a chart of
// state.range(0) bars (the incremental calls and their baseline: up to a day
// more, so that the chart ends at 11:00 at every size; counter "bars"):
//   full recalculation  updateStartIndex 0 over the whole chart
//   forming-bar update  the last bar changes; update from the last bar
//   new bar appended    a bar arrives; update from the former last bar
//   naive tick          the last bar changes and the whole chart is
//                       recalculated: what a study without running state
//                       pays on every tick, the baseline of the two above
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>

#include "bench/hosted_chart.h"

namespace keelmark::bench {

using SetUpStudy = void (*)(HostedChart& chart, std::size_t barCount);

// Bars appended by one run of the new-bar case; the sample chart keeps this
// many walk bars in reserve beyond the chart.
inline constexpr std::int64_t kAppendedBars = 20'000;

void timeFullRecalculation(benchmark::State& state, StudyFunction study, SetUpStudy setUp);
void timeFormingBarUpdate(benchmark::State& state, StudyFunction study, SetUpStudy setUp);
void timeNewBarAppended(benchmark::State& state, StudyFunction study, SetUpStudy setUp);
void timeNaiveTick(benchmark::State& state, StudyFunction study, SetUpStudy setUp);

// Registers the four cases of one study as "<prefix>/FullRecalculation",
// "<prefix>/FormingBarUpdate", "<prefix>/NewBarAppended" and
// "<prefix>/NaiveTick". `study` is asked for the loaded study function only
// when a case runs. Returns true, for use in a namespace-scope initialiser.
using LoadStudy = StudyFunction (*)();
bool registerUpdateCalls(const char* prefix, LoadStudy study, SetUpStudy setUp);

}  // namespace keelmark::bench
