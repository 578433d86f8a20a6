// Conversions of the host's date-time value. The calendar split counts days
// from 1 January of year 0 of the proleptic Gregorian calendar (a leap year);
// the epoch 1899-12-30 is day 693,959 of that count.
#include "host/chart_date_time.h"

#include <cmath>
#include <cstdlib>

namespace keelmark {

namespace {

constexpr std::int32_t kEpochDayFromYearZero = 693'959;
constexpr std::int32_t kDaysBeforeMonth[13] = {0,   31,  59,  90,  120, 151, 181,
                                               212, 243, 273, 304, 334, 365};

// Largest magnitude of a microsecond count that fits in 64 bits, as a double
// that is exactly representable and safely inside the range.
constexpr double kLargestMicros = 9.2e18;

}  // namespace

ChartDateTime fromDays(double days) {
    if (days == 0.0) {
        return 0;
    }
    const double y = days * static_cast<double>(kMicrosPerDay);
    // NaN, infinities and day counts beyond the 64-bit range have no
    // microsecond value: they read as "no date-time".
    if (!(std::fabs(y) < kLargestMicros)) {
        return 0;
    }
    return static_cast<ChartDateTime>(y < 0 ? y - 0.5 : y + 0.5);
}

void splitDateTime(ChartDateTime v, std::int32_t& year, std::int32_t& month, std::int32_t& day,
                   std::int32_t& hour, std::int32_t& minute, std::int32_t& second,
                   std::int32_t& millisecond) {
    hour = 0;
    minute = 0;
    second = 0;
    day = 0;

    // Round half away from zero to the millisecond; saturate at the ends of
    // the range instead of overflowing.
    ChartDateTime r = v;
    if (v > 0) {
        r = v <= INT64_MAX - 500 ? v + 500 : INT64_MAX;
    } else if (v < 0) {
        r = v >= INT64_MIN + 500 ? v - 500 : INT64_MIN;
    }

    const std::int32_t d = static_cast<std::int32_t>(kEpochDayFromYearZero + r / kMicrosPerDay);
    const std::int64_t t = r < 0 ? -(r % kMicrosPerDay) : r % kMicrosPerDay;

    const std::int32_t q400 = d / 146'097;
    const std::int32_t e = d - q400 * 146'097;
    const std::int32_t q100 = (e - 1) / 36'524;
    std::int32_t q4 = 0;
    std::int32_t q1 = 0;
    std::int32_t e2 = 0;
    std::int32_t dayOfYear = 0;
    bool leapBlock = true;
    bool dayOfYearKnown = false;
    if (q100 != 0) {
        const std::int32_t e1 = (e - 1) - q100 * 36'524;
        q4 = (e1 + 1) / 1'461;
        if (q4 != 0) {
            e2 = (e1 + 1) - q4 * 1'461;
        } else {
            e2 = e1;
            leapBlock = false;
            q1 = e2 / 365;
            dayOfYear = e2 - q1 * 365;
            dayOfYearKnown = true;
        }
    } else {
        q4 = e / 1'461;
        e2 = e - q4 * 1'461;
    }
    if (!dayOfYearKnown) {
        q1 = (e2 - 1) / 365;
        dayOfYear = q1 != 0 ? (e2 - 1) - q1 * 365 : e2;
    }
    year = 400 * q400 + 100 * q100 + 4 * q4 + q1;

    bool done = false;
    if (q1 == 0 && leapBlock) {
        if (dayOfYear == 59) {
            month = 2;
            day = 29;
            done = true;
        } else if (dayOfYear >= 60) {
            dayOfYear -= 1;
        }
    }
    if (!done) {
        const std::int32_t n = dayOfYear + 1;
        std::int32_t m = n / 32 + 1;
        if (m < 1) {
            m = 1;  // only for dates before year 0, which have no calendar meaning
        }
        while (m < 12 && n > kDaysBeforeMonth[m]) {
            ++m;
        }
        month = m;
        day = n - kDaysBeforeMonth[m - 1];
    }

    if (t != 0) {
        hour = static_cast<std::int32_t>(t / kMicrosPerHour);
        std::int64_t rest = t % kMicrosPerHour;
        minute = static_cast<std::int32_t>(rest / kMicrosPerMinute);
        rest %= kMicrosPerMinute;
        second = static_cast<std::int32_t>(rest / kMicrosPerSecond);
        rest %= kMicrosPerSecond;
        millisecond = static_cast<std::int32_t>(rest / kMicrosPerMillisecond);
    } else {
        millisecond = 0;
    }
}

CalendarFields splitDateTime(ChartDateTime v) {
    CalendarFields f{};
    splitDateTime(v, f.year, f.month, f.day, f.hour, f.minute, f.second, f.millisecond);
    return f;
}

}  // namespace keelmark
