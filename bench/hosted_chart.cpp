#include "bench/hosted_chart.h"

#include "bench/extended_bars.h"
#include "host/chart_date_time.h"

namespace keelmark::bench {

namespace {

// Input slots the benchmarks set.
constexpr std::int32_t kSessionsToShowInput = 20;
constexpr std::int32_t kShowPanelInput = 23;
constexpr std::int32_t kAnchorSlots = 8;
constexpr std::int32_t kShowBandsInput = 9;
constexpr std::int32_t kSessionNumberOutput = 0;  // carries the session numbers as its extra array

}  // namespace

const replay::ModuleLibrary& loadedModule() {
    static const replay::ModuleLibrary module(replay::ModuleLibrary::defaultPath());
    return module;
}

void setUpSessionLevels(HostedChart& chart, std::size_t barCount) {
    replay::StudyInstance& study = chart.study();
    study.defaultsPass();
    study.setIntInput(kShowPanelInput, 1);
    study.setIntInput(kSessionsToShowInput, 5);
    study.setBars(sampleChart(barCount));
    study.fullRecalculation();
}

std::int32_t anchorBarOf(std::int32_t slot, std::size_t barCount) {
    return static_cast<std::int32_t>((2 * static_cast<std::size_t>(slot) + 1) * barCount / 16);
}

void setUpAnchoredVwap(HostedChart& chart, std::size_t barCount) {
    replay::StudyInstance& study = chart.study();
    study.defaultsPass();
    const std::vector<replay::Bar>& bars = sampleChart(barCount);
    for (std::int32_t slot = 0; slot < kAnchorSlots; ++slot) {
        study.setDoubleInput(
            slot, toDays(bars[static_cast<std::size_t>(anchorBarOf(slot, barCount))].start));
    }
    study.setIntInput(kShowBandsInput, 1);
    study.setBars(bars);
    study.fullRecalculation();
}

std::size_t chartEndingMidSession(std::size_t atLeast) {
    constexpr std::int32_t kElevenOClock = 11 * 3600;
    constexpr std::size_t kLookAhead = 7 * 1440;  // a week of 1-minute bars
    const std::vector<replay::Bar>& bars = sampleChart(atLeast + kLookAhead);
    for (std::size_t i = atLeast == 0 ? 0 : atLeast - 1; i < bars.size(); ++i) {
        if (secondsOfDay(bars[i].start) == kElevenOClock) {
            return i + 1;
        }
    }
    return atLeast;
}

replay::Bar formingVariant(const replay::Bar& bar, int variant) {
    replay::Bar b = bar;
    if (variant % 2 != 0) {
        b.close += 0.25f;
        b.high = b.high > b.close ? b.high : b.close;
        b.volume += 1.0f;
    }
    return b;
}

std::vector<OutputArray> writtenOutputArrays(replay::StudyInstance& study,
                                             bool withSessionNumbers) {
    std::vector<OutputArray> arrays;
    for (std::int32_t slot = 0; slot < study.declaredOutputCount(); ++slot) {
        const HostArray<float>& values = study.output(slot).values;
        arrays.push_back(OutputArray{values.data, static_cast<std::size_t>(values.count)});
    }
    if (withSessionNumbers) {
        HostArray<float>& numbers = study.output(kSessionNumberOutput).extraArrays.data[0];
        arrays.push_back(OutputArray{numbers.data, static_cast<std::size_t>(numbers.count)});
    }
    return arrays;
}

}  // namespace keelmark::bench
