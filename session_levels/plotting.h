// Level plotting: the 25 level values and the session number of one bar, and
// the blanking of sessions older than "Sessions to Show".
#pragma once

#include <cstdint>

#include "host/host_array.h"
#include "host/output_series.h"
#include "session_levels/inputs.h"
#include "session_levels/segmentation.h"
#include "session_levels/state.h"

namespace keelmark::session_levels {

// The output value arrays and the session-number array (extra array 0 of
// output 0), resolved once per call. `commonCount` is the smallest element
// count among them, 0 when any is unavailable: bars below it are written
// straight into every array, with no clamping to do.
struct PlotArrays {
    ArrayView<float> values[kOutputCount];
    ArrayView<float> sessionNumber;
    std::int32_t commonCount;
};

PlotArrays resolvePlotArrays(const ArrayView<OutputSeries>& outputs);

// What the bar plot reads from the inputs on every call.
struct PlotSettings {
    DisplaySwitches switches;
    float ibMultipliers[kIbExtensionCount];
    float orMultipliers[kOrExtensionCount];
};

PlotSettings plotSettingsFrom(const StudyInputs& inputs);

// Writes all 25 outputs and the session number at bar `index` from the level
// record as it stands after that bar.
void plotBar(const PlotArrays& out, std::int32_t index, const LevelRecord& levels,
             const PlotSettings& settings);

// Ahead of the plotting of a full recalculation: the first bar that
// "Sessions to Show" will leave visible, so that the bars before it are
// blanked without being plotted first. 0 when nothing will be blanked, and
// whenever the session numbers as stored could differ from the ones counted
// (a session-number array shorter than the chart, or a chart so long that
// single precision no longer holds every session number exactly).
std::int32_t firstBarToPlot(const SessionClock& clock, const BarArrays& bars, const PlotArrays& out,
                            std::int32_t barCount, std::int32_t sessionsToShow);

// Asks the processor to look up, ahead, the memory pages of every series
// that blanking bars `from` .. `to` - 1 writes, one read hint per page; every
// series must hold those bars.
void lookUpBlankingAhead(const PlotArrays& out, std::int32_t from, std::int32_t to);

// Blanks every series before `firstShown` and moves the hide cursor there.
void blankBarsBefore(const PlotArrays& out, std::int32_t& hideCursor, std::int32_t firstShown);

// Blanks, from the hide cursor forward, the bars whose session is more than
// `sessionsToShow` sessions older than the last bar's. The last bar is never
// blanked; the cursor only moves forward.
void hideOldSessions(const PlotArrays& out, std::int32_t& hideCursor, std::int32_t barCount,
                     std::int32_t sessionsToShow);

}  // namespace keelmark::session_levels
