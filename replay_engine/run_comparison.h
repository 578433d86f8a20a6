// The no-repaint check: a live replay against a full recalculation over the
// same bars. Every bar's value in every series (and the Session Levels
// session number) must agree bit for bit, and no committed bar of the live
// replay may have changed after it was committed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "replay_engine/replay_run.h"

namespace keelmark::replay {

struct Mismatch {
    std::int32_t bar = 0;
    std::string what;  // series name, "SessionNumber", or what differs
    float live = 0;
    float full = 0;
    bool repainted = false;  // changed after it was committed in the live replay
};

struct Comparison {
    std::int64_t barsCompared = 0;
    std::int64_t valuesCompared = 0;
    std::int64_t mismatchCount = 0;
    std::vector<Mismatch> firstMismatches;  // at most kMismatchesKept
};

inline constexpr std::size_t kMismatchesKept = 10;

Comparison compareRuns(const RunRecord& live, const RunRecord& full);

// The verify report: bars, calls, mismatches and the first few in detail.
std::string comparisonReport(const RunRecord& live, const RunRecord& full,
                             const Comparison& comparison);

}  // namespace keelmark::replay
