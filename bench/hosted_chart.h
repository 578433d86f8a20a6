// A study on a chart of the stand-in host, set up as a user would have it and
// fully recalculated once, ready for the calls a benchmark times. The study
// is the one in the built module, loaded beside this program as the
// charting host loads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "standin_host/chart_host.h"
#include "standin_host/module_library.h"

namespace keelmark::bench {

// Chart sizes of the benchmarks, in bars.
inline constexpr std::int64_t kTenThousand = 10'000;
inline constexpr std::int64_t kHundredThousand = 100'000;
inline constexpr std::int64_t kOneMillion = 1'000'000;
// The replay tool only: a file of about 560 MB, made in the temporary folder.
inline constexpr std::int64_t kTenMillion = 10'000'000;

const replay::ModuleLibrary& loadedModule();

// Owns the study instance and ends it with the host's final call, which
// frees the study's state object.
class HostedChart {
public:
    explicit HostedChart(StudyFunction study) : study_(study) {}
    ~HostedChart() { study_.finalCall(); }
    HostedChart(const HostedChart&) = delete;
    HostedChart& operator=(const HostedChart&) = delete;

    replay::StudyInstance& study() { return study_; }
    std::int32_t barCount() const { return static_cast<std::int32_t>(study_.bars().size()); }

private:
    replay::StudyInstance study_;
};

// Session Levels with its default inputs, the session panel on and
// "Sessions to Show" 5, over the first `barCount` bars of the sample chart.
void setUpSessionLevels(HostedChart& chart, std::size_t barCount);

// Anchored VWAP with 8 anchors spread evenly over the chart (anchor n at the
// middle of the n-th eighth) and the standard-deviation bands on.
void setUpAnchoredVwap(HostedChart& chart, std::size_t barCount);

// The bar index of anchor slot `slot` on a chart of `barCount` bars.
std::int32_t anchorBarOf(std::int32_t slot, std::size_t barCount);

// Charts for the incremental calls: at least `atLeast` bars, ending on the
// first 11:00 bar from there, so that at every chart size the forming bar
// stands at the same point of an RTH session (opening range and initial
// balance complete, the session panel at its fullest).
std::size_t chartEndingMidSession(std::size_t atLeast);

// The last bar nudged by a tick, so that a forming-bar update really sees
// the bar change; `variant` 0 is the bar itself.
replay::Bar formingVariant(const replay::Bar& bar, int variant);

// The output arrays a study writes, as the host holds them: the values of
// each declared series and, for Session Levels, its session numbers.
struct OutputArray {
    float* data;
    std::size_t count;
};
std::vector<OutputArray> writtenOutputArrays(replay::StudyInstance& study, bool withSessionNumbers);

}  // namespace keelmark::bench
