// The terminal summary of a replay: module name and version, bars, calls,
// time taken, the malformed rows left out, bars that changed after being
// committed, the text drawings left on the chart (the final session panel,
// the anchor markers), the log lines and the number of alerts.
#pragma once

#include <string>

#include "replay_engine/replay_run.h"

namespace keelmark::replay {

std::string runSummary(const RunRecord& record, const std::string& barsName);

// The rows of the bar file left out as malformed, the first few by line;
// empty when there were none.
std::string skippedRowsText(const RunRecord& record, const std::string& barsName);

// "3 calls: 1 defaults pass, 1 full recalculation, ..."
std::string callCountsText(const CallCounts& counts);

}  // namespace keelmark::replay
