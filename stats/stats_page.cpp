#include "stats/stats_page.h"

#include <charconv>

#include "run_outputs/html_output.h"
#include "stats/stats_json.h"
#include "web_files/stats_page.h"

namespace keelmark::stats {

namespace {

using Json = nlohmann::ordered_json;

std::string fileNameOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

double cellValue(const std::string& cell) {
    double v = 0;
    std::from_chars(cell.data(), cell.data() + cell.size(), v);
    return v;
}

// Each file's IB range per session with a complete IB, and its mean over
// the `window` most recent of them (null until there are that many).
Json rangesOverTime(const SessionTable& table, const std::vector<std::string>& files,
                    std::int32_t window) {
    const std::size_t file = table.column("file");
    const std::size_t session = table.column("session");
    const std::size_t high = table.column("ib_high");
    const std::size_t low = table.column("ib_low");
    const std::size_t complete = table.column("ib_complete");
    Json ranges = Json::array();
    for (const std::string& name : files) {
        Json sessions = Json::array(), r = Json::array(), mean = Json::array();
        std::vector<double> values;
        for (const auto& row : table.rows) {
            if (row[file] != name || row[complete] != "1") {
                continue;
            }
            const double range = cellValue(row[high]) - cellValue(row[low]);
            values.push_back(range);
            sessions.push_back(row[session]);
            r.push_back(range);
            if (window > 0 && values.size() >= static_cast<std::size_t>(window)) {
                double sum = 0;
                for (std::size_t i = values.size() - static_cast<std::size_t>(window);
                     i < values.size(); ++i) {
                    sum += values[i];
                }
                mean.push_back(sum / window);
            } else {
                mean.push_back(nullptr);
            }
        }
        ranges.push_back(Json{{"name", fileNameOf(name)},
                              {"sessions", std::move(sessions)},
                              {"r", std::move(r)},
                              {"mean", std::move(mean)}});
    }
    return ranges;
}

std::string subtitle(const StatsRequest& request, const SessionTable& table,
                     const Aggregates& aggregates) {
    std::string names;
    for (const std::string& path : request.barFiles) {
        names += (names.empty() ? "" : ", ") + fileNameOf(path);
    }
    std::string text =
        names + " \u00b7 " + std::to_string(aggregates.completeSessions) + " complete RTH sessions";
    if (!table.rows.empty()) {
        const std::size_t session = table.column("session");
        text += " from " + table.rows.front()[session] + " to " + table.rows.back()[session];
    }
    if (aggregates.completeSessions < aggregates.sessions) {
        text += " (" + std::to_string(aggregates.sessions - aggregates.completeSessions) +
                " ending inside RTH left out)";
    }
    return text;
}

std::string settingsText(const StatsRequest& request) {
    std::string text = "Levels from Keelmark Session Levels";
    if (request.inputs.empty()) {
        text += " at its default settings";
    } else {
        text += " with";
        for (const std::string& input : request.inputs) {
            text += " --input \"" + input + "\"";
        }
    }
    if (request.loading.periodMinutes > 0) {
        text += ", bars of " + std::to_string(request.loading.periodMinutes) + " minutes";
    }
    if (!request.loading.tzFrom.empty()) {
        text += ", times moved from " + request.loading.tzFrom + " to " + request.loading.tzTo;
    }
    return text + ". Only sessions followed by a bar in their file count.";
}

}  // namespace

Json statsPageData(const StatsRequest& request, const SessionTable& table,
                   const Aggregates& aggregates, std::int32_t averageSessions) {
    Json ladder = Json::array();
    for (const LadderStep& step : request.ladder) {
        ladder.push_back(step.text);
    }
    const Json levels = Json::array({
        Json::array({"ib_failed_break", "IB first break failed (closed back inside)"}),
        Json::array({"on_high_taken", "overnight high taken"}),
        Json::array({"on_low_taken", "overnight low taken"}),
        Json::array({"pd_high_taken", "prior-day high taken"}),
        Json::array({"pd_low_taken", "prior-day low taken"}),
        Json::array({"pd_close_touched", "prior-day close touched"}),
        Json::array({"gap_filled", "gap filled (prior-day close touched after a gap)"}),
    });
    const Json splitTitles = Json::array({
        Json::array({"ib_close_vs_mid", "IB close against the IB midpoint"}),
        Json::array({"ib_size", "IB size against the mean of recent sessions"}),
        Json::array({"gap", "Open against the prior-day close"}),
        Json::array({"weekday", "Weekday"}),
    });
    const Json splitColumns = Json::array({
        Json::array({"ib_break_up", "IB break up"}),
        Json::array({"ib_break_down", "IB break down"}),
        Json::array({"ib_failed_break", "failed"}),
        Json::array({"on_high_taken", "ON high"}),
        Json::array({"on_low_taken", "ON low"}),
        Json::array({"pd_close_touched", "PD close"}),
        Json::array({"gap_filled", "gap filled"}),
    });
    return Json{{"title", "Session statistics"},
                {"subtitle", subtitle(request, table, aggregates)},
                {"settings", settingsText(request)},
                {"ladder", std::move(ladder)},
                {"levels", levels},
                {"splitTitles", splitTitles},
                {"splitColumns", splitColumns},
                {"averageSessions", averageSessions},
                {"aggregates", aggregatesJson(aggregates)},
                {"ranges", rangesOverTime(table, request.barFiles, averageSessions)}};
}

void writeStatsPage(const StatsRequest& request, const SessionTable& table,
                    const Aggregates& aggregates, std::int32_t averageSessions,
                    const std::string& chartLibrary, std::ostream& out) {
    const std::string data = statsPageData(request, table, aggregates, averageSessions)
                                 .dump(-1, ' ', true, Json::error_handler_t::replace);
    const std::string pageData = replay::jsonScriptSafe(data);
    replay::writeFilledTemplate(
        web::statsPageHtml(),
        {{"head", replay::pageHead("Session statistics", web::statsPageCss(), chartLibrary)},
         {"data", replay::pageText(pageData)},
         {"script", replay::pageText(web::statsPageJs())}},
        out);
}

}  // namespace keelmark::stats
