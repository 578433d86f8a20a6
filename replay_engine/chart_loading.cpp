#include "replay_engine/chart_loading.h"

#include "replay_engine/bar_aggregation.h"
#include "replay_engine/time_zone_conversion.h"
#include "standin_host/bar_file.h"

namespace keelmark::replay {

LoadedChart loadChart(const std::string& barsPath, const ChartLoading& loading) {
    BarFileContents contents = readBars(barsPath);
    if (!loading.tzFrom.empty()) {
        convertBarTimes(contents.bars, loading.tzFrom, loading.tzTo);
    }
    if (loading.periodMinutes > 0) {
        contents.bars = aggregateBars(contents.bars, loading.periodMinutes);
    }
    return LoadedChart{std::move(contents.bars), contents.priceDecimals};
}

}  // namespace keelmark::replay
