// Range statistics: each completed opening range, initial balance and
// overnight adds its height (high minus low, in points) to its list; the
// session panel compares today's range with the mean of the last N entries:
//   average = (entry[k-n] + ... + entry[k-1]) / n,  n = min(N, entries).
#include "session_levels/statistics.h"

#include <algorithm>

namespace keelmark::session_levels {

void appendRange(RangeList& list, double range) {
    try {
        list.entries.push_back(range);
    } catch (...) {
        ++list.unstored;
    }
}

void clearRanges(RangeList& list) {
    list.entries.clear();
    list.unstored = 0;
}

std::int64_t sessionCount(const RangeList& list) {
    return static_cast<std::int64_t>(list.entries.size()) + list.unstored;
}

double averageOfRecent(const RangeList& list, std::int32_t n) {
    const std::int64_t stored = static_cast<std::int64_t>(list.entries.size());
    if (stored == 0 || n <= 0) {
        return 0.0;
    }
    const std::int64_t count = std::min<std::int64_t>(n, stored);
    double sum = 0.0;
    for (std::int64_t k = stored - count; k < stored; ++k) {
        sum += list.entries[static_cast<std::size_t>(k)];
    }
    return sum / static_cast<double>(count);
}

}  // namespace keelmark::session_levels
