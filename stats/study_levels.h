// The Session Levels study run over one chart for the statistics: on the
// user's settings, but with every show switch on, every session shown and
// the forming ranges drawn, so that every level is on every bar.
#pragma once

#include <string>
#include <vector>

#include "replay_engine/chart_loading.h"
#include "standin_host/module_library.h"
#include "stats/ladder.h"
#include "stats/session_rows.h"

namespace keelmark::stats {

// The settings stats adds after the user's: every level shown on every bar.
std::vector<std::string> forcedInputSettings();

// Applies the settings to a study without bars, so that a setting the study
// refuses is reported before any file is read. Throws
// replay::InputSettingError.
void checkInputSettings(const replay::ModuleLibrary& module,
                        const std::vector<std::string>& inputs);

struct MeasuredSessions {
    std::vector<SessionRow> rows;
    SessionSettings settings;  // as the study used them
};

// Runs the study over the chart and measures its sessions. `inputs` are
// SLOT=VALUE settings as `run` takes them. Throws
// replay::InputSettingError for a setting the study refuses.
MeasuredSessions measureSessions(const replay::ModuleLibrary& module, replay::LoadedChart chart,
                                 const std::vector<std::string>& inputs,
                                 const std::vector<LadderStep>& ladder, std::size_t file);

}  // namespace keelmark::stats
