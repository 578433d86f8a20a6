#include "run_outputs/html_output.h"

#include <cmath>
#include <fstream>
#include <string_view>

#include "run_outputs/json_output.h"
#include "standin_host/clock_text.h"
#include "standin_host/module_library.h"
#include "web_files/chart_page.h"

namespace keelmark::replay {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::int64_t kUnixEpochMicros = kEpochDaysBefore1970 * kMicrosPerDay;

// Relative placement runs from 0 to 150 days across and from 0 to 100 up the
// chart: the middle tells the corners apart.
constexpr double kRelativeMiddleAcross = 75.0;
constexpr float kRelativeMiddleUp = 50.0f;

constexpr std::int32_t kAlignCentre = 1;
constexpr std::int32_t kAlignRight = 2;

bool fileExists(const std::string& path) { return std::ifstream(path).good(); }

// Seconds of the chart's clock, shown as if it were UTC so that the page
// prints the chart's own times. The chart library needs strictly rising
// times: a repeated clock time (daylight saving ending) moves one second on.
Json chartTimes(const std::vector<Bar>& bars) {
    Json times = Json::array();
    std::int64_t previous = 0;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const std::int64_t micros = bars[i].start - kUnixEpochMicros;
        std::int64_t seconds = micros / kMicrosPerSecond - (micros % kMicrosPerSecond < 0 ? 1 : 0);
        if (i > 0 && seconds <= previous) {
            seconds = previous + 1;
        }
        times.push_back(seconds);
        previous = seconds;
    }
    return times;
}

Json barColumn(const std::vector<Bar>& bars, float Bar::*field) {
    Json column = Json::array();
    for (const Bar& b : bars) {
        column.push_back(floatJson(b.*field));
    }
    return column;
}

bool holdsValues(const SeriesRecord& s) {
    for (const float v : s.values) {
        if (v != 0.0f && std::isfinite(v)) {
            return true;
        }
    }
    return false;
}

Json seriesLines(const RunRecord& r) {
    Json lines = Json::array();
    for (const SeriesRecord& s : r.series) {
        if (!holdsValues(s)) {
            continue;
        }
        Json values = Json::array();
        for (const float v : s.values) {
            values.push_back(v != 0.0f && std::isfinite(v) ? floatJson(v) : Json(nullptr));
        }
        lines.push_back(Json{{"slot", s.slot},
                             {"name", s.name},
                             {"colour", colourText(s.colour)},
                             {"width", s.lineWidth},
                             {"kind", s.drawStyle & 0xFFFF},
                             {"pattern", (s.drawStyle >> 16) & 0xFFFF},
                             {"label", s.labelFlags != 0},
                             {"values", values}});
    }
    return lines;
}

Json panels(const RunRecord& r) {
    Json result = Json::array();
    for (const PlacedDrawing& d : r.drawings) {
        if (d.relativePlacement != 1) {
            continue;
        }
        result.push_back(
            Json{{"text", d.text},
                 {"textColour", colourText(d.textColour)},
                 {"backgroundColour", colourText(d.backgroundColour)},
                 {"fontSize", d.fontSize},
                 {"fontFace", d.fontFace},
                 {"right", toDays(d.dateTime) > kRelativeMiddleAcross},
                 {"bottom", d.price < kRelativeMiddleUp},
                 {"alignRight", d.textAlignment > 0 && (d.textAlignment & kAlignRight) != 0}});
    }
    return result;
}

Json markers(const RunRecord& r) {
    Json result = Json::array();
    for (const PlacedDrawing& d : r.drawings) {
        if (d.relativePlacement == 1 || d.barIndex < 0 ||
            static_cast<std::size_t>(d.barIndex) >= r.bars.size()) {
            continue;
        }
        result.push_back(
            Json{{"bar", d.barIndex},
                 {"price", floatJson(d.price)},
                 {"text", d.text},
                 {"colour", colourText(d.textColour)},
                 {"fontSize", d.fontSize},
                 {"centre", d.textAlignment > 0 && (d.textAlignment & kAlignCentre) != 0}});
    }
    return result;
}

Json alerts(const RunRecord& r) {
    Json result = Json::array();
    for (const RaisedAlert& a : r.alerts) {
        const bool onChart =
            a.barIndex >= 0 && static_cast<std::size_t>(a.barIndex) < r.bars.size();
        result.push_back(Json{
            {"number", a.number},
            {"bar", a.barIndex},
            {"time", onChart ? formatDateTime(r.bars[static_cast<std::size_t>(a.barIndex)].start)
                             : std::string()},
            {"message", a.message}});
    }
    return result;
}

Json logLines(const RunRecord& r) {
    Json result = Json::array();
    for (const LogLine& line : r.log) {
        result.push_back(Json{{"text", line.text}, {"flag", line.flag}});
    }
    return result;
}

// Script text placed inside a <script> element must not close it early.
std::string scriptSafe(std::string text) {
    auto closesScript = [&text](std::size_t at) {
        constexpr std::string_view kEnd = "</script";
        if (text.size() - at < kEnd.size()) {
            return false;
        }
        for (std::size_t i = 0; i < kEnd.size(); ++i) {
            const char c = text[at + i];
            if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kEnd[i]) {
                return false;
            }
        }
        return true;
    };
    for (std::size_t at = text.find("</"); at != std::string::npos; at = text.find("</", at + 1)) {
        if (closesScript(at)) {
            text.insert(at + 1, "\\");
        }
    }
    return text;
}

// JSON placed inside a <script> element: every '<' (they all stand inside
// strings) written as an escape.
std::string jsonScriptSafe(const std::string& json) {
    std::string out;
    out.reserve(json.size());
    for (const char c : json) {
        if (c == '<') {
            out += "\\u003c";
        } else {
            out += c;
        }
    }
    return out;
}

std::string htmlEscaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// Fills the page template of web/: each {{name}} marker takes the piece of
// that name, in the order the markers stand.
void writeFilledTemplate(std::string_view page,
                         const std::vector<std::pair<std::string_view, std::string_view>>& pieces,
                         std::ostream& out) {
    std::size_t at = 0;
    while (true) {
        const std::size_t open = page.find("{{", at);
        if (open == std::string_view::npos) {
            out << page.substr(at);
            return;
        }
        const std::size_t close = page.find("}}", open + 2);
        if (close == std::string_view::npos) {
            out << page.substr(at);
            return;
        }
        out << page.substr(at, open - at);
        const std::string_view name = page.substr(open + 2, close - open - 2);
        for (const auto& [key, text] : pieces) {
            if (key == name) {
                out << text;
                break;
            }
        }
        at = close + 2;
    }
}

}  // namespace

std::string findChartLibrary() {
    const std::string besideTool = ModuleLibrary::executableDirectory() + kChartLibraryFile;
    if (fileExists(besideTool)) {
        return besideTool;
    }
#ifdef KEELMARK_WEB_DIR
    const std::string inWebFolder = std::string(KEELMARK_WEB_DIR) +
                                    "/node_modules/lightweight-charts/dist/" + kChartLibraryFile;
    if (fileExists(inWebFolder)) {
        return inWebFolder;
    }
#endif
    return {};
}

Json chartPageData(const RunRecord& r, const std::string& barsName) {
    Json data;
    data["title"] = r.studyName;
    std::string subtitle = barsName + " \u00b7 " + std::to_string(r.bars.size()) + " bars";
    if (!r.bars.empty()) {
        subtitle += " from " + formatDateTime(r.bars.front().start) + " to " +
                    formatDateTime(r.bars.back().start);
    }
    subtitle += " \u00b7 " + std::string(feedModeName(r.mode)) + " replay \u00b7 module " +
                r.moduleName + ", version " + std::to_string(r.moduleVersion);
    data["subtitle"] = subtitle;
    data["times"] = chartTimes(r.bars);
    data["open"] = barColumn(r.bars, &Bar::open);
    data["high"] = barColumn(r.bars, &Bar::high);
    data["low"] = barColumn(r.bars, &Bar::low);
    data["close"] = barColumn(r.bars, &Bar::close);
    data["series"] = seriesLines(r);
    data["panels"] = panels(r);
    data["markers"] = markers(r);
    data["alerts"] = alerts(r);
    data["log"] = logLines(r);
    return data;
}

void writeHtml(const RunRecord& record, const std::string& barsName,
               const std::string& chartLibrary, std::ostream& out) {
    const std::string data =
        chartPageData(record, barsName).dump(-1, ' ', true, Json::error_handler_t::replace);
    const std::string title = htmlEscaped(record.studyName);
    const std::string library = scriptSafe(chartLibrary);
    const std::string pageData = jsonScriptSafe(data);
    writeFilledTemplate(web::chartPageHtml(),
                        {{"title", title},
                         {"style", web::chartPageCss()},
                         {"chart_library", library},
                         {"data", pageData},
                         {"drawing", web::chartDrawingJs()},
                         {"script", web::chartPageJs()}},
                        out);
}

}  // namespace keelmark::replay
