#include "stats/session_rows.h"

#include <algorithm>
#include <deque>

#include "host/chart_date_time.h"

namespace keelmark::stats {

namespace {

using replay::Bar;

// A bar is RTH when the study plotted an RTH-only level on it.
bool isRthBar(const PlottedLevels& levels, std::size_t i) {
    return levels.rthOpen[i] != 0.0f || levels.orHigh[i] != 0.0f || levels.ibHigh[i] != 0.0f;
}

// The RTH start on the day the session of an RTH bar opened: that day's
// start time, or the day before's for a session that runs past midnight.
ChartDateTime rthStartOfSession(ChartDateTime barStart, std::int32_t rthStartSeconds) {
    std::int64_t day = dayNumber(barStart);
    if (secondsOfDay(barStart) < rthStartSeconds) {
        --day;
    }
    return day * kMicrosPerDay + static_cast<std::int64_t>(rthStartSeconds) * kMicrosPerSecond;
}

// The bars after a range's window: breaks, the first break, the ladder and
// the extremes. `bars` are the session's RTH bars.
RangeOutcome rangeOutcome(std::span<const Bar> bars, ChartDateTime windowEnd, float high, float low,
                          const std::vector<LadderStep>& ladder) {
    RangeOutcome o;
    const bool windowHoldsBar =
        std::any_of(bars.begin(), bars.end(), [&](const Bar& b) { return b.start < windowEnd; });
    bool afterWindow = false;
    for (const Bar& b : bars) {
        if (b.start < windowEnd) {
            continue;
        }
        const bool up = b.high > high;
        const bool down = b.low < low;
        if (!afterWindow) {
            o.highest = b.high;
            o.lowest = b.low;
            afterWindow = true;
        } else {
            o.highest = std::max(o.highest, static_cast<double>(b.high));
            o.lowest = std::min(o.lowest, static_cast<double>(b.low));
        }
        if (o.firstBreak == FirstBreak::None && (up || down)) {
            o.firstBreak = up && down ? FirstBreak::Both : up ? FirstBreak::Up : FirstBreak::Down;
            o.firstBreakStart = b.start;
        }
        o.breakUp = o.breakUp || up;
        o.breakDown = o.breakDown || down;
    }
    o.complete = windowHoldsBar && afterWindow && high != 0.0f && low != 0.0f;
    if (!o.complete) {
        return RangeOutcome{};
    }
    const double h = high;
    const double l = low;
    const double r = h - l;
    for (const LadderStep& step : ladder) {
        o.up.push_back(o.highest >= h + step.multiple * r ? 1 : 0);
        o.down.push_back(o.lowest <= l - step.multiple * r ? 1 : 0);
    }
    return o;
}

struct SessionSpan {
    std::size_t first = 0, last = 0;  // RTH bars, inclusive
};

std::vector<SessionSpan> sessionSpans(const PlottedLevels& levels, std::size_t barCount) {
    std::vector<SessionSpan> spans;
    bool previousRth = false;
    for (std::size_t i = 0; i < barCount; ++i) {
        const bool rth = isRthBar(levels, i);
        if (rth) {
            if (previousRth && levels.sessionNumber[i] == levels.sessionNumber[i - 1]) {
                spans.back().last = i;
            } else {
                spans.push_back(SessionSpan{i, i});
            }
        }
        previousRth = rth;
    }
    return spans;
}

SessionRow measureSession(const replay::BarColumns& chart, const PlottedLevels& levels,
                          const SessionSettings& settings, const std::vector<LadderStep>& ladder,
                          SessionSpan span) {
    // One session's bars as records: a few hundred at most.
    std::vector<Bar> bars;
    bars.reserve(span.last - span.first + 1);
    for (std::size_t i = span.first; i <= span.last; ++i) {
        bars.push_back(chart[i]);
    }
    SessionRow row;
    row.rthStart = rthStartOfSession(bars.front().start, settings.rthStartSeconds);
    row.complete = span.last + 1 < chart.size();
    row.bars = static_cast<std::int32_t>(bars.size());
    row.rthOpen = bars.front().open;
    row.rthClose = bars.back().close;
    row.rthHigh = bars.front().high;
    row.rthLow = bars.front().low;
    for (const Bar& b : bars) {
        row.rthHigh = std::max(row.rthHigh, b.high);
        row.rthLow = std::min(row.rthLow, b.low);
    }
    row.orHigh = levels.orHigh[span.last];
    row.orLow = levels.orLow[span.last];
    row.ibHigh = levels.ibHigh[span.last];
    row.ibLow = levels.ibLow[span.last];
    row.overnightHigh = levels.overnightHigh[span.first];
    row.overnightLow = levels.overnightLow[span.first];
    row.priorHigh = levels.priorHigh[span.first];
    row.priorLow = levels.priorLow[span.first];
    row.priorClose = levels.priorClose[span.first];

    const ChartDateTime ibEnd =
        row.rthStart + static_cast<std::int64_t>(settings.initialBalanceMinutes) * kMicrosPerMinute;
    const ChartDateTime orEnd =
        row.rthStart + static_cast<std::int64_t>(settings.openingRangeMinutes) * kMicrosPerMinute;
    row.ibEnd = ibEnd;
    row.ib = rangeOutcome(bars, ibEnd, row.ibHigh, row.ibLow, ladder);
    row.openingRange = rangeOutcome(bars, orEnd, row.orHigh, row.orLow, ladder);
    for (const Bar& b : bars) {
        if (b.start < ibEnd) {
            row.closeBeforeIbEnd = b.close;
        }
        row.overnightHighTaken = row.overnightHighTaken || b.high > row.overnightHigh;
        row.overnightLowTaken = row.overnightLowTaken || b.low < row.overnightLow;
        row.priorHighTaken = row.priorHighTaken || b.high > row.priorHigh;
        row.priorLowTaken = row.priorLowTaken || b.low < row.priorLow;
        row.priorCloseTouched =
            row.priorCloseTouched || (b.low <= row.priorClose && row.priorClose <= b.high);
    }
    return row;
}

// r over the mean r of the `count` most recent earlier sessions that are
// complete with a complete IB.
class RangeAverage {
public:
    explicit RangeAverage(std::int32_t count) : count_(static_cast<std::size_t>(count)) {}

    std::optional<double> ratio(double r) const {
        if (count_ == 0 || recent_.size() < count_) {
            return std::nullopt;
        }
        double sum = 0;
        for (const double v : recent_) {
            sum += v;
        }
        const double mean = sum / static_cast<double>(count_);
        if (mean == 0) {
            return std::nullopt;
        }
        return r / mean;
    }

    void add(double r) {
        recent_.push_back(r);
        if (recent_.size() > count_) {
            recent_.pop_front();
        }
    }

private:
    std::size_t count_;
    std::deque<double> recent_;
};

}  // namespace

std::vector<SessionRow> sessionRows(const replay::BarColumns& bars, const PlottedLevels& levels,
                                    const SessionSettings& settings,
                                    const std::vector<LadderStep>& ladder, std::size_t file) {
    std::vector<SessionRow> rows;
    RangeAverage average(settings.averageSessions);
    for (const SessionSpan span : sessionSpans(levels, bars.size())) {
        SessionRow row = measureSession(bars, levels, settings, ladder, span);
        row.file = file;
        if (row.ib.complete) {
            row.ibRangeRatio = average.ratio(ibRange(row));
            if (row.complete) {
                average.add(ibRange(row));
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace keelmark::stats
