// Level arithmetic: widening a range by a bar, the opening-range and
// initial-balance windows, and the levels derived from a range.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "session_levels/state.h"

namespace keelmark::session_levels {

inline constexpr std::int32_t kSecondsPerDay = 86400;

// Widens the range by the bar's high and low (the first bar sets both).
// A bar without a usable range leaves it as it was. Inline: a range that the
// caller copies right after widening it is then read from registers, not
// reloaded from the stores that just wrote it.
inline void foldBarIntoRange(HighLow& range, const BarFields& bar) {
    if (!bar.hasRange) {
        return;
    }
    if (!range.valid) {
        range.high = bar.high;
        range.low = bar.low;
        range.valid = true;
        return;
    }
    range.high = std::max(range.high, bar.high);
    range.low = std::min(range.low, bar.low);
}

// Seconds from the RTH start to the bar's start, counted across midnight:
// 0 up to, but not including, one day.
inline std::int32_t secondsSinceRthStart(const SessionClock& clock, std::int32_t secondOfDay) {
    const std::int64_t delta = static_cast<std::int64_t>(secondOfDay) - clock.rthStartSeconds;
    return static_cast<std::int32_t>((delta % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay);
}

// Folds an RTH bar into the opening range and the initial balance while it
// starts inside their windows; the first bar past a window completes that
// range, and a committed bar then appends its height to the range's list.
void foldOpeningWindows(StateRecord& state, LevelRecord& levels, const BarFields& bar, bool commit);

// Derived levels, in double precision. Inline: the bar plot evaluates them
// for every bar.
inline double midpoint(const HighLow& range) { return (range.high + range.low) * 0.5; }

inline double upperExtension(const HighLow& range, double multiplier) {
    return (range.high - range.low) * multiplier + range.high;
}

inline double lowerExtension(const HighLow& range, double multiplier) {
    return range.low - multiplier * (range.high - range.low);
}

// A multiplier switches its pair of extensions on when above 0 and finite.
inline bool extensionIsOn(float multiplier) {
    return multiplier > 0.0f && std::isfinite(multiplier);
}

}  // namespace keelmark::session_levels
