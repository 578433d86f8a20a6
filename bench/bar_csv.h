// Bar files for the reader and replay-tool benchmarks, in the layout of the
// bundled sample: `timestamp,open,high,low,close,volume`.
#pragma once

#include <string>
#include <vector>

#include "standin_host/chart_host.h"

namespace keelmark::bench {

// Writes the bars to `path`; throws std::runtime_error when it cannot.
void writeBarCsv(const std::string& path, const std::vector<replay::Bar>& bars);

// The sample chart of `count` bars as a file in a folder of this run, written
// once per run and removed when the program ends.
const std::string& sampleChartFile(std::size_t count);

}  // namespace keelmark::bench
