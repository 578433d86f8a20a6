// A bar fed live: it opens, forms over several updates and closes, as a
// charting host sees a bar arrive tick by tick.
#pragma once

#include <array>
#include <vector>

#include "standin_host/chart_host.h"

namespace keelmark::replay {

// Just opened: every price at the open, a quarter of the volume.
Bar openedBar(const Bar& full);

// The bar's way from its open to its close, after the opening: a rising bar
// dips to its low first, a falling bar rallies to its high first; the close
// goes with the extreme just reached, and the volume grows to its total. The
// last stage is the full bar.
std::array<Bar, 3> formingStages(const Bar& full);

}  // namespace keelmark::replay
