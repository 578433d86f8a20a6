#include "replay_engine/run_comparison.h"

#include <bit>

#include "standin_host/clock_text.h"
#include "standin_host/number_text.h"

namespace keelmark::replay {

namespace {

bool sameBits(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

void note(Comparison& c, Mismatch m) {
    ++c.mismatchCount;
    if (c.firstMismatches.size() < kMismatchesKept) {
        c.firstMismatches.push_back(std::move(m));
    }
}

float valueAt(const HostColumn& values, std::size_t bar) {
    return bar < values.size() ? values[bar] : 0.0f;
}

std::string counted(std::int64_t n, const std::string& what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

std::string callsText(const CallCounts& c) {
    return counted(c.fullRecalculations, "full recalculation") + ", " +
           counted(c.incrementalUpdates, "incremental update") + ", " +
           counted(c.menuCommands, "menu command");
}

}  // namespace

Comparison compareRuns(const RunRecord& live, const RunRecord& full) {
    Comparison c;
    const std::size_t bars = std::max(live.bars.size(), full.bars.size());
    c.barsCompared = static_cast<std::int64_t>(bars);
    if (live.bars.size() != full.bars.size()) {
        note(c, Mismatch{0, "number of bars", static_cast<float>(live.bars.size()),
                         static_cast<float>(full.bars.size()), false});
    }
    if (live.series.size() != full.series.size()) {
        note(c, Mismatch{0, "number of series", static_cast<float>(live.series.size()),
                         static_cast<float>(full.series.size()), false});
    }
    const std::size_t seriesCount = std::min(live.series.size(), full.series.size());
    const bool sessionNumbers = !live.sessionNumbers.empty() || !full.sessionNumbers.empty();
    for (const std::int32_t bar : live.repaintedBars) {
        note(c, Mismatch{bar, "values changed after the bar was committed", 0, 0, true});
    }
    for (std::size_t bar = 0; bar < bars; ++bar) {
        for (std::size_t s = 0; s < seriesCount; ++s) {
            const float a = valueAt(live.series[s].values, bar);
            const float b = valueAt(full.series[s].values, bar);
            ++c.valuesCompared;
            if (!sameBits(a, b)) {
                note(c, Mismatch{static_cast<std::int32_t>(bar), full.series[s].name, a, b, false});
            }
        }
        if (sessionNumbers) {
            const float a = valueAt(live.sessionNumbers, bar);
            const float b = valueAt(full.sessionNumbers, bar);
            ++c.valuesCompared;
            if (!sameBits(a, b)) {
                note(c, Mismatch{static_cast<std::int32_t>(bar), "SessionNumber", a, b, false});
            }
        }
    }
    return c;
}

std::string comparisonReport(const RunRecord& live, const RunRecord& full,
                             const Comparison& comparison) {
    std::string r;
    const auto fedLive = static_cast<std::int64_t>(live.bars.size()) - live.warmupBars;
    r += "verify: " + full.studyName + ", " +
         counted(static_cast<std::int64_t>(full.bars.size()), "bar") + "\n";
    r += "  live replay: " + counted(live.warmupBars, "bar") + " of warm-up, then " +
         counted(fedLive, "bar") + " fed live; " + callsText(live.counts) + "\n";
    r += "  full recalculation: " + callsText(full.counts) + "\n";
    r += "  compared " + counted(comparison.valuesCompared, "value") + " on " +
         counted(comparison.barsCompared, "bar") + "\n";
    r += "  mismatches: " + std::to_string(comparison.mismatchCount) + "\n";
    for (const Mismatch& m : comparison.firstMismatches) {
        const auto bar = static_cast<std::size_t>(m.bar);
        const std::string when =
            bar < full.bars.size() ? " (" + formatDateTime(full.bars[bar].start) + ")" : "";
        r += "    bar " + std::to_string(m.bar) + when + ": " + m.what;
        if (!m.repainted) {
            r += ": live " + floatText(m.live) + ", full " + floatText(m.full);
        }
        r += "\n";
    }
    if (comparison.mismatchCount > static_cast<std::int64_t>(comparison.firstMismatches.size())) {
        r += "    ... and " +
             std::to_string(comparison.mismatchCount -
                            static_cast<std::int64_t>(comparison.firstMismatches.size())) +
             " more\n";
    }
    r += comparison.mismatchCount == 0 ? "verify: PASSED\n" : "verify: FAILED\n";
    return r;
}

}  // namespace keelmark::replay
