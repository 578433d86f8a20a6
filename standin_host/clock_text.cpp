#include "standin_host/clock_text.h"

#include <cstdio>
#include <cstring>

#include "standin_host/date_time_reader.h"

namespace keelmark::replay {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isLeapYear(std::int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

std::int32_t daysInMonth(std::int32_t year, std::int32_t month) {
    constexpr std::int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Reads between `minDigits` and `maxDigits` digits at the front of `text`,
// which loses them.
bool takeNumber(std::string_view& text, std::size_t minDigits, std::size_t maxDigits,
                std::int32_t& value) {
    std::size_t n = 0;
    value = 0;
    while (n < text.size() && n < maxDigits && isDigit(text[n])) {
        value = value * 10 + (text[n] - '0');
        ++n;
    }
    if (n < minDigits || (n < text.size() && isDigit(text[n]))) {
        return false;
    }
    text.remove_prefix(n);
    return true;
}

bool takeChar(std::string_view& text, char c) {
    if (text.empty() || text.front() != c) {
        return false;
    }
    text.remove_prefix(1);
    return true;
}

std::int64_t floorDivide(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

struct CivilDate {
    std::int32_t year, month, day;
};

// Inverse of daysFromCivil.
CivilDate civilFromDays(std::int64_t daysSince1970) {
    const std::int64_t z = daysSince1970 + 719'468;
    const std::int64_t era = floorDivide(z, 146'097);
    const std::int64_t dayOfEra = z - era * 146'097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1'460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    const std::int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return CivilDate{static_cast<std::int32_t>(year), static_cast<std::int32_t>(month),
                     static_cast<std::int32_t>(day)};
}

}  // namespace

// Counts days in eras of 400 years starting on 1 March, so that the leap
// day falls at the end of each counted year.
std::int64_t daysFromCivil(std::int32_t year, std::int32_t month, std::int32_t day) {
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = floorDivide(y, 400);
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

bool parseDate(std::string_view text, ChartDateTime& result) {
    std::int32_t year = 0, month = 0, day = 0;
    if (!takeNumber(text, 4, 4, year)) {
        return false;
    }
    const char separator = text.empty() ? '\0' : text.front();
    const std::size_t minDigits = separator == '/' ? 1 : 2;
    if ((separator != '-' && separator != '/') || !takeChar(text, separator) ||
        !takeNumber(text, minDigits, 2, month) || !takeChar(text, separator) ||
        !takeNumber(text, minDigits, 2, day) || !text.empty()) {
        return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month)) {
        return false;
    }
    result = civilDateTime(year, month, day, 0, 0, 0);
    return true;
}

bool parseClockTime(std::string_view text, std::int64_t& micros, bool requireSeconds) {
    std::int32_t hour = 0, minute = 0, second = 0;
    if (!takeNumber(text, 1, 2, hour) || !takeChar(text, ':') || !takeNumber(text, 2, 2, minute)) {
        return false;
    }
    std::int64_t fraction = 0;
    if (!text.empty() || requireSeconds) {
        if (!takeChar(text, ':') || !takeNumber(text, 2, 2, second)) {
            return false;
        }
        if (takeChar(text, '.')) {
            std::int64_t scale = 100'000;
            std::size_t digits = 0;
            while (digits < text.size() && isDigit(text[digits])) {
                if (digits >= 6) {
                    return false;
                }
                fraction += (text[digits] - '0') * scale;
                scale /= 10;
                ++digits;
            }
            if (digits == 0) {
                return false;
            }
            text.remove_prefix(digits);
        }
    }
    if (!text.empty() || hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    micros =
        hour * kMicrosPerHour + minute * kMicrosPerMinute + second * kMicrosPerSecond + fraction;
    return true;
}

namespace {

// The value of the digit at text[i], or -1 when it is not a digit.
std::int32_t digitAt(std::string_view text, std::size_t i) {
    return isDigit(text[i]) ? text[i] - '0' : -1;
}

std::int32_t twoDigitsAt(std::string_view text, std::size_t i) {
    const std::int32_t tens = digitAt(text, i), ones = digitAt(text, i + 1);
    return tens < 0 || ones < 0 ? -1 : tens * 10 + ones;
}

// The date `YYYY-MM-DD` of a 19-character fixed-form stamp, as its day's
// start; false when it is not one or not a valid date.
bool fixedDate(std::string_view text, ChartDateTime& dayStart) {
    if (text[4] != '-' || text[7] != '-') {
        return false;
    }
    const std::int32_t century = twoDigitsAt(text, 0), yearOfCentury = twoDigitsAt(text, 2);
    const std::int32_t month = twoDigitsAt(text, 5), day = twoDigitsAt(text, 8);
    if (century < 0 || yearOfCentury < 0 || month < 1 || month > 12 || day < 1) {
        return false;
    }
    const std::int32_t year = century * 100 + yearOfCentury;
    if (day > daysInMonth(year, month)) {
        return false;
    }
    dayStart = civilDateTime(year, month, day, 0, 0, 0);
    return true;
}

// The blank or `T` and clock `HH:MM:SS` of a 19-character fixed-form stamp,
// as microseconds since midnight; false when they are not.
bool fixedClock(std::string_view text, std::int64_t& micros) {
    if ((text[10] != ' ' && text[10] != 'T') || text[13] != ':' || text[16] != ':') {
        return false;
    }
    const std::int32_t hour = twoDigitsAt(text, 11), minute = twoDigitsAt(text, 14),
                       second = twoDigitsAt(text, 17);
    if (hour < 0 || minute < 0 || second < 0 || hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    micros = hour * kMicrosPerHour + minute * kMicrosPerMinute + second * kMicrosPerSecond;
    return true;
}

}  // namespace

// The day's start plus the clock's microseconds: the sum the general way
// makes.
bool parseDateTimeFixed(std::string_view text, ChartDateTime& result) {
    ChartDateTime dayStart = 0;
    std::int64_t micros = 0;
    if (text.size() != 19 || !fixedClock(text, micros) || !fixedDate(text, dayStart)) {
        return false;
    }
    result = dayStart + micros;
    return true;
}

bool DateTimeReader::read(std::string_view text, ChartDateTime& result) {
    std::int64_t micros = 0;
    if (text.size() == 19 && fixedClock(text, micros)) {
        if (!haveDate_ || text.compare(0, kDateLength, std::string_view(date_, kDateLength)) != 0) {
            ChartDateTime dayStart = 0;
            if (!fixedDate(text, dayStart)) {
                return parseDateTimeGeneral(text, result);
            }
            std::memcpy(date_, text.data(), kDateLength);
            dayStart_ = dayStart;
            haveDate_ = true;
        }
        result = dayStart_ + micros;
        return true;
    }
    return parseDateTimeGeneral(text, result);
}

bool parseDateTimeGeneral(std::string_view text, ChartDateTime& result) {
    const std::size_t split = text.find_first_of(" T");
    if (split == std::string_view::npos) {
        return false;
    }
    std::string_view timeText = text.substr(split + 1);
    while (!timeText.empty() && timeText.front() == ' ') {
        timeText.remove_prefix(1);
    }
    ChartDateTime date = 0;
    std::int64_t micros = 0;
    if (!parseDate(text.substr(0, split), date) || !parseClockTime(timeText, micros)) {
        return false;
    }
    result = date + micros;
    return true;
}

bool parseDateTime(std::string_view text, ChartDateTime& result) {
    return parseDateTimeFixed(text, result) || parseDateTimeGeneral(text, result);
}

std::string formatDateTime(ChartDateTime t) {
    const std::int64_t days = floorDivide(t, kMicrosPerDay);
    const std::int64_t seconds = (t - days * kMicrosPerDay) / kMicrosPerSecond;
    const CivilDate date = civilFromDays(days - kEpochDaysBefore1970);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", date.year, date.month,
                  date.day, static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60));
    return text;
}

std::string formatClockTime(std::int32_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return text;
}

}  // namespace keelmark::replay
