// Bars of a longer period made from the bars of a file: N-minute bars
// aligned to the clock. A bar's start is its time of day floored to a
// multiple of N minutes (counted from midnight of its own day); consecutive
// bars with the same start make one bar: the open of the first, the highest
// high, the lowest low, the close of the last and the summed volume.
#pragma once

#include <cstdint>
#include <vector>

#include "standin_host/chart_host.h"

namespace keelmark::replay {

inline constexpr std::int32_t kLongestPeriodMinutes = 1440;

// The start of the N-minute bar that holds the time t.
ChartDateTime periodStart(ChartDateTime t, std::int32_t minutes);

// `minutes` from 1 to kLongestPeriodMinutes.
std::vector<Bar> aggregateBars(const std::vector<Bar>& bars, std::int32_t minutes);

}  // namespace keelmark::replay
