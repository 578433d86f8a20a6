#include "stats/session_table.h"

#include <charconv>
#include <stdexcept>

#include "standin_host/clock_text.h"
#include "standin_host/number_text.h"

namespace keelmark::stats {

namespace {

constexpr double kNarrowBelow = 0.75;
constexpr double kWideAbove = 1.25;
constexpr std::int64_t kPeriodMicros = 30 * kMicrosPerMinute;

std::string priceCell(float v) { return v == 0.0f ? std::string() : replay::floatText(v); }

std::string flagCell(bool v) { return v ? "1" : "0"; }

// "%.6g", with no negative zero.
std::string numberCell(double v) {
    if (v == 0) {
        return "0";
    }
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, v, std::chars_format::general, 6);
    return std::string(text, result.ptr);
}

const char* firstBreakName(FirstBreak b) {
    switch (b) {
        case FirstBreak::Up:
            return "up";
        case FirstBreak::Down:
            return "down";
        case FirstBreak::Both:
            return "both";
        case FirstBreak::None:
            break;
    }
    return "none";
}

const char* sideOf(double value, double reference, const char* above, const char* below,
                   const char* equal) {
    return value > reference ? above : value < reference ? below : equal;
}

class ColumnBuilder {
public:
    void add(const std::string& name, ColumnKind kind) { columns_.push_back(Column{name, kind}); }
    std::vector<Column> take() { return std::move(columns_); }

private:
    std::vector<Column> columns_;
};

std::vector<Column> sessionColumns(const std::vector<LadderStep>& ladder) {
    using K = ColumnKind;
    ColumnBuilder c;
    c.add("file", K::Text);
    c.add("session", K::Text);
    c.add("weekday", K::Text);
    c.add("complete", K::Flag);
    c.add("bars", K::Count);
    for (const char* name : {"rth_open", "rth_high", "rth_low", "rth_close", "or_high", "or_low",
                             "ib_high", "ib_low"}) {
        c.add(name, K::Price);
    }
    c.add("ib_complete", K::Flag);
    c.add("or_complete", K::Flag);
    c.add("ib_close_vs_mid", K::Text);
    c.add("ib_range_ratio", K::Number);
    c.add("ib_size", K::Text);
    c.add("ib_break_up", K::Flag);
    c.add("ib_break_down", K::Flag);
    c.add("ib_first_break", K::Text);
    c.add("ib_first_break_minutes", K::Number);
    c.add("ib_first_break_period", K::Text);
    c.add("ib_failed_break", K::Flag);
    for (const LadderStep& step : ladder) {
        c.add("ib_up_" + step.text, K::Flag);
        c.add("ib_down_" + step.text, K::Flag);
    }
    c.add("ib_max_up", K::Number);
    c.add("ib_max_down", K::Number);
    c.add("or_break_up", K::Flag);
    c.add("or_break_down", K::Flag);
    c.add("or_first_break", K::Text);
    for (const LadderStep& step : ladder) {
        c.add("or_up_" + step.text, K::Flag);
        c.add("or_down_" + step.text, K::Flag);
    }
    c.add("on_high", K::Price);
    c.add("on_low", K::Price);
    c.add("on_high_taken", K::Flag);
    c.add("on_low_taken", K::Flag);
    c.add("pd_high", K::Price);
    c.add("pd_low", K::Price);
    c.add("pd_close", K::Price);
    c.add("pd_high_taken", K::Flag);
    c.add("pd_low_taken", K::Flag);
    c.add("pd_close_touched", K::Flag);
    c.add("gap", K::Text);
    c.add("gap_filled", K::Flag);
    return c.take();
}

void addIbCells(const SessionRow& row, std::vector<std::string>& cells) {
    const RangeOutcome& ib = row.ib;
    const double high = row.ibHigh;
    const double low = row.ibLow;
    const double r = ibRange(row);
    cells.push_back(sideOf(row.closeBeforeIbEnd, (high + low) / 2, "above", "below", "at"));
    if (row.ibRangeRatio) {
        const double ratio = *row.ibRangeRatio;
        cells.push_back(numberCell(ratio));
        cells.push_back(ratio < kNarrowBelow ? "narrow" : ratio > kWideAbove ? "wide" : "normal");
    } else {
        cells.insert(cells.end(), 2, std::string());
    }
    cells.push_back(flagCell(ib.breakUp));
    cells.push_back(flagCell(ib.breakDown));
    cells.push_back(firstBreakName(ib.firstBreak));
    if (ib.firstBreak != FirstBreak::None) {
        cells.push_back(numberCell(static_cast<double>(ib.firstBreakStart - row.ibEnd) /
                                   static_cast<double>(kMicrosPerMinute)));
        cells.push_back(
            std::string(1, periodLetter((ib.firstBreakStart - row.rthStart) / kPeriodMicros)));
    } else {
        cells.insert(cells.end(), 2, std::string());
    }
    if (ib.firstBreak == FirstBreak::Up) {
        cells.push_back(flagCell(row.rthClose <= row.ibHigh));
    } else if (ib.firstBreak == FirstBreak::Down) {
        cells.push_back(flagCell(row.rthClose >= row.ibLow));
    } else {
        cells.emplace_back();
    }
    for (std::size_t k = 0; k < ib.up.size(); ++k) {
        cells.push_back(flagCell(ib.up[k] != 0));
        cells.push_back(flagCell(ib.down[k] != 0));
    }
    if (r != 0) {
        cells.push_back(numberCell(std::max(0.0, (ib.highest - high) / r)));
        cells.push_back(numberCell(std::max(0.0, (low - ib.lowest) / r)));
    } else {
        cells.insert(cells.end(), 2, std::string());
    }
}

void addOpeningRangeCells(const SessionRow& row, std::vector<std::string>& cells) {
    const RangeOutcome& o = row.openingRange;
    cells.push_back(flagCell(o.breakUp));
    cells.push_back(flagCell(o.breakDown));
    cells.push_back(firstBreakName(o.firstBreak));
    for (std::size_t k = 0; k < o.up.size(); ++k) {
        cells.push_back(flagCell(o.up[k] != 0));
        cells.push_back(flagCell(o.down[k] != 0));
    }
}

void addTakenCell(float level, bool taken, std::vector<std::string>& cells) {
    cells.push_back(level != 0.0f ? flagCell(taken) : std::string());
}

std::vector<std::string> sessionCells(const SessionRow& row, const std::string& fileName,
                                      std::size_t ladderSteps) {
    std::vector<std::string> cells;
    cells.push_back(fileName);
    cells.push_back(replay::formatDateTime(row.rthStart).substr(0, 10));
    cells.push_back(weekdayName(row.rthStart));
    cells.push_back(flagCell(row.complete));
    cells.push_back(std::to_string(row.bars));
    for (const float v : {row.rthOpen, row.rthHigh, row.rthLow, row.rthClose, row.orHigh, row.orLow,
                          row.ibHigh, row.ibLow}) {
        cells.push_back(priceCell(v));
    }
    cells.push_back(flagCell(row.ib.complete));
    cells.push_back(flagCell(row.openingRange.complete));
    if (row.ib.complete) {
        addIbCells(row, cells);
    } else {
        // close vs mid to failed break, the ladder, max up and down
        cells.insert(cells.end(), 9 + 2 * ladderSteps + 2, std::string());
    }
    if (row.openingRange.complete) {
        addOpeningRangeCells(row, cells);
    } else {
        cells.insert(cells.end(), 3 + 2 * ladderSteps, std::string());
    }
    cells.push_back(priceCell(row.overnightHigh));
    cells.push_back(priceCell(row.overnightLow));
    addTakenCell(row.overnightHigh, row.overnightHighTaken, cells);
    addTakenCell(row.overnightLow, row.overnightLowTaken, cells);
    cells.push_back(priceCell(row.priorHigh));
    cells.push_back(priceCell(row.priorLow));
    cells.push_back(priceCell(row.priorClose));
    addTakenCell(row.priorHigh, row.priorHighTaken, cells);
    addTakenCell(row.priorLow, row.priorLowTaken, cells);
    addTakenCell(row.priorClose, row.priorCloseTouched, cells);
    if (row.priorClose != 0.0f) {
        const char* gap = sideOf(row.rthOpen, row.priorClose, "up", "down", "none");
        cells.push_back(gap);
        cells.push_back(row.rthOpen != row.priorClose ? flagCell(row.priorCloseTouched)
                                                      : std::string());
    } else {
        cells.insert(cells.end(), 2, std::string());
    }
    return cells;
}

}  // namespace

std::size_t SessionTable::column(const std::string& name) const {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].name == name) {
            return i;
        }
    }
    throw std::out_of_range("no session column " + name);
}

const char* weekdayName(ChartDateTime t) {
    static const char* const kNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    // Day 0 of the chart clock, 1899-12-30, was a Saturday.
    const std::int64_t day = dayNumber(t);
    return kNames[((day + 5) % 7 + 7) % 7];
}

char periodLetter(std::int64_t period) {
    if (period >= 0 && period < 26) {
        return static_cast<char>('A' + period);
    }
    if (period >= 26 && period < 52) {
        return static_cast<char>('a' + (period - 26));
    }
    return '?';
}

SessionTable sessionTable(const std::vector<SessionRow>& rows,
                          const std::vector<std::string>& fileNames,
                          const std::vector<LadderStep>& ladder) {
    SessionTable table;
    table.columns = sessionColumns(ladder);
    table.rows.reserve(rows.size());
    for (const SessionRow& row : rows) {
        table.rows.push_back(sessionCells(row, fileNames.at(row.file), ladder.size()));
        if (table.rows.back().size() != table.columns.size()) {
            throw std::logic_error("session row of " + std::to_string(table.rows.back().size()) +
                                   " cells for " + std::to_string(table.columns.size()) +
                                   " columns");
        }
    }
    return table;
}

}  // namespace keelmark::stats
