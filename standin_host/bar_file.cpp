#include "standin_host/bar_file.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string_view>
#include <system_error>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "standin_host/date_time_reader.h"

namespace keelmark::replay {

namespace {

constexpr std::size_t kChunkBytes = 1u << 22;  // 4 MiB read at a time
// A pipe or a folder tells no size: its buffer starts at 64 KiB (a line that
// fills it doubles it) rather than a whole chunk.
constexpr std::uintmax_t kUnknownFileSize = 1u << 16;
constexpr std::size_t kLongestLine = 1u << 24;  // longer lines are refused
constexpr std::size_t kQuotedTextLength = 160;  // offending text shown in messages
constexpr std::int32_t kMostPriceDecimals = 9;

// A bar may start up to an hour before the previous one: a clock that falls
// back at the end of daylight saving time repeats that hour.
constexpr ChartDateTime kLargestStepBack = kMicrosPerHour;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// The file's lines, one at a time, through a buffer of fixed size: the
// file's whole size when it is smaller than one chunk (a short file costs no
// 4 MiB buffer), else one chunk.
class LineStream {
public:
    LineStream(std::FILE* file, std::uintmax_t fileSize)
        : file_(file), buffer_(bufferSize(fileSize)) {}

    // False at the end of the file. Otherwise whole lines, each with its
    // line break (but for a last line without one), valid until the next call.
    bool nextLines(std::string_view& block) {
        for (;;) {
            const char* const start = buffer_.data() + begin_;
            std::size_t length = end_ - begin_;
            while (length > 0 && start[length - 1] != '\n') {
                --length;
            }
            if (length == 0 && atEnd_) {
                length = end_ - begin_;
            }
            if (length > 0) {
                block = std::string_view(start, length);
                begin_ += length;
                return true;
            }
            if (atEnd_) {
                return false;
            }
            refill();
        }
    }

    bool failed() const { return std::ferror(file_) != 0; }

private:
    static std::size_t bufferSize(std::uintmax_t fileSize) {
        constexpr std::uintmax_t kSmallest = 4096;
        // One byte more than the file, so that the first read reaches its end.
        return static_cast<std::size_t>(
            std::clamp<std::uintmax_t>(fileSize + 1, kSmallest, kChunkBytes));
    }

    // Moves the unfinished line to the front and reads behind it; a line
    // that fills the whole buffer doubles it, up to the longest line allowed.
    void refill() {
        const std::size_t kept = end_ - begin_;
        if (begin_ > 0 && kept > 0) {
            std::memmove(buffer_.data(), buffer_.data() + begin_, kept);
        }
        begin_ = 0;
        end_ = kept;
        if (end_ == buffer_.size()) {
            if (buffer_.size() >= kLongestLine) {
                throw std::length_error("line longer than 16 MiB");
            }
            buffer_.resize(buffer_.size() * 2);
        }
        const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
        end_ += got;
        if (got == 0) {
            atEnd_ = true;
        }
    }

    std::FILE* file_;
    // Zeros from the system that cost nothing until read into, a large page
    // at a time where the system offers them, rather than 4 MiB cleared first.
    HostVector<char> buffer_;
    std::size_t begin_ = 0, end_ = 0;
    bool atEnd_ = false;
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// A field without its blanks and without the double quotes that some
// exports put around every field.
std::string_view fieldText(std::string_view field) {
    field = trimmed(field);
    if (field.size() >= 2 && field.front() == '"' && field.back() == '"') {
        field = trimmed(field.substr(1, field.size() - 2));
    }
    return field;
}

std::string quoted(std::string_view text) { return quotedText(text); }

std::string systemReason() { return std::generic_category().message(errno); }

// Where each needed value stands in a line; -1 for a column the layout lacks.
struct ColumnMap {
    int dateTime = -1, date = -1, time = -1;
    int open = -1, high = -1, low = -1, close = -1, volume = -1;
    int fieldsNeeded = 0;
    int fieldCount = 0;  // every row has this many fields
    bool headerless = false;
};

std::string lowercaseWithoutBlanks(std::string_view text) {
    std::string name;
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '"') {
            name += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
    }
    return name;
}

template <typename Visit>
void forEachField(std::string_view line, Visit visit) {
    int index = 0;
    for (;;) {
        const std::size_t comma = line.find(',');
        visit(index++, line.substr(0, comma));
        if (comma == std::string_view::npos) {
            return;
        }
        line.remove_prefix(comma + 1);
    }
}

bool mapHeader(std::string_view line, ColumnMap& map) {
    forEachField(line, [&map](int index, std::string_view field) {
        map.fieldCount = index + 1;
        const std::string name = lowercaseWithoutBlanks(field);
        int* column = nullptr;
        if (name == "timestamp" || name == "datetime" || name == "date/time") {
            column = &map.dateTime;
        } else if (name == "date") {
            column = &map.date;
        } else if (name == "time") {
            column = &map.time;
        } else if (name == "open") {
            column = &map.open;
        } else if (name == "high") {
            column = &map.high;
        } else if (name == "low") {
            column = &map.low;
        } else if (name == "close" || name == "last") {
            column = &map.close;
        } else if (name == "volume") {
            column = &map.volume;
        }
        if (column != nullptr && *column < 0) {
            *column = index;
        }
    });
    if (map.dateTime >= 0) {
        map.date = map.time = -1;
    }
    const bool hasTime = map.dateTime >= 0 || map.date >= 0;
    if (!hasTime || map.open < 0 || map.high < 0 || map.low < 0 || map.close < 0 ||
        map.volume < 0) {
        return false;
    }
    map.fieldsNeeded = 1 + std::max({map.dateTime, map.date, map.time, map.open, map.high, map.low,
                                     map.close, map.volume});
    return true;
}

ColumnMap headerlessMap() {
    ColumnMap map;
    map.dateTime = 0;
    map.open = 1;
    map.high = 2;
    map.low = 3;
    map.close = 4;
    map.volume = 5;
    map.fieldsNeeded = 6;
    map.fieldCount = 6;
    map.headerless = true;
    return map;
}

// Digits after the decimal point of a number as written.
std::int32_t decimalsOf(std::string_view number) {
    const std::size_t point = number.find('.');
    if (point == std::string_view::npos) {
        return 0;
    }
    std::int32_t digits = 0;
    for (std::size_t i = point + 1; i < number.size() && number[i] >= '0' && number[i] <= '9';
         ++i) {
        ++digits;
    }
    return digits;
}

// A number of a field; `decimals` gets its digits after the decimal point
// (as decimalsOf counts them), or -1 when they were not counted.
bool parseNumber(std::string_view text, float& value, std::int32_t& decimals) {
    text = fieldText(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    if (parseExactDecimal(text, value, decimals)) {
        return true;
    }
    decimals = -1;
    if (text.empty()) {
        return false;
    }
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

// The top bit of each byte of `word` that is a comma, and no other bit.
std::uint64_t commaBytes(std::uint64_t word) {
    constexpr std::uint64_t kCommas = 0x2C2C2C2C2C2C2C2Cu;
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;
    const std::uint64_t x = word ^ kCommas;  // a comma is now a zero byte
    // Adding 0x7F to a byte's low 7 bits sets its top bit unless they are
    // all zero, without carrying into the next byte.
    return ~(((x & kLow7) + kLow7) | x | kLow7);
}

// Whether the columns are those of the first layout in its own order,
// `timestamp,open,high,low,close,volume`, the lines parseFixedBarLine reads.
bool isFixedLayout(const ColumnMap& map) {
    return map.dateTime == 0 && map.open == 1 && map.high == 2 && map.low == 3 && map.close == 4 &&
           map.volume == 5 && map.fieldCount == 6;
}

// Reads one bar line; on failure returns the reason and the offending text.
class BarLineParser {
public:
    // `fastLines`: lines of the first layout in its own order go first to
    // parseFixedBarLine, and to the general way only when it declines them.
    explicit BarLineParser(const ColumnMap& map, bool fastLines = true)
        : map_(map),
          fields_(static_cast<std::size_t>(map.fieldsNeeded)),
          fastLines_(fastLines && isFixedLayout(map)) {}

    // Empty on success; otherwise the reason, with the offending text in
    // `offending`.
    const char* parse(std::string_view line, Bar& bar, std::string_view& offending) {
        if (fastLines_ && parseFixedBarLine(line, dateTimes_, bar, decimals_)) {
            return nullptr;
        }
        return parseGeneral(line, bar, offending);
    }

    std::int32_t priceDecimals() const { return decimals_; }
    // After another parser read rows of the same file: the most digits after
    // the point of either.
    void raiseDecimals(std::int32_t decimals) { decimals_ = std::max(decimals_, decimals); }

private:
    const char* parseGeneral(std::string_view line, Bar& bar, std::string_view& offending) {
        // One pass over the line, eight bytes at a time: the fields needed,
        // and a count of them all.
        const std::size_t needed = fields_.size();
        const char* const text = line.data();
        const std::size_t size = line.size();
        std::size_t count = 0;
        std::size_t fieldStart = 0;
        const auto comma = [&](std::size_t at) {
            if (count < needed) {
                fields_[count] = std::string_view(text + fieldStart, at - fieldStart);
            }
            ++count;
            fieldStart = at + 1;
        };
        std::size_t i = 0;
        if constexpr (std::endian::native == std::endian::little) {
            for (; i + 8 <= size; i += 8) {
                std::uint64_t word = 0;
                std::memcpy(&word, text + i, 8);
                for (std::uint64_t found = commaBytes(word); found != 0; found &= found - 1) {
                    comma(i + static_cast<std::size_t>(std::countr_zero(found)) / 8);
                }
            }
        }
        for (; i < size; ++i) {
            if (text[i] == ',') {
                comma(i);
            }
        }
        if (count < needed) {
            fields_[count] = std::string_view(text + fieldStart, size - fieldStart);
        }
        ++count;
        if (count != static_cast<std::size_t>(map_.fieldCount)) {
            offending = line;
            return fieldCountReason(count);
        }
        if (!readTime(bar.start, offending)) {
            return "not a date and time";
        }
        if (bar.start < 0) {
            return "the date is before 1899-12-30, where the chart's date-times begin";
        }
        struct Price {
            int column;
            float* value;
            const char* reason;
        };
        const Price prices[] = {{map_.open, &bar.open, "the open is not a number"},
                                {map_.high, &bar.high, "the high is not a number"},
                                {map_.low, &bar.low, "the low is not a number"},
                                {map_.close, &bar.close, "the close is not a number"}};
        std::int32_t rowDecimals = decimals_;
        std::int32_t decimals = 0;
        for (const Price& p : prices) {
            const std::string_view field = fields_[static_cast<std::size_t>(p.column)];
            if (!parseNumber(field, *p.value, decimals)) {
                offending = field;
                return p.reason;
            }
            if (rowDecimals < kMostPriceDecimals) {
                if (decimals < 0) {
                    decimals = decimalsOf(field);
                }
                rowDecimals = std::max(rowDecimals, std::min(decimals, kMostPriceDecimals));
            }
        }
        const std::string_view volume = fields_[static_cast<std::size_t>(map_.volume)];
        if (!parseNumber(volume, bar.volume, decimals)) {
            offending = volume;
            return "the volume is not a number";
        }
        if (bar.volume < 0) {
            offending = volume;
            return "the volume is negative";
        }
        offending = line;
        if (bar.high < bar.low) {
            return "the high is below the low";
        }
        if (bar.open < bar.low || bar.open > bar.high) {
            return "the open is outside the bar's low to high";
        }
        if (bar.close < bar.low || bar.close > bar.high) {
            return "the close is outside the bar's low to high";
        }
        decimals_ = rowDecimals;
        return nullptr;
    }

    const char* fieldCountReason(std::size_t count) {
        const auto expected = static_cast<std::size_t>(map_.fieldCount);
        reason_ = std::to_string(count) + (count == 1 ? " field" : " fields") + " where ";
        reason_ += map_.headerless ? "a file without a header has 6 "
                                     "(timestamp,open,high,low,close,volume)"
                                   : "the header has " + std::to_string(expected);
        if (count > expected) {
            reason_ += "; decimal commas?";
        }
        return reason_.c_str();
    }

    bool readTime(ChartDateTime& start, std::string_view& offending) {
        if (map_.dateTime >= 0) {
            offending = fieldText(fields_[static_cast<std::size_t>(map_.dateTime)]);
            return dateTimes_.read(offending, start);
        }
        const std::string_view date = fieldText(fields_[static_cast<std::size_t>(map_.date)]);
        offending = date;
        if (!parseDate(date, start)) {
            return false;
        }
        if (map_.time < 0) {
            return true;
        }
        const std::string_view time = fieldText(fields_[static_cast<std::size_t>(map_.time)]);
        std::int64_t micros = 0;
        offending = time;
        if (!parseClockTime(time, micros)) {
            return false;
        }
        start += micros;
        return true;
    }

    ColumnMap map_;
    std::vector<std::string_view> fields_;
    bool fastLines_;
    DateTimeReader dateTimes_;
    std::int32_t decimals_ = 0;
    std::string reason_;
};

std::string_view withoutByteOrderMark(std::string_view line) {
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    return line.starts_with(kMark) ? line.substr(kMark.size()) : line;
}

bool looksLikeData(std::string_view line) {
    const std::string_view first = fieldText(line.substr(0, line.find(',')));
    ChartDateTime ignored = 0;
    return parseDateTime(first, ignored);
}

// The bytes the file holds on disk: a sparse file's holes hold no bars.
std::uintmax_t storedBytes(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) {
        return 0;
    }
#ifndef _WIN32
    struct stat s {};
    if (::stat(path.c_str(), &s) == 0 && s.st_blocks >= 0) {
        return std::min(size, static_cast<std::uintmax_t>(s.st_blocks) * 512u);
    }
#endif
    return size;
}

// Room for as many bars as `bytes` make lines like the first one (a little
// more, as lines vary), at most 2^28.
std::size_t barsForBytes(std::uintmax_t bytes, std::size_t firstLineLength) {
    if (bytes == 0 || firstLineLength == 0) {
        return 0;
    }
    const std::uintmax_t estimate = bytes / (firstLineLength + 1) * 9 / 8 + 16;
    constexpr std::uintmax_t kMostReserved = std::uintmax_t{1} << 28;
    return static_cast<std::size_t>(std::min(estimate, kMostReserved));
}

// Room for the bars that `bytes` hold, so that a long file is not copied as
// the columns grow. Room that no bar fills is never written and takes no
// memory. Only a hint: without the memory for it the columns grow as bars
// come.
void reserveRoom(std::uintmax_t bytes, std::size_t firstLineLength, BarColumns& bars) {
    try {
        bars.reserve(barsForBytes(bytes, firstLineLength));
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
}

}  // namespace

std::size_t barsToReserve(const std::string& path, std::size_t firstLineLength) {
    return barsForBytes(storedBytes(path), firstLineLength);
}

// The decimal number is w / 10^k with w and 10^k exact floats (w at most
// 2^24, k at most 8: 10^8 = 2^8 * 5^8 with 5^8 < 2^24), so the one division,
// which IEEE 754 rounds correctly, gives the float nearest to it: the value
// std::from_chars gives, which rounds correctly too (Clinger's fast path).
// Only if float arithmetic is done in float, not wider.
static_assert(FLT_EVAL_METHOD == 0, "float division must round to float");
static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<float>::digits == 24);

namespace {

constexpr float kPowersOfTen[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f};
constexpr std::uint64_t kLargestExact = std::uint64_t{1} << 24;

}  // namespace

bool parseExactDecimal(std::string_view text, float& value, std::int32_t& decimals) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) {
        text.remove_prefix(1);
    }
    // At most ten digits (or nine and the point, so at most eight after it).
    if (text.empty() || text.size() > 10) {
        return false;
    }
    std::uint64_t digits = 0;
    std::size_t point = text.size();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::uint32_t digit = static_cast<unsigned char>(text[i]) - std::uint32_t{'0'};
        if (digit <= 9) {
            digits = digits * 10 + digit;
        } else if (text[i] == '.' && point == text.size()) {
            point = i;
        } else {
            return false;
        }
    }
    const std::size_t fractionDigits = point == text.size() ? 0 : text.size() - point - 1;
    if (point == 0 || (point < text.size() && fractionDigits == 0) || digits > kLargestExact) {
        return false;
    }
    const float magnitude = static_cast<float>(digits) / kPowersOfTen[fractionDigits];
    value = negative ? -magnitude : magnitude;
    decimals = static_cast<std::int32_t>(fractionDigits);
    return true;
}

namespace {

constexpr std::uint64_t kEveryByte = 0x0101010101010101u;

// The value of eight digit values (0 to 9), one a byte, the first byte the
// most significant: pairs, then fours, then the whole, by multiplication.
std::uint32_t eightDigitsValue(std::uint64_t digits) {
    constexpr std::uint64_t kMask = 0x000000FF000000FFu;
    constexpr std::uint64_t kMul1 = 100 + (std::uint64_t{1000000} << 32);
    constexpr std::uint64_t kMul2 = 1 + (std::uint64_t{10000} << 32);
    digits = digits * 10 + (digits >> 8);
    return static_cast<std::uint32_t>(
        (((digits & kMask) * kMul1) + (((digits >> 16) & kMask) * kMul2)) >> 32);
}

// readFixedNumber's way with a number of at most eight characters after its
// sign: its bytes are classed eight at a time, and its digits read as one
// integer by eightDigitsValue. `start` is past the sign; a line read here is
// never shorter than eight bytes, so the word read for a number near the end
// of the line lies in the line. False where it cannot tell; readFixedNumber
// then reads the text a character at a time.
[[gnu::always_inline]] inline bool readShortNumber(const char* start, const char* end, char stop,
                                                   float& magnitude, std::int32_t& decimals,
                                                   const char*& next) {
    const auto available = static_cast<std::size_t>(end - start);
    if (available == 0) {
        return false;
    }
    std::uint64_t word = 0;
    if (available >= 8) {
        std::memcpy(&word, start, 8);
    } else {
        std::memcpy(&word, end - 8, 8);
        word >>= 8 * (8 - available);  // the line's end reads as zero bytes
    }
    // A byte is a digit when its high half is 3 and stays 3 with 6 added. A
    // carry out of a byte of 0xFA or more can only make the next byte look
    // like no digit: no byte is taken for a digit that is not one.
    constexpr std::uint64_t kHigh = 0xF0F0F0F0F0F0F0F0u;
    constexpr std::uint64_t kThrees = 0x30 * kEveryByte;
    const std::uint64_t off =
        ((word & kHigh) ^ kThrees) | (((word + 6 * kEveryByte) & kHigh) ^ kThrees);
    constexpr std::uint64_t kLow7 = 0x7F * kEveryByte;
    const std::uint64_t notDigits = (((off & kLow7) + kLow7) | off) & ~kLow7;
    const auto byteAt = [word](std::size_t i) { return static_cast<char>(word >> (8 * i)); };
    const std::size_t firstOther =
        notDigits == 0 ? 8 : static_cast<std::size_t>(std::countr_zero(notDigits)) / 8;
    std::size_t point = 8;  // none
    std::size_t length = firstOther;
    if (firstOther < available && firstOther < 8 && byteAt(firstOther) == '.') {
        point = firstOther;
        const std::uint64_t rest = notDigits & (notDigits - 1);
        length = rest == 0 ? 8 : static_cast<std::size_t>(std::countr_zero(rest)) / 8;
        if (point == 0 || length == point + 1) {
            return false;  // no digit before or after the point
        }
    }
    // The number ends at the stop: a comma, or the end of the line.
    if (length == 0 || (length == available ? stop != '\n' : start[length] != stop)) {
        return false;
    }
    std::uint64_t digits = word ^ kThrees;  // each digit byte now its value
    std::size_t digitCount = length;
    if (point < 8) {
        const std::uint64_t before = (std::uint64_t{1} << (8 * point)) - 1;
        digits = (digits & before) | ((digits >> 8) & ~before);
        --digitCount;
    }
    if (digitCount < 8) {
        // Leading zero bytes are leading zeros.
        digits = (digits & ((std::uint64_t{1} << (8 * digitCount)) - 1)) << (8 * (8 - digitCount));
    }
    const std::uint32_t value = eightDigitsValue(digits);
    if (value > kLargestExact) {
        return false;
    }
    const std::size_t fractionDigits = point < 8 ? length - point - 1 : 0;
    magnitude = static_cast<float>(value) / kPowersOfTen[fractionDigits];
    decimals = static_cast<std::int32_t>(fractionDigits);
    next = start + length + 1;
    return true;
}

// One number of a fixed-form line, from `p` up to `stop` (a comma, or the
// end of the line for the last one): what parseExactDecimal reads, a short
// number read in the same pass that finds its end. False where
// parseExactDecimal would decline the field's text, or the field does not
// end at `stop`.
[[gnu::always_inline]] inline bool readFixedNumber(const char*& p, const char* end, char stop,
                                                   float& value, std::int32_t& decimals) {
    const bool negative = p < end && *p == '-';
    float magnitude = 0;
    if (readShortNumber(p + (negative ? 1 : 0), end, stop, magnitude, decimals, p)) {
        value = negative ? -magnitude : magnitude;
        return true;
    }
    // A longer number: the field up to its stop, read by parseExactDecimal.
    const char* const fieldEnd =
        stop == '\n'
            ? end
            : static_cast<const char*>(std::memchr(p, stop, static_cast<std::size_t>(end - p)));
    if (fieldEnd == nullptr ||
        !parseExactDecimal(std::string_view(p, static_cast<std::size_t>(fieldEnd - p)), value,
                           decimals)) {
        return false;
    }
    p = fieldEnd + 1;  // past the comma
    return true;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Whether any of the `length` (8 to 16) bytes at `text` is a comma.
bool hasComma(const char* text, std::size_t length) {
    std::uint64_t head = 0, tail = 0;
    std::memcpy(&head, text, 8);
    std::memcpy(&tail, text + length - 8, 8);
    return (commaBytes(head) | commaBytes(tail)) != 0;
}

}  // namespace

bool parseFixedBarLine(std::string_view line, DateTimeReader& stamps, Bar& bar,
                       std::int32_t& priceDecimals) {
    constexpr std::size_t kStampLength = 19;
    const char* p = line.data();
    const char* const end = p + line.size();
    // A stamp that needs no trimming: it begins and ends with a digit.
    if (line.size() <= kStampLength || p[kStampLength] != ',' || !isDigit(p[0]) ||
        !isDigit(p[kStampLength - 1]) || hasComma(p, kStampLength)) {
        return false;
    }
    if (!stamps.read(std::string_view(p, kStampLength), bar.start) || bar.start < 0) {
        return false;
    }
    p += kStampLength + 1;
    float* const prices[] = {&bar.open, &bar.high, &bar.low, &bar.close};
    std::int32_t rowDecimals = priceDecimals;
    std::int32_t decimals = 0;
    for (float* price : prices) {
        if (!readFixedNumber(p, end, ',', *price, decimals)) {
            return false;
        }
        rowDecimals = std::max(rowDecimals, std::min(decimals, kMostPriceDecimals));
    }
    if (!readFixedNumber(p, end, '\n', bar.volume, decimals) || bar.volume < 0 ||
        bar.high < bar.low || bar.open < bar.low || bar.open > bar.high || bar.close < bar.low ||
        bar.close > bar.high) {
        return false;
    }
    priceDecimals = rowDecimals;
    return true;
}

std::string quotedText(std::string_view text) {
    const bool cut = text.size() > kQuotedTextLength;
    std::string out = "\"";
    for (const char c : cut ? text.substr(0, kQuotedTextLength) : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            constexpr char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out + (cut ? "...\"" : "\"");
}

namespace {

constexpr const char* kStepBackReason = "the bar starts more than an hour before the bar above it";
// A stretch of whole lines of at least this much is read in two halves at
// once, on a machine of several cores: a thread costs next to nothing beside
// a MiB of rows.
constexpr std::size_t kSplitFromBytes = 1u << 20;

// What reading a stretch of rows gave. Line numbers count from the
// stretch's first line.
struct RowsRead {
    BarColumns bars;  // the bars, when they are not read straight into the file's
    std::int64_t lines = 0;
    std::int64_t skippedRowCount = 0;
    std::vector<SkippedRow> skippedRows;
    std::int64_t refusedLine = 0;  // 0: no row was refused
    std::string refusal;
    std::size_t firstBarLength = 0;  // of the first bar's line, when `bars` began empty
};

// Whether a bar starting at `start` steps back too far from the last of
// `above`.
bool stepsBackTooFar(ChartDateTime start, const BarColumns& above) {
    return !above.empty() && start < above.times.back() - kLargestStepBack;
}

// Reads the rows of `text` (whole lines) onto the end of `bars`, each bar
// checked against the one above it there, and stops at the first malformed
// row when such rows are refused. `roomBytes`: the bytes that set the room
// reserved for the bars when the first one comes into empty columns (the
// file's, or the text's when the columns are the text's own).
void readRows(std::string_view text, BarLineParser& parser, BadRows badRows, BarColumns& bars,
              std::uintmax_t roomBytes, RowsRead& read) {
    for (std::size_t at = 0; at < text.size();) {
        const char* const start = text.data() + at;
        const void* found = std::memchr(start, '\n', text.size() - at);
        const std::size_t length =
            found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - start)
                             : text.size() - at;
        at += length + 1;
        ++read.lines;
        const std::string_view line = trimmed(std::string_view(start, length));
        if (line.empty()) {
            continue;
        }
        Bar bar;
        std::string_view offending;
        const char* reason = parser.parse(line, bar, offending);
        if (reason == nullptr && stepsBackTooFar(bar.start, bars)) {
            reason = kStepBackReason;
            offending = line;
        }
        if (reason != nullptr) {
            if (badRows == BadRows::Refuse) {
                read.refusedLine = read.lines;
                read.refusal = std::string(reason) + ": " + quoted(offending);
                return;
            }
            if (read.skippedRows.size() < kSkippedRowsNamed) {
                read.skippedRows.push_back(SkippedRow{read.lines, reason, quoted(offending)});
            }
            ++read.skippedRowCount;
            continue;
        }
        if (bars.empty()) {
            read.firstBarLength = line.size();
            reserveRoom(roomBytes, line.size(), bars);
        }
        bars.push_back(bar);
    }
}

// One bar file's reading, a stretch of whole lines at a time.
class FileReading {
public:
    // `fileBytes`: what the file holds on disk, the room for its bars.
    FileReading(const std::string& path, std::uintmax_t fileBytes, BadRows badRows,
                std::size_t splitFromBytes, Halves halves)
        : path_(path),
          fileBytes_(fileBytes),
          badRows_(badRows),
          splitFromBytes_(splitFromBytes),
          halves_(halves) {}

    void take(std::string_view text) {
        while (!parser_ && !text.empty()) {
            const std::size_t length = std::min(text.find('\n'), text.size());
            const std::string_view first = text.substr(0, length);
            text.remove_prefix(std::min(length + 1, text.size()));
            const std::string_view line = trimmed(withoutByteOrderMark(trimmed(first)));
            if (line.empty()) {
                ++lineNumber_;
                continue;
            }
            ColumnMap map;
            if (looksLikeData(line)) {
                parser_ = std::make_unique<BarLineParser>(headerlessMap());
                readOnOneThread(line);
                continue;
            }
            ++lineNumber_;
            if (!mapHeader(line, map)) {
                throw failure(lineNumber_,
                              "not a bar file header (expected timestamp,open,high,low,"
                              "close,volume or Date, Time, Open, High, Low, Last, Volume): " +
                                  quoted(line));
            }
            parser_ = std::make_unique<BarLineParser>(map);
        }
        if (text.empty()) {
            return;
        }
        if (text.size() < splitFromBytes_) {
            readOnOneThread(text);
        } else {
            readInTwoHalves(text);
        }
    }

    std::int64_t lineNumber() const { return lineNumber_; }
    BarFileContents& contents() { return contents_; }
    std::int32_t priceDecimals() const { return parser_ ? parser_->priceDecimals() : 0; }

    BarFileError failure(std::int64_t lineNumber, const std::string& what) const {
        return BarFileError(path_ + ", line " + std::to_string(lineNumber) + ": " + what);
    }

private:
    void readOnOneThread(std::string_view text) {
        RowsRead read;
        try {
            readRows(text, *parser_, badRows_, contents_.bars, fileBytes_, read);
        } catch (const std::bad_alloc&) {
            passLinesBefore(read);
            throw;
        }
        account(read);
    }

    // Out of memory in the stretch's last line read: the lines before it
    // count, so that the message names that line.
    void passLinesBefore(const RowsRead& read) {
        lineNumber_ += std::max<std::int64_t>(read.lines - 1, 0);
    }

    // The first half on this thread, the second on another with a copy of
    // the parser; then the second half's first bar is checked against the
    // last bar of the first. Where it steps back too far, the second half is
    // read again here, after the first, as one thread would have read it.
    void readInTwoHalves(std::string_view text) {
        std::size_t middle = text.find('\n', text.size() / 2);
        if (middle == std::string_view::npos || middle + 1 >= text.size()) {
            readOnOneThread(text);
            return;
        }
        ++middle;
        const std::string_view second = text.substr(middle);
        BarLineParser laterParser(*parser_);
        RowsRead later;
        later.bars = std::move(laterBars_);
        std::exception_ptr laterFailure;
        const auto readLater = [&] {
            try {
                readRows(second, laterParser, badRows_, later.bars, second.size(), later);
            } catch (...) {
                laterFailure = std::current_exception();
            }
        };
        std::thread helper;
        if (halves_ == Halves::AtOnce) {
            try {
                helper = std::thread(readLater);
            } catch (const std::system_error&) {
                readLater();  // no thread to be had: the same work here
            }
        } else {
            readLater();
        }
        RowsRead earlier;
        try {
            readRows(text.substr(0, middle), *parser_, badRows_, contents_.bars, fileBytes_,
                     earlier);
        } catch (...) {
            joinIfStarted(helper);
            passLinesBefore(earlier);
            throw;
        }
        joinIfStarted(helper);
        account(earlier);
        if (laterFailure) {
            passLinesBefore(later);
            std::rethrow_exception(laterFailure);
        }
        if (!later.bars.empty() && stepsBackTooFar(later.bars.times[0], contents_.bars)) {
            keepForTheNextStretch(later.bars);
            readOnOneThread(second);
            return;
        }
        parser_->raiseDecimals(laterParser.priceDecimals());
        if (contents_.bars.empty() && !later.bars.empty()) {
            reserveRoom(fileBytes_, later.firstBarLength, contents_.bars);
        }
        contents_.bars.append(later.bars);
        keepForTheNextStretch(later.bars);
        account(later);
    }

    // The later half's columns, emptied, for the next stretch's later half:
    // one set of columns for the whole file instead of fresh memory for
    // every stretch.
    void keepForTheNextStretch(BarColumns& used) {
        used.clear();
        laterBars_ = std::move(used);
    }

    static void joinIfStarted(std::thread& helper) {
        if (helper.joinable()) {
            helper.join();
        }
    }

    // Refuses the stretch's refused row, or counts its lines and the rows
    // it left out.
    void account(const RowsRead& read) {
        if (read.refusedLine > 0) {
            throw failure(lineNumber_ + read.refusedLine, read.refusal);
        }
        for (const SkippedRow& row : read.skippedRows) {
            if (contents_.skippedRows.size() < kSkippedRowsNamed) {
                contents_.skippedRows.push_back(
                    SkippedRow{lineNumber_ + row.lineNumber, row.reason, row.text});
            }
        }
        contents_.skippedRowCount += read.skippedRowCount;
        lineNumber_ += read.lines;
    }

    const std::string& path_;
    std::uintmax_t fileBytes_;
    BadRows badRows_;
    std::size_t splitFromBytes_;
    Halves halves_;
    std::unique_ptr<BarLineParser> parser_;
    BarFileContents contents_;
    BarColumns laterBars_;         // empty; room kept from an earlier stretch's later half
    std::int64_t lineNumber_ = 0;  // lines read so far
};

std::size_t defaultSplitFromBytes() {
    static const unsigned cores = std::thread::hardware_concurrency();
    return cores > 1 ? kSplitFromBytes : kNeverSplit;
}

}  // namespace

BarFileContents readBars(const std::string& path, BadRows badRows) {
    return readBars(path, badRows, defaultSplitFromBytes());
}

BarFileContents readBars(const std::string& path, BadRows badRows, std::size_t splitFromBytes,
                         Halves halves) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        throw BarFileError("cannot open bar file " + path + ": " + systemReason());
    }
    std::error_code sizeError;
    const std::uintmax_t fileSize = std::filesystem::file_size(path, sizeError);
    LineStream lines(file.get(), sizeError ? kUnknownFileSize : fileSize);
    FileReading reading(path, storedBytes(path), badRows, splitFromBytes, halves);
    std::string_view text;
    try {
        while (lines.nextLines(text)) {
            reading.take(text);
        }
    } catch (const std::length_error&) {
        throw reading.failure(reading.lineNumber() + 1, "line longer than 16 MiB");
    } catch (const std::bad_alloc&) {
        throw BarFileError("not enough memory to hold " +
                           std::to_string(reading.contents().bars.size() + 1) + " bars: " + path +
                           ", line " + std::to_string(reading.lineNumber() + 1));
    }
    if (lines.failed()) {
        throw BarFileError("cannot read bar file " + path + ": " + systemReason());
    }
    BarFileContents& contents = reading.contents();
    if (contents.bars.empty()) {
        throw BarFileError(
            "bar file " + path + " holds no bars" +
            (contents.skippedRowCount > 0
                 ? " (" + std::to_string(contents.skippedRowCount) + " malformed rows left out)"
                 : std::string()));
    }
    contents.priceDecimals = reading.priceDecimals();
    return std::move(contents);
}

std::vector<Bar> readBarFile(const std::string& path) { return barListOf(readBars(path).bars); }

bool parseTimestamp(std::string_view text, ChartDateTime& result) {
    return parseDateTime(trimmed(text), result);
}

namespace {

bool parseOneBarLine(std::string_view line, Bar& bar, bool fastLines) {
    line = trimmed(line);
    if (std::count(line.begin(), line.end(), ',') != 5) {
        return false;
    }
    BarLineParser parser(headerlessMap(), fastLines);
    Bar parsed;
    std::string_view offending;
    if (parser.parse(line, parsed, offending) != nullptr) {
        return false;
    }
    bar = parsed;
    return true;
}

}  // namespace

bool parseBarLine(std::string_view line, Bar& bar) { return parseOneBarLine(line, bar, true); }

bool parseBarLineGeneral(std::string_view line, Bar& bar) {
    return parseOneBarLine(line, bar, false);
}

}  // namespace keelmark::replay
