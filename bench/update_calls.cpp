#include "bench/update_calls.h"

#include <string>

#include "bench/extended_bars.h"
#include "bench/repetition_minimum.h"

namespace keelmark::bench {

namespace {

std::size_t chartSize(const benchmark::State& state) {
    return static_cast<std::size_t>(state.range(0));
}

// The incremental calls and their baseline run on charts that end at the
// same point of a session at every size.
std::size_t incrementalChartSize(benchmark::State& state) {
    const std::size_t bars = chartEndingMidSession(chartSize(state));
    state.counters["bars"] = static_cast<double>(bars);
    return bars;
}

}  // namespace

void timeFullRecalculation(benchmark::State& state, StudyFunction study, SetUpStudy setUp) {
    HostedChart chart(study);
    setUp(chart, chartSize(state));
    for (auto _ : state) {
        chart.study().fullRecalculation();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

namespace {

// The last bar changes by a tick on every iteration, then the host makes the
// given call: an update from the last bar, or the naive full recalculation.
void timeTicks(benchmark::State& state, StudyFunction study, SetUpStudy setUp,
               void (replay::StudyInstance::*call)()) {
    HostedChart chart(study);
    setUp(chart, incrementalChartSize(state));
    replay::StudyInstance& instance = chart.study();
    const replay::Bar last = instance.bars().back();
    int variant = 0;
    for (auto _ : state) {
        instance.replaceLastBar(formingVariant(last, ++variant));
        (instance.*call)();
    }
}

}  // namespace

void timeFormingBarUpdate(benchmark::State& state, StudyFunction study, SetUpStudy setUp) {
    timeTicks(state, study, setUp, &replay::StudyInstance::updateFormingBar);
}

void timeNewBarAppended(benchmark::State& state, StudyFunction study, SetUpStudy setUp) {
    const std::size_t bars = incrementalChartSize(state);
    const std::vector<replay::Bar>& extended = sampleChart(bars + kAppendedBars + 1);
    HostedChart chart(study);
    setUp(chart, bars);
    replay::StudyInstance& instance = chart.study();
    // The host's arrays grow by doubling; the first append pays for that
    // once, outside the measurement, as a live chart pays it rarely.
    std::size_t next = bars;
    instance.appendBar(extended[next++]);
    instance.updateAfterAppend();
    for (auto _ : state) {
        if (next == extended.size()) {
            state.SkipWithError("more appended bars than the chart keeps in reserve");
            break;
        }
        instance.appendBar(extended[next++]);
        instance.updateAfterAppend();
    }
}

void timeNaiveTick(benchmark::State& state, StudyFunction study, SetUpStudy setUp) {
    timeTicks(state, study, setUp, &replay::StudyInstance::fullRecalculation);
}

bool registerUpdateCalls(const char* prefix, LoadStudy study, SetUpStudy setUp) {
    using Timer = void (*)(benchmark::State&, StudyFunction, SetUpStudy);
    auto add = [&](const char* name, Timer timer) {
        return benchmark::RegisterBenchmark(
                   (std::string(prefix) + "/" + name).c_str(),
                   [=](benchmark::State& state) { timer(state, study(), setUp); })
            ->ComputeStatistics("min", fastestRepetition);
    };
    add("FullRecalculation", timeFullRecalculation)
        ->Arg(kTenThousand)
        ->Arg(kHundredThousand)
        ->Arg(kOneMillion)
        ->Unit(benchmark::kMillisecond);
    add("FormingBarUpdate", timeFormingBarUpdate)
        ->Arg(kTenThousand)
        ->Arg(kOneMillion)
        ->Unit(benchmark::kMicrosecond);
    add("NewBarAppended", timeNewBarAppended)
        ->Arg(kOneMillion)
        ->Iterations(kAppendedBars)
        ->Unit(benchmark::kMicrosecond);
    add("NaiveTick", timeNaiveTick)
        ->Arg(kTenThousand)
        ->Arg(kOneMillion)
        ->Unit(benchmark::kMillisecond);
    return true;
}

}  // namespace keelmark::bench
