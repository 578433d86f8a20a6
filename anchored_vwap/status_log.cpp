// The status line: the module's build stamp and how many anchors stand on
// bars of the chart, with the hint where anchors are set.
#include "anchored_vwap/status_log.h"

#include "anchored_vwap/study_layout.h"
#include "host/build_stamp.h"
#include "host/host_string.h"

namespace keelmark::anchored_vwap {

void logStatusLine(StudyInterface& sc, std::int32_t anchorsOnChart) {
    HostString line = makeHostString();
    format(line,
           "Keelmark Anchored VWAP BUILD %s %s | anchors on the chart %d of %d | right-click the "
           "chart: Anchor VWAP Here",
           buildDate(), buildTime(), anchorsOnChart, kAnchorSlots);
    sc.addLogMessage(textOf(line), 0);
    release(line);
}

}  // namespace keelmark::anchored_vwap
