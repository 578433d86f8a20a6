#include "stats/stats_json.h"

#include <charconv>

#include "stats/study_levels.h"

namespace keelmark::stats {

namespace {

using Json = nlohmann::ordered_json;

Json cellJson(const std::string& cell, ColumnKind kind) {
    if (cell.empty()) {
        return nullptr;
    }
    switch (kind) {
        case ColumnKind::Flag:
        case ColumnKind::Count:
            return std::stoll(cell);
        case ColumnKind::Price:
        case ColumnKind::Number: {
            double v = 0;
            std::from_chars(cell.data(), cell.data() + cell.size(), v);
            return v;
        }
        case ColumnKind::Text:
            break;
    }
    return cell;
}

Json proportionJson(const Proportion& p) {
    return Json{{"sessions", p.sessions},
                {"holds", p.holds},
                {"percent", p.percent},
                {"low", p.low},
                {"high", p.high}};
}

Json ratesJson(const std::vector<FlagRate>& rates) {
    Json j = Json::object();
    for (const FlagRate& r : rates) {
        j[r.column] = proportionJson(r.rate);
    }
    return j;
}

}  // namespace

Json sessionsJson(const SessionTable& table) {
    Json sessions = Json::array();
    for (const auto& row : table.rows) {
        Json s = Json::object();
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            s[table.columns[c].name] = cellJson(row[c], table.columns[c].kind);
        }
        sessions.push_back(std::move(s));
    }
    return sessions;
}

Json aggregatesJson(const Aggregates& a) {
    Json splits = Json::object();
    for (const Split& split : a.splits) {
        Json groups = Json::array();
        for (const SplitGroup& g : split.groups) {
            groups.push_back(
                Json{{"value", g.value}, {"sessions", g.sessions}, {"rates", ratesJson(g.rates)}});
        }
        splits[split.column] = std::move(groups);
    }
    Json quantiles = Json::object();
    for (const Quantiles& q : a.quantiles) {
        quantiles[q.column] = Json{{"sessions", q.sessions},
                                   {"q25", q.q25},
                                   {"q50", q.q50},
                                   {"q75", q.q75},
                                   {"q90", q.q90}};
    }
    Json periods = Json::array();
    for (const PeriodCount& p : a.firstBreakPeriods) {
        periods.push_back(Json{{"period", std::string(1, p.period)}, {"sessions", p.sessions}});
    }
    return Json{{"sessions", a.sessions},
                {"completeSessions", a.completeSessions},
                {"rates", ratesJson(a.rates)},
                {"splits", std::move(splits)},
                {"quantiles", std::move(quantiles)},
                {"firstBreakPeriods", std::move(periods)}};
}

void writeStatsJson(const StatsRequest& request, const SessionTable& table,
                    const Aggregates& aggregates, std::ostream& out) {
    Json ladder = Json::array();
    for (const LadderStep& step : request.ladder) {
        ladder.push_back(Json{{"text", step.text}, {"multiple", step.multiple}});
    }
    const Json j{
        {"files", request.barFiles},        {"periodMinutes", request.loading.periodMinutes},
        {"tzFrom", request.loading.tzFrom}, {"tzTo", request.loading.tzTo},
        {"inputs", request.inputs},         {"forcedInputs", forcedInputSettings()},
        {"ladder", std::move(ladder)},      {"aggregates", aggregatesJson(aggregates)},
        {"sessions", sessionsJson(table)}};
    out << j.dump(1) << '\n';
}

}  // namespace keelmark::stats
