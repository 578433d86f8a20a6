// The status line of every full recalculation and the no-RTH warning.
#pragma once

#include <cstdint>

#include "host/study_interface.h"
#include "session_levels/state.h"

namespace keelmark::session_levels {

void logStatus(StudyInterface& sc, const StateRecord& state, std::int32_t barCount);

}  // namespace keelmark::session_levels
