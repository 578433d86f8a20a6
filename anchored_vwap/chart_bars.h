// The chart's bars as this call sees them: the host arrays resolved once, so
// the per-bar loops read through plain pointers.
#pragma once

#include <cstdint>

#include "host/host_array.h"
#include "host/study_interface.h"

namespace keelmark::anchored_vwap {

struct ChartBars {
    std::int32_t count;  // barCount of the call; the last bar is the forming bar
    ArrayView<ChartDateTime> start;
    ArrayView<float> open, high, low, close, volume;
};

inline ChartBars resolveChartBars(StudyInterface& sc) {
    return ChartBars{sc.barCount,          resolve(sc.barDateTimes), resolve(sc.barOpen),
                     resolve(sc.barHigh),  resolve(sc.barLow),       resolve(sc.barClose),
                     resolve(sc.barVolume)};
}

}  // namespace keelmark::anchored_vwap
