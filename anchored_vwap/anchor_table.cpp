// The anchor state table's lifetime and anchor resolution.
#include "anchored_vwap/anchor_table.h"

#include "host/chart_date_time.h"
#include "host/persistent_object.h"

namespace keelmark::anchored_vwap {

AnchorTable* findOrCreateAnchorTable(StudyInterface& sc) {
    return findOrCreateStateObject<AnchorTable>(sc);
}

void destroyAnchorTable(StudyInterface& sc) { destroyStateObject<AnchorTable>(sc); }

ResolvedAnchor resolveAnchor(StudyInterface& sc, const ChartBars& bars, const StudyInput& anchor) {
    const ChartDateTime when = dateTimeValue(anchor);
    // An empty slot (0) on every call: no division for it.
    ResolvedAnchor resolved{when == 0 ? 0.0 : toDays(when), -1};
    if (when <= 0 || when < bars.start[0]) {
        return resolved;
    }
    const std::int32_t found = sc.barIndexForDateTime(sc.chartId, &when);
    if (found >= 0 && found < bars.count) {
        resolved.bar = found;
    }
    return resolved;
}

}  // namespace keelmark::anchored_vwap
