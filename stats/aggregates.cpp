#include "stats/aggregates.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace keelmark::stats {

namespace {

struct SplitColumn {
    const char* column;
    std::vector<std::string> values;
};

const std::vector<SplitColumn>& splitColumns() {
    static const std::vector<SplitColumn> columns = {
        {"ib_close_vs_mid", {"above", "below"}},
        {"ib_size", {"narrow", "normal", "wide"}},
        {"gap", {"up", "down", "none"}},
        {"weekday", {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"}},
    };
    return columns;
}

std::vector<std::size_t> flagColumns(const SessionTable& table) {
    std::vector<std::size_t> columns;
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        if (table.columns[c].kind == ColumnKind::Flag && table.columns[c].name != "complete") {
            columns.push_back(c);
        }
    }
    return columns;
}

std::vector<FlagRate> ratesOver(const SessionTable& table, const std::vector<std::size_t>& rows,
                                const std::vector<std::size_t>& flags) {
    std::vector<FlagRate> rates;
    for (const std::size_t c : flags) {
        std::int64_t sessions = 0, holds = 0;
        for (const std::size_t r : rows) {
            const std::string& cell = table.rows[r][c];
            if (!cell.empty()) {
                ++sessions;
                holds += cell == "1" ? 1 : 0;
            }
        }
        rates.push_back(FlagRate{table.columns[c].name, proportion(holds, sessions)});
    }
    return rates;
}

Quantiles quantilesOf(const SessionTable& table, const std::vector<std::size_t>& rows,
                      const std::string& column) {
    const std::size_t c = table.column(column);
    std::vector<double> values;
    for (const std::size_t r : rows) {
        if (!table.rows[r][c].empty()) {
            values.push_back(std::strtod(table.rows[r][c].c_str(), nullptr));
        }
    }
    std::sort(values.begin(), values.end());
    Quantiles q;
    q.column = column;
    q.sessions = static_cast<std::int64_t>(values.size());
    if (!values.empty()) {
        q.q25 = quantile(values, 0.25);
        q.q50 = quantile(values, 0.5);
        q.q75 = quantile(values, 0.75);
        q.q90 = quantile(values, 0.9);
    }
    return q;
}

int periodIndex(char letter) {
    if (letter >= 'A' && letter <= 'Z') {
        return letter - 'A';
    }
    if (letter >= 'a' && letter <= 'z') {
        return 26 + (letter - 'a');
    }
    return -1;
}

std::vector<PeriodCount> periodCounts(const SessionTable& table,
                                      const std::vector<std::size_t>& rows) {
    const std::size_t c = table.column("ib_first_break_period");
    std::vector<std::int64_t> counts;
    for (const std::size_t r : rows) {
        const std::string& cell = table.rows[r][c];
        const int index = cell.size() == 1 ? periodIndex(cell[0]) : -1;
        if (index >= 0) {
            counts.resize(std::max(counts.size(), static_cast<std::size_t>(index) + 1));
            ++counts[static_cast<std::size_t>(index)];
        }
    }
    std::vector<PeriodCount> periods;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        periods.push_back(PeriodCount{periodLetter(static_cast<std::int64_t>(i)), counts[i]});
    }
    return periods;
}

}  // namespace

Interval wilsonInterval(std::int64_t holds, std::int64_t sessions, double z) {
    if (sessions <= 0) {
        return {};
    }
    const double n = static_cast<double>(sessions);
    const double p = static_cast<double>(holds) / n;
    const double z2 = z * z;
    const double denominator = 1 + z2 / n;
    const double centre = (p + z2 / (2 * n)) / denominator;
    const double half = z * std::sqrt(p * (1 - p) / n + z2 / (4 * n * n)) / denominator;
    // No session holding (or all holding) puts the bound at 0 (or 1) exactly.
    return Interval{holds == 0 ? 0.0 : std::max(0.0, centre - half),
                    holds == sessions ? 1.0 : std::min(1.0, centre + half)};
}

Proportion proportion(std::int64_t holds, std::int64_t sessions) {
    Proportion p;
    p.sessions = sessions;
    p.holds = holds;
    if (sessions > 0) {
        p.percent = 100.0 * static_cast<double>(holds) / static_cast<double>(sessions);
        const Interval i = wilsonInterval(holds, sessions);
        p.low = 100.0 * i.low;
        p.high = 100.0 * i.high;
    }
    return p;
}

double quantile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) {
        return 0;
    }
    const double h = p * static_cast<double>(sorted.size() - 1);
    const auto below = static_cast<std::size_t>(std::floor(h));
    if (below + 1 >= sorted.size()) {
        return sorted.back();
    }
    return sorted[below] + (h - static_cast<double>(below)) * (sorted[below + 1] - sorted[below]);
}

const Proportion& Aggregates::rate(const std::string& column) const {
    for (const FlagRate& r : rates) {
        if (r.column == column) {
            return r.rate;
        }
    }
    throw std::out_of_range("no 0/1 column " + column);
}

Aggregates aggregate(const SessionTable& table) {
    Aggregates a;
    a.sessions = static_cast<std::int64_t>(table.rows.size());
    const std::size_t completeColumn = table.column("complete");
    std::vector<std::size_t> complete;
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        if (table.rows[r][completeColumn] == "1") {
            complete.push_back(r);
        }
    }
    a.completeSessions = static_cast<std::int64_t>(complete.size());
    const std::vector<std::size_t> flags = flagColumns(table);
    a.rates = ratesOver(table, complete, flags);
    for (const SplitColumn& splitBy : splitColumns()) {
        const std::size_t c = table.column(splitBy.column);
        Split split;
        split.column = splitBy.column;
        for (const std::string& value : splitBy.values) {
            std::vector<std::size_t> rows;
            for (const std::size_t r : complete) {
                if (table.rows[r][c] == value) {
                    rows.push_back(r);
                }
            }
            if (rows.empty() && splitBy.column == std::string("weekday")) {
                continue;  // weekends without sessions
            }
            split.groups.push_back(SplitGroup{value, static_cast<std::int64_t>(rows.size()),
                                              ratesOver(table, rows, flags)});
        }
        a.splits.push_back(std::move(split));
    }
    a.quantiles = {quantilesOf(table, complete, "ib_max_up"),
                   quantilesOf(table, complete, "ib_max_down")};
    a.firstBreakPeriods = periodCounts(table, complete);
    return a;
}

}  // namespace keelmark::stats
