// The session panel: the day's ranges against their recent averages, the
// prior day and the RTH open, as one text drawing in a corner of the chart.
#pragma once

#include <cstdint>

#include "host/host_string.h"
#include "host/study_interface.h"
#include "session_levels/inputs.h"
#include "session_levels/state.h"

namespace keelmark::session_levels {

// The panel's fixed drawing number for this study instance.
std::int32_t panelDrawingNumber(std::int32_t studyId);

// Builds the panel text from the last bar's level record and the range
// lists into `text` (which the caller releases).
void buildPanelText(StudyInterface& sc, HostString& text, const LevelRecord& last,
                    const StateRecord& state, std::int32_t averageSessions);

// Places the panel, or removes it when it is switched off or there are no
// bars.
void showPanel(StudyInterface& sc, const StudyInputs& inputs, const LevelRecord& last,
               const StateRecord& state, std::int32_t barCount);
void removePanel(StudyInterface& sc);

}  // namespace keelmark::session_levels
