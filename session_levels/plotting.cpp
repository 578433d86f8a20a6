// What each bar shows. On an RTH bar: the OR and IB (while forming only with
// "Draw ... While Still Forming"), their extensions once the range is final,
// and the RTH open. On every bar: the overnight high, low and midpoint
// (final from the RTH open; while collecting only with the forming switch)
// and the prior day's high, low and close. 0 means no level on that bar.
// Values are computed in double precision and stored as single precision.
//
// Session number of a bar: the session index, plus 1 outside RTH, so the
// bars leading into a session (the overnight) count with that session.
// "Sessions to Show" N blanks every bar whose session number is not above
// (last bar's session number - N).
#include "session_levels/plotting.h"

#include <xmmintrin.h>

#include <algorithm>
#include <limits>

#include "session_levels/levels.h"

namespace keelmark::session_levels {

// Resolved on every call, live ticks included: with every output slot
// there, the 25 series are resolved and their smallest count taken in one
// unrolled pass, without a loop or a second pass over the counts.
PlotArrays resolvePlotArrays(const ArrayView<OutputSeries>& outputs) {
    PlotArrays p;
    std::int32_t common = std::numeric_limits<std::int32_t>::max();
    if (outputs.count >= kOutputCount) {
#pragma GCC unroll 32
        for (std::int32_t slot = 0; slot < kOutputCount; ++slot) {
            p.values[slot] = resolve(outputs.data[slot].values);
            common = std::min(common, p.values[slot].count);
        }
    } else {
        for (std::int32_t slot = 0; slot < kOutputCount; ++slot) {
            p.values[slot] = resolve(outputs[slot].values);
            common = std::min(common, p.values[slot].count);
        }
    }
    const ArrayView<HostArray<float>> extras = resolve(outputs[kOutOrHigh].extraArrays);
    p.sessionNumber = resolve(extras[0]);
    p.commonCount = std::min(common, p.sessionNumber.count);
    return p;
}

PlotSettings plotSettingsFrom(const StudyInputs& inputs) {
    PlotSettings s;
    s.switches = inputs.switches;
    for (int k = 0; k < kIbExtensionCount; ++k) {
        s.ibMultipliers[k] = inputs.ibMultipliers[k];
    }
    for (int k = 0; k < kOrExtensionCount; ++k) {
        s.orMultipliers[k] = inputs.orMultipliers[k];
    }
    return s;
}

namespace {

void setRange(double* v, int highSlot, const HighLow& range) {
    v[highSlot] = range.high;
    v[highSlot + 1] = range.low;
    v[highSlot + 2] = midpoint(range);
}

void setExtensions(double* v, int firstSlot, const HighLow& range, const float* multipliers,
                   int count) {
    for (int k = 0; k < count; ++k) {
        if (extensionIsOn(multipliers[k])) {
            const double m = multipliers[k];
            v[firstSlot + 2 * k] = upperExtension(range, m);
            v[firstSlot + 2 * k + 1] = lowerExtension(range, m);
        }
    }
}

void setRthLevels(double* v, const LevelRecord& L, const PlotSettings& s) {
    const DisplaySwitches& sw = s.switches;
    if (sw.openingRange && L.openingRange.valid &&
        (L.openingRangeComplete || sw.drawWhileForming)) {
        setRange(v, kOutOrHigh, L.openingRange);
    }
    if (sw.initialBalance && L.initialBalance.valid &&
        (L.initialBalanceComplete || sw.drawWhileForming)) {
        setRange(v, kOutIbHigh, L.initialBalance);
    }
    if (sw.ibExtensions && L.initialBalanceComplete) {
        setExtensions(v, kOutIbExtension, L.initialBalance, s.ibMultipliers, kIbExtensionCount);
    }
    if (sw.orExtensions && L.openingRangeComplete) {
        setExtensions(v, kOutOrExtension, L.openingRange, s.orMultipliers, kOrExtensionCount);
    }
    if (sw.rthOpen) {
        v[kOutRthOpen] = L.rthOpen;
    }
}

void setAllDayLevels(double* v, const LevelRecord& L, const PlotSettings& s) {
    const DisplaySwitches& sw = s.switches;
    if (sw.overnight && L.shownOvernight.valid && (L.shownOvernightFinal || sw.drawWhileForming)) {
        setRange(v, kOutOvernightHigh, L.shownOvernight);
    }
    if (sw.priorDay && L.priorDayValid) {
        v[kOutPriorHigh] = L.priorDayHigh;
        v[kOutPriorLow] = L.priorDayLow;
        v[kOutPriorClose] = L.priorDayClose;
    }
}

// Session numbers are whole numbers written by the bar plot; anything else
// (a host that lost the array) reads as session 0 rather than trapping.
std::int64_t sessionNumberAt(const PlotArrays& out, std::int32_t index) {
    const float n = out.sessionNumber[index];
    if (!(n > -2147483648.0f && n < 2147483648.0f)) {
        return 0;
    }
    return static_cast<std::int64_t>(n);
}

// Writes 0 at bars `from` to `to` - 1 of one series, one sweep per series
// rather than one bar across all series at a time. Bars beyond the array
// land on its last element, as element access clamps them.
void blankBars(const ArrayView<float>& values, std::int32_t from, std::int32_t to) {
    if (from >= to) {
        return;
    }
    if (values.count == 0) {
        *values.data = 0.0f;
        return;
    }
    if (from < 0) {
        values.data[0] = 0.0f;
        from = 0;
    }
    const std::int32_t inside = std::min(to, values.count);
    if (from < inside) {
        std::fill(values.data + from, values.data + inside, 0.0f);
    }
    if (to > values.count) {
        values.data[values.count - 1] = 0.0f;
    }
}

}  // namespace

void plotBar(const PlotArrays& out, std::int32_t index, const LevelRecord& levels,
             const PlotSettings& settings) {
    double v[kOutputCount] = {};
    if (levels.inRth) {
        setRthLevels(v, levels, settings);
    }
    setAllDayLevels(v, levels, settings);
    const std::int64_t session = sessionNumberOf(levels.sessionIndex, levels.inRth);
    if (index >= 0 && index < out.commonCount) {
        // Unrolled whole: the 25 stores of every call without a loop's counting.
#pragma GCC unroll 32
        for (std::int32_t slot = 0; slot < kOutputCount; ++slot) {
            out.values[slot].data[index] = static_cast<float>(v[slot]);
        }
        out.sessionNumber.data[index] = static_cast<float>(session);
        return;
    }
    for (std::int32_t slot = 0; slot < kOutputCount; ++slot) {
        out.values[slot][index] = static_cast<float>(v[slot]);
    }
    out.sessionNumber[index] = static_cast<float>(session);
}

namespace {

// The end of the run of bars, from `from`, whose session is not above the
// threshold that "Sessions to Show" sets from the last bar.
std::int32_t endOfHiddenBars(const PlotArrays& out, std::int32_t from, std::int32_t barCount,
                             std::int32_t sessionsToShow) {
    const std::int32_t lastBar = barCount - 1;
    const std::int64_t threshold = sessionNumberAt(out, lastBar) - sessionsToShow;
    std::int32_t end = from;
    while (end < lastBar && sessionNumberAt(out, end) <= threshold) {
        ++end;
    }
    return end;
}

}  // namespace

std::int32_t firstBarToPlot(const SessionClock& clock, const BarArrays& bars, const PlotArrays& out,
                            std::int32_t barCount, std::int32_t sessionsToShow) {
    constexpr std::int32_t kExactInFloat = 1 << 24;  // session numbers never exceed the bars
    if (sessionsToShow <= 0 || barCount <= 0 || barCount >= kExactInFloat ||
        out.sessionNumber.count < barCount) {
        return 0;
    }
    return firstBarOfRecentSessions(clock, bars, barCount, sessionsToShow);
}

void lookUpBlankingAhead(const PlotArrays& out, std::int32_t from, std::int32_t to) {
    if (from >= to) {
        return;
    }
    constexpr std::int32_t kBarsPerPage = 4096 / sizeof(float);
    for (std::int32_t slot = 0; slot < kOutputCount; ++slot) {
        const float* const values = out.values[slot].data;
        for (std::int32_t bar = from; bar < to; bar += kBarsPerPage) {
            _mm_prefetch(reinterpret_cast<const char*>(values + bar), _MM_HINT_NTA);
        }
        _mm_prefetch(reinterpret_cast<const char*>(values + to - 1), _MM_HINT_NTA);
    }
}

void blankBarsBefore(const PlotArrays& out, std::int32_t& hideCursor, std::int32_t firstShown) {
    if (firstShown <= hideCursor) {
        return;  // most calls: nothing new to blank
    }
    for (std::int32_t slot = 0; slot < kOutputCount; ++slot) {
        blankBars(out.values[slot], hideCursor, firstShown);
    }
    hideCursor = std::max(hideCursor, firstShown);
}

void hideOldSessions(const PlotArrays& out, std::int32_t& hideCursor, std::int32_t barCount,
                     std::int32_t sessionsToShow) {
    if (sessionsToShow <= 0 || barCount <= 0) {
        return;
    }
    blankBarsBefore(out, hideCursor, endOfHiddenBars(out, hideCursor, barCount, sessionsToShow));
}

}  // namespace keelmark::session_levels
