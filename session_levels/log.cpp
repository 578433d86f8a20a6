// The status line a full recalculation writes to the host's log: the build
// of the module, the RTH sessions opened on committed bars, the overnights
// that preceded them and the chart's bar count. When the chart has bars but
// none opened an RTH session, a warning points at the chart's time zone,
// since the RTH inputs are clock times in that zone.
#include "session_levels/log.h"

#include <algorithm>
#include <limits>

#include "host/build_stamp.h"
#include "host/host_string.h"
#include "session_levels/statistics.h"

namespace keelmark::session_levels {

namespace {

constexpr const char* kNoRthWarning =
    "Keelmark Session Levels: no bar falls inside the RTH Start/End inputs. They are in the "
    "chart's time zone (Chart >> Chart Settings).";

int toInt(std::int64_t n) {
    return static_cast<int>(std::clamp<std::int64_t>(n, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

}  // namespace

void logStatus(StudyInterface& sc, const StateRecord& state, std::int32_t barCount) {
    HostString line = makeHostString();
    format(
        line, "Keelmark Session Levels BUILD %s %s | RTH sessions %d, overnights %d, chart bars %d",
        buildDate(), buildTime(), toInt(static_cast<std::int64_t>(state.levels.sessionIndex) + 1),
        toInt(sessionCount(state.overnights)), static_cast<int>(barCount));
    sc.addLogMessage(textOf(line), 0);
    release(line);
    if (state.levels.sessionIndex < 0 && barCount > 0) {
        sc.addLogMessage(kNoRthWarning, 1);
    }
}

}  // namespace keelmark::session_levels
