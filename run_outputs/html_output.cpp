#include "run_outputs/html_output.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
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

// The values of a column of the page, one at a time, as JSON.
using PageValue = std::function<Json(std::size_t)>;

// Writes a JSON array of `count` values without building it whole: the
// values go out in chunks, each dumped as the whole array would dump them.
void writeArray(std::ostream& out, std::size_t count, const PageValue& value) {
    constexpr std::size_t kChunk = 4096;
    out << '[';
    for (std::size_t at = 0; at < count; at += kChunk) {
        Json chunk = Json::array();
        for (std::size_t i = at; i < std::min(count, at + kChunk); ++i) {
            chunk.push_back(value(i));
        }
        const std::string text = chunk.dump(-1, ' ', true, Json::error_handler_t::replace);
        if (at > 0) {
            out << ',';
        }
        out << std::string_view(text).substr(1, text.size() - 2);
    }
    out << ']';
}

Json arrayOf(std::size_t count, const PageValue& value) {
    Json array = Json::array();
    for (std::size_t i = 0; i < count; ++i) {
        array.push_back(value(i));
    }
    return array;
}

// The page's times of the window's bars, rising strictly.
std::vector<std::int64_t> windowTimes(const BarColumns& bars, const ChartPageWindow& w) {
    std::vector<std::int64_t> times(w.count);
    for (std::size_t i = 0; i < w.count; ++i) {
        std::int64_t seconds = pageSeconds(bars.times[w.first + i]);
        if (i > 0 && seconds <= times[i - 1]) {
            seconds = times[i - 1] + 1;
        }
        times[i] = seconds;
    }
    return times;
}

bool holdsValues(const SeriesRecord& s) {
    for (const float v : s.values) {
        if (v != 0.0f && std::isfinite(v)) {
            return true;
        }
    }
    return false;
}

Json lineValue(const SeriesRecord& s, std::size_t bar) {
    const float v = seriesValue(s, bar);
    return v != 0.0f && std::isfinite(v) ? floatJson(v) : Json(nullptr);
}

// A series line without its values, which follow as the last member.
Json lineSettings(const SeriesRecord& s) {
    return Json{{"slot", s.slot},
                {"name", s.name},
                {"colour", colourText(s.colour)},
                {"width", s.lineWidth},
                {"kind", s.drawStyle & 0xFFFF},
                {"pattern", (s.drawStyle >> 16) & 0xFFFF},
                {"label", s.labelFlags != 0}};
}

Json panels(const RunRecord& r) {
    Json result = Json::array();
    for (const PlacedDrawing& d : r.drawings) {
        if (d.relativePlacement == 1) {
            result.push_back(panelJson(d));
        }
    }
    return result;
}

// Bar numbers on the page count from the first bar it shows; -1 for a bar
// outside the window.
std::int32_t pageBar(std::int32_t barIndex, const ChartPageWindow& w) {
    if (barIndex < 0 || static_cast<std::size_t>(barIndex) < w.first ||
        static_cast<std::size_t>(barIndex) >= w.first + w.count) {
        return -1;
    }
    return static_cast<std::int32_t>(static_cast<std::size_t>(barIndex) - w.first);
}

Json markers(const RunRecord& r, const ChartPageWindow& w) {
    Json result = Json::array();
    for (const PlacedDrawing& d : r.drawings) {
        if (d.relativePlacement != 1 && pageBar(d.barIndex, w) >= 0) {
            result.push_back(markerJson(d, pageBar(d.barIndex, w)));
        }
    }
    return result;
}

// An alert outside the window is still listed, with its time.
Json alerts(const RunRecord& r, const ChartPageWindow& w) {
    Json result = Json::array();
    for (const RaisedAlert& a : r.alerts) {
        const bool onChart =
            a.barIndex >= 0 && static_cast<std::size_t>(a.barIndex) < r.bars.size();
        const bool wholeChart = w.first == 0 && w.count == r.bars.size();
        result.push_back(Json{
            {"number", a.number},
            {"bar", wholeChart ? a.barIndex : pageBar(a.barIndex, w)},
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

}  // namespace

// Seconds of the chart's clock, shown as if it were UTC so that the page
// prints the chart's own times.
std::int64_t pageSeconds(ChartDateTime start) {
    const std::int64_t micros = start - kUnixEpochMicros;
    return micros / kMicrosPerSecond - (micros % kMicrosPerSecond < 0 ? 1 : 0);
}

std::vector<std::int64_t> pageTimes(const std::vector<Bar>& bars) {
    std::vector<std::int64_t> times(bars.size());
    for (std::size_t i = 0; i < bars.size(); ++i) {
        std::int64_t seconds = pageSeconds(bars[i].start);
        if (i > 0 && seconds <= times[i - 1]) {
            seconds = times[i - 1] + 1;
        }
        times[i] = seconds;
    }
    return times;
}

nlohmann::ordered_json panelJson(const PlacedDrawing& d) {
    return Json{{"text", d.text},
                {"textColour", colourText(d.textColour)},
                {"backgroundColour", colourText(d.backgroundColour)},
                {"fontSize", d.fontSize},
                {"fontFace", d.fontFace},
                {"right", toDays(d.dateTime) > kRelativeMiddleAcross},
                {"bottom", d.price < kRelativeMiddleUp},
                {"alignRight", d.textAlignment > 0 && (d.textAlignment & kAlignRight) != 0}};
}

nlohmann::ordered_json markerJson(const PlacedDrawing& d, std::int32_t bar) {
    return Json{{"bar", bar},
                {"price", floatJson(d.price)},
                {"text", d.text},
                {"colour", colourText(d.textColour)},
                {"fontSize", d.fontSize},
                {"centre", d.textAlignment > 0 && (d.textAlignment & kAlignCentre) != 0}};
}

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

void writeFilledTemplate(std::string_view page,
                         const std::vector<std::pair<std::string_view, PageWriter>>& pieces,
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
        for (const auto& [key, write] : pieces) {
            if (key == name) {
                write(out);
                break;
            }
        }
        at = close + 2;
    }
}

PageWriter pageText(std::string_view text) {
    return [text](std::ostream& o) { o << text; };
}

PageWriter pageHead(std::string_view title, std::string_view style,
                    const std::string& chartLibrary) {
    return [title, style, &chartLibrary](std::ostream& out) {
        writeFilledTemplate(web::pageHeadHtml(),
                            {{"title", pageText(title)},
                             {"style", pageText(style)},
                             {"chart_library",
                              [&chartLibrary](std::ostream& o) { o << scriptSafe(chartLibrary); }}},
                            out);
    };
}

std::string findWebLibrary(const std::string& fileName, const std::string& packageFolder) {
    const std::string besideTool = ModuleLibrary::executableDirectory() + fileName;
    if (fileExists(besideTool)) {
        return besideTool;
    }
#ifdef KEELMARK_WEB_DIR
    const std::string inWebFolder =
        std::string(KEELMARK_WEB_DIR) + "/node_modules/" + packageFolder + "/" + fileName;
    if (fileExists(inWebFolder)) {
        return inWebFolder;
    }
#endif
    return {};
}

std::string findChartLibrary() {
    return findWebLibrary(kChartLibraryFile, "lightweight-charts/dist");
}

ChartPageWindow chartPageWindow(std::size_t barCount, std::size_t mostBars) {
    if (mostBars == 0 || mostBars >= barCount) {
        return ChartPageWindow{0, barCount};
    }
    return ChartPageWindow{barCount - mostBars, mostBars};
}

namespace {

std::string pageSubtitle(const RunRecord& r, const std::string& barsName,
                         const ChartPageWindow& w) {
    std::string subtitle = barsName + " \u00b7 " + std::to_string(r.bars.size()) + " bars";
    if (!r.bars.empty()) {
        subtitle += " from " + formatDateTime(r.bars.front().start) + " to " +
                    formatDateTime(r.bars.back().start);
    }
    if (w.count < r.bars.size()) {
        subtitle += ", showing the last " + std::to_string(w.count) + " from " +
                    formatDateTime(r.bars.times[w.first]) + " (--html-bars all shows every bar)";
    }
    subtitle += " \u00b7 " + std::string(feedModeName(r.mode)) + " replay \u00b7 module " +
                r.moduleName + ", version " + std::to_string(r.moduleVersion);
    return subtitle;
}

// The page's data member by member, in the order chartPageData gives them;
// `column` writes a bar column or a line's values (streamed or built).
template <typename Member, typename Column>
void pageMembers(const RunRecord& r, const std::string& barsName, const ChartPageWindow& w,
                 Member member, Column column) {
    member("title", Json(r.studyName));
    member("subtitle", Json(pageSubtitle(r, barsName, w)));
    const std::vector<std::int64_t> times = windowTimes(r.bars, w);
    column("times", [&times](std::size_t i) { return Json(times[i]); });
    const std::pair<const char*, const HostColumn*> prices[] = {{"open", &r.bars.open},
                                                                {"high", &r.bars.high},
                                                                {"low", &r.bars.low},
                                                                {"close", &r.bars.close}};
    for (const auto& [name, values] : prices) {
        const HostColumn& v = *values;
        column(name, [&v, &w](std::size_t i) { return floatJson(v[w.first + i]); });
    }
}

}  // namespace

Json chartPageData(const RunRecord& r, const std::string& barsName, std::size_t mostBars) {
    const ChartPageWindow w = chartPageWindow(r.bars.size(), mostBars);
    Json data;
    pageMembers(
        r, barsName, w, [&data](const char* name, Json value) { data[name] = std::move(value); },
        [&data, &w](const char* name, const PageValue& value) {
            data[name] = arrayOf(w.count, value);
        });
    Json lines = Json::array();
    for (const SeriesRecord& s : r.series) {
        if (holdsValues(s)) {
            Json line = lineSettings(s);
            line["values"] =
                arrayOf(w.count, [&s, &w](std::size_t i) { return lineValue(s, w.first + i); });
            lines.push_back(std::move(line));
        }
    }
    data["series"] = lines;
    data["panels"] = panels(r);
    data["markers"] = markers(r, w);
    data["alerts"] = alerts(r, w);
    data["log"] = logLines(r);
    return data;
}

namespace {

std::string dumped(const Json& value) {
    return jsonScriptSafe(value.dump(-1, ' ', true, Json::error_handler_t::replace));
}

// chartPageData as the page's script element takes it, written as it is
// made: the bar columns and line values never exist as JSON all at once.
// Numbers hold no '<', so only the other members need making script-safe.
void writePageData(const RunRecord& r, const std::string& barsName, const ChartPageWindow& w,
                   std::ostream& out) {
    bool first = true;
    auto name = [&out, &first](const char* key) {
        out << (first ? "{" : ",") << dumped(Json(key)) << ':';
        first = false;
    };
    pageMembers(
        r, barsName, w,
        [&](const char* key, const Json& value) {
            name(key);
            out << dumped(value);
        },
        [&](const char* key, const PageValue& value) {
            name(key);
            writeArray(out, w.count, value);
        });
    name("series");
    out << '[';
    bool firstLine = true;
    for (const SeriesRecord& s : r.series) {
        if (!holdsValues(s)) {
            continue;
        }
        const std::string settings = dumped(lineSettings(s));
        out << (firstLine ? "" : ",") << std::string_view(settings).substr(0, settings.size() - 1)
            << ",\"values\":";
        writeArray(out, w.count, [&s, &w](std::size_t i) { return lineValue(s, w.first + i); });
        out << '}';
        firstLine = false;
    }
    out << ']';
    name("panels");
    out << dumped(panels(r));
    name("markers");
    out << dumped(markers(r, w));
    name("alerts");
    out << dumped(alerts(r, w));
    name("log");
    out << dumped(logLines(r)) << '}';
}

}  // namespace

void writeHtml(const RunRecord& record, const std::string& barsName,
               const std::string& chartLibrary, std::ostream& out, std::size_t mostBars) {
    const ChartPageWindow window = chartPageWindow(record.bars.size(), mostBars);
    const std::string title = htmlEscaped(record.studyName);
    writeFilledTemplate(
        web::chartPageHtml(),
        {{"head", pageHead(title, web::chartPageCss(), chartLibrary)},
         {"data", [&](std::ostream& o) { writePageData(record, barsName, window, o); }},
         {"drawing", pageText(web::chartDrawingJs())},
         {"script", pageText(web::chartPageJs())}},
        out);
}

}  // namespace keelmark::replay
