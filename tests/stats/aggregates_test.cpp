// The aggregates: the Wilson interval against published values, quantiles
// by interpolation, and which sessions and cells each figure counts.
#include "stats/aggregates.h"

#include <gtest/gtest.h>

namespace keelmark {
namespace {

using stats::ColumnKind;

TEST(WilsonInterval, MatchesPublishedNinetyFivePercentIntervals) {
    // Newcombe (1998), Statistics in Medicine 17, 857-872, table I, method 3.
    struct Case {
        std::int64_t holds, sessions;
        double low, high;
    };
    for (const Case c : {Case{81, 263, 0.2553, 0.3662}, Case{15, 148, 0.0624, 0.1605},
                         Case{0, 20, 0.0, 0.1611}, Case{1, 29, 0.0061, 0.1718}}) {
        const stats::Interval i = stats::wilsonInterval(c.holds, c.sessions);
        EXPECT_NEAR(i.low, c.low, 0.00005) << c.holds << "/" << c.sessions;
        EXPECT_NEAR(i.high, c.high, 0.00005) << c.holds << "/" << c.sessions;
    }
    const stats::Interval all = stats::wilsonInterval(20, 20);
    EXPECT_NEAR(all.low, 1 - 0.1611, 0.00005);
    EXPECT_EQ(all.high, 1.0);
    const stats::Proportion none = stats::proportion(0, 0);
    EXPECT_EQ(none.percent, 0);
    EXPECT_EQ(none.low, 0);
    EXPECT_EQ(none.high, 0);
}

TEST(Quantiles, InterpolateBetweenSortedValues) {
    const std::vector<double> v = {1, 2, 3, 4};
    EXPECT_DOUBLE_EQ(stats::quantile(v, 0.25), 1.75);
    EXPECT_DOUBLE_EQ(stats::quantile(v, 0.5), 2.5);
    EXPECT_DOUBLE_EQ(stats::quantile(v, 0.9), 3.7);
    EXPECT_DOUBLE_EQ(stats::quantile({5}, 0.9), 5);
}

stats::SessionTable smallTable() {
    stats::SessionTable t;
    t.columns = {{"complete", ColumnKind::Flag},
                 {"weekday", ColumnKind::Text},
                 {"ib_close_vs_mid", ColumnKind::Text},
                 {"ib_size", ColumnKind::Text},
                 {"gap", ColumnKind::Text},
                 {"ib_break_up", ColumnKind::Flag},
                 {"ib_max_up", ColumnKind::Number},
                 {"ib_max_down", ColumnKind::Number},
                 {"ib_first_break_period", ColumnKind::Text}};
    t.rows = {
        {"1", "Mon", "above", "wide", "up", "1", "0.5", "0", "C"},
        {"1", "Tue", "below", "", "down", "0", "0", "1.5", "E"},
        {"1", "Mon", "above", "narrow", "", "1", "2", "0", "C"},
        {"1", "Wed", "", "", "", "", "", "", ""},                 // no complete IB
        {"0", "Thu", "above", "wide", "up", "1", "9", "9", "A"},  // file ends inside RTH
    };
    return t;
}

TEST(Aggregates, CountCompleteSessionsWhereTheCellIsNotEmpty) {
    const stats::Aggregates a = stats::aggregate(smallTable());
    EXPECT_EQ(a.sessions, 5);
    EXPECT_EQ(a.completeSessions, 4);
    ASSERT_EQ(a.rates.size(), 1u);  // `complete` itself is no rate
    const stats::Proportion& up = a.rate("ib_break_up");
    EXPECT_EQ(up.sessions, 3);
    EXPECT_EQ(up.holds, 2);
    EXPECT_NEAR(up.percent, 200.0 / 3, 1e-12);

    ASSERT_EQ(a.quantiles.size(), 2u);
    EXPECT_EQ(a.quantiles[0].column, "ib_max_up");
    EXPECT_EQ(a.quantiles[0].sessions, 3);
    EXPECT_DOUBLE_EQ(a.quantiles[0].q50, 0.5);
    EXPECT_DOUBLE_EQ(a.quantiles[1].q90, 1.2);

    ASSERT_EQ(a.firstBreakPeriods.size(), 5u);      // A to E
    EXPECT_EQ(a.firstBreakPeriods[0].sessions, 0);  // the incomplete session's A
    EXPECT_EQ(a.firstBreakPeriods[2].sessions, 2);
    EXPECT_EQ(a.firstBreakPeriods[4].period, 'E');
    EXPECT_EQ(a.firstBreakPeriods[4].sessions, 1);
}

TEST(Aggregates, SplitsByIbCloseIbSizeGapAndWeekday) {
    const stats::Aggregates a = stats::aggregate(smallTable());
    ASSERT_EQ(a.splits.size(), 4u);
    const stats::Split& mid = a.splits[0];
    EXPECT_EQ(mid.column, "ib_close_vs_mid");
    ASSERT_EQ(mid.groups.size(), 2u);  // "at" is not a group
    EXPECT_EQ(mid.groups[0].value, "above");
    EXPECT_EQ(mid.groups[0].sessions, 2);
    EXPECT_EQ(mid.groups[0].rates[0].rate.holds, 2);
    EXPECT_EQ(a.splits[1].groups.size(), 3u);  // narrow, normal, wide, even when empty
    EXPECT_EQ(a.splits[1].groups[1].sessions, 0);
    EXPECT_EQ(a.splits[2].groups[2].value, "none");
    const stats::Split& weekday = a.splits[3];
    ASSERT_EQ(weekday.groups.size(), 3u);  // days without a complete session are left out
    EXPECT_EQ(weekday.groups[0].value, "Mon");
    EXPECT_EQ(weekday.groups[0].sessions, 2);
    EXPECT_EQ(weekday.groups[2].value, "Wed");
    EXPECT_EQ(weekday.groups[2].rates[0].rate.sessions, 0);
}

}  // namespace
}  // namespace keelmark
