// `keelmark-replay stats`: the Session Levels study run over one or more bar
// files (one file per core), each file's RTH sessions measured, the rows
// pooled in file order, the aggregates printed as a table and the outputs
// asked for written together or not at all.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "replay_engine/chart_loading.h"
#include "standin_host/module_library.h"
#include "stats/ladder.h"
#include "stats/session_rows.h"
#include "stats/session_table.h"

namespace keelmark::stats {

struct StatsRequest {
    std::vector<std::string> barFiles;
    replay::ChartLoading loading;
    std::vector<std::string> inputs;  // SLOT=VALUE, as `run` takes them
    std::vector<LadderStep> ladder;
    std::string csv, json, html;  // empty: not written
};

struct MeasuredFiles {
    std::vector<SessionRow> rows;      // every file's sessions, in file order
    std::int32_t averageSessions = 0;  // sessions in the mean IB range
};

// The sessions of every file, pooled in file order. Throws what loading a
// file or running the study throws, naming the file.
MeasuredFiles measureFiles(const replay::ModuleLibrary& module, const StatsRequest& request);

// Measures, prints the aggregates to `out` and writes the outputs.
void runStats(const replay::ModuleLibrary& module, const StatsRequest& request, std::ostream& out);

}  // namespace keelmark::stats
