// The statistics as JSON: what was measured (files, inputs, ladder), every
// session with the CSV's columns as typed values (null where the CSV cell is
// empty), and the aggregates.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>

#include "stats/aggregates.h"
#include "stats/stats_run.h"

namespace keelmark::stats {

nlohmann::ordered_json sessionsJson(const SessionTable& table);
nlohmann::ordered_json aggregatesJson(const Aggregates& aggregates);

void writeStatsJson(const StatsRequest& request, const SessionTable& table,
                    const Aggregates& aggregates, std::ostream& out);

}  // namespace keelmark::stats
