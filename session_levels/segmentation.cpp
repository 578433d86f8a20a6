// Session segmentation, in a trader's words. A bar is RTH when it starts at
// or after "RTH Start" and before "RTH End" (a bar starting at the end time
// is not RTH); when the start is at or after the end the session crosses
// midnight and its after-midnight bars keep the opening day's key. A bar
// outside RTH finishes the open session; a new key opens the next one.
// The overnight runs from the first bar outside RTH at or after "Overnight
// Start" (or on a later day than the last session's finish) up to the bar
// before the next RTH open; no overnight is collected before the first
// session on the chart has finished.
// Prior day: PDH / PDL / PDC = high, low and last close of the most recently
// finished RTH session (high and low widened by its preceding overnight with
// "Overnight + RTH").
#include "session_levels/segmentation.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "host/chart_date_time.h"
#include "session_levels/levels.h"
#include "session_levels/statistics.h"

namespace keelmark::session_levels {

BarArrays resolveBarArrays(StudyInterface& sc) {
    BarArrays bars{resolve(sc.barDateTimes), resolve(sc.barOpen),  resolve(sc.barHigh),
                   resolve(sc.barLow),       resolve(sc.barClose), 0};
    bars.commonCount = std::min(
        {bars.times.count, bars.open.count, bars.high.count, bars.low.count, bars.close.count});
    return bars;
}

std::int32_t firstBarOfRecentSessions(const SessionClock& clock, const BarArrays& bars,
                                      std::int32_t barCount, std::int32_t sessions) {
    const std::int32_t last = barCount - 1;
    if (last <= 0) {
        return 0;
    }
    auto membership = [&](std::int32_t i) {
        const BarClock c = readBarClock(bars, i);
        return classifyBar(clock, c.day, c.second);
    };
    // behind = the last bar's session number minus bar i's, which is the
    // sessions opened after bar i, plus 1 if the last bar is outside RTH,
    // minus 1 if bar i is.
    const RthMembership lastBar = membership(last);
    RthMembership after = lastBar;  // bar i + 1
    std::int64_t opensAfter = 0;
    for (std::int32_t i = last - 1; i >= 0; --i) {
        const RthMembership bar = membership(i);
        if (after.rth && (!bar.rth || bar.key != after.key)) {
            ++opensAfter;  // bar i + 1 opens a session
        }
        const std::int64_t behind = opensAfter + (lastBar.rth ? 0 : 1) - (bar.rth ? 0 : 1);
        if (behind >= sessions) {
            return i + 1;
        }
        after = bar;
    }
    return 0;
}

void finishSession(const StateRecord& state, LevelRecord& levels, std::int32_t endDay) {
    levels.rthActive = false;
    levels.rthEnded = true;
    levels.rthEndDay = endDay;
    levels.priorDayHigh = levels.rthRange.high;
    levels.priorDayLow = levels.rthRange.low;
    levels.priorDayClose = levels.lastRthClose;
    levels.priorDayValid = true;
    if (state.clock.priorDayIncludesOvernight && levels.precedingOvernight.valid) {
        levels.priorDayHigh = std::max(levels.priorDayHigh, levels.precedingOvernight.high);
        levels.priorDayLow = std::min(levels.priorDayLow, levels.precedingOvernight.low);
    }
    levels.overnightActive = false;
    levels.runningOvernight = HighLow{};
}

namespace {

void foldBarOutsideRth(const StateRecord& state, LevelRecord& levels, const BarFields& bar) {
    if (levels.rthActive) {
        finishSession(state, levels, bar.day);
    }
    if (!levels.overnightActive && levels.rthEnded &&
        (bar.second >= state.clock.overnightStartSeconds || bar.day > levels.rthEndDay)) {
        levels.overnightActive = true;
        levels.runningOvernight = HighLow{};
    }
    // Widened in a local copy and stored from it to both places: copying the
    // stored range straight after widening it would reload memory that was
    // just written, which stalls on every bar of the overnight.
    HighLow overnight = levels.runningOvernight;
    if (levels.overnightActive) {
        foldBarIntoRange(overnight, bar);
        levels.runningOvernight = overnight;
    }
    levels.inRth = false;
    levels.openingRangeComplete = false;
    levels.initialBalanceComplete = false;
    levels.openingRange = HighLow{};
    levels.initialBalance = HighLow{};
    levels.shownOvernight = overnight;
    levels.shownOvernightFinal = false;
}

void openSession(StateRecord& state, LevelRecord& levels, const BarFields& bar, std::int32_t key,
                 bool commit) {
    if (levels.rthActive) {
        finishSession(state, levels, bar.day);
    }
    levels.rthActive = true;
    levels.rthKey = key;
    levels.rthRange = HighLow{};
    levels.precedingOvernight = levels.overnightActive ? levels.runningOvernight : HighLow{};
    levels.overnightActive = false;
    levels.runningOvernight = HighLow{};
    // A session whose first open is not a number has no RTH open level.
    levels.rthOpen = std::isfinite(bar.open) ? bar.open : 0.0;
    levels.shownOvernight = levels.precedingOvernight;
    levels.shownOvernightFinal = levels.precedingOvernight.valid;
    ++levels.sessionIndex;  // at most one per bar, so it cannot overflow
    levels.openingRangeComplete = false;
    levels.initialBalanceComplete = false;
    levels.openingRange = HighLow{};
    levels.initialBalance = HighLow{};
    if (commit && levels.precedingOvernight.valid) {
        appendRange(state.overnights,
                    levels.precedingOvernight.high - levels.precedingOvernight.low);
    }
}

void foldRthBar(StateRecord& state, LevelRecord& levels, const BarFields& bar, std::int32_t key,
                bool commit) {
    if (!levels.rthActive || key != levels.rthKey) {
        openSession(state, levels, bar, key, commit);
    }
    foldBarIntoRange(levels.rthRange, bar);
    if (std::isfinite(bar.close)) {
        levels.lastRthClose = bar.close;
    }
    foldOpeningWindows(state, levels, bar, commit);
    levels.inRth = true;
}

inline void foldOneBar(StateRecord& state, LevelRecord& levels, const BarFields& bar, bool commit) {
    const RthMembership m = classifyBar(state.clock, bar.day, bar.second);
    if (m.rth) {
        foldRthBar(state, levels, bar, m.key, commit);
    } else {
        foldBarOutsideRth(state, levels, bar);
    }
}

}  // namespace

void foldBar(StateRecord& state, LevelRecord& levels, const BarFields& bar, bool commit) {
    foldOneBar(state, levels, bar, commit);
}

namespace {

// Most bars change the level record in one of three plain ways: an RTH bar
// of the open session past both opening windows widens the session's range
// and moves its last close; an overnight bar widens the overnight; a bar
// outside RTH before the overnight starts changes nothing. Which of these a
// bar does follows from its start alone once the record is known, and the
// bars that do it start inside one stretch of time. So, after each bar
// folded the general way, the bars that follow are folded in a tight loop
// while they start inside that stretch; the first one outside it goes the
// general way again, as do bars outside any array and charts whose clock
// does not fit the stretches below.

// The session clock as stretches of the chart's date-times (microseconds).
// RTH session k (the day number of its opening day) covers
// [k days + rthStart, k days + rthStart + rthLength); everything else is
// outside RTH. That holds for any clock whose three times of day lie within
// the day, including sessions across midnight and a whole-day session, and
// for bars from day 0 on: every stretch below starts at day 0 or later.
struct RunClock {
    bool usable = false;
    std::int64_t rthStart = 0;        // after midnight
    std::int64_t rthLength = 0;       // more than 0, at most one day
    std::int64_t overnightStart = 0;  // after midnight
    std::int64_t windowsLength = 0;   // the longer opening window, at least 0
};

// Day numbers from 0 up to this (about 270,000 years) keep every stretch
// below well inside 64 bits.
constexpr std::int64_t kRunDayLimit = 100'000'000;

bool withinDay(std::int32_t seconds) { return seconds >= 0 && seconds < kSecondsPerDay; }

RunClock runClockOf(const SessionClock& clock) {
    RunClock r;
    r.usable = withinDay(clock.rthStartSeconds) && withinDay(clock.rthEndSeconds) &&
               withinDay(clock.overnightStartSeconds);
    if (!r.usable) {
        return r;
    }
    const std::int32_t start = clock.rthStartSeconds;
    const std::int32_t end = clock.rthEndSeconds;
    const std::int32_t length = start < end ? end - start : kSecondsPerDay - start + end;
    const std::int32_t windows =
        std::max({0, clock.openingRangeSeconds, clock.initialBalanceSeconds});
    r.rthStart = start * kMicrosPerSecond;
    r.rthLength = length * kMicrosPerSecond;
    r.overnightStart = clock.overnightStartSeconds * kMicrosPerSecond;
    r.windowsLength = static_cast<std::int64_t>(windows) * kMicrosPerSecond;
    return r;
}

bool usableDay(std::int64_t day) { return day >= 0 && day < kRunDayLimit; }

// A stretch of bar starts [from, to); empty when from >= to.
struct Stretch {
    std::int64_t from = 0;
    std::int64_t to = 0;
};

// Folds bars from `i` on, up to `last` and inside every array, while each
// starts inside `stretch`: each widens `range` exactly as foldBarIntoRange
// does and, when `kMovesClose`, moves `lastClose` to the bar's close when
// that is a number; each gets the session number `number`. Returns the
// first bar not folded.
//
// The range is widened in two locals that stay in registers. An empty range
// starts from the widest bounds, which the first bar with a range replaces
// by its own high and low, as foldBarIntoRange sets them.
template <bool kMovesClose>
std::int32_t widenWhileInside(const BarArrays& bars, std::int32_t i, std::int32_t last,
                              Stretch stretch, HighLow& range, double& lastClose, float number,
                              float* sessionNumbers) {
    const std::int32_t end = std::min(last + 1, bars.commonCount);
    const ChartDateTime* const times = bars.times.data;
    const float* const highs = bars.high.data;
    const float* const lows = bars.low.data;
    const float* const closes = bars.close.data;
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    double high = range.valid ? range.high : -kInfinity;
    double low = range.valid ? range.low : kInfinity;
    double close = lastClose;
    for (; i < end; ++i) {
        const ChartDateTime start = times[i];
        if (start < stretch.from || start >= stretch.to) {
            break;
        }
        const float barHigh = highs[i];
        const float barLow = lows[i];
        if (std::isfinite(barHigh) && std::isfinite(barLow)) {
            high = std::max(high, static_cast<double>(barHigh));
            low = std::min(low, static_cast<double>(barLow));
        }
        if constexpr (kMovesClose) {
            const float barClose = closes[i];
            if (std::isfinite(barClose)) {
                close = barClose;
            }
        }
        sessionNumbers[i] = number;
    }
    if (high != -kInfinity) {  // the range had a bar, before or in this run
        range.valid = true;
        range.high = high;
        range.low = low;
    }
    lastClose = close;
    return i;
}

// The same for bars that change nothing but get their session number.
std::int32_t skipWhileInside(const BarArrays& bars, std::int32_t i, std::int32_t last,
                             Stretch stretch, float number, float* sessionNumbers) {
    const std::int32_t end = std::min(last + 1, bars.commonCount);
    for (; i < end; ++i) {
        const ChartDateTime start = bars.times.data[i];
        if (start < stretch.from || start >= stretch.to) {
            break;
        }
        sessionNumbers[i] = number;
    }
    return i;
}

// A window that the next bar past it would complete.
bool windowPending(const HighLow& range, bool complete) { return range.valid && !complete; }

// After bar `i` - 1 (`bar`) was folded the general way: folds the run of
// bars from `i` on that do the same plain thing, and returns the first bar
// after that run.
std::int32_t foldRunAfter(const RunClock& clock, const BarFields& bar, LevelRecord& levels,
                          const BarArrays& bars, std::int32_t i, std::int32_t last,
                          float* sessionNumbers) {
    const float number = static_cast<float>(sessionNumberOf(levels.sessionIndex, levels.inRth));
    if (levels.inRth) {
        // The open session's bars past both opening windows, once neither
        // window waits for the bar that completes it.
        if (!levels.rthActive || !usableDay(levels.rthKey) ||
            windowPending(levels.openingRange, levels.openingRangeComplete) ||
            windowPending(levels.initialBalance, levels.initialBalanceComplete)) {
            return i;
        }
        const std::int64_t sessionStart = levels.rthKey * kMicrosPerDay + clock.rthStart;
        const Stretch stretch{sessionStart + clock.windowsLength, sessionStart + clock.rthLength};
        return widenWhileInside<true>(bars, i, last, stretch, levels.rthRange, levels.lastRthClose,
                                      number, sessionNumbers);
    }
    // Outside RTH, and the session is finished: the bars up to the next RTH
    // start after the last one at or before this bar, which is on the bar's
    // day when the bar starts at or after "RTH Start", else on the day before.
    if (levels.rthActive || !withinDay(bar.second)) {
        return i;
    }
    const std::int64_t secondOfDay = bar.second * kMicrosPerSecond;
    const std::int64_t day = secondOfDay >= clock.rthStart ? bar.day : bar.day - 1;
    if (!usableDay(day)) {
        return i;
    }
    const std::int64_t sessionStart = day * kMicrosPerDay + clock.rthStart;
    Stretch outside{sessionStart + clock.rthLength, sessionStart + kMicrosPerDay};
    if (levels.overnightActive) {
        double unusedClose = 0.0;
        const std::int32_t next = widenWhileInside<false>(
            bars, i, last, outside, levels.runningOvernight, unusedClose, number, sessionNumbers);
        levels.shownOvernight = levels.runningOvernight;
        return next;
    }
    if (levels.rthEnded) {
        // The overnight starts at "Overnight Start" of the day the last
        // session finished, or on any later day: up to then nothing changes.
        if (!usableDay(levels.rthEndDay)) {
            return i;
        }
        const std::int64_t endDay = levels.rthEndDay * kMicrosPerDay;
        outside.from = std::max(outside.from, endDay);
        outside.to = std::min(outside.to, endDay + clock.overnightStart);
    }
    return skipWhileInside(bars, i, last, outside, number, sessionNumbers);
}

}  // namespace

void foldBarsUnplotted(StateRecord& state, const BarArrays& bars, std::int32_t from,
                       std::int32_t to, float* sessionNumbers) {
    if (from > to) {
        return;
    }
    const RunClock clock = runClockOf(state.clock);
    // Folded into a local copy, stored once at the end: the compiler can then
    // keep the record in registers instead of re-reading it after every store
    // of a session number.
    LevelRecord levels = state.levels;
    std::int32_t i = from;
    while (i <= to) {
        const BarFields bar = readBar(bars, i);
        foldOneBar(state, levels, bar, true);
        sessionNumbers[i] = static_cast<float>(sessionNumberOf(levels.sessionIndex, levels.inRth));
        ++i;
        if (clock.usable) {
            i = foldRunAfter(clock, bar, levels, bars, i, to, sessionNumbers);
        }
    }
    state.levels = levels;
    state.lastCommittedBar = to;
}

namespace {

std::int32_t minutesToSeconds(std::int32_t minutes) {
    const std::int64_t seconds = static_cast<std::int64_t>(minutes) * 60;
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(seconds, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

void startFullRecalculation(StateRecord& state, const StudyInputs& inputs) {
    state.levels = LevelRecord{};
    clearRanges(state.openingRanges);
    clearRanges(state.initialBalances);
    clearRanges(state.overnights);
    state.lastCommittedBar = -1;
    state.hideCursor = 0;
    state.clock.rthStartSeconds = inputs.rthStartSeconds;
    state.clock.rthEndSeconds = inputs.rthEndSeconds;
    state.clock.overnightStartSeconds = inputs.overnightStartSeconds;
    state.clock.openingRangeSeconds = minutesToSeconds(inputs.openingRangeMinutes);
    state.clock.initialBalanceSeconds = minutesToSeconds(inputs.initialBalanceMinutes);
    state.clock.priorDayIncludesOvernight = inputs.priorDayFrom == 1;
}

}  // namespace keelmark::session_levels
