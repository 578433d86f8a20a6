// Reading a chart's bars from a text file, one bar per line:
// `timestamp,open,high,low,close,volume`, the time stamp a bar start time
// `YYYY-MM-DD HH:MM:SS` on the chart's clock. A first line that starts with
// "timestamp" is the header; blank lines are skipped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/chart_date_time.h"
#include "replay/chart_host.h"

namespace keelmark::replay {

// Days from 1970-01-01 to the given proleptic Gregorian date (negative
// before it).
std::int64_t daysFromCivil(std::int32_t year, std::int32_t month, std::int32_t day);

// The chart date-time of a calendar date and clock time.
ChartDateTime civilDateTime(std::int32_t year, std::int32_t month, std::int32_t day,
                            std::int32_t hour, std::int32_t minute, std::int32_t second);

// `YYYY-MM-DD HH:MM:SS` (a `T` between date and time is accepted as well).
// False when the text is not such a time stamp or a field is out of range.
bool parseTimestamp(std::string_view text, ChartDateTime& result);

// One data line into a bar; false when a field is missing or malformed.
bool parseBarLine(std::string_view line, Bar& bar);

// Throws std::runtime_error naming the file, and the line where one is bad.
std::vector<Bar> readBarFile(const std::string& path);

}  // namespace keelmark::replay
