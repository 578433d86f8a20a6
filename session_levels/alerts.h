// Touch alerts: an alert when the newest committed bar touches a level that
// the bar before it did not touch.
#pragma once

#include <cstdint>

#include "host/host_array.h"
#include "host/study_interface.h"
#include "session_levels/plotting.h"
#include "session_levels/segmentation.h"

namespace keelmark::session_levels {

// Runs on incremental calls only, once per newest committed bar (tracked in
// the host's persistent integer 2).
void checkTouchAlerts(StudyInterface& sc, const ArrayView<OutputSeries>& outputs,
                      const PlotArrays& plot, const BarArrays& bars, std::int32_t lastCommittedBar,
                      std::int32_t barCount, std::int32_t alertNumber);

}  // namespace keelmark::session_levels
