// The study's memory between calls: the running level record after the last
// committed bar, the session clock taken from the inputs, and the lists of
// completed opening ranges, initial balances and overnight ranges.
//
// A high-low triple is a range that may not have a bar yet (valid false).
// The level record is a plain fixed-size value: the forming bar is folded
// into a copy of it, so the committed record never sees a bar that may still
// change.
#pragma once

#include <cstdint>
#include <vector>

#include "session_levels/inputs.h"
#include "session_levels/panel_memory.h"

namespace keelmark::session_levels {

struct HighLow {
    bool valid = false;
    double high = 0.0;
    double low = 0.0;
};

struct LevelRecord {
    bool inRth = false;
    HighLow openingRange;
    HighLow initialBalance;
    bool openingRangeComplete = false;
    bool initialBalanceComplete = false;
    double rthOpen = 0.0;
    HighLow shownOvernight;
    bool shownOvernightFinal = false;
    bool priorDayValid = false;
    double priorDayHigh = 0.0;
    double priorDayLow = 0.0;
    double priorDayClose = 0.0;
    std::int32_t sessionIndex = -1;
    bool rthActive = false;
    std::int32_t rthKey = 0;
    HighLow rthRange;
    double lastRthClose = 0.0;
    bool rthEnded = false;
    std::int32_t rthEndDay = 0;
    bool overnightActive = false;
    HighLow runningOvernight;
    HighLow precedingOvernight;
};

// The session clock, copied from the inputs at each full recalculation.
// Window lengths are in seconds.
struct SessionClock {
    std::int32_t rthStartSeconds = 34200;
    std::int32_t rthEndSeconds = 57600;
    std::int32_t overnightStartSeconds = 64800;
    std::int32_t openingRangeSeconds = 900;
    std::int32_t initialBalanceSeconds = 3600;
    bool priorDayIncludesOvernight = false;
};

// Ranges of past sessions in chronological order. `unstored` counts entries
// that could not be stored for lack of memory: they are missing from the
// average but still counted as sessions.
struct RangeList {
    std::vector<double> entries;
    std::int64_t unstored = 0;
};

struct StateRecord {
    SessionClock clock;
    LevelRecord levels;
    RangeList openingRanges;
    RangeList initialBalances;
    RangeList overnights;
    std::int32_t lastCommittedBar = -1;
    std::int32_t hideCursor = 0;
    PanelMemory panel;
    InputMemory inputs;
};

// One bar as the level arithmetic sees it: day number and second of the day
// of its start, prices widened to double. A bar whose high or low is not a
// finite number has no usable range and widens no range.
// The close sits between high and low on purpose: the compiler then reads
// them one by one instead of as one pair, which the bar update would load
// straight after they were stored one by one, a stall on every bar.
struct BarFields {
    std::int32_t day = 0;
    std::int32_t second = 0;
    double open = 0.0;
    double high = 0.0;
    double close = 0.0;
    double low = 0.0;
    bool hasRange = false;
};

}  // namespace keelmark::session_levels
