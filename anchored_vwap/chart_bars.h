// The chart's bars as this call sees them: the host arrays resolved once, so
// the per-bar loops read through plain pointers.
#pragma once

#include <algorithm>
#include <cstdint>

#include "host/host_array.h"
#include "host/study_interface.h"

namespace keelmark::anchored_vwap {

struct ChartBars {
    std::int32_t count;  // barCount of the call; the last bar is the forming bar
    ArrayView<ChartDateTime> start;
    ArrayView<float> open, high, low, close, volume;
    // The smallest element count of the price and volume arrays, 0 when any
    // is unavailable: bars below it are read straight, with no clamping.
    std::int32_t priceCount;
};

inline ChartBars resolveChartBars(StudyInterface& sc) {
    ChartBars bars{
        sc.barCount,        resolve(sc.barDateTimes), resolve(sc.barOpen),   resolve(sc.barHigh),
        resolve(sc.barLow), resolve(sc.barClose),     resolve(sc.barVolume), 0};
    bars.priceCount = std::min(
        {bars.open.count, bars.high.count, bars.low.count, bars.close.count, bars.volume.count});
    return bars;
}

}  // namespace keelmark::anchored_vwap
