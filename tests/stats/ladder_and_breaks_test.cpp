// The break, ladder, failed-break and IB-size rules on small hand-made
// sessions of 30-minute bars where the answer is plain: the IB is the first
// two bars (09:30 and 10:00), the OR the first bar, and a bar at 16:00 after
// the session makes it complete.
#include <gtest/gtest.h>

#include "stats/session_table.h"
#include "stats/study_levels.h"
#include "tests/support/module_fixture.h"
#include "tests/support/sample_bars.h"

namespace keelmark {
namespace {

using replay::Bar;

struct Prices {
    float high, low, close;
};

class HandMadeSessions : public ::testing::Test {
protected:
    // One session on 2024-01-08 (a Monday) plus `day` days: RTH bars every 30
    // minutes from `firstMinute` past 09:30, then the 16:00 bar.
    void addSession(const std::vector<Prices>& rth, int day = 0, int firstMinute = 0) {
        for (std::size_t i = 0; i < rth.size(); ++i) {
            const int minute = firstMinute + 30 * static_cast<int>(i);
            Bar b;
            b.start = test::chartTime(2024, 1, 8 + day, 9 + (30 + minute) / 60, (30 + minute) % 60);
            b.high = rth[i].high;
            b.low = rth[i].low;
            b.close = rth[i].close;
            b.open = i == 0 ? rth[i].close : bars_.back().close;
            b.volume = 1;
            bars_.push_back(b);
        }
        Bar after = bars_.back();
        after.start = test::chartTime(2024, 1, 8 + day, 16, 0);
        bars_.push_back(after);
    }

    stats::SessionTable measure(const std::string& ladder,
                                const std::vector<std::string>& inputs = {}) {
        const auto steps = stats::parseLadder(ladder);
        replay::LoadedChart chart;
        chart.bars = replay::barColumnsOf(bars_);
        chart.priceDecimals = 2;
        return stats::sessionTable(
            stats::measureSessions(test::testModule(), chart, inputs, steps, 0).rows, {"hand.csv"},
            steps);
    }

    static std::string cell(const stats::SessionTable& t, const std::string& column,
                            std::size_t row = 0) {
        return t.rows.at(row).at(t.column(column));
    }

    std::vector<Bar> bars_;
};

constexpr Prices kIbHigh{110, 102, 108};  // with kIbLow: IB 100 to 110, r = 10
constexpr Prices kIbLow{108, 100, 104};

TEST_F(HandMadeSessions, AnUpBreakThatClosesBackInsideFailsAndAStepTouchedExactlyIsReached) {
    addSession({kIbHigh, kIbLow, {115, 105, 112}, {112, 104, 105}});
    const auto t = measure("0.5,1");
    EXPECT_EQ(cell(t, "ib_high"), "110");
    EXPECT_EQ(cell(t, "ib_low"), "100");
    EXPECT_EQ(cell(t, "ib_close_vs_mid"), "below");  // 104 at 10:00, mid 105
    EXPECT_EQ(cell(t, "ib_break_up"), "1");
    EXPECT_EQ(cell(t, "ib_break_down"), "0");
    EXPECT_EQ(cell(t, "ib_first_break"), "up");
    EXPECT_EQ(cell(t, "ib_first_break_minutes"), "0");
    EXPECT_EQ(cell(t, "ib_first_break_period"), "C");
    EXPECT_EQ(cell(t, "ib_failed_break"), "1");  // closed at 105, at or below 110
    EXPECT_EQ(cell(t, "ib_up_0.5"), "1");        // high 115 = 110 + 0.5 x 10
    EXPECT_EQ(cell(t, "ib_up_1"), "0");
    EXPECT_EQ(cell(t, "ib_down_0.5"), "0");
    EXPECT_EQ(cell(t, "ib_max_up"), "0.5");
    EXPECT_EQ(cell(t, "ib_max_down"), "0");  // lowest 104 stays inside: floored at 0
}

TEST_F(HandMadeSessions, ADownBreakFailsWhenTheSessionClosesBackAtOrAboveTheIbLow) {
    addSession({kIbHigh, kIbLow, {106, 95, 96}, {99, 94, 100}});
    const auto t = measure("0.5,0.6");
    EXPECT_EQ(cell(t, "ib_first_break"), "down");
    EXPECT_EQ(cell(t, "ib_failed_break"), "1");  // closed at 100, at or above IB low
    EXPECT_EQ(cell(t, "ib_down_0.5"), "1");      // low 95 <= 95
    EXPECT_EQ(cell(t, "ib_down_0.6"), "1");      // low 94 <= 94
    EXPECT_EQ(cell(t, "ib_max_down"), "0.6");
    bars_.clear();
    addSession({kIbHigh, kIbLow, {106, 95, 96}, {99, 94, 99.75f}});
    EXPECT_EQ(cell(measure("1"), "ib_failed_break"), "0");
}

TEST_F(HandMadeSessions, AtTheLevelIsNoBreakButReachesStepZero) {
    addSession({kIbHigh, kIbLow, {110, 100, 105}});
    const auto t = measure("0,1");
    EXPECT_EQ(cell(t, "ib_break_up"), "0");
    EXPECT_EQ(cell(t, "ib_break_down"), "0");
    EXPECT_EQ(cell(t, "ib_first_break"), "none");
    EXPECT_EQ(cell(t, "ib_first_break_minutes"), "");
    EXPECT_EQ(cell(t, "ib_first_break_period"), "");
    EXPECT_EQ(cell(t, "ib_failed_break"), "");
    EXPECT_EQ(cell(t, "ib_up_0"), "1");
    EXPECT_EQ(cell(t, "ib_down_0"), "1");
    EXPECT_EQ(cell(t, "ib_up_1"), "0");
}

TEST_F(HandMadeSessions, ABarBreakingBothSidesFirstIsBothAndNeverFailed) {
    addSession({kIbHigh, kIbLow, {105, 101, 103}, {111, 99, 105}, {130, 90, 100}});
    const auto t = measure("1,2");
    EXPECT_EQ(cell(t, "ib_first_break"), "both");
    EXPECT_EQ(cell(t, "ib_first_break_minutes"), "30");
    EXPECT_EQ(cell(t, "ib_first_break_period"), "D");
    EXPECT_EQ(cell(t, "ib_failed_break"), "");
    EXPECT_EQ(cell(t, "ib_up_2"), "1");
    EXPECT_EQ(cell(t, "ib_down_1"), "1");
    EXPECT_EQ(cell(t, "ib_max_up"), "2");
    EXPECT_EQ(cell(t, "ib_max_down"), "1");
}

TEST_F(HandMadeSessions, OpeningRangeOutcomesUseTheBarsAfterTheOpeningRange) {
    // OR = the 09:30 bar (108 to 102); the 10:00 bar is the first after it.
    addSession({kIbHigh, kIbLow, {109, 103, 105}});
    const auto t = measure("0.5,1");
    EXPECT_EQ(cell(t, "or_high"), "110");
    EXPECT_EQ(cell(t, "or_low"), "102");
    EXPECT_EQ(cell(t, "or_complete"), "1");
    EXPECT_EQ(cell(t, "or_break_up"), "0");
    EXPECT_EQ(cell(t, "or_break_down"), "1");
    EXPECT_EQ(cell(t, "or_first_break"), "down");
    EXPECT_EQ(cell(t, "or_down_0.5"), "0");  // 100 > 102 - 4
}

TEST_F(HandMadeSessions, AFlatIbHasNoMaximumMultipleAndASessionOpeningLateNoIb) {
    addSession({{100, 100, 100}, {100, 100, 100}, {101, 100, 101}});
    addSession({{110, 100, 105}, {120, 90, 100}}, 1, 60);  // opens at 10:30
    const auto t = measure("1");
    EXPECT_EQ(cell(t, "ib_up_1"), "1");
    EXPECT_EQ(cell(t, "ib_max_up"), "");
    EXPECT_EQ(cell(t, "ib_max_down"), "");
    EXPECT_EQ(cell(t, "ib_complete", 1), "0");
    EXPECT_EQ(cell(t, "or_complete", 1), "0");
    for (const char* column : {"ib_close_vs_mid", "ib_break_up", "ib_first_break", "ib_up_1",
                               "ib_max_up", "or_break_up", "or_up_1"}) {
        EXPECT_EQ(cell(t, column, 1), "") << column;
    }
}

TEST_F(HandMadeSessions, IbSizeAgainstTheMeanOfEarlierCompleteSessions) {
    // r: 10, 20, (no IB), 7.5 / 15 = 0.5, then 18.75 / mean(20, 7.5) = 1.36,
    // then exactly 1.25 and 0.75 of the mean of the two before.
    addSession({{110, 100, 105}, {105, 101, 104}, {104, 101, 103}}, 0);
    addSession({{120, 100, 105}, {105, 101, 104}, {104, 101, 103}}, 1);
    addSession({{130, 90, 105}, {105, 101, 104}}, 2, 60);
    addSession({{107.5f, 100, 105}, {105, 101, 104}, {104, 101, 103}}, 3);
    addSession({{118.75f, 100, 105}, {105, 101, 104}, {104, 101, 103}}, 4);
    // mean(7.5, 18.75) = 13.125: 16.40625 is 1.25 of it
    addSession({{116.40625f, 100, 105}, {105, 101, 104}, {104, 101, 103}}, 7);
    // mean(18.75, 16.40625) = 17.578125: 13.18359375 is 0.75 of it
    addSession({{113.18359375f, 100, 105}, {105, 101, 104}, {104, 101, 103}}, 8);
    const auto t = measure("1", {"Panel: Average Over Sessions=2"});
    ASSERT_EQ(t.rows.size(), 7u);
    const std::vector<std::string> ratios = {"", "", "", "0.5", "1.36364", "1.25", "0.75"};
    const std::vector<std::string> sizes = {"", "", "", "narrow", "wide", "normal", "normal"};
    for (std::size_t row = 0; row < ratios.size(); ++row) {
        EXPECT_EQ(cell(t, "ib_range_ratio", row), ratios[row]) << row;
        EXPECT_EQ(cell(t, "ib_size", row), sizes[row]) << row;
    }
}

TEST(PeriodLetters, RunFromCapitalAToZThenSmallAToZ) {
    EXPECT_EQ(stats::periodLetter(0), 'A');
    EXPECT_EQ(stats::periodLetter(25), 'Z');
    EXPECT_EQ(stats::periodLetter(26), 'a');
    EXPECT_EQ(stats::periodLetter(47), 'v');
}

TEST(Ladder, StepsKeepTheirTextAndBadStepsAreRefusedByName) {
    const auto steps = stats::parseLadder("0.25, 1.50,3");
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[1].text, "1.50");
    EXPECT_EQ(steps[1].multiple, 1.5);
    EXPECT_THROW(
        {
            try {
                stats::parseLadder("1,x2");
            } catch (const stats::LadderError& e) {
                EXPECT_STREQ(e.what(),
                             "--ladder: \"x2\" is not a multiple of the range (a number of 0 or "
                             "more)");
                throw;
            }
        },
        stats::LadderError);
    EXPECT_THROW(stats::parseLadder("1,,2"), stats::LadderError);
    EXPECT_THROW(stats::parseLadder("-1"), stats::LadderError);
    EXPECT_THROW(stats::parseLadder("1,1.0"), stats::LadderError);
}

}  // namespace
}  // namespace keelmark
