#include "replay_engine/chart_loading.h"

#include "replay_engine/bar_aggregation.h"
#include "replay_engine/time_zone_conversion.h"

namespace keelmark::replay {

// The bars as the file holds them become the chart's columns; converting
// time zones or aggregating works on a list of bars made for it.
LoadedChart loadChart(const std::string& barsPath, const ChartLoading& loading) {
    BarFileContents contents = readBars(barsPath, loading.badRows);
    if (!loading.tzFrom.empty() || loading.periodMinutes > 0) {
        std::vector<Bar> bars = barListOf(contents.bars);
        contents.bars = BarColumns{};
        if (!loading.tzFrom.empty()) {
            convertBarTimes(bars, loading.tzFrom, loading.tzTo);
        }
        if (loading.periodMinutes > 0) {
            bars = aggregateBars(bars, loading.periodMinutes);
        }
        contents.bars = barColumnsOf(bars);
    }
    return LoadedChart{std::move(contents.bars), contents.priceDecimals, contents.skippedRowCount,
                       std::move(contents.skippedRows)};
}

}  // namespace keelmark::replay
