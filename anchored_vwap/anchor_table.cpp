// The anchor state table's lifetime and anchor resolution.
//
// The table is one plain block on the process heap, whose allocator reports
// refusal instead of throwing; a refused table skips the call's computation.
#include "anchored_vwap/anchor_table.h"

#include <new>

#include "host/chart_date_time.h"
#include "host/persistent_object.h"
#include "host/process_heap.h"

namespace keelmark::anchored_vwap {

namespace {

// A new table's records differ from every resolved anchor (bar -2), so the
// first call after allocation resets every slot.
constexpr AnchorState kNewAnchorState{-1.0, -2, -1, 0.0, RunningSums{0.0, 0.0, 0.0}, 0};

}  // namespace

AnchorTable* findAnchorTable(StudyInterface& sc) {
    void** slot = sc.persistentPointer(kStateObjectKey);
    return slot != nullptr ? static_cast<AnchorTable*>(*slot) : nullptr;
}

AnchorTable* findOrCreateAnchorTable(StudyInterface& sc) {
    if (AnchorTable* existing = findAnchorTable(sc)) {
        return existing;
    }
    void* block = processHeapAllocate(sizeof(AnchorTable));
    if (block == nullptr) {
        return nullptr;
    }
    auto* table = new (block) AnchorTable;
    for (AnchorState& state : table->slots) {
        state = kNewAnchorState;
    }
    sc.setPersistentPointer(kStateObjectKey, table);
    return table;
}

void destroyAnchorTable(StudyInterface& sc) {
    if (AnchorTable* table = findAnchorTable(sc)) {
        processHeapFree(table);
        sc.setPersistentPointer(kStateObjectKey, nullptr);
    }
}

ResolvedAnchor resolveAnchor(StudyInterface& sc, const ChartBars& bars, const StudyInput& anchor) {
    const ChartDateTime when = dateTimeValue(anchor);
    ResolvedAnchor resolved{toDays(when), -1};
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
