// keelmark-replay's command line:
//
//   keelmark-replay run    --study session-levels|anchored-vwap --bars FILE [options]
//   keelmark-replay verify --study session-levels|anchored-vwap --bars FILE [options]
//   keelmark-replay stats  --bars FILE [--bars FILE ...] [options]
//
// `run` replays the study over the bars and writes the outputs asked for, or
// prints a summary. `verify` replays the bars live and as one full
// recalculation and compares every bar's values; it exits 1 on any
// mismatch. `stats` measures every RTH session of the files from the
// Session Levels study's levels and prints how often each level was
// reached. Errors in the bar file, the options or the module exit 2,
// writing no output file.
#pragma once

#include <ostream>

namespace keelmark::replay {

inline constexpr int kExitMismatch = 1;
inline constexpr int kExitError = 2;

// `showProgress`: redraw a progress line on `err` during long replays.
int runCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                   bool showProgress = false);

}  // namespace keelmark::replay
