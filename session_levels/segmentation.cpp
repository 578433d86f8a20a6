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

#include <emmintrin.h>

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
// of the open session widens the session's range, moves its last close and
// widens the opening range and the initial balance while it starts inside
// their windows; an overnight bar widens the overnight; a bar outside RTH
// before the overnight starts changes nothing. Which of these a bar does
// follows from its start alone once the record is known, and the bars that
// do the same start inside one stretch of time. So, after each bar
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
    std::int64_t openingRange = 0;    // window lengths, at least 0
    std::int64_t initialBalance = 0;
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
    r.rthStart = start * kMicrosPerSecond;
    r.rthLength = length * kMicrosPerSecond;
    r.overnightStart = clock.overnightStartSeconds * kMicrosPerSecond;
    r.openingRange = std::max(0, clock.openingRangeSeconds) * kMicrosPerSecond;
    r.initialBalance = std::max(0, clock.initialBalanceSeconds) * kMicrosPerSecond;
    return r;
}

bool usableDay(std::int64_t day) { return day >= 0 && day < kRunDayLimit; }

// A stretch of bar starts [from, to); empty when from >= to.
struct Stretch {
    std::int64_t from = 0;
    std::int64_t to = 0;
};

// Whether all of the four bar starts from `starts` lie inside `stretch`
// (which is not empty): an unsigned distance from its start below its length.
bool fourInside(const ChartDateTime* starts, Stretch stretch) {
    const auto length =
        static_cast<std::uint64_t>(stretch.to) - static_cast<std::uint64_t>(stretch.from);
    bool inside = true;
    for (int k = 0; k < 4; ++k) {
        inside &= static_cast<std::uint64_t>(starts[k]) - static_cast<std::uint64_t>(stretch.from) <
                  length;
    }
    return inside;
}

// Whether all four prices are finite numbers.
bool fourFinite(__m128 prices) {
    const __m128 magnitude = _mm_and_ps(prices, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)));
    return _mm_movemask_ps(
               _mm_cmplt_ps(magnitude, _mm_set1_ps(std::numeric_limits<float>::infinity()))) == 0xF;
}

// The highest of four prices, and the lowest: each pair of neighbours first
// (prices 0 and 1, 2 and 3), then the two results. Among equal prices (such
// as 0 and -0) the earliest is kept, as widening bar by bar keeps it:
// _mm_max_ps(later, earlier) takes the later price only where it is greater.
float highestOfFour(__m128 v) {
    const __m128 pairs = _mm_max_ps(_mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 1, 1)), v);
    return _mm_cvtss_f32(_mm_max_ps(_mm_movehl_ps(pairs, pairs), pairs));
}
float lowestOfFour(__m128 v) {
    const __m128 pairs = _mm_min_ps(_mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 1, 1)), v);
    return _mm_cvtss_f32(_mm_min_ps(_mm_movehl_ps(pairs, pairs), pairs));
}

// Folds bars from `i` on, up to `last` and inside every array, while each
// starts inside `stretch`: each widens every one of `ranges` exactly as
// foldBarIntoRange does and, when `kMovesClose`, moves `lastClose` to the
// bar's close when that is a number; each gets the session number `number`.
// Returns the first bar not folded.
//
// Each range is held as one pair (high, -low) in a register, so that one
// packed maximum widens both ends: max(-low, -barLow) is -min(low, barLow).
// _mm_max_pd(bar, range) takes the bar's value only where it is greater, so
// a bar equal to an end keeps the range's value, as std::max and std::min
// do in foldBarIntoRange. An empty range starts from (-inf, -inf), which the
// first bar with a range replaces by its own high and low.
//
// Bars go four at a time while all four start inside the stretch and have a
// range: the four widen a range as their highest high and lowest low do.
// Any other bar goes alone.
template <int kRanges, bool kMovesClose>
std::int32_t widenWhileInside(const BarArrays& bars, std::int32_t i, std::int32_t last,
                              Stretch stretch, HighLow* const (&ranges)[kRanges], double& lastClose,
                              float number, float* sessionNumbers) {
    if (stretch.from >= stretch.to) {
        return i;
    }
    const std::int32_t end = std::min(last + 1, bars.commonCount);
    const ChartDateTime* const times = bars.times.data;
    const float* const highs = bars.high.data;
    const float* const lows = bars.low.data;
    const float* const closes = bars.close.data;
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    __m128d widened[kRanges];
    for (int r = 0; r < kRanges; ++r) {
        widened[r] = ranges[r]->valid ? _mm_set_pd(-ranges[r]->low, ranges[r]->high)
                                      : _mm_set_pd(-kInfinity, -kInfinity);
    }
    double close = lastClose;
    auto widen = [&widened](float high, float low) {
        const __m128d bar = _mm_set_pd(-static_cast<double>(low), static_cast<double>(high));
        for (int r = 0; r < kRanges; ++r) {
            widened[r] = _mm_max_pd(bar, widened[r]);
        }
    };
    while (i < end) {
        for (; i + 4 <= end && fourInside(times + i, stretch); i += 4) {
            const __m128 fourHighs = _mm_loadu_ps(highs + i);
            const __m128 fourLows = _mm_loadu_ps(lows + i);
            if (!fourFinite(fourHighs) || !fourFinite(fourLows)) {
                break;
            }
            widen(highestOfFour(fourHighs), lowestOfFour(fourLows));
            if constexpr (kMovesClose) {
                for (int k = 0; k < 4; ++k) {
                    if (std::isfinite(closes[i + k])) {
                        close = closes[i + k];
                    }
                }
            }
            _mm_storeu_ps(sessionNumbers + i, _mm_set1_ps(number));
        }
        if (i >= end) {
            break;
        }
        // One bar alone.
        const ChartDateTime start = times[i];
        if (start < stretch.from || start >= stretch.to) {
            break;
        }
        const float barHigh = highs[i];
        const float barLow = lows[i];
        if (std::isfinite(barHigh) && std::isfinite(barLow)) {
            widen(barHigh, barLow);
        }
        if constexpr (kMovesClose) {
            const float barClose = closes[i];
            if (std::isfinite(barClose)) {
                close = barClose;
            }
        }
        sessionNumbers[i] = number;
        ++i;
    }
    for (int r = 0; r < kRanges; ++r) {
        const double high = _mm_cvtsd_f64(widened[r]);
        if (high != -kInfinity) {  // the range had a bar, before or in this run
            ranges[r]->valid = true;
            ranges[r]->high = high;
            ranges[r]->low = -_mm_cvtsd_f64(_mm_unpackhi_pd(widened[r], widened[r]));
        }
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

// RTH bars of the open session: each widens the session's range and moves
// its last close, and widens the opening range and the initial balance
// while it starts inside their windows. Between two neighbouring times of
// the session where that changes (its start, the end of each window, its
// end), every bar does the same, provided that no window it is past waits
// for the bar that completes it. The run is taken between the two times
// around bar `i` - 1 (`bar`), where the next bars most likely start.
std::int32_t foldRthRun(const RunClock& clock, const BarFields& bar, LevelRecord& levels,
                        const BarArrays& bars, std::int32_t i, std::int32_t last, float number,
                        float* sessionNumbers) {
    if (!levels.rthActive || !usableDay(levels.rthKey) || !withinDay(bar.second)) {
        return i;
    }
    const std::int64_t sessionStart = levels.rthKey * kMicrosPerDay + clock.rthStart;
    const std::int64_t elapsed =
        (bar.day - levels.rthKey) * kMicrosPerDay + bar.second * kMicrosPerSecond - clock.rthStart;
    std::int64_t from = 0;
    std::int64_t to = clock.rthLength;
    for (const std::int64_t windowEnd : {clock.openingRange, clock.initialBalance}) {
        if (windowEnd <= elapsed) {
            from = std::max(from, windowEnd);
        } else {
            to = std::min(to, windowEnd);
        }
    }
    const bool inOpeningRange = elapsed < clock.openingRange;
    const bool inInitialBalance = elapsed < clock.initialBalance;
    if ((!inOpeningRange && windowPending(levels.openingRange, levels.openingRangeComplete)) ||
        (!inInitialBalance &&
         windowPending(levels.initialBalance, levels.initialBalanceComplete))) {
        return i;
    }
    const Stretch stretch{sessionStart + from, sessionStart + to};
    HighLow* const session = &levels.rthRange;
    double& close = levels.lastRthClose;
    if (inOpeningRange && inInitialBalance) {
        HighLow* const ranges[] = {session, &levels.openingRange, &levels.initialBalance};
        return widenWhileInside<3, true>(bars, i, last, stretch, ranges, close, number,
                                         sessionNumbers);
    }
    if (inOpeningRange || inInitialBalance) {
        HighLow* const ranges[] = {session,
                                   inOpeningRange ? &levels.openingRange : &levels.initialBalance};
        return widenWhileInside<2, true>(bars, i, last, stretch, ranges, close, number,
                                         sessionNumbers);
    }
    HighLow* const ranges[] = {session};
    return widenWhileInside<1, true>(bars, i, last, stretch, ranges, close, number, sessionNumbers);
}

// After bar `i` - 1 (`bar`) was folded the general way: folds the run of
// bars from `i` on that do the same plain thing, and returns the first bar
// after that run.
std::int32_t foldRunAfter(const RunClock& clock, const BarFields& bar, LevelRecord& levels,
                          const BarArrays& bars, std::int32_t i, std::int32_t last,
                          float* sessionNumbers) {
    const float number = static_cast<float>(sessionNumberOf(levels.sessionIndex, levels.inRth));
    if (levels.inRth) {
        return foldRthRun(clock, bar, levels, bars, i, last, number, sessionNumbers);
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
        HighLow* const ranges[] = {&levels.runningOvernight};
        const std::int32_t next = widenWhileInside<1, false>(bars, i, last, outside, ranges,
                                                             unusedClose, number, sessionNumbers);
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

// A bar for the general fold. Its open is read only when the bar opens a
// session, the one place the fold uses it (the RTH open level): the bars
// the general fold meets are far apart, so each read of the open would be a
// trip to memory that nothing else of the bar makes.
BarFields readBarToFold(const SessionClock& clock, const LevelRecord& levels, const BarArrays& bars,
                        std::int32_t i) {
    if (i < 0 || i >= bars.commonCount) {
        return readBar(bars, i);
    }
    BarFields bar = barFieldsOf(bars.times.data[i], 0.0f, bars.high.data[i], bars.low.data[i],
                                bars.close.data[i]);
    const RthMembership m = classifyBar(clock, bar.day, bar.second);
    if (m.rth && (!levels.rthActive || m.key != levels.rthKey)) {
        bar.open = bars.open.data[i];
    }
    return bar;
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
        const BarFields bar = readBarToFold(state.clock, levels, bars, i);
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
