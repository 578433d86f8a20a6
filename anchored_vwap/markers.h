// The text marker at the low of each anchor bar: "^ AVWAP n  MM-DD hh:mm".
#pragma once

#include <cstdint>

#include "anchored_vwap/chart_bars.h"
#include "host/study_interface.h"

namespace keelmark::anchored_vwap {

// (studyId + 4643750) * 16, wrapping in 32 bits as the host's numbers do.
std::int32_t markerNumberBase(std::int32_t studyId);
std::int32_t markerNumber(std::int32_t base, std::int32_t anchorSlot);

struct MarkerLook {
    std::int32_t colour;
    std::int32_t fontSize;
};

void placeMarker(StudyInterface& sc, const ChartBars& bars, std::int32_t base,
                 std::int32_t anchorSlot, std::int32_t anchorBar, const MarkerLook& look);
void deleteMarker(StudyInterface& sc, std::int32_t base, std::int32_t anchorSlot);

}  // namespace keelmark::anchored_vwap
