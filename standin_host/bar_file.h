// Reading a chart's bars from a text file, streamed line by line: no text
// line is kept once its bar is read, so files of any size pass through a
// fixed buffer.
//
// Two layouts, told apart by the header line:
//   timestamp,open,high,low,close,volume        (`YYYY-MM-DD HH:MM:SS` stamps)
//   Date, Time, Open, High, Low, Last, Volume[, more columns]
// Column names are matched without regard to case or blanks, in any order:
// a combined "timestamp" (or "datetime") column, or "date" with an optional
// "time" column; "open", "high", "low", "close" or "last", "volume".
// Further columns are ignored. A file without a header is read as the first
// layout. Every time is a bar's start time. Blank lines are skipped.
//
// A malformed file is refused with the file name, the line number and the
// offending text.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "standin_host/chart_host.h"
#include "standin_host/clock_text.h"

namespace keelmark::replay {

class BarFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct BarFileContents {
    BarColumns bars;  // in the columns the host keeps
    // The most digits after the decimal point among the file's prices (at
    // most 9): the price format that fits the data.
    std::int32_t priceDecimals = 0;
};

// Throws BarFileError.
BarFileContents readBars(const std::string& path);

// The bars alone. Throws BarFileError.
std::vector<Bar> readBarFile(const std::string& path);

// `YYYY-MM-DD HH:MM:SS` (a `T` between date and time is accepted as well).
bool parseTimestamp(std::string_view text, ChartDateTime& result);

// One line of the first layout, `timestamp,open,high,low,close,volume` and
// nothing more; false when a field is missing, extra or malformed.
bool parseBarLine(std::string_view line, Bar& bar);

}  // namespace keelmark::replay
