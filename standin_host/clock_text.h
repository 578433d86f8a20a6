// Dates and clock times written as text, as bar files and the command line
// carry them, and the chart date-times they stand for.
//
// Dates: `YYYY-MM-DD` or `YYYY/M/D` (month and day with one or two digits).
// Clock times: `H:MM`, `H:MM:SS` or `H:MM:SS.ffffff` (up to six digits of
// fraction; the hour with one or two digits).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/chart_date_time.h"

namespace keelmark::replay {

// Days from 1970-01-01 to the given proleptic Gregorian date (negative
// before it).
std::int64_t daysFromCivil(std::int32_t year, std::int32_t month, std::int32_t day);

// The chart date-time of a calendar date and clock time.
ChartDateTime civilDateTime(std::int32_t year, std::int32_t month, std::int32_t day,
                            std::int32_t hour, std::int32_t minute, std::int32_t second);

// Days from the chart epoch (1899-12-30) to 1970-01-01.
inline constexpr std::int64_t kEpochDaysBefore1970 = 25'569;

// A date at 00:00 of the chart clock; false when the text is not a valid date.
bool parseDate(std::string_view text, ChartDateTime& result);

// Microseconds since midnight; false when the text is not a valid clock time.
// `requireSeconds` refuses `H:MM`.
bool parseClockTime(std::string_view text, std::int64_t& micros, bool requireSeconds = false);

// A date, then a blank or a `T`, then a clock time.
bool parseDateTime(std::string_view text, ChartDateTime& result);

// The two ways parseDateTime reads, public for the test that they agree.
// The fixed form `YYYY-MM-DD HH:MM:SS` (or with a `T`), digits at known
// places: false for any other text, and for a date or time out of range,
// which the general way then refuses.
bool parseDateTimeFixed(std::string_view text, ChartDateTime& result);
// Any form parseDateTime accepts.
bool parseDateTimeGeneral(std::string_view text, ChartDateTime& result);

// `YYYY-MM-DD HH:MM:SS` (fractions of a second dropped; the calendar of the
// chart date-time, which rounds to the millisecond first, is not used here
// so that a bar's printed second is the one it starts in).
std::string formatDateTime(ChartDateTime t);

// `HH:MM:SS` of a count of seconds since midnight.
std::string formatClockTime(std::int32_t seconds);

}  // namespace keelmark::replay
