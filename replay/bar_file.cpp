#include "replay/bar_file.h"

#include <charconv>
#include <fstream>
#include <stdexcept>

namespace keelmark::replay {

namespace {

// Days from 1970-01-01 back to the chart epoch, 1899-12-30.
constexpr std::int64_t kEpochDaysBefore1970 = 25'569;

bool parseDigits(std::string_view text, std::size_t position, std::size_t width,
                 std::int32_t& value) {
    if (position + width > text.size()) {
        return false;
    }
    value = 0;
    for (std::size_t i = position; i < position + width; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return true;
}

bool isLeapYear(std::int32_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::int32_t daysInMonth(std::int32_t year, std::int32_t month) {
    constexpr std::int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() &&
           (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

bool parseFloatField(std::string_view text, float& value) {
    text = trimmed(text);
    if (text.empty()) {
        return false;
    }
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

// The next comma-separated field of `rest`, which loses it and its comma.
std::string_view nextField(std::string_view& rest) {
    const std::size_t comma = rest.find(',');
    const std::string_view field = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    return field;
}

}  // namespace

// Counts days in eras of 400 years starting on 1 March, so that the leap
// day falls at the end of each counted year.
std::int64_t daysFromCivil(std::int32_t year, std::int32_t month, std::int32_t day) {
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t monthFromMarch = month > 2 ? month - 3 : month + 9;
    const std::int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146'097 + dayOfEra - 719'468;
}

ChartDateTime civilDateTime(std::int32_t year, std::int32_t month, std::int32_t day,
                            std::int32_t hour, std::int32_t minute, std::int32_t second) {
    const std::int64_t days = daysFromCivil(year, month, day) + kEpochDaysBefore1970;
    return days * kMicrosPerDay + hour * kMicrosPerHour + minute * kMicrosPerMinute +
           second * kMicrosPerSecond;
}

bool parseTimestamp(std::string_view text, ChartDateTime& result) {
    text = trimmed(text);
    std::int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    const bool shaped = text.size() == 19 && text[4] == '-' && text[7] == '-' &&
                        (text[10] == ' ' || text[10] == 'T') && text[13] == ':' &&
                        text[16] == ':';
    if (!shaped || !parseDigits(text, 0, 4, year) || !parseDigits(text, 5, 2, month) ||
        !parseDigits(text, 8, 2, day) || !parseDigits(text, 11, 2, hour) ||
        !parseDigits(text, 14, 2, minute) || !parseDigits(text, 17, 2, second)) {
        return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59) {
        return false;
    }
    result = civilDateTime(year, month, day, hour, minute, second);
    return true;
}

bool parseBarLine(std::string_view line, Bar& bar) {
    std::string_view rest = line;
    Bar parsed;
    if (!parseTimestamp(nextField(rest), parsed.start)) {
        return false;
    }
    float* const prices[] = {&parsed.open, &parsed.high, &parsed.low, &parsed.close,
                             &parsed.volume};
    for (float* price : prices) {
        if (rest.empty() || !parseFloatField(nextField(rest), *price)) {
            return false;
        }
    }
    if (!trimmed(rest).empty()) {
        return false;
    }
    bar = parsed;
    return true;
}

std::vector<Bar> readBarFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open bar file " + path);
    }
    std::vector<Bar> bars;
    std::string line;
    std::int64_t lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        const std::string_view content = trimmed(line);
        if (content.empty() || (lineNumber == 1 && content.starts_with("timestamp"))) {
            continue;
        }
        Bar bar;
        if (!parseBarLine(content, bar)) {
            throw std::runtime_error("bar file " + path + " line " + std::to_string(lineNumber) +
                                     ": expected timestamp,open,high,low,close,volume");
        }
        bars.push_back(bar);
    }
    return bars;
}

}  // namespace keelmark::replay
