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

void foldBarsUnplotted(StateRecord& state, const BarArrays& bars, std::int32_t from,
                       std::int32_t to, float* sessionNumbers) {
    for (std::int32_t i = from; i <= to; ++i) {
        foldOneBar(state, state.levels, readBar(bars, i), true);
        sessionNumbers[i] =
            static_cast<float>(sessionNumberOf(state.levels.sessionIndex, state.levels.inRth));
        state.lastCommittedBar = i;
    }
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
