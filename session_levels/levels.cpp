// The levels of a session, in a trader's words:
//   ORH / ORL   high and low of the RTH bars that start within the first
//               "Opening Range Minutes" after the RTH start; final on the
//               first bar that starts past that window.
//   IBH / IBL   the same over "Initial Balance Minutes".
//   OR Mid      (ORH + ORL) x 0.5; IB Mid likewise.
//   IB +mx      (IBH - IBL) x m + IBH;   IB -mx  IBL - m x (IBH - IBL)
//   OR +mx      (ORH - ORL) x m + ORH;   OR -mx  ORL - m x (ORH - ORL)
//               extensions exist only once their range is final.
// The windows are measured from the RTH start time, not from the session's
// first bar: a session whose first bar starts past a window never has that
// range.
#include "session_levels/levels.h"

#include <algorithm>
#include <cmath>

#include "session_levels/statistics.h"

namespace keelmark::session_levels {

namespace {

// One window: fold while the bar starts inside it, complete on the first bar
// past it (only a range that had a bar completes).
void foldWindow(std::int32_t elapsed, std::int32_t windowSeconds, HighLow& range, bool& complete,
                RangeList& list, const BarFields& bar, bool commit) {
    if (elapsed < windowSeconds) {
        foldBarIntoRange(range, bar);
    } else if (range.valid && !complete) {
        complete = true;
        if (commit) {
            appendRange(list, range.high - range.low);
        }
    }
}

}  // namespace

void foldOpeningWindows(StateRecord& state, LevelRecord& levels, const BarFields& bar,
                        bool commit) {
    const std::int32_t elapsed = secondsSinceRthStart(state.clock, bar.second);
    foldWindow(elapsed, state.clock.openingRangeSeconds, levels.openingRange,
               levels.openingRangeComplete, state.openingRanges, bar, commit);
    foldWindow(elapsed, state.clock.initialBalanceSeconds, levels.initialBalance,
               levels.initialBalanceComplete, state.initialBalances, bar, commit);
}

}  // namespace keelmark::session_levels
