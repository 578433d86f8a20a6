// Carrying one anchor's VWAP and bands forward from its running sums.
#pragma once

#include <cstdint>

#include "anchored_vwap/anchor_table.h"
#include "anchored_vwap/chart_bars.h"
#include "host/host_array.h"
#include "host/study_interface.h"

namespace keelmark::anchored_vwap {

// Which price of a bar is averaged ("Price" input).
enum class PriceChoice : std::int32_t {
    Typical = 0,
    Close = 1,
    OhlcAverage = 2,
    HighLowMidpoint = 3
};

// The inputs that shape every slot's lines, read once per call.
struct LineSettings {
    PriceChoice price;
    double band1;  // multiplier of band 1, 0 when that band is off
    double band2;
};

// The five value arrays of one anchor slot, resolved once per call.
// `commonCount` is their smallest element count, 0 when any is unavailable:
// bars below it are written straight into all five, with no clamping.
struct SlotSeries {
    ArrayView<float> vwap, band1Upper, band1Lower, band2Upper, band2Lower;
    std::int32_t commonCount;
};

LineSettings readLineSettings(ArrayView<StudyInput> inputs);
SlotSeries resolveSlotSeries(ArrayView<OutputSeries> outputs, std::int32_t anchorSlot);

// The averaged price of bar k.
double anchorPrice(const ChartBars& bars, std::int32_t k, PriceChoice choice);

// Whether the slot must start over from its anchor bar on this call.
// Inline: every call asks it of every slot.
inline bool needsReset(const AnchorState& state, const ResolvedAnchor& anchor,
                       std::int32_t updateStartIndex) {
    return updateStartIndex == 0 || !(anchor.days == state.anchorDays) ||
           anchor.bar != state.anchorBar || updateStartIndex <= state.lastCommittedBar;
}
// Clears the slot's five series over the chart and starts its record afresh.
// With the anchor on the chart only the bars before the anchor bar are
// cleared: carryForward, which follows every reset of such a slot in the
// same call, writes every bar from the anchor bar on, so each bar is written
// once.
void resetSlot(AnchorState& state, const ResolvedAnchor& anchor, const SlotSeries& series,
               std::int32_t barCount);
// Folds the newly closed bars into the record, writing each, then writes the
// forming bar from a scratch copy of the sums.
void carryForward(AnchorState& state, const ChartBars& bars, const LineSettings& settings,
                  const SlotSeries& series);

}  // namespace keelmark::anchored_vwap
