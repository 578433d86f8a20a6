// The status line that every full recalculation writes to the host's log.
#pragma once

#include <cstdint>

#include "host/study_interface.h"

namespace keelmark::anchored_vwap {

void logStatusLine(StudyInterface& sc, std::int32_t anchorsOnChart);

}  // namespace keelmark::anchored_vwap
