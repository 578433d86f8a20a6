// The stand-in host reuses recent answers of barIndexForDateTime and
// formatPrice; whatever happens in between, every answer must stay the one
// the host would work out afresh.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/host_string.h"
#include "standin_host/chart_host.h"

namespace keelmark {
namespace {

using replay::Bar;
using replay::StudyInstance;

constexpr ChartDateTime kMinute = kMicrosPerMinute;

std::vector<Bar> barsStartingAt(const std::vector<ChartDateTime>& starts) {
    std::vector<Bar> bars;
    for (ChartDateTime start : starts) {
        bars.push_back(Bar{start, 1, 2, 0.5f, 1.5f, 10});
    }
    return bars;
}

// The host's rule, found by walking the whole chart: the earliest bar whose
// span holds t. A bar spans to the next later start, the last bars without
// end; bars with the same start share one span, the first of them taking
// it; bars followed by an earlier start span as long as the step before them
// (a minute without one). Where no span holds t, the first of the last bars
// that start at or before it.
std::int32_t hostRuleAnswer(const std::vector<Bar>& bars, ChartDateTime t) {
    std::int32_t latest = -1;
    for (std::size_t i = 0; i < bars.size();) {
        const ChartDateTime start = bars[i].start;
        std::size_t next = i + 1;
        while (next < bars.size() && bars[next].start == start) {
            ++next;
        }
        if (start <= t) {
            latest = static_cast<std::int32_t>(i);
            if (next == bars.size()) {
                return latest;
            }
            ChartDateTime end = bars[next].start;
            if (end < start) {
                const ChartDateTime before = i > 0 ? start - bars[i - 1].start : 0;
                end = start + (before > 0 ? before : kMinute);
            }
            if (t < end) {
                return latest;
            }
        }
        i = next;
    }
    return latest;
}

// Asks twice for each date-time from before the first bar to after the last,
// so that the second answer may come from the reused ones.
void expectEveryLookupExact(const StudyInstance& study) {
    const std::vector<Bar> bars = replay::barListOf(study.bars());
    const ChartDateTime first = bars.empty() ? 0 : bars.front().start;
    const ChartDateTime last = bars.empty() ? 0 : bars.back().start;
    for (ChartDateTime t = first - 2 * kMinute; t <= last + 2 * kMinute; t += kMinute / 2) {
        for (int ask = 0; ask < 2; ++ask) {
            ASSERT_EQ(study.barIndexAtOrBefore(t), hostRuleAnswer(bars, t)) << "at " << t;
        }
    }
}

TEST(BarLookup, AnswersFollowTheChartAsBarsArriveChangeAndAreReplaced) {
    StudyInstance study(nullptr);
    study.setBars(barsStartingAt({10 * kMinute, 11 * kMinute, 11 * kMinute, 14 * kMinute}));
    expectEveryLookupExact(study);

    study.appendBar(barsStartingAt({15 * kMinute})[0]);
    expectEveryLookupExact(study);

    // The forming bar moves to a later start, then back before its neighbour.
    study.replaceLastBar(barsStartingAt({17 * kMinute})[0]);
    expectEveryLookupExact(study);
    study.replaceLastBar(barsStartingAt({14 * kMinute})[0]);
    expectEveryLookupExact(study);

    study.setBars(barsStartingAt({3 * kMinute, 4 * kMinute}));
    expectEveryLookupExact(study);
    study.setBars({});
    EXPECT_EQ(study.barIndexAtOrBefore(5 * kMinute), -1);
}

TEST(BarLookup, ChartOutOfOrderIsSearchedAsItStands) {
    // 27 minutes falls on the last bar of the first chart. On the second, whose
    // last bar steps back in time, it falls in the span of bar 1 (20 to 30),
    // the earliest that holds it, though bar 3 also starts at or before 27.
    StudyInstance study(nullptr);
    study.setBars(barsStartingAt({10 * kMinute, 20 * kMinute, 25 * kMinute, 26 * kMinute}));
    EXPECT_EQ(study.barIndexAtOrBefore(27 * kMinute), 3);
    study.setBars(barsStartingAt({10 * kMinute, 20 * kMinute, 30 * kMinute, 25 * kMinute}));
    EXPECT_EQ(study.barIndexAtOrBefore(27 * kMinute), 1);
    EXPECT_EQ(study.barIndexAtOrBefore(27 * kMinute), 1);
}

TEST(PriceText, EveryPriceAndFormatGetsItsOwnText) {
    // More prices than the host keeps, each asked in two formats, twice over.
    StudyInstance study(nullptr);
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 40; ++i) {
            const double price = 15000.0 + i * 0.25 + (i % 3 == 0 ? 1e-9 : 0.0);
            for (const std::int32_t priceFormat : {2, 4, -1}) {
                char expected[64];
                if (priceFormat >= 0) {
                    std::snprintf(expected, sizeof expected, "%.*f", priceFormat, price);
                } else {
                    std::snprintf(expected, sizeof expected, "%g", price);
                }
                HostString text = makeHostString();
                study.hostFormatPrice(&text, price, priceFormat);
                ASSERT_STREQ(textOf(text), expected) << price << " in format " << priceFormat;
                release(text);
            }
        }
    }
}

}  // namespace
}  // namespace keelmark
