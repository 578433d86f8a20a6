// The bars and every series value, one row per bar:
//   DateTime,Open,High,Low,Close,Volume,<series names in slot order>[,SessionNumber]
// DateTime as YYYY-MM-DD HH:MM:SS; numbers as "%.9g" writes them, so that
// they read back to the single-precision values the host holds; 0 where a
// series has no value. The last column is the Session Levels session number.
#pragma once

#include <ostream>
#include <string>

#include "replay_engine/replay_run.h"

namespace keelmark::replay {

void writeCsv(const RunRecord& record, std::ostream& out);

// A text as one CSV field: quoted when it holds a comma, a quote or a line
// break, with quotes doubled.
std::string csvField(const std::string& text);

}  // namespace keelmark::replay
