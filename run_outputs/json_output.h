// Everything about a replay except the per-bar values (those are the CSV):
// the module, the study, the inputs as declared and as used, the series
// settings, the log lines with their flags, the alerts, the drawings left
// on the chart, the menu items and the counts of calls made.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>

#include "replay_engine/replay_run.h"

namespace keelmark::replay {

nlohmann::ordered_json runJson(const RunRecord& record);

void writeJson(const RunRecord& record, std::ostream& out);

// An input value as --input takes it; `options` are the names of a list's
// entries (only a custom list reads them).
std::string inputValueText(std::uint8_t type, const InputValueCell& cell,
                           const std::vector<std::string>& options);

// An input value in JSON: {"value": the stored value, "text": its text as
// above}.
nlohmann::ordered_json inputValueJson(std::uint8_t type, const InputValueCell& cell,
                                      const std::vector<std::string>& options);

// #RRGGBB of a host colour word 0x00BBGGRR.
std::string colourText(std::int32_t colour);

// A float as the shortest decimal that reads back to it (null for NaN).
nlohmann::ordered_json floatJson(float v);

}  // namespace keelmark::replay
