// Touch alerts, in a trader's words: when the bar that just closed trades
// through a level (its low at or below it and its high at or above it) that
// already stood at the same price on the bar before, and the bar before did
// not trade through it, the host raises the user's alert with
// "Keelmark Session Levels: price touched <level name> <price>".
// Only the newest committed bar is checked, once; a full recalculation never
// alerts.
#include "session_levels/alerts.h"

#include "host/host_string.h"
#include "session_levels/inputs.h"

namespace keelmark::session_levels {

namespace {

constexpr std::int32_t kLastCheckedBarKey = 2;

bool touches(float level, float low, float high) { return low <= level && high >= level; }

void raiseTouchAlert(StudyInterface& sc, const OutputSeries& series, float level, std::int32_t bar,
                     std::int32_t alertNumber) {
    HostString price = makeHostString();
    HostString* formatted = sc.formatPrice(&price, static_cast<double>(level), sc.priceFormat);
    const char* priceText = textOf(formatted != nullptr ? *formatted : price);
    HostString message = makeHostString();
    format(message, "Keelmark Session Levels: price touched %s %s", textOf(series.name), priceText);
    release(price);
    sc.raiseAlert(alertNumber, bar, &message);
    release(message);
}

}  // namespace

void checkTouchAlerts(StudyInterface& sc, const ArrayView<OutputSeries>& outputs,
                      const PlotArrays& plot, const BarArrays& bars, std::int32_t lastCommittedBar,
                      std::int32_t barCount, std::int32_t alertNumber) {
    const std::int32_t newest = barCount - 2;  // barCount is never negative here
    if (alertNumber <= 0 || newest < 1 || lastCommittedBar != newest) {
        return;
    }
    std::int32_t* lastChecked = sc.persistentInt(kLastCheckedBarKey);
    if (lastChecked == nullptr || *lastChecked == newest) {
        return;
    }
    *lastChecked = newest;
    const std::int32_t before = newest - 1;
    const float high = bars.high[newest];
    const float low = bars.low[newest];
    const float highBefore = bars.high[before];
    const float lowBefore = bars.low[before];
    for (std::int32_t slot = 0; slot < kOutputCount; ++slot) {
        const float level = plot.values[slot][newest];
        if (level == 0.0f || plot.values[slot][before] != level) {
            continue;
        }
        if (touches(level, low, high) && !touches(level, lowBefore, highBefore)) {
            raiseTouchAlert(sc, outputs[slot], level, newest, alertNumber);
        }
    }
}

}  // namespace keelmark::session_levels
