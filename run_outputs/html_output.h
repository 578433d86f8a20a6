// The chart as one self-contained web page: candlesticks, every series that
// holds values as a line in its colour, width and pattern (gaps where it is
// 0), right-edge name-and-value labels for series that ask for them, the
// study's text drawings (the session panel boxed in its corner, the anchor
// markers at their bar and price), the alerts on their bars, and the log
// lines beneath the chart. The chart library is embedded, so the page opens
// without a network.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "replay_engine/replay_run.h"

namespace keelmark::replay {

// File name of the chart library's standalone script.
inline constexpr const char* kChartLibraryFile = "lightweight-charts.standalone.production.js";

// Where the chart library is found: beside the tool, then in the web folder
// of the source tree. Empty when it is in neither place.
std::string findChartLibrary();

// What the page draws, as the page's script reads it.
nlohmann::ordered_json chartPageData(const RunRecord& record, const std::string& barsName);

// `chartLibrary` is the library's script text.
void writeHtml(const RunRecord& record, const std::string& barsName,
               const std::string& chartLibrary, std::ostream& out);

}  // namespace keelmark::replay
