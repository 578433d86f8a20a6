// Bars of a longer period built from shorter ones, and bar times moved
// between time zones across daylight-saving changes.
#include <gtest/gtest.h>

#include "replay_engine/bar_aggregation.h"
#include "replay_engine/time_zone_conversion.h"
#include "tests/support/sample_bars.h"

namespace keelmark {
namespace {

using replay::Bar;
using test::chartTime;

void expectSameBars(const std::vector<Bar>& expected, const std::vector<Bar>& actual) {
    ASSERT_EQ(expected.size(), actual.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Bar& e = expected[i];
        const Bar& a = actual[i];
        ASSERT_EQ(e.start, a.start) << "bar " << i;
        ASSERT_EQ(e.open, a.open) << "bar " << i;
        ASSERT_EQ(e.high, a.high) << "bar " << i;
        ASSERT_EQ(e.low, a.low) << "bar " << i;
        ASSERT_EQ(e.close, a.close) << "bar " << i;
        ASSERT_EQ(e.volume, a.volume) << "bar " << i;
    }
}

// The sample's coarser files were made from the same trades as its 1-minute
// file, so aggregating that file must give them back exactly.
TEST(BarPeriods, OneMinuteSampleAggregatesIntoTheCoarserSamples) {
    const std::vector<Bar> oneMinute = test::loadSampleBars("NQ_1min_sample.csv");
    expectSameBars(test::loadSampleBars("NQ_5min_sample.csv"), replay::aggregateBars(oneMinute, 5));
    expectSameBars(test::loadSampleBars("NQ_30min_sample.csv"),
                   replay::aggregateBars(oneMinute, 30));
    expectSameBars(test::loadSampleBars("NQ_1hour_sample.csv"),
                   replay::aggregateBars(oneMinute, 60));
}

TEST(BarPeriods, PeriodsThatDoNotDivideTheDayRestartAtMidnight) {
    EXPECT_EQ(replay::periodStart(chartTime(2023, 11, 20, 23, 58), 7),
              chartTime(2023, 11, 20, 23, 55));
    EXPECT_EQ(replay::periodStart(chartTime(2023, 11, 21, 0, 3), 7), chartTime(2023, 11, 21, 0, 0));
    EXPECT_EQ(replay::periodStart(chartTime(2023, 11, 21, 0, 7, 30), 7),
              chartTime(2023, 11, 21, 0, 7));
    // A gap in the data starts a new bar even inside one period's span.
    const std::vector<Bar> bars = {{chartTime(2023, 11, 20, 23, 56), 5, 6, 4, 5, 1},
                                   {chartTime(2023, 11, 20, 23, 59), 5, 9, 5, 8, 2},
                                   {chartTime(2023, 11, 21, 0, 0), 8, 8, 1, 2, 4}};
    const std::vector<Bar> seven = replay::aggregateBars(bars, 7);
    ASSERT_EQ(seven.size(), 2u);
    EXPECT_EQ(seven[0].start, chartTime(2023, 11, 20, 23, 55));
    EXPECT_EQ(seven[0].open, 5);
    EXPECT_EQ(seven[0].high, 9);
    EXPECT_EQ(seven[0].low, 4);
    EXPECT_EQ(seven[0].close, 8);
    EXPECT_EQ(seven[0].volume, 3);
    EXPECT_EQ(seven[1].start, chartTime(2023, 11, 21, 0, 0));
}

std::vector<Bar> barsAt(const std::vector<ChartDateTime>& times) {
    std::vector<Bar> bars;
    for (const ChartDateTime t : times) {
        bars.push_back(Bar{t, 1, 1, 1, 1, 1});
    }
    return bars;
}

std::vector<ChartDateTime> startsOf(const std::vector<Bar>& bars) {
    std::vector<ChartDateTime> times;
    for (const Bar& b : bars) {
        times.push_back(b.start);
    }
    return times;
}

TEST(TimeZones, UniversalTimeMovesToNewYorkAcrossBothDaylightSavingChanges) {
    if (!replay::timeZonesAvailable()) {
        GTEST_SKIP() << "this build has no time-zone database";
    }
    std::vector<Bar> bars = barsAt({chartTime(2023, 3, 12, 6, 59), chartTime(2023, 3, 12, 7, 0),
                                    chartTime(2023, 11, 5, 5, 59), chartTime(2023, 11, 5, 6, 0),
                                    chartTime(2023, 11, 5, 6, 30)});
    replay::convertBarTimes(bars, "UTC", "America/New_York");
    EXPECT_EQ(startsOf(bars), (std::vector<ChartDateTime>{
                                  chartTime(2023, 3, 12, 1, 59), chartTime(2023, 3, 12, 3, 0),
                                  chartTime(2023, 11, 5, 1, 59), chartTime(2023, 11, 5, 1, 0),
                                  chartTime(2023, 11, 5, 1, 30)}));
}

TEST(TimeZones, RepeatedLocalHourIsReadInOrderAndSkippedHourWithTheOldOffset) {
    if (!replay::timeZonesAvailable()) {
        GTEST_SKIP() << "this build has no time-zone database";
    }
    // New York clock: 01:30 twice on 5 November (first daylight, then
    // standard time), and 02:30 on 12 March, which the clock skips.
    std::vector<Bar> bars = barsAt({chartTime(2023, 3, 12, 2, 30), chartTime(2023, 11, 5, 1, 30),
                                    chartTime(2023, 11, 5, 1, 45), chartTime(2023, 11, 5, 1, 30),
                                    chartTime(2023, 11, 5, 2, 0)});
    replay::convertBarTimes(bars, "America/New_York", "Europe/London");
    EXPECT_EQ(startsOf(bars), (std::vector<ChartDateTime>{
                                  chartTime(2023, 3, 12, 7, 30), chartTime(2023, 11, 5, 5, 30),
                                  chartTime(2023, 11, 5, 5, 45), chartTime(2023, 11, 5, 6, 30),
                                  chartTime(2023, 11, 5, 7, 0)}));
}

TEST(TimeZones, UnknownZoneIsNamed) {
    if (!replay::timeZonesAvailable()) {
        GTEST_SKIP() << "this build has no time-zone database";
    }
    std::vector<Bar> bars = barsAt({chartTime(2023, 3, 12, 2, 30)});
    try {
        replay::convertBarTimes(bars, "UTC", "America/Gotham");
        FAIL() << "no error";
    } catch (const replay::TimeZoneError& e) {
        EXPECT_STREQ(e.what(),
                     "unknown time zone \"America/Gotham\" (IANA names such as "
                     "America/New_York or Europe/London)");
    }
}

}  // namespace
}  // namespace keelmark
