#include "tests/stats/reference_sessions.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace keelmark::test {

namespace {

struct RawBar {
    std::string date;  // YYYY-MM-DD
    int minute = 0;    // of the day
    float open = 0, high = 0, low = 0, close = 0;
};

std::vector<RawBar> readRawBars(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::vector<RawBar> bars;
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        if (line.empty()) {
            continue;
        }
        RawBar b;
        b.date = line.substr(0, 10);
        b.minute = std::stoi(line.substr(11, 2)) * 60 + std::stoi(line.substr(14, 2));
        const char* p = line.c_str() + line.find(',') + 1;
        char* end = nullptr;
        b.open = std::strtof(p, &end);
        b.high = std::strtof(end + 1, &end);
        b.low = std::strtof(end + 1, &end);
        b.close = std::strtof(end + 1, &end);
        bars.push_back(b);
    }
    return bars;
}

std::string g(const char* format, double v) {
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

std::string price(float v) { return v == 0.0f ? "" : g("%.9g", v); }
std::string flag(bool v) { return v ? "1" : "0"; }
std::string number(double v) { return v == 0 ? "0" : g("%.6g", v); }

const char* weekday(const std::string& date) {
    const int y0 = std::stoi(date.substr(0, 4));
    const int m = std::stoi(date.substr(5, 2));
    const int d = std::stoi(date.substr(8, 2));
    // Zeller-style day of the week (Sakamoto), 0 = Sunday.
    static const int t[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    const int y = m < 3 ? y0 - 1 : y0;
    const int w = (y + y / 4 - y / 100 + y / 400 + t[m - 1] + d) % 7;
    static const char* const names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    return names[w];
}

struct Range {
    bool any = false;
    float high = 0, low = 0;
    void add(const RawBar& b) {
        high = any ? std::max(high, b.high) : b.high;
        low = any ? std::min(low, b.low) : b.low;
        any = true;
    }
};

struct Breaks {
    bool complete = false;
    std::map<std::string, std::string> cells;
};

// Breaks, first break and ladder of the bars after a window.
void rangeCells(const std::string& prefix, const std::vector<RawBar>& rth, int windowEnd,
                float high, float low, const ReferenceSettings& s,
                std::map<std::string, std::string>& row, bool withDetail, const RawBar*& firstBreak,
                std::string& firstBreakName) {
    bool inside = false, after = false, up = false, down = false;
    double highest = -1e300, lowest = 1e300;
    firstBreak = nullptr;
    firstBreakName = "none";
    for (const RawBar& b : rth) {
        if (b.minute < windowEnd) {
            inside = true;
            continue;
        }
        after = true;
        highest = std::max(highest, static_cast<double>(b.high));
        lowest = std::min(lowest, static_cast<double>(b.low));
        const bool u = b.high > high, d = b.low < low;
        if (firstBreak == nullptr && (u || d)) {
            firstBreak = &b;
            firstBreakName = u && d ? "both" : u ? "up" : "down";
        }
        up = up || u;
        down = down || d;
    }
    const bool complete = inside && after;
    row[prefix + "_complete"] = flag(complete);
    if (!complete) {
        row[prefix + "_break_up"] = row[prefix + "_break_down"] = row[prefix + "_first_break"] = "";
        for (const std::string& k : s.ladder) {
            row[prefix + "_up_" + k] = row[prefix + "_down_" + k] = "";
        }
        if (withDetail) {
            row[prefix + "_max_up"] = row[prefix + "_max_down"] = "";
        }
        return;
    }
    row[prefix + "_break_up"] = flag(up);
    row[prefix + "_break_down"] = flag(down);
    row[prefix + "_first_break"] = firstBreakName;
    const double r = static_cast<double>(high) - static_cast<double>(low);
    for (const std::string& k : s.ladder) {
        const double m = std::strtod(k.c_str(), nullptr);
        row[prefix + "_up_" + k] = flag(highest >= high + m * r);
        row[prefix + "_down_" + k] = flag(lowest <= low - m * r);
    }
    if (withDetail) {
        row[prefix + "_max_up"] = r == 0 ? "" : number(std::max(0.0, (highest - high) / r));
        row[prefix + "_max_down"] = r == 0 ? "" : number(std::max(0.0, (low - lowest) / r));
    }
}

}  // namespace

std::vector<std::map<std::string, std::string>> referenceSessions(const std::string& barFilePath,
                                                                  const ReferenceSettings& s) {
    const std::vector<RawBar> bars = readRawBars(barFilePath);
    auto inRth = [&](const RawBar& b) { return b.minute >= s.rthStart && b.minute < s.rthEnd; };
    std::vector<std::string> dates;
    for (const RawBar& b : bars) {
        if (inRth(b) && (dates.empty() || dates.back() != b.date)) {
            dates.push_back(b.date);
        }
    }
    std::vector<std::map<std::string, std::string>> rows;
    std::vector<double> recentRanges;  // complete sessions with a complete IB
    for (std::size_t i = 0; i < dates.size(); ++i) {
        const std::string& day = dates[i];
        std::map<std::string, std::string> row;
        std::vector<RawBar> rth;
        std::size_t lastIndex = 0;
        for (std::size_t j = 0; j < bars.size(); ++j) {
            if (bars[j].date == day && inRth(bars[j])) {
                rth.push_back(bars[j]);
                lastIndex = j;
            }
        }
        row["session"] = day;
        row["weekday"] = weekday(day);
        const bool complete = lastIndex + 1 < bars.size();
        row["complete"] = flag(complete);
        row["bars"] = std::to_string(rth.size());
        Range session, openingRange, ib;
        for (const RawBar& b : rth) {
            session.add(b);
            if (b.minute < s.rthStart + s.openingRangeMinutes) {
                openingRange.add(b);
            }
            if (b.minute < s.rthStart + s.initialBalanceMinutes) {
                ib.add(b);
            }
        }
        row["rth_open"] = price(rth.front().open);
        row["rth_high"] = price(session.high);
        row["rth_low"] = price(session.low);
        row["rth_close"] = price(rth.back().close);
        row["or_high"] = price(openingRange.high);
        row["or_low"] = price(openingRange.low);
        row["ib_high"] = price(ib.high);
        row["ib_low"] = price(ib.low);

        const RawBar* firstBreak = nullptr;
        std::string firstBreakName;
        const int ibEnd = s.rthStart + s.initialBalanceMinutes;
        rangeCells("ib", rth, ibEnd, ib.high, ib.low, s, row, true, firstBreak, firstBreakName);
        const bool ibComplete = row["ib_complete"] == "1";
        const double r = static_cast<double>(ib.high) - static_cast<double>(ib.low);
        row["ib_close_vs_mid"] = row["ib_range_ratio"] = row["ib_size"] = "";
        row["ib_first_break_minutes"] = row["ib_first_break_period"] = "";
        row["ib_failed_break"] = "";
        if (ibComplete) {
            float closeInIb = 0;
            for (const RawBar& b : rth) {
                if (b.minute < ibEnd) {
                    closeInIb = b.close;
                }
            }
            const double mid = (static_cast<double>(ib.high) + ib.low) / 2;
            row["ib_close_vs_mid"] = closeInIb > mid ? "above" : closeInIb < mid ? "below" : "at";
            if (static_cast<int>(recentRanges.size()) >= s.averageSessions) {
                double sum = 0;
                for (std::size_t k = recentRanges.size() - s.averageSessions;
                     k < recentRanges.size(); ++k) {
                    sum += recentRanges[k];
                }
                const double mean = sum / s.averageSessions;
                if (mean != 0) {
                    const double ratio = r / mean;
                    row["ib_range_ratio"] = number(ratio);
                    row["ib_size"] = ratio < 0.75 ? "narrow" : ratio > 1.25 ? "wide" : "normal";
                }
            }
            if (firstBreak != nullptr) {
                row["ib_first_break_minutes"] = number(firstBreak->minute - ibEnd);
                const int period = (firstBreak->minute - s.rthStart) / 30;
                row["ib_first_break_period"] = std::string(
                    1, static_cast<char>(period < 26 ? 'A' + period : 'a' + period - 26));
            }
            if (firstBreakName == "up") {
                row["ib_failed_break"] = flag(rth.back().close <= ib.high);
            } else if (firstBreakName == "down") {
                row["ib_failed_break"] = flag(rth.back().close >= ib.low);
            }
            if (complete) {
                recentRanges.push_back(r);
            }
        }
        rangeCells("or", rth, s.rthStart + s.openingRangeMinutes, openingRange.high,
                   openingRange.low, s, row, false, firstBreak, firstBreakName);

        // The prior session and the overnight between it and this one.
        Range overnight, prior, priorOvernight;
        float priorClose = 0;
        if (i > 0) {
            const std::string& before = dates[i - 1];
            const std::string beforeThat = i > 1 ? dates[i - 2] : "";
            for (const RawBar& b : bars) {
                if (b.date == before && inRth(b)) {
                    prior.add(b);
                    priorClose = b.close;
                }
                const bool afterPrior =
                    b.date > before || (b.date == before && b.minute >= s.rthEnd);
                const bool beforeThis = b.date < day || (b.date == day && b.minute < s.rthStart);
                if (afterPrior && beforeThis && (b.minute >= s.overnightStart || b.date > before)) {
                    overnight.add(b);
                }
                if (i > 1) {
                    const bool afterEarlier =
                        b.date > beforeThat || (b.date == beforeThat && b.minute >= s.rthEnd);
                    const bool beforePrior =
                        b.date < before || (b.date == before && b.minute < s.rthStart);
                    if (afterEarlier && beforePrior &&
                        (b.minute >= s.overnightStart || b.date > beforeThat)) {
                        priorOvernight.add(b);
                    }
                }
            }
        }
        if (s.priorDayIncludesOvernight && priorOvernight.any) {
            prior.high = std::max(prior.high, priorOvernight.high);
            prior.low = std::min(prior.low, priorOvernight.low);
        }
        auto taken = [&](bool exists, auto test) {
            if (!exists) {
                return std::string();
            }
            return flag(std::any_of(rth.begin(), rth.end(), test));
        };
        row["on_high"] = price(overnight.high);
        row["on_low"] = price(overnight.low);
        row["on_high_taken"] =
            taken(overnight.any, [&](const RawBar& b) { return b.high > overnight.high; });
        row["on_low_taken"] =
            taken(overnight.any, [&](const RawBar& b) { return b.low < overnight.low; });
        row["pd_high"] = price(prior.high);
        row["pd_low"] = price(prior.low);
        row["pd_close"] = price(priorClose);
        row["pd_high_taken"] =
            taken(prior.any, [&](const RawBar& b) { return b.high > prior.high; });
        row["pd_low_taken"] = taken(prior.any, [&](const RawBar& b) { return b.low < prior.low; });
        row["pd_close_touched"] = taken(prior.any, [&](const RawBar& b) {
            return b.low <= priorClose && priorClose <= b.high;
        });
        row["gap"] = row["gap_filled"] = "";
        if (prior.any) {
            const float open = rth.front().open;
            row["gap"] = open > priorClose ? "up" : open < priorClose ? "down" : "none";
            if (open != priorClose) {
                row["gap_filled"] = row["pd_close_touched"];
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace keelmark::test
