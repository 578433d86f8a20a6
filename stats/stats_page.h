// The statistics as one self-contained web page (web/stats_page.*): the
// tables of percentages with their sessions and intervals first, then the
// ladders as mirrored bars with their intervals, the splits, the first-break
// periods and the IB range over time with its rolling mean. The chart
// library is embedded, so the page opens without a network.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "stats/aggregates.h"
#include "stats/stats_run.h"

namespace keelmark::stats {

// File name and npm package folder of the page's chart library.
inline constexpr const char* kStatsChartLibraryFile = "chart.umd.js";
inline constexpr const char* kStatsChartLibraryPackage = "chart.js/dist";

// What the page's script reads.
nlohmann::ordered_json statsPageData(const StatsRequest& request, const SessionTable& table,
                                     const Aggregates& aggregates, std::int32_t averageSessions);

// `chartLibrary` is the library's script text.
void writeStatsPage(const StatsRequest& request, const SessionTable& table,
                    const Aggregates& aggregates, std::int32_t averageSessions,
                    const std::string& chartLibrary, std::ostream& out);

}  // namespace keelmark::stats
