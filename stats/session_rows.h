// One record per RTH session of a chart, measured from the levels the
// Session Levels study plotted and the chart's bars.
//
// Sessions come from what the study wrote: its per-bar session number, and
// its RTH-only outputs (RTH open, opening range, initial balance), which
// hold a value on RTH bars only. The RTH bars of one session are the run of
// RTH bars that share a session number.
//
// In a trader's words, with r = IB high - IB low (in double, from the
// single-precision levels the study plots):
//   post-IB bars   the session's RTH bars that start at or after RTH start +
//                  IB minutes (post-OR bars likewise with OR minutes)
//   break up       a post-IB bar's high strictly above IB high (down: low
//                  strictly below IB low)
//   reaches +k     a post-IB bar's high at or above IB high + k r (down: low
//                  at or below IB low - k r)
//   failed break   the first break was up and the session closed at or
//                  below IB high (down: at or above IB low)
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "standin_host/chart_host.h"
#include "stats/ladder.h"

namespace keelmark::stats {

// The study's per-bar outputs that the statistics read; 0 means no level.
struct PlottedLevels {
    std::span<const float> sessionNumber;
    std::span<const float> orHigh, orLow, ibHigh, ibLow;
    std::span<const float> priorHigh, priorLow, priorClose;
    std::span<const float> overnightHigh, overnightLow;
    std::span<const float> rthOpen;
};

// The study's settings that the statistics need, as the study used them.
struct SessionSettings {
    std::int32_t rthStartSeconds = 34200;
    std::int32_t openingRangeMinutes = 15;
    std::int32_t initialBalanceMinutes = 60;
    std::int32_t averageSessions = 20;  // sessions in the mean IB range
};

enum class FirstBreak { None, Up, Down, Both };

// How the session traded after a range (the IB or the OR) was complete.
struct RangeOutcome {
    bool complete = false;  // the window holds a bar and a bar after it follows
    bool breakUp = false, breakDown = false;
    FirstBreak firstBreak = FirstBreak::None;
    ChartDateTime firstBreakStart = 0;   // start of the first breaking bar
    std::vector<std::uint8_t> up, down;  // per ladder step: reached
    double highest = 0, lowest = 0;      // extremes of the bars after the window
};

struct SessionRow {
    std::size_t file = 0;        // index of the file among those given
    ChartDateTime rthStart = 0;  // RTH start on the day the session opened
    ChartDateTime ibEnd = 0;     // RTH start + IB minutes
    bool complete = false;       // the chart holds a bar after the session's last RTH bar
    std::int32_t bars = 0;
    float rthOpen = 0, rthHigh = 0, rthLow = 0, rthClose = 0;
    float orHigh = 0, orLow = 0, ibHigh = 0, ibLow = 0;  // on the last RTH bar
    RangeOutcome ib, openingRange;
    float closeBeforeIbEnd = 0;  // close of the last bar inside the IB window
    std::optional<double> ibRangeRatio;
    float overnightHigh = 0, overnightLow = 0;          // on the first RTH bar
    float priorHigh = 0, priorLow = 0, priorClose = 0;  // on the first RTH bar
    bool overnightHighTaken = false, overnightLowTaken = false;
    bool priorHighTaken = false, priorLowTaken = false, priorCloseTouched = false;
};

inline double ibRange(const SessionRow& row) {
    return static_cast<double>(row.ibHigh) - static_cast<double>(row.ibLow);
}

inline double openingRangeHeight(const SessionRow& row) {
    return static_cast<double>(row.orHigh) - static_cast<double>(row.orLow);
}

// Every RTH session of the chart, in order. `levels` hold one value per bar.
std::vector<SessionRow> sessionRows(const replay::BarColumns& bars,
                                    const PlottedLevels& levels, const SessionSettings& settings,
                                    const std::vector<LadderStep>& ladder, std::size_t file);

}  // namespace keelmark::stats
