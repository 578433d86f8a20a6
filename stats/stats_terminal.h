// The aggregates as a table a trader reads at a glance: how many sessions,
// the IB ladder with up and down side by side (then the OR's), the other
// levels, the splits and the distributions. Every percentage carries its
// 95% interval and the sessions it is out of.
#pragma once

#include <string>
#include <vector>

#include "stats/aggregates.h"
#include "stats/ladder.h"

namespace keelmark::stats {

std::string terminalReport(const Aggregates& aggregates, const std::vector<LadderStep>& ladder,
                           std::size_t files);

}  // namespace keelmark::stats
