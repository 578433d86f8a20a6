// The order of an ordinary call and of the final call.
//
// Ordinary call: register the menu items, act on a menu command, then for
// each anchor slot resolve its anchor, reset it when the anchor, its bar or
// the update range asks for it, carry its lines forward over the new bars,
// and mark a freshly reset anchor; a full recalculation ends with the status
// line. Final call: menu items, markers, then the anchor state table.
#include "anchored_vwap/anchor_table.h"
#include "anchored_vwap/anchored_vwap.h"
#include "anchored_vwap/chart_bars.h"
#include "anchored_vwap/chart_menu.h"
#include "anchored_vwap/markers.h"
#include "anchored_vwap/status_log.h"
#include "anchored_vwap/study_layout.h"
#include "anchored_vwap/vwap.h"

namespace keelmark::anchored_vwap {

namespace {

// Everything an ordinary call reads once before it walks the slots.
struct CallContext {
    ChartBars bars;
    ArrayView<StudyInput> inputs;
    ArrayView<OutputSeries> outputs;
    LineSettings lines;
    bool markAnchors;
    std::int32_t markerFontSize;
    std::int32_t markerBase;
};

// Brings one anchor slot up to date; returns whether its anchor is on the chart.
bool updateSlot(StudyInterface& sc, const CallContext& call, AnchorState& state,
                std::int32_t slot) {
    const ResolvedAnchor anchor = resolveAnchor(sc, call.bars, call.inputs[slot]);
    const bool reset = needsReset(state, anchor, sc.updateStartIndex);
    if (!reset && anchor.bar < 0) {
        return false;  // an empty slot, already cleared: its series are not touched
    }
    const SlotSeries series = resolveSlotSeries(call.outputs, slot);
    if (reset) {
        resetSlot(state, anchor, series, call.bars.count);
        deleteMarker(sc, call.markerBase, slot);
    }
    if (anchor.bar < 0) {
        return false;
    }
    carryForward(state, call.bars, call.lines, series);
    if (reset && call.markAnchors) {
        // The marker takes the colour the VWAP line has when it is placed.
        const MarkerLook look{call.outputs[firstOutputOf(slot) + kVwapLine].colour,
                              call.markerFontSize};
        placeMarker(sc, call.bars, call.markerBase, slot, anchor.bar, look);
    }
    return true;
}

}  // namespace

void update(StudyInterface& sc) {
    const MenuIds menu = fetchMenuIds(sc);
    registerMenuItems(sc, menu);
    if (sc.barCount < 1) {
        return;
    }

    CallContext call{};
    call.bars = resolveChartBars(sc);
    call.inputs = resolve(sc.inputs);
    if (sc.menuCommandId != 0) {
        handleMenuCommand(sc, menu, call.bars, call.inputs);
    }

    AnchorTable* table = findOrCreateAnchorTable(sc);
    if (table == nullptr) {
        return;
    }
    call.outputs = resolve(sc.outputs);
    call.lines = readLineSettings(call.inputs);
    call.markAnchors = boolValue(call.inputs[kMarkAnchorsInput]) == 1;
    call.markerFontSize = intValue(call.inputs[kMarkerFontSizeInput]);
    call.markerBase = markerNumberBase(sc.studyId);

    std::int32_t anchorsOnChart = 0;
    for (std::int32_t slot = 0; slot < kAnchorSlots; ++slot) {
        if (updateSlot(sc, call, table->slots[slot], slot)) {
            ++anchorsOnChart;
        }
    }
    if (sc.updateStartIndex == 0) {
        logStatusLine(sc, anchorsOnChart);
    }
}

void finalCall(StudyInterface& sc) {
    const MenuIds menu = fetchMenuIds(sc);
    const std::int32_t markerBase = markerNumberBase(sc.studyId);
    removeMenuItems(sc, menu);
    for (std::int32_t slot = 0; slot < kAnchorSlots; ++slot) {
        deleteMarker(sc, markerBase, slot);
    }
    destroyAnchorTable(sc);
}

}  // namespace keelmark::anchored_vwap
