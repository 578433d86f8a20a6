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
// Further columns are ignored, but every row has as many fields as the
// header. A file without a header is read as the first layout, six fields
// a row. Every time is a bar's start time. Blank lines are skipped.
//
// A malformed file is refused with the file name, the line number and the
// offending text (control bytes escaped). A row is malformed when a field
// is missing, extra or not a number, when its high is below its low, its
// open or close outside [low, high], its date before 1899-12-30 (the
// chart's date-times start there) or its start more than an hour before the
// bar above it. Zero and negative prices are legal.
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

// What a malformed row does: stop the reading, or be left out and counted.
enum class BadRows { Refuse, Skip };

struct SkippedRow {
    std::int64_t lineNumber = 0;
    std::string reason;
    std::string text;  // quoted, control bytes escaped
};

struct BarFileContents {
    BarColumns bars;  // in the columns the host keeps
    // The most digits after the decimal point among the file's prices (at
    // most 9): the price format that fits the data.
    std::int32_t priceDecimals = 0;
    // BadRows::Skip: rows left out, and the first few of them.
    std::int64_t skippedRowCount = 0;
    std::vector<SkippedRow> skippedRows;
};

inline constexpr std::size_t kSkippedRowsNamed = 5;

// Throws BarFileError. On a machine of several cores, a long file's lines
// are read a stretch at a time, each stretch in two halves at once.
BarFileContents readBars(const std::string& path, BadRows badRows = BadRows::Refuse);

// The same, with every stretch of at least `splitFromBytes` of whole lines
// read in two halves (kNeverSplit: never split): at once on two threads, or
// one after the other on this one (the same work without a thread, for a
// fuzzer that splits every input). The results, refusals included, are
// those of reading the file whole. Public for the tests and the fuzzer that
// hold the ways to the same results.
inline constexpr std::size_t kNeverSplit = static_cast<std::size_t>(-1);
enum class Halves { AtOnce, OneAfterTheOther };
BarFileContents readBars(const std::string& path, BadRows badRows, std::size_t splitFromBytes,
                         Halves halves = Halves::AtOnce);

// Room the reader reserves for the bars of a file whose first bar line is
// this long: as many as the bytes the file holds on disk make lines like it
// (a little more, as lines vary), so that a long file is not copied as the
// list grows. A sparse file's holes hold no bars and count for nothing.
std::size_t barsToReserve(const std::string& path, std::size_t firstLineLength);

// Text as error messages quote it: in double quotes, control bytes escaped
// as \xNN, cut short after 160 bytes.
std::string quotedText(std::string_view text);

// The reader's fast way with a number: an optional `-`, then at most ten
// characters, digits with at most one decimal point between them, whose
// digits read as one integer are at most 2^24. Its value is that integer
// divided by a power of ten, both exact floats, so the one rounding of the
// division gives exactly the float std::from_chars reads. `decimals` gets the
// digits after the point. False for any other text, which the reader leaves
// to std::from_chars. Public for the test that they agree.
bool parseExactDecimal(std::string_view text, float& value, std::int32_t& decimals);

class DateTimeReader;

// The reader's fast way with a line of the first layout in its own order:
// `YYYY-MM-DD HH:MM:SS,open,high,low,close,volume`, every number one that
// parseExactDecimal reads, a sound bar. Reads the line in one pass, as the
// general way would read it, and raises `priceDecimals` to the most digits
// after the point among its prices. False, with `priceDecimals` left as it
// was, for any other line: the general way then reads it, and gives the
// reason of a refusal. Public for the test that the two agree.
bool parseFixedBarLine(std::string_view line, DateTimeReader& stamps, Bar& bar,
                       std::int32_t& priceDecimals);

// The bars alone. Throws BarFileError.
std::vector<Bar> readBarFile(const std::string& path);

// `YYYY-MM-DD HH:MM:SS` (a `T` between date and time is accepted as well).
bool parseTimestamp(std::string_view text, ChartDateTime& result);

// One line of the first layout, `timestamp,open,high,low,close,volume` and
// nothing more; false when a field is missing, extra or malformed.
bool parseBarLine(std::string_view line, Bar& bar);
// The same without the fast way for fixed-form lines. For the test.
bool parseBarLineGeneral(std::string_view line, Bar& bar);

}  // namespace keelmark::replay
