#include "bench/update_calls.h"

#include "bench/extended_bars.h"

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

void timeFormingBarUpdate(benchmark::State& state, StudyFunction study, SetUpStudy setUp) {
    HostedChart chart(study);
    setUp(chart, incrementalChartSize(state));
    replay::StudyInstance& instance = chart.study();
    const replay::Bar last = instance.bars().back();
    int variant = 0;
    for (auto _ : state) {
        instance.replaceLastBar(formingVariant(last, ++variant));
        instance.updateFormingBar();
    }
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
    HostedChart chart(study);
    setUp(chart, incrementalChartSize(state));
    replay::StudyInstance& instance = chart.study();
    const replay::Bar last = instance.bars().back();
    int variant = 0;
    for (auto _ : state) {
        instance.replaceLastBar(formingVariant(last, ++variant));
        instance.fullRecalculation();
    }
}

}  // namespace keelmark::bench
