// A chart's bars as a replay sees them: read from the bar file, moved from
// the file's time zone into the chart's when asked, and aggregated into
// N-minute bars when asked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "standin_host/chart_host.h"

namespace keelmark::replay {

struct ChartLoading {
    std::int32_t periodMinutes = 0;  // 0: the file's own bars
    std::string tzFrom, tzTo;        // both empty: times as in the file
};

struct LoadedChart {
    std::vector<Bar> bars;
    // The most digits after the decimal point among the file's prices.
    std::int32_t priceDecimals = 0;
};

// Throws BarFileError for a malformed file and std::runtime_error for an
// unknown time zone.
LoadedChart loadChart(const std::string& barsPath, const ChartLoading& loading);

}  // namespace keelmark::replay
