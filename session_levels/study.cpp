// One host call of the Session Levels study, step by step: read the
// settings; on a full recalculation start over from bar 0 (reset state,
// label flags, extension names); fold each newly committed bar into the
// level record exactly once and plot it; fold the still-forming last bar
// into a scratch copy and plot it; blank sessions beyond "Sessions to
// Show"; then touch alerts (incremental calls), the status line (full
// recalculations) and the session panel (every call).
#include <algorithm>
#include <cstdint>

#include "host/persistent_object.h"
#include "host/process_heap.h"
#include "session_levels/alerts.h"
#include "session_levels/declaration.h"
#include "session_levels/inputs.h"
#include "session_levels/labels.h"
#include "session_levels/log.h"
#include "session_levels/panel.h"
#include "session_levels/plotting.h"
#include "session_levels/segmentation.h"
#include "session_levels/session_levels.h"
#include "session_levels/state.h"

namespace keelmark::session_levels {

namespace {

// The state record, created on first need. A fresh record has folded no bar
// under the current inputs, so the call that creates it recalculates in full.
struct AcquiredState {
    StateRecord* state;
    bool created;
};

AcquiredState acquireState(StudyInterface& sc) {
    void** slot = sc.persistentPointer(kStateObjectKey);
    if (slot == nullptr) {
        return AcquiredState{nullptr, false};  // no place to keep it between calls
    }
    const bool created = *slot == nullptr;
    return AcquiredState{findOrCreateStateObject<StateRecord>(sc), created};
}

// Full recalculation: the host asks for one (start 0, or a start the study
// has already folded in), the state was just created, or the chart now has
// fewer bars than the study folded in.
bool needsFullRecalculation(const StudyInterface& sc, const StateRecord& state, bool created,
                            std::int32_t barCount) {
    return created || sc.updateStartIndex == 0 || sc.updateStartIndex <= state.lastCommittedBar ||
           static_cast<std::int64_t>(barCount) - 2 < state.lastCommittedBar;
}

void releaseState(StudyInterface& sc, StateRecord& state) {
    state.~StateRecord();
    processHeapFree(&state);
    sc.setPersistentPointer(kStateObjectKey, nullptr);
}

// Bars blanked in one go after their fold: about 16 pages of each series.
constexpr std::int32_t kBlankingChunk = 16384;

// The bars before `firstPlotted` are folded in, get their session numbers
// and are blanked. When every series covers the chart they are folded and
// blanked chunk by chunk, and the memory pages a chunk's blanking writes are
// looked up while the chunk is folded: the processor then has their address
// translations at hand when it blanks, instead of looking up each page in
// turn. Otherwise they are blanked after the plotting, as before, since a
// bar beyond a short series is written to its last element by both.
void foldUnplottedBars(StateRecord& state, const BarArrays& bars, const PlotArrays& plot,
                       std::int32_t barCount, std::int32_t firstPlotted) {
    const std::int32_t from = state.lastCommittedBar + 1;
    if (plot.commonCount < barCount) {
        foldBarsUnplotted(state, bars, from, firstPlotted - 1, plot.sessionNumber.data);
        return;
    }
    for (std::int32_t start = from; start < firstPlotted;) {
        const std::int32_t end = start + std::min(kBlankingChunk, firstPlotted - start);
        lookUpBlankingAhead(plot, start, end);
        foldBarsUnplotted(state, bars, start, end - 1, plot.sessionNumber.data);
        blankBarsBefore(plot, state.hideCursor, end);
        start = end;
    }
}

// Bars before `firstPlotted` are blanked in this call: they are folded in and
// get their session numbers, and no levels.
void foldCommittedBars(StateRecord& state, const BarArrays& bars, const PlotArrays& plot,
                       const PlotSettings& settings, std::int32_t barCount,
                       std::int32_t firstPlotted) {
    if (state.lastCommittedBar + 1 < firstPlotted) {
        // firstPlotted is 0 unless the session-number array covers the chart.
        foldUnplottedBars(state, bars, plot, barCount, firstPlotted);
    }
    for (std::int32_t i = state.lastCommittedBar + 1; i <= barCount - 2; ++i) {
        foldBar(state, state.levels, readBar(bars, i), true);
        plotBar(plot, i, state.levels, settings);
        state.lastCommittedBar = i;
    }
}

// On a live chart the next bars are written one call after another, each
// into a fresh cache line of every output now and then. The lines a few
// bars ahead are asked for now, so that those calls find them at hand.
void prefetchBarsAhead(const PlotArrays& plot, std::int32_t lastBar) {
    constexpr std::int32_t kAhead = 16;  // one cache line of floats
    const std::int32_t ahead = lastBar + kAhead;
    if (ahead >= plot.commonCount) {
        return;
    }
    for (const ArrayView<float>& series : plot.values) {
        __builtin_prefetch(series.data + ahead, 1);
    }
    __builtin_prefetch(plot.sessionNumber.data + ahead, 1);
}

LevelRecord foldFormingBar(StateRecord& state, const BarArrays& bars, const PlotArrays& plot,
                           const PlotSettings& settings, std::int32_t barCount) {
    LevelRecord scratch = state.levels;
    if (barCount >= 1) {
        foldBar(state, scratch, readBar(bars, barCount - 1), false);
        plotBar(plot, barCount - 1, scratch, settings);
        prefetchBarsAhead(plot, barCount - 1);
    }
    return scratch;
}

}  // namespace

void finalCall(StudyInterface& sc) {
    readInputs(sc);  // every call begins by fetching the input slots
    StateRecord* const state = findStateObject<StateRecord>(sc);
    removePanel(sc);  // the panel leaves the chart before the state goes
    if (state != nullptr) {
        releaseState(sc, *state);
    }
}

void update(StudyInterface& sc) {
    const ArrayView<StudyInput> inputSlots = resolve(sc.inputs);  // fetched before anything else
    const AcquiredState acquired = acquireState(sc);
    if (acquired.state == nullptr) {
        return;  // no memory for the state record: nothing can be computed soundly
    }
    StateRecord& state = *acquired.state;
    const StudyInputs inputs = readInputs(inputSlots, state.inputs);
    const std::int32_t barCount = sc.barCount > 0 ? sc.barCount : 0;
    const bool full = needsFullRecalculation(sc, state, acquired.created, barCount);
    const ArrayView<OutputSeries> outputs = resolve(sc.outputs);
    if (full) {
        startFullRecalculation(state, inputs);
        applyLabelFlags(outputs, inputs.showLabels);
        renameExtensionOutputs(outputs, inputs);
    }
    const PlotSettings settings = plotSettingsFrom(inputs);
    const BarArrays bars = resolveBarArrays(sc);
    const PlotArrays plot = resolvePlotArrays(outputs);

    // A full recalculation learns first which old sessions "Sessions to Show"
    // blanks, and writes their bars once, as blanks, instead of plotting them
    // and blanking them afterwards.
    const std::int32_t firstPlotted =
        full ? firstBarToPlot(state.clock, bars, plot, barCount, inputs.sessionsToShow) : 0;
    foldCommittedBars(state, bars, plot, settings, barCount, firstPlotted);
    const LevelRecord last = foldFormingBar(state, bars, plot, settings, barCount);
    blankBarsBefore(plot, state.hideCursor, firstPlotted);
    hideOldSessions(plot, state.hideCursor, barCount, inputs.sessionsToShow);
    if (!full) {
        checkTouchAlerts(sc, outputs, plot, bars, state.lastCommittedBar, barCount,
                         inputs.alertNumber);
    } else {
        logStatus(sc, state, barCount);
    }
    showPanel(sc, inputs, last, state, barCount, full);
}

}  // namespace keelmark::session_levels
