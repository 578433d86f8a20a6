// Chart menu items and commands.
//
// "Anchor VWAP Here" fills the lowest empty anchor slot with the start of the
// bar under the pointer; with all slots in use it moves the anchor with the
// earliest date-time. "Remove Nearest Anchored VWAP" empties the slot whose
// anchor bar is closest to the pointer; "Remove All Anchored VWAPs" empties
// every slot. The VWAP step of the same call sees the rewritten inputs.
#include "anchored_vwap/chart_menu.h"

#include "anchored_vwap/anchor_table.h"
#include "anchored_vwap/study_layout.h"
#include "host/study_input.h"

namespace keelmark::anchored_vwap {

namespace {

constexpr const char* kMenuItemTexts[kMenuItemCount] = {
    "Anchor VWAP Here", "Remove Nearest Anchored VWAP", "Remove All Anchored VWAPs"};

constexpr std::int32_t kAnchorHere = 0;
constexpr std::int32_t kRemoveNearest = 1;
constexpr std::int32_t kRemoveAll = 2;
constexpr std::int32_t kNoCommand = -1;
constexpr std::int32_t kNoSlot = -1;

constexpr const char* kAllAnchorsInUse =
    "Keelmark Anchored VWAP: all 8 anchors were in use, so the oldest one was moved.";

std::int32_t storedId(const MenuIds& menu, std::int32_t item) {
    return menu.ids[item] != nullptr ? *menu.ids[item] : 0;
}

// The menu item the command belongs to; only registered items match.
std::int32_t commandOf(const MenuIds& menu, std::int32_t commandId) {
    for (std::int32_t item = 0; item < kMenuItemCount; ++item) {
        const std::int32_t id = storedId(menu, item);
        if (id > 0 && id == commandId) {
            return item;
        }
    }
    return kNoCommand;
}

std::int32_t clampToChart(std::int32_t bar, std::int32_t barCount) {
    if (bar < 0) {
        return 0;
    }
    return bar > barCount - 1 ? barCount - 1 : bar;
}

bool isEmptySlot(const StudyInput& anchor) { return dateTimeValue(anchor) <= 0; }

// The lowest empty slot, else the slot with the earliest date-time (the lower
// slot on a tie).
std::int32_t slotForNewAnchor(ArrayView<StudyInput> inputs, bool& movedOldest) {
    movedOldest = false;
    for (std::int32_t slot = 0; slot < kAnchorSlots; ++slot) {
        if (isEmptySlot(inputs[slot])) {
            return slot;
        }
    }
    movedOldest = true;
    std::int32_t oldest = 0;
    ChartDateTime oldestTime = dateTimeValue(inputs[0]);
    for (std::int32_t slot = 1; slot < kAnchorSlots; ++slot) {
        const ChartDateTime t = dateTimeValue(inputs[slot]);
        if (t < oldestTime) {
            oldest = slot;
            oldestTime = t;
        }
    }
    return oldest;
}

void anchorHere(StudyInterface& sc, const ChartBars& bars, ArrayView<StudyInput> inputs,
                std::int32_t pointerBar) {
    bool movedOldest = false;
    const std::int32_t slot = slotForNewAnchor(inputs, movedOldest);
    if (movedOldest) {
        sc.addLogMessage(kAllAnchorsInUse, 0);
    }
    writeDateTimeValue(inputs[slot], bars.start[pointerBar]);
}

// The slot whose anchor bar is closest to the pointer (the lower slot on a
// tie), or none when no anchor stands on the chart.
std::int32_t nearestSlot(StudyInterface& sc, const ChartBars& bars, ArrayView<StudyInput> inputs,
                         std::int32_t pointerBar) {
    std::int32_t nearest = kNoSlot;
    std::int64_t nearestDistance = 0;
    for (std::int32_t slot = 0; slot < kAnchorSlots; ++slot) {
        const ResolvedAnchor anchor = resolveAnchor(sc, bars, inputs[slot]);
        if (anchor.bar < 0) {
            continue;
        }
        const std::int64_t distance = anchor.bar > pointerBar
                                          ? std::int64_t{anchor.bar} - pointerBar
                                          : std::int64_t{pointerBar} - anchor.bar;
        if (nearest == kNoSlot || distance < nearestDistance) {
            nearest = slot;
            nearestDistance = distance;
        }
    }
    return nearest;
}

void removeNearest(StudyInterface& sc, const ChartBars& bars, ArrayView<StudyInput> inputs,
                   std::int32_t pointerBar) {
    const std::int32_t slot = nearestSlot(sc, bars, inputs, pointerBar);
    if (slot != kNoSlot) {
        writeDateTimeValue(inputs[slot], 0);
    }
}

void removeAll(ArrayView<StudyInput> inputs) {
    for (std::int32_t slot = 0; slot < kAnchorSlots; ++slot) {
        writeDateTimeValue(inputs[slot], 0);
    }
}

}  // namespace

MenuIds fetchMenuIds(StudyInterface& sc) {
    MenuIds menu{};
    for (std::int32_t item = 0; item < kMenuItemCount; ++item) {
        menu.ids[item] = sc.persistentInt(item + 1);
    }
    return menu;
}

void registerMenuItems(StudyInterface& sc, const MenuIds& menu) {
    for (std::int32_t item = 0; item < kMenuItemCount; ++item) {
        if (menu.ids[item] != nullptr && *menu.ids[item] <= 0) {
            *menu.ids[item] = sc.addChartMenuItem(sc.chartId, kMenuItemTexts[item]);
        }
    }
}

void removeMenuItems(StudyInterface& sc, const MenuIds& menu) {
    for (std::int32_t item = 0; item < kMenuItemCount; ++item) {
        const std::int32_t id = storedId(menu, item);
        if (id > 0) {
            sc.removeChartMenuItem(sc.chartId, id);
        }
    }
    for (std::int32_t* id : menu.ids) {
        if (id != nullptr) {
            *id = 0;
        }
    }
}

void handleMenuCommand(StudyInterface& sc, const MenuIds& menu, const ChartBars& bars,
                       ArrayView<StudyInput> inputs) {
    const std::int32_t pointerBar = clampToChart(sc.menuBarIndex, bars.count);
    switch (commandOf(menu, sc.menuCommandId)) {
        case kAnchorHere:
            anchorHere(sc, bars, inputs, pointerBar);
            break;
        case kRemoveNearest:
            removeNearest(sc, bars, inputs, pointerBar);
            break;
        case kRemoveAll:
            removeAll(inputs);
            break;
        default:
            break;
    }
}

}  // namespace keelmark::anchored_vwap
