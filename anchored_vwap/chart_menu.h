// The study's three chart menu items and the commands they deliver: they
// rewrite the anchor inputs, which are the only place anchors are kept.
#pragma once

#include <cstdint>

#include "anchored_vwap/chart_bars.h"
#include "host/host_array.h"
#include "host/study_interface.h"

namespace keelmark::anchored_vwap {

inline constexpr std::int32_t kMenuItemCount = 3;

// The host's persistent integers 1, 2 and 3: the identifiers of "Anchor VWAP
// Here", "Remove Nearest Anchored VWAP" and "Remove All Anchored VWAPs";
// 0 or less while an item is not registered.
struct MenuIds {
    std::int32_t* ids[kMenuItemCount];
};

MenuIds fetchMenuIds(StudyInterface& sc);
// Adds every item not yet registered; a refused item is retried next call.
void registerMenuItems(StudyInterface& sc, const MenuIds& menu);
// Removes every registered item and forgets all three identifiers.
void removeMenuItems(StudyInterface& sc, const MenuIds& menu);
// Acts on menuCommandId at the bar under the pointer; other identifiers are
// ignored.
void handleMenuCommand(StudyInterface& sc, const MenuIds& menu, const ChartBars& bars,
                       ArrayView<StudyInput> inputs);

}  // namespace keelmark::anchored_vwap
