// The chart as one self-contained web page: candlesticks, every series that
// holds values as a line in its colour, width and pattern (gaps where it is
// 0), right-edge name-and-value labels for series that ask for them, the
// study's text drawings (the session panel boxed in its corner, the anchor
// markers at their bar and price), the alerts on their bars, and the log
// lines beneath the chart. The chart library is embedded, so the page opens
// without a network.
#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "replay_engine/replay_run.h"

namespace keelmark::replay {

// File name of the chart library's standalone script.
inline constexpr const char* kChartLibraryFile = "lightweight-charts.standalone.production.js";

// Where the chart library is found: beside the tool, then in the web folder
// of the source tree. Empty when it is in neither place.
std::string findChartLibrary();

// The bars a page shows by default: a long chart would make a page of
// hundreds of megabytes that no browser draws smoothly.
inline constexpr std::size_t kChartPageBars = 20'000;

// Where a script of an npm package of web/ is found: `fileName` beside the
// tool, then in web/node_modules/`packageFolder`. Empty when it is in
// neither place.
std::string findWebLibrary(const std::string& fileName, const std::string& packageFolder);

// --- pieces of every page the tools write ---

// Seconds of the chart's clock, shown as if it were UTC so that a page
// prints the chart's own times.
std::int64_t pageSeconds(ChartDateTime start);

// The page times of the bars: the chart library needs strictly rising
// times, so a repeated clock time (daylight saving ending) moves one second
// on.
std::vector<std::int64_t> pageTimes(const std::vector<Bar>& bars);

// A text drawing as the pages draw it: a panel in its corner, or a marker at
// page bar `bar` and its price.
nlohmann::ordered_json panelJson(const PlacedDrawing& drawing);
nlohmann::ordered_json markerJson(const PlacedDrawing& drawing, std::int32_t bar);

// Script text placed inside a <script> element, made unable to close it
// early.
std::string scriptSafe(std::string text);

// JSON placed inside a <script> element: every '<' (they all stand inside
// strings) written as an escape.
std::string jsonScriptSafe(const std::string& json);

// Text with &, <, > and " written as entities.
std::string htmlEscaped(const std::string& text);

// Fills a page template of web/: each {{name}} marker takes the piece of
// that name, in the order the markers stand; a piece is a writer that
// streams it.
using PageWriter = std::function<void(std::ostream&)>;
void writeFilledTemplate(std::string_view page,
                         const std::vector<std::pair<std::string_view, PageWriter>>& pieces,
                         std::ostream& out);

// A piece that is a text as it stands (which must outlive the writer).
PageWriter pageText(std::string_view text);

// The head the self-contained pages share (web/page_head.html, the page's
// {{head}}): the title, the page's style and the chart library inline, then
// the header the page's script fills. `title` is HTML already.
PageWriter pageHead(std::string_view title, std::string_view style,
                    const std::string& chartLibrary);

// The bars a page shows: `count` bars from bar `first`.
struct ChartPageWindow {
    std::size_t first = 0;
    std::size_t count = 0;
};

// The last `mostBars` bars of the chart (0: every bar).
ChartPageWindow chartPageWindow(std::size_t barCount, std::size_t mostBars);

// What the page draws, as the page's script reads it: the last `mostBars`
// bars (0: all), with bar numbers counted from the first bar shown, and a
// subtitle that says when the page shows only part of the chart.
nlohmann::ordered_json chartPageData(const RunRecord& record, const std::string& barsName,
                                     std::size_t mostBars = kChartPageBars);

// `chartLibrary` is the library's script text. The page's data is written
// as it is made, straight from the record's arrays.
void writeHtml(const RunRecord& record, const std::string& barsName,
               const std::string& chartLibrary, std::ostream& out,
               std::size_t mostBars = kChartPageBars);

}  // namespace keelmark::replay
