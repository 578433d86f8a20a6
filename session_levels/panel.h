// The session panel: the day's ranges against their recent averages, the
// prior day and the RTH open, as one text drawing in a corner of the chart.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_string.h"
#include "host/study_interface.h"
#include "session_levels/inputs.h"
#include "session_levels/state.h"

namespace keelmark::session_levels {

// The panel's fixed drawing number for this study instance.
std::int32_t panelDrawingNumber(std::int32_t studyId);

// Room for a ratio text: the "%.2f" of the largest double has 309 digits
// before the point.
inline constexpr std::size_t kRatioTextCapacity = 400;

// Writes the text that follows a complete range, "  = 1.23x its 20-session
// average", with the ratio rounded to two decimals as printf's "%.2f" does,
// into `out` (kRatioTextCapacity characters, not NUL-terminated). Returns
// its length.
std::size_t formatRatioText(char* out, double ratio, std::int32_t sessions);

// Places the panel, or removes it when it is switched off or there are no
// bars. The text is built afresh with `rebuild` set (full recalculations)
// and whenever a value it shows has changed; otherwise the text placed last
// is placed again.
void showPanel(StudyInterface& sc, const StudyInputs& inputs, const LevelRecord& last,
               StateRecord& state, std::int32_t barCount, bool rebuild);
void removePanel(StudyInterface& sc);

}  // namespace keelmark::session_levels
