// Anchor markers: one text drawing per anchor slot, placed by bar index at the
// anchor bar and by price at its low, numbered so that placing it again
// replaces it.
#include "anchored_vwap/markers.h"

#include "host/chart_date_time.h"
#include "host/drawing_request.h"
#include "host/host_string.h"

namespace keelmark::anchored_vwap {

namespace {

constexpr std::uint32_t kMarkerNumberOffset = 4643750u;
constexpr std::uint32_t kMarkerNumbersPerStudy = 16u;
constexpr std::int32_t kCentredHorizontally = 1;

}  // namespace

std::int32_t markerNumberBase(std::int32_t studyId) {
    const std::uint32_t base =
        (static_cast<std::uint32_t>(studyId) + kMarkerNumberOffset) * kMarkerNumbersPerStudy;
    return static_cast<std::int32_t>(base);
}

std::int32_t markerNumber(std::int32_t base, std::int32_t anchorSlot) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(base) +
                                     static_cast<std::uint32_t>(anchorSlot));
}

void placeMarker(StudyInterface& sc, const ChartBars& bars, std::int32_t base,
                 std::int32_t anchorSlot, std::int32_t anchorBar, const MarkerLook& look) {
    const CalendarFields when = splitDateTime(bars.start[anchorBar]);

    DrawingRequest request;
    constructDrawingRequest(request);  // already the defaults a reset would give
    request.chartId = sc.chartId;
    request.drawingKind = kDrawingKindText;
    request.drawingNumber = markerNumber(base, anchorSlot);
    request.requestMode = kRequestModeAddOrUpdate;
    request.region = sc.chartRegion;
    request.barIndex = anchorBar;
    request.price = bars.low[anchorBar];
    request.textAlignment = kCentredHorizontally;
    request.textColour = look.colour;
    request.fontSize = look.fontSize;
    request.hostOptionB = 1;
    request.hostOptionD = 0;
    format(request.text, "^ AVWAP %d  %02d-%02d %02d:%02d", anchorSlot + 1, when.month, when.day,
           when.hour, when.minute);
    sc.submitDrawing(&request);
    releaseDrawingRequest(request);
}

void deleteMarker(StudyInterface& sc, std::int32_t base, std::int32_t anchorSlot) {
    sc.deleteDrawing(sc.chartId, 0, markerNumber(base, anchorSlot));
}

}  // namespace keelmark::anchored_vwap
