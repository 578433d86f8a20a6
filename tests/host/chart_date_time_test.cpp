#include "host/chart_date_time.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace keelmark {
namespace {

using namespace std::chrono;

struct Split {
    int y, mo, d, h, mi, s, ms;
    bool operator==(const Split&) const = default;
};

Split split(ChartDateTime v) {
    CalendarFields f = splitDateTime(v);
    return {f.year, f.month, f.day, f.hour, f.minute, f.second, f.millisecond};
}

std::ostream& operator<<(std::ostream& os, const Split& s) {
    return os << s.y << '-' << s.mo << '-' << s.d << ' ' << s.h << ':' << s.mi << ':' << s.s << '.'
              << s.ms;
}

// The epoch, 1899-12-30, as a count of days in the standard library's calendar.
const sys_days kEpoch = sys_days{year{1899} / December / 30};

TEST(ChartDateTime, DayCountsRoundHalfAwayFromZeroToWholeMicroseconds) {
    EXPECT_EQ(fromDays(0.0), 0);
    EXPECT_EQ(fromDays(-0.0), 0);
    EXPECT_EQ(fromDays(0.3958333333333333), 34'200'000'000);
    EXPECT_EQ(fromDays(-0.5), -43'200'000'000);
    EXPECT_EQ(fromDays(0.75), 64'800'000'000);
    EXPECT_EQ(fromDays(45'250.0), 45'250 * kMicrosPerDay);
    // Values with no microsecond count read as no date-time.
    EXPECT_EQ(fromDays(std::nan("")), 0);
    EXPECT_EQ(fromDays(1e300), 0);
    EXPECT_EQ(fromDays(-1e300), 0);
    EXPECT_DOUBLE_EQ(toDays(kMicrosPerDay / 2), 0.5);
    EXPECT_EQ(fromDays(toDays(45'250 * kMicrosPerDay + 34'200'000'000)),
              45'250 * kMicrosPerDay + 34'200'000'000);
}

TEST(ChartDateTime, DayNumberAndSecondsOfDayTruncateTowardZero) {
    EXPECT_EQ(dayNumber(-1), 0);
    EXPECT_EQ(dayNumber(kMicrosPerDay), 1);
    EXPECT_EQ(dayNumber(-kMicrosPerDay - 1), -1);
    EXPECT_EQ(secondsOfDay(-1'000'000), -1);
    EXPECT_EQ(secondsOfDay(kMicrosPerDay + 34'200'999'999), 34'200);
}

TEST(ChartDateTime, SplitRoundsToTheMillisecondHalfAwayFromZero) {
    EXPECT_EQ(split(0), (Split{1899, 12, 30, 0, 0, 0, 0}));
    EXPECT_EQ(split(499), (Split{1899, 12, 30, 0, 0, 0, 0}));
    EXPECT_EQ(split(500), (Split{1899, 12, 30, 0, 0, 0, 1}));
    EXPECT_EQ(split(kMicrosPerDay), (Split{1899, 12, 31, 0, 0, 0, 0}));
    EXPECT_EQ(split(kMicrosPerDay - 1), (Split{1899, 12, 31, 0, 0, 0, 0}));
    // Before the epoch: date by truncation toward the epoch, time from the
    // absolute value (-1.25 days).
    EXPECT_EQ(split(-108'000'000'000), (Split{1899, 12, 29, 6, 0, 0, 0}));
}

TEST(ChartDateTime, SplitHandlesLeapDaysAndCenturyYears) {
    auto at = [](year_month_day ymd, int h = 0, int mi = 0) {
        return (sys_days{ymd} - kEpoch).count() * kMicrosPerDay + h * kMicrosPerHour +
               mi * kMicrosPerMinute;
    };
    EXPECT_EQ(split(at(2024y / February / 29, 9, 30)), (Split{2024, 2, 29, 9, 30, 0, 0}));
    EXPECT_EQ(split(at(2024y / March / 1)), (Split{2024, 3, 1, 0, 0, 0, 0}));
    EXPECT_EQ(split(at(1900y / March / 1)), (Split{1900, 3, 1, 0, 0, 0, 0}));
    EXPECT_EQ(split(at(1900y / February / 28)), (Split{1900, 2, 28, 0, 0, 0, 0}));
    EXPECT_EQ(split(at(2000y / February / 29)), (Split{2000, 2, 29, 0, 0, 0, 0}));
    EXPECT_EQ(split(at(2100y / March / 1)), (Split{2100, 3, 1, 0, 0, 0, 0}));
    EXPECT_EQ(split(at(2023y / December / 31, 23, 59)), (Split{2023, 12, 31, 23, 59, 0, 0}));
}

// Every day from the epoch to the year 2400, and a sparse walk over six
// further centuries, against the standard library's civil calendar.
TEST(ChartDateTime, SplitAgreesWithTheCivilCalendarOverCenturies) {
    const std::int64_t lastDay = (sys_days{2400y / December / 31} - kEpoch).count();
    int mismatches = 0;
    for (std::int64_t day = 0; day <= lastDay + 600 * 365; day += day < lastDay ? 1 : 7) {
        const year_month_day expected{kEpoch + days{day}};
        // A time of day that exercises every field.
        const ChartDateTime v = day * kMicrosPerDay + 13 * kMicrosPerHour + 7 * kMicrosPerMinute +
                                5 * kMicrosPerSecond + 123'400;
        const Split got = split(v);
        const Split want{int(expected.year()), int(unsigned(expected.month())),
                         int(unsigned(expected.day())), 13, 7, 5, 123};
        if (got != want && ++mismatches <= 5) {
            ADD_FAILURE() << "day " << day << ": got " << got << ", want " << want;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(ChartDateTime, SplitNeverFailsAtTheEndsOfTheRange) {
    for (ChartDateTime v : {INT64_MIN, INT64_MIN + 1, INT64_MAX, INT64_MAX - 499, -kMicrosPerDay * 700'000}) {
        CalendarFields f = splitDateTime(v);
        EXPECT_GE(f.month, 1);
        EXPECT_LE(f.month, 12);
    }
}

}  // namespace
}  // namespace keelmark
