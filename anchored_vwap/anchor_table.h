// The anchor state table: one running record per anchor slot, kept between
// calls in the host's persistent pointer slot 1, and the resolution of an
// anchor input to the bar it stands on.
#pragma once

#include <cstdint>

#include "anchored_vwap/chart_bars.h"
#include "anchored_vwap/study_layout.h"
#include "host/study_interface.h"

namespace keelmark::anchored_vwap {

// Volume-weighted sums over the committed bars of one anchor, with prices
// taken as deviations from the slot's reference price.
struct RunningSums {
    double volumeDeviation = 0.0;         // sum of V * d
    double volume = 0.0;                  // sum of V
    double volumeSquaredDeviation = 0.0;  // sum of V * d * d
};

// A new record differs from every resolved anchor (bar -2), so the first call
// after the table is created resets every slot.
struct AnchorState {
    double anchorDays = -1.0;            // the anchor date-time in days
    std::int32_t anchorBar = -2;         // -1 when empty or off the chart
    std::int32_t lastCommittedBar = -1;  // last bar whose price and volume are in the sums
    double referencePrice = 0.0;         // price the deviations are taken from
    RunningSums sums;
    // The reference price is the anchor bar's price, fixed when that bar is
    // committed (never while it is forming and its price may still change);
    // an anchor bar whose price is not a number leaves it to the next bar.
    std::int32_t hasReference = 0;
};

struct AnchorTable {
    AnchorState slots[kAnchorSlots];
};

// An anchor input resolved against the chart of this call.
struct ResolvedAnchor {
    double days;        // the anchor date-time in days, rounded to whole microseconds
    std::int32_t bar;   // the anchor bar, or -1
};

// The table, allocated and stored on first need; null when the allocation is
// refused (the call then skips its computation and the next call retries).
AnchorTable* findOrCreateAnchorTable(StudyInterface& sc);
// Frees the table and clears the slot; an empty slot stays empty.
void destroyAnchorTable(StudyInterface& sc);

// An empty slot (no date-time, or an input that holds no date-time) and a
// date-time that no bar of the chart carries both resolve to bar -1.
ResolvedAnchor resolveAnchor(StudyInterface& sc, const ChartBars& bars, const StudyInput& anchor);

}  // namespace keelmark::anchored_vwap
