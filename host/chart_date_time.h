// ChartDateTime: the host's date-time value, a signed count of microseconds
// since 1899-12-30 00:00:00 in the chart's time zone, and its conversions to
// and from the host's day-count doubles (days since the same epoch, the
// fraction being the time of day).
#pragma once

#include <cstdint>

namespace keelmark {

using ChartDateTime = std::int64_t;

inline constexpr std::int64_t kMicrosPerDay = 86'400'000'000;
inline constexpr std::int64_t kMicrosPerHour = 3'600'000'000;
inline constexpr std::int64_t kMicrosPerMinute = 60'000'000;
inline constexpr std::int64_t kMicrosPerSecond = 1'000'000;
inline constexpr std::int64_t kMicrosPerMillisecond = 1'000;

// Day count to microseconds, rounded half away from zero; exactly 0 for 0.0.
// A NaN or a day count beyond the 64-bit range gives 0 (no value).
ChartDateTime fromDays(double days);
// Inline, as a study converts its anchors on every call.
inline double toDays(ChartDateTime v) {
    return static_cast<double>(v) / static_cast<double>(kMicrosPerDay);
}
// Whole days since the epoch, truncated toward zero. Inline, as the
// studies split every bar's time.
inline std::int64_t dayNumber(ChartDateTime v) { return v / kMicrosPerDay; }
// Seconds since the start of the day, truncated; negative before the epoch.
inline std::int32_t secondsOfDay(ChartDateTime v) {
    return static_cast<std::int32_t>((v % kMicrosPerDay) / kMicrosPerSecond);
}

struct CalendarFields {
    std::int32_t year, month, day, hour, minute, second, millisecond;
};

// Proleptic Gregorian calendar split, rounded half away from zero to the
// millisecond. A value before the epoch takes its date by truncation toward
// the epoch and its time of day from its absolute value.
void splitDateTime(ChartDateTime v, std::int32_t& year, std::int32_t& month, std::int32_t& day,
                   std::int32_t& hour, std::int32_t& minute, std::int32_t& second,
                   std::int32_t& millisecond);
CalendarFields splitDateTime(ChartDateTime v);

}  // namespace keelmark
