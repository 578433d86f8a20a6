// Reading bars from text files and writing chart times as calendar dates.
#include "standin_host/bar_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/chart_date_time.h"
#include "tests/support/sample_bars.h"

namespace keelmark {
namespace {

using replay::Bar;
using test::chartTime;

TEST(ChartTime, CountsFromTheChartEpochAcrossLeapRules) {
    EXPECT_EQ(chartTime(1899, 12, 30, 0, 0), 0);
    EXPECT_EQ(chartTime(1899, 12, 29, 6, 0), -18 * kMicrosPerHour);
    // 1900 is not a leap year: 2 days of 1899, then 31 + 28.
    EXPECT_EQ(chartTime(1900, 3, 1, 0, 0), 61 * kMicrosPerDay);
    EXPECT_EQ(chartTime(2023, 11, 19, 18, 0), 45'249 * kMicrosPerDay + 18 * kMicrosPerHour);
    EXPECT_EQ(chartTime(2024, 3, 1, 0, 0) - chartTime(2024, 2, 28, 0, 0), 2 * kMicrosPerDay);
    EXPECT_EQ(chartTime(2000, 3, 1, 0, 0) - chartTime(2000, 2, 28, 0, 0), 2 * kMicrosPerDay);
    EXPECT_EQ(chartTime(2100, 3, 1, 0, 0) - chartTime(2100, 2, 28, 0, 0), 1 * kMicrosPerDay);

    const CalendarFields f = splitDateTime(chartTime(2024, 2, 29, 23, 59, 58));
    EXPECT_EQ(f.year, 2024);
    EXPECT_EQ(f.month, 2);
    EXPECT_EQ(f.day, 29);
    EXPECT_EQ(f.hour, 23);
    EXPECT_EQ(f.minute, 59);
    EXPECT_EQ(f.second, 58);
}

TEST(BarFile, ParsesALineWithTimestampPricesAndVolume) {
    Bar bar;
    ASSERT_TRUE(
        replay::parseBarLine("2023-11-19 18:01:00,15893.00,15893.50,15877.75,15883.75,549\r", bar));
    EXPECT_EQ(bar.start, chartTime(2023, 11, 19, 18, 1));
    EXPECT_EQ(bar.open, 15893.0f);
    EXPECT_EQ(bar.high, 15893.5f);
    EXPECT_EQ(bar.low, 15877.75f);
    EXPECT_EQ(bar.close, 15883.75f);
    EXPECT_EQ(bar.volume, 549.0f);
}

TEST(BarFile, RejectsMalformedLines) {
    Bar bar;
    for (const char* line : {
             "2023-11-19 18:01:00,1,2,3,4",      // volume missing
             "2023-11-19 18:01:00,1,2,3,4,5,6",  // a field too many
             "2023-11-19 18:01:00,1,2,x,4,5",    // not a number
             "2023-11-19 18:01:00,1,2,,4,5",     // empty field
             "2023-02-29 18:01:00,1,2,3,4,5",    // no such day
             "2023-11-19 24:00:00,1,2,3,4,5",    // no such hour
             "2023-11-19,1,2,3,4,5",             // no time of day
             "timestamp,open,high,low,close,volume",
         }) {
        EXPECT_FALSE(replay::parseBarLine(line, bar)) << line;
    }
}

TEST(BarFile, MissingFileIsNamedInTheError) {
    try {
        replay::readBarFile("/nonexistent/bars.csv");
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_THAT(e.what(), ::testing::HasSubstr("/nonexistent/bars.csv"));
    }
}

TEST(SampleBars, OneMinuteSampleLoadsInTimeOrder) {
    const std::vector<Bar> bars = test::loadSampleBars("NQ_1min_sample.csv");
    ASSERT_EQ(bars.size(), 14'714u);
    EXPECT_EQ(bars.front().start, chartTime(2023, 11, 19, 18, 0));
    EXPECT_EQ(bars.front().open, 15895.0f);
    EXPECT_EQ(bars.front().high, 15903.75f);
    EXPECT_EQ(bars.front().volume, 571.0f);
    for (std::size_t i = 1; i < bars.size(); ++i) {
        ASSERT_LT(bars[i - 1].start, bars[i].start) << "bar " << i;
    }
    EXPECT_LT(bars.back().start, chartTime(2023, 12, 4, 17, 0));
}

}  // namespace
}  // namespace keelmark
