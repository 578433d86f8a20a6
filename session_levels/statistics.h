// Range statistics: the completed opening ranges, initial balances and
// overnight ranges of past sessions, and their average over recent sessions.
#pragma once

#include <cstdint>

#include "session_levels/state.h"

namespace keelmark::session_levels {

// Appends one range (high minus low) at the end. Never throws: an entry that
// cannot be stored for lack of memory is counted in `unstored` instead.
void appendRange(RangeList& list, double range);
// Empties the list and keeps its capacity.
void clearRanges(RangeList& list);
// The number of sessions that produced an entry, stored or not.
std::int64_t sessionCount(const RangeList& list);
// Mean of the newest min(n, stored entries) entries, summed oldest first; 0
// for an empty list or n of 0 or less. n is taken as given: the input's
// limits are the host's to enforce.
double averageOfRecent(const RangeList& list, std::int32_t n);

}  // namespace keelmark::session_levels
