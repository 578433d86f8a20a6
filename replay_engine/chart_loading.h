// A chart's bars as a replay sees them: read from the bar file, moved from
// the file's time zone into the chart's when asked, and aggregated into
// N-minute bars when asked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "standin_host/bar_file.h"
#include "standin_host/chart_host.h"

namespace keelmark::replay {

struct ChartLoading {
    std::int32_t periodMinutes = 0;  // 0: the file's own bars
    std::string tzFrom, tzTo;        // both empty: times as in the file
    BadRows badRows = BadRows::Refuse;
};

struct LoadedChart {
    BarColumns bars;
    // The most digits after the decimal point among the file's prices.
    std::int32_t priceDecimals = 0;
    // Rows left out under BadRows::Skip: how many, and the first few.
    std::int64_t skippedRowCount = 0;
    std::vector<SkippedRow> skippedRows;
};

// Throws BarFileError for a malformed file and std::runtime_error for an
// unknown time zone.
LoadedChart loadChart(const std::string& barsPath, const ChartLoading& loading);

}  // namespace keelmark::replay
