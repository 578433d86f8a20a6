#include "stats/stats_terminal.h"

#include <cstdio>
#include <initializer_list>
#include <string_view>

namespace keelmark::stats {

namespace {

// Appends the pieces in order (one growth, no temporaries joined first).
void append(std::string& out, std::initializer_list<std::string_view> pieces) {
    for (const std::string_view piece : pieces) {
        out.append(piece);
    }
}

std::string printed(const char* format, double a, double b = 0, double c = 0) {
    char text[128];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) {
        text.append(width - text.size(), ' ');
    }
    return text;
}

// "62.4% (58.1-66.5)" or "-" without sessions, in a fixed width.
std::string rateText(const Proportion& p) {
    if (p.sessions == 0) {
        return padded("-", 19);
    }
    return padded(printed("%5.1f%% (%.1f-%.1f)", p.percent, p.low, p.high), 19);
}

const Proportion* findRate(const std::vector<FlagRate>& rates, const std::string& column) {
    for (const FlagRate& r : rates) {
        if (r.column == column) {
            return &r.rate;
        }
    }
    return nullptr;
}

void ladderTable(std::string& out, const Aggregates& a, const std::vector<LadderStep>& ladder,
                 const std::string& range) {
    const std::string name = range == "ib" ? "IB" : "OR";
    const std::string sessions = std::to_string(a.rate(range + "_complete").holds);
    append(out, {"\n", name, " extensions, % of sessions with a complete ", name, " (", sessions,
                 ")\n", "  k      up                   down\n"});
    append(out, {"  break  ", rateText(a.rate(range + "_break_up")), "  ",
                 rateText(a.rate(range + "_break_down")), "\n"});
    for (const LadderStep& step : ladder) {
        append(out, {"  ", padded(step.text, 5), "  ", rateText(a.rate(range + "_up_" + step.text)),
                     "  ", rateText(a.rate(range + "_down_" + step.text)), "\n"});
    }
}

void levelRows(std::string& out, const Aggregates& a) {
    out += "\nOther levels                  %     (95% CI)          of\n";
    const std::pair<const char*, const char*> rows[] = {
        {"ib_failed_break", "IB first break failed"},
        {"on_high_taken", "overnight high taken"},
        {"on_low_taken", "overnight low taken"},
        {"pd_high_taken", "prior-day high taken"},
        {"pd_low_taken", "prior-day low taken"},
        {"pd_close_touched", "prior-day close touched"},
        {"gap_filled", "gap filled"},
    };
    for (const auto& [column, label] : rows) {
        const Proportion& p = a.rate(column);
        append(out, {"  ", padded(label, 25), "  ", rateText(p), "  ", std::to_string(p.sessions),
                     "\n"});
    }
}

void splitTables(std::string& out, const Aggregates& a) {
    const char* columns[] = {"ib_break_up",   "ib_break_down", "ib_failed_break",
                             "on_high_taken", "on_low_taken",  "gap_filled"};
    for (const Split& split : a.splits) {
        append(out, {"\nBy ", split.column, "\n", padded("", 10),
                     " sessions  IB up   IB down failed  ONH     ONL     gap filled\n"});
        for (const SplitGroup& g : split.groups) {
            append(out,
                   {"  ", padded(g.value, 8), printed("%9.0f", static_cast<double>(g.sessions))});
            for (const char* column : columns) {
                const Proportion* p = findRate(g.rates, column);
                const std::string text = p != nullptr && p->sessions > 0
                                             ? printed("%5.1f%%", p->percent)
                                             : std::string("    -");
                append(out, {"  ", padded(text, 6)});
            }
            out += "\n";
        }
    }
}

void distributions(std::string& out, const Aggregates& a) {
    out += "\nIB range multiples reached after the IB   25%    50%    75%    90%    of\n";
    for (const Quantiles& q : a.quantiles) {
        append(out,
               {"  ", padded(q.column, 38), printed("%5.2f  %5.2f  %5.2f", q.q25, q.q50, q.q75),
                printed("  %5.2f  %.0f\n", q.q90, static_cast<double>(q.sessions))});
    }
    out += "\nFirst IB break by 30-minute period:";
    for (const PeriodCount& p : a.firstBreakPeriods) {
        append(out, {" ", std::string_view(&p.period, 1), " ", std::to_string(p.sessions)});
    }
    out += "\n";
}

}  // namespace

std::string terminalReport(const Aggregates& a, const std::vector<LadderStep>& ladder,
                           std::size_t files) {
    std::string out;
    append(out, {std::to_string(a.sessions), " RTH sessions from ", std::to_string(files),
                 files == 1 ? " file" : " files", ", ", std::to_string(a.completeSessions),
                 " complete"});
    if (a.completeSessions < a.sessions) {
        out += " (a file ending inside RTH: its last session is left out)";
    }
    out += "\n";
    if (a.completeSessions == 0) {
        return out;
    }
    ladderTable(out, a, ladder, "ib");
    ladderTable(out, a, ladder, "or");
    levelRows(out, a);
    splitTables(out, a);
    distributions(out, a);
    return out;
}

}  // namespace keelmark::stats
