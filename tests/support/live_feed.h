// Playing bars into a study instance the way a live chart delivers them:
// a chart loaded with history and fully recalculated, then each further bar
// opening, forming and closing over several update calls.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "standin_host/chart_host.h"

namespace keelmark::test {

// Sets the first `warmupBars` bars as the chart and makes a full
// recalculation; then, for every further bar:
//   1. appends it as just opened (high = low = close = open, a third of its
//      volume) and makes the update call that follows a new bar;
//   2. replaces it with a bar part-way formed (its high reached, low and close
//      halfway from the open towards theirs, two thirds of its volume) and
//      makes a forming-bar update;
//   3. replaces it with the full bar and makes another forming-bar update.
// `afterEachCall` receives the index of the chart's last bar after every
// call, including the full recalculation.
void feedLive(replay::StudyInstance& study, const std::vector<replay::Bar>& bars,
              std::int32_t warmupBars,
              const std::function<void(std::int32_t barIndex)>& afterEachCall = {});

// The bar as it looks when it has just opened, and part-way formed.
replay::Bar openedBar(const replay::Bar& bar);
replay::Bar partlyFormedBar(const replay::Bar& bar);

}  // namespace keelmark::test
