// Session segmentation: which bars are RTH, which RTH session they belong to,
// when a session opens and finishes, and which bars form the overnight.
#pragma once

#include <cmath>
#include <cstdint>

#include "host/chart_date_time.h"
#include "host/host_array.h"
#include "host/study_interface.h"
#include "session_levels/inputs.h"
#include "session_levels/state.h"

namespace keelmark::session_levels {

// The chart's bar arrays, resolved once per call. `commonCount` is the
// smallest element count among them, 0 when any is unavailable: bars below
// it are read straight from every array, with no clamping to do.
struct BarArrays {
    ArrayView<ChartDateTime> times;
    ArrayView<float> open, high, low, close;
    std::int32_t commonCount;
};

BarArrays resolveBarArrays(StudyInterface& sc);

// Day number and second of the day of a bar's start, as readBar splits it.
struct BarClock {
    std::int32_t day;
    std::int32_t second;
};

// A bar's start split into day number and second of the day.
inline BarClock splitBarStart(ChartDateTime start) {
    // Day numbers of any 64-bit date-time fit in 32 bits (about 1.07e8 days).
    return BarClock{static_cast<std::int32_t>(dayNumber(start)), secondsOfDay(start)};
}

inline BarFields barFieldsOf(ChartDateTime start, float open, float high, float low, float close) {
    const BarClock clock = splitBarStart(start);
    BarFields b;
    b.day = clock.day;
    b.second = clock.second;
    b.open = open;
    b.high = high;
    b.low = low;
    b.close = close;
    b.hasRange = std::isfinite(b.high) && std::isfinite(b.low);
    return b;
}

// Inline, as they run for every bar of the chart; bars inside every array
// are read straight, others through the clamping element access.
inline BarClock readBarClock(const BarArrays& bars, std::int32_t index) {
    if (index >= 0 && index < bars.commonCount) [[likely]] {
        return splitBarStart(bars.times.data[index]);
    }
    return splitBarStart(bars.times[index]);
}

inline BarFields readBar(const BarArrays& bars, std::int32_t index) {
    if (index >= 0 && index < bars.commonCount) [[likely]] {
        return barFieldsOf(bars.times.data[index], bars.open.data[index], bars.high.data[index],
                           bars.low.data[index], bars.close.data[index]);
    }
    return barFieldsOf(bars.times[index], bars.open[index], bars.high[index], bars.low[index],
                       bars.close[index]);
}

struct RthMembership {
    bool rth;
    std::int32_t key;  // day number of the day the session opened
};

inline RthMembership classifyBar(const SessionClock& clock, std::int32_t day, std::int32_t second) {
    const std::int32_t start = clock.rthStartSeconds;
    const std::int32_t end = clock.rthEndSeconds;
    if (start < end) {
        return RthMembership{start <= second && second < end, day};
    }
    if (second >= start) {
        return RthMembership{true, day};
    }
    if (second < end) {
        return RthMembership{true, day - 1};
    }
    return RthMembership{false, day};
}

// A bar's session number: the session index after it, plus 1 outside RTH,
// so the bars leading into a session count with it. It never decreases from
// one bar to the next.
inline std::int64_t sessionNumberOf(std::int32_t sessionIndex, bool inRth) {
    return static_cast<std::int64_t>(sessionIndex) + (inRth ? 0 : 1);
}

// The first of the bars 0 .. barCount - 2 whose session number is above the
// last bar's minus `sessions` (barCount - 1 when there is none), as a full
// recalculation from bar 0 will number them. Found from the chart's end
// backwards, without folding any bar: an RTH bar opens a session unless the
// bar before it is an RTH bar of the same key, so the numbers of the last
// bars follow from those bars alone.
std::int32_t firstBarOfRecentSessions(const SessionClock& clock, const BarArrays& bars,
                                      std::int32_t barCount, std::int32_t sessions);

// Folds one bar into `levels`. With `commit` set the completed ranges are
// appended to the state's lists; otherwise the state is only read.
void foldBar(StateRecord& state, LevelRecord& levels, const BarFields& bar, bool commit);

// Folds the committed bars `from` .. `to` into the state's level record and
// writes each one's session number into `sessionNumbers` (at least `to` + 1
// elements), nothing else: the bars that a full recalculation blanks. The
// result is the same as folding each bar with foldBar; runs of bars that only
// widen a range, or change nothing, are folded in a tight loop.
void foldBarsUnplotted(StateRecord& state, const BarArrays& bars, std::int32_t from,
                       std::int32_t to, float* sessionNumbers);

// Closes the open RTH session: its high, low and last close become the prior
// day, and the overnight collection stops.
void finishSession(const StateRecord& state, LevelRecord& levels, std::int32_t endDay);

// A full recalculation starts from nothing: reset level record, empty lists,
// no committed bar, nothing blanked, the session clock taken from the inputs.
void startFullRecalculation(StateRecord& state, const StudyInputs& inputs);

}  // namespace keelmark::session_levels
