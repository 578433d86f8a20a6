// The bar file reader's fast paths against the general ways they stand in
// for: the fixed-width timestamp (and the reader that keeps the last date)
// against the general date-time parser, the exact short decimal against
// std::from_chars. A fast path may decline any text (the general way then
// reads it), but what it accepts it must read exactly as the general way does.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "standin_host/bar_file.h"
#include "standin_host/clock_text.h"
#include "standin_host/date_time_reader.h"

namespace keelmark {
namespace {

// What the fixed path accepts the general path accepts, with the same value;
// of the texts in the fixed form (digits, then `-`, `-`, blank or `T`, `:`,
// `:` at their places) the fixed path declines only those the general path
// refuses; parseDateTime agrees with the general path on every text.
void expectSameDateTime(const std::string& text) {
    ChartDateTime fixed = -1, general = -1, either = -1;
    const bool fixedRead = replay::parseDateTimeFixed(text, fixed);
    const bool generalRead = replay::parseDateTimeGeneral(text, general);
    bool fixedForm = text.size() == 19;
    for (std::size_t i = 0; fixedForm && i < text.size(); ++i) {
        const char c = text[i];
        fixedForm = i == 4 || i == 7     ? c == '-'
                    : i == 10            ? c == ' ' || c == 'T'
                    : i == 13 || i == 16 ? c == ':'
                                         : c >= '0' && c <= '9';
    }
    if (fixedRead) {
        EXPECT_TRUE(generalRead) << '"' << text << '"';
        EXPECT_EQ(fixed, general) << '"' << text << '"';
    } else if (fixedForm) {
        EXPECT_FALSE(generalRead) << "the fixed path declined \"" << text << '"';
    }
    EXPECT_EQ(replay::parseDateTime(text, either), generalRead) << '"' << text << '"';
    if (generalRead) {
        EXPECT_EQ(either, general) << '"' << text << '"';
    }
    // One reader for every text checked, so that each is read after others
    // of the same date and of other dates.
    static replay::DateTimeReader reader;
    ChartDateTime read = -1;
    EXPECT_EQ(reader.read(text, read), generalRead) << '"' << text << '"';
    if (generalRead) {
        EXPECT_EQ(read, general) << '"' << text << '"';
    }
}

TEST(ReaderFastPaths, FixedTimestampAgreesWithTheGeneralParserOneCharacterAway) {
    const std::vector<std::string> stamps = {"2023-11-20 15:55:00", "2024-02-29T23:59:59",
                                             "1899-12-30 00:00:00", "2000-02-29 09:30:00",
                                             "2100-02-28 12:00:00", "0000-01-01 00:00:00"};
    const std::string replacements = "0123456789 -:T/.t,\"+\t\r\xC3";
    int fixedAccepted = 0;
    for (const std::string& stamp : stamps) {
        expectSameDateTime(stamp);
        for (std::size_t i = 0; i <= stamp.size(); ++i) {
            for (const char c : replacements) {
                std::string inserted = stamp;
                expectSameDateTime(inserted.insert(i, 1, c));
                if (i < stamp.size()) {
                    std::string replaced = stamp;
                    replaced[i] = c;
                    expectSameDateTime(replaced);
                    ChartDateTime ignored = 0;
                    fixedAccepted += replay::parseDateTimeFixed(replaced, ignored) ? 1 : 0;
                }
            }
            if (i < stamp.size()) {
                expectSameDateTime(std::string(stamp).erase(i, 1));
            }
        }
    }
    EXPECT_GT(fixedAccepted, 500);  // the fixed path reads most of them
}

TEST(ReaderFastPaths, FixedTimestampAgreesOnEveryDayAndTheClocksEdges) {
    for (const int year : {1899, 1900, 1999, 2000, 2023, 2024, 2100, 9999}) {
        for (int month = 0; month <= 13; ++month) {
            for (int day = 0; day <= 32; ++day) {
                char text[32];
                std::snprintf(text, sizeof text, "%04d-%02d-%02d 00:00:00", year, month, day);
                expectSameDateTime(text);
            }
        }
    }
    for (const char* clock :
         {"00:00:00", "23:59:59", "24:00:00", "23:60:00", "23:59:60", "99:99:99", "9:30:00",
          "09:30", "09:30:00.5", "09:30:00.", "09:30:0", " 9:30:00", "09:30:00 ", "09:30:00\r"}) {
        for (const char* date : {"2024-02-29", "2023-02-29", "2023/11/20", "2023-1-20"}) {
            for (const char* between : {" ", "T", "  ", "t", "_"}) {
                expectSameDateTime(std::string(date) + between + clock);
            }
        }
    }
    for (const char* text :
         {"", "2023-11-20", "\"2023-11-20 15:55:00\"", " 2023-11-20 15:55:00",
          "2023-11-20 15:55:00 ", "+023-11-20 15:55:00", "-023-11-20 15:55:00",
          "2023-+1-20 15:55:00", "2023-11-20 15:55:+0", "2023-11-20 15:55:0\xC3"}) {
        expectSameDateTime(text);
    }
}

TEST(ReaderFastPaths, DateTimeReaderReadsTheClockOfEachStampOfTheKeptDate) {
    for (const char* text : {"2023-11-20 15:55:00", "2023-11-20 15:56:00", "2023-11-20T23:59:59",
                             "2023-11-20 24:00:00", "2023-11-20 15:60:00", "2023-11-20 15:55:0x",
                             "2023-11-20 15:55:00.5", "2023-11-20 9:55:00", "2023-11-20  9:55:00",
                             "2023-11-21 00:00:00", "2023-11-20 00:00:00", "2023-02-29 00:00:00",
                             "2023-02-29 00:00:01", "2024-02-29 00:00:00", "2024-02-29 00:00:01",
                             "2024-02-29x00:00:01", "2023-11-20 15:55:00"}) {
        expectSameDateTime(text);
    }
}

std::uint32_t bitsOf(float f) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// The exact decimal path reads what std::from_chars reads, to the bit,
// and counts the digits after the point; or declines.
void expectSameNumber(const std::string& text, bool expectAccepted) {
    float exact = 0, general = 0;
    std::int32_t decimals = -1;
    const bool read = replay::parseExactDecimal(text, exact, decimals);
    EXPECT_EQ(read, expectAccepted) << '"' << text << '"';
    if (read) {
        const char* end = text.data() + text.size();
        const auto result = std::from_chars(text.data(), end, general);
        ASSERT_TRUE(result.ec == std::errc() && result.ptr == end) << '"' << text << '"';
        EXPECT_EQ(bitsOf(exact), bitsOf(general)) << '"' << text << '"';
        const std::size_t point = text.find('.');
        EXPECT_EQ(decimals, point == std::string::npos ? 0 : text.size() - point - 1);
    }
}

// Digits (as one integer) written with `decimals` of them after the point.
std::string decimalText(std::uint32_t digits, int decimals, bool negative) {
    std::string text = std::to_string(digits);
    if (text.size() <= static_cast<std::size_t>(decimals)) {
        text.insert(0, static_cast<std::size_t>(decimals) + 1 - text.size(), '0');
    }
    if (decimals > 0) {
        text.insert(text.size() - static_cast<std::size_t>(decimals), 1, '.');
    }
    return negative ? "-" + text : text;
}

// Every text of the path's form is checked by a run over all 2^24 + 1
// integers with 0 to 8 digits after the point (about 300 million texts, too
// slow for a sanitized test); here a spread of them and the edges.
TEST(ReaderFastPaths, ExactDecimalsReadAsFromCharsReadsThem) {
    constexpr std::uint32_t kLargest = std::uint32_t{1} << 24;
    for (int decimals = 0; decimals <= 8; ++decimals) {
        for (std::uint32_t digits = 0; digits <= kLargest; digits += 997) {
            expectSameNumber(decimalText(digits, decimals, digits % 2 == 1), true);
        }
        for (std::uint32_t digits = kLargest - 300; digits <= kLargest; ++digits) {
            expectSameNumber(decimalText(digits, decimals, false), true);
        }
        for (std::uint32_t digits : {0u, 1u, 5u, 15u, 25u, 33u, 1'000'000u, 9'999'999u}) {
            expectSameNumber(decimalText(digits, decimals, true), true);
        }
        expectSameNumber(decimalText(kLargest + 1, decimals, false), false);
    }
    for (const char* accepted : {"-0", "0.0", "-0.000", "0016083.5", "16090.25", "0.1", "0.3",
                                 "1677721.6", "0.00000001", "6123"}) {
        expectSameNumber(accepted, true);
    }
    for (const char* declined :
         {"",         "-",          "+1",          "1.",           ".5",          "-.5",
          "1e3",      "1E+3",       "0x10",        "inf",          "nan",         "1,5",
          "1.5.5",    "--1",        " 1",          "1 ",           "\"1\"",       "1677721.7",
          "16777217", "1234567890", "0.000000001", "0000000001.5", "1.2345678901"}) {
        expectSameNumber(declined, false);
    }
}

// A line the fixed-line path accepts is read by the general way with the
// same bar, bit for bit, and the price decimals it reports are the most
// digits after the point among its four prices. Returns whether the fixed
// path accepted the line.
bool expectSameLine(const std::string& line) {
    // One reader for every line, so that stamps of a kept date are read too.
    static replay::DateTimeReader stamps;
    replay::Bar fixed, general;
    std::int32_t decimals = 3;  // lines with fewer leave it as it is
    const bool fixedRead = replay::parseFixedBarLine(line, stamps, fixed, decimals);
    const bool generalRead = replay::parseBarLineGeneral(line, general);
    if (!fixedRead) {
        EXPECT_EQ(decimals, 3) << '"' << line << '"';
        return false;
    }
    EXPECT_TRUE(generalRead) << "the general way refuses \"" << line << '"';
    EXPECT_EQ(fixed.start, general.start) << '"' << line << '"';
    for (const auto field : {&replay::Bar::open, &replay::Bar::high, &replay::Bar::low,
                             &replay::Bar::close, &replay::Bar::volume}) {
        EXPECT_EQ(std::bit_cast<std::uint32_t>(fixed.*field),
                  std::bit_cast<std::uint32_t>(general.*field))
            << '"' << line << '"';
    }
    std::int32_t most = 3;
    std::size_t at = line.find(',');
    for (int price = 0; price < 4; ++price) {
        const std::size_t next = line.find(',', at + 1);
        const std::string text = line.substr(at + 1, next - at - 1);
        const std::size_t point = text.find('.');
        if (point != std::string::npos) {
            most = std::max(most, static_cast<std::int32_t>(text.size() - point - 1));
        }
        at = next;
    }
    EXPECT_EQ(decimals, most) << '"' << line << '"';
    return true;
}

TEST(ReaderFastPaths, FixedLinesAgreeWithTheGeneralWayOneCharacterAway) {
    const std::vector<std::string> lines = {
        "2023-11-19 18:00:00,15895.00,15903.75,15888.00,15893.25,571",
        "2023-11-19 18:01:00,15893.00,15893.50,15877.75,15883.75,549",
        "2024-02-29T09:30:00,-1.5,-0.25,-2,-1.75,0", "1899-12-30 00:00:00,0,0,0,0,0.5",
        "2023-11-20 15:55:00,1677721.6,16777216,1.0000001,1677721.6,12345678"};
    const std::string replacements = "0123456789.-,+ e\"\t\x01\xFA\xFF";
    int accepted = 0;
    for (const std::string& line : lines) {
        EXPECT_TRUE(expectSameLine(line)) << "the fixed path declined \"" << line << '"';
        for (std::size_t i = 0; i <= line.size(); ++i) {
            for (const char c : replacements) {
                std::string inserted = line;
                accepted += expectSameLine(inserted.insert(i, 1, c)) ? 1 : 0;
                if (i < line.size()) {
                    std::string replaced = line;
                    replaced[i] = c;
                    accepted += expectSameLine(replaced) ? 1 : 0;
                }
            }
            if (i < line.size()) {
                accepted += expectSameLine(std::string(line).erase(i, 1)) ? 1 : 0;
            }
        }
    }
    EXPECT_GT(accepted, 1000);  // most digit changes keep a line of the fixed form
}

// Numbers of every length and place of the point, each as every field of a
// line and as the last field, where the word read for it ends at the line's
// end: both the eight-byte way (up to eight characters) and the character
// way (nine and ten) against the general way.
TEST(ReaderFastPaths, FixedLineNumbersAgreeWithTheGeneralWay) {
    constexpr std::uint32_t kLargest = std::uint32_t{1} << 24;
    std::vector<std::string> numbers = {"0",        "9",         "00000000", "99999999",
                                        "16777216", "16777217",  "0.5",      "1.25",
                                        "123456.7", "12345.678", "1677721.7"};
    for (int decimals = 0; decimals <= 8; ++decimals) {
        for (std::uint32_t digits = 0; digits <= kLargest + 2; digits += 65537) {
            numbers.push_back(decimalText(digits, decimals, false));
        }
        for (std::uint32_t digits = kLargest - 2; digits <= kLargest + 2; ++digits) {
            numbers.push_back(decimalText(digits, decimals, false));
        }
    }
    const std::string stamp = "2023-11-19 18:00:00,";
    int accepted = 0;
    for (const std::string& n : numbers) {
        for (const std::string& sign : {std::string(), std::string("-")}) {
            const std::string v = sign + n;
            accepted += expectSameLine(stamp + v + "," + v + "," + v + "," + v + ",1") ? 1 : 0;
            accepted += expectSameLine(stamp + "1,1,1,1," + v) ? 1 : 0;
            accepted += expectSameLine(stamp + "7," + v + ",-" + n + ",7,0") ? 1 : 0;
        }
    }
    EXPECT_GT(accepted, 1000);
}

// A file of fixed-form lines and others: every bar as the general way reads
// its line, and a bad line after a run of fixed ones refused with its number.
TEST(ReaderFastPaths, AFileOfFixedAndOtherLinesReadsAsItsLinesDo) {
    const std::vector<std::string> lines = {
        "2023-11-19 18:00:00,15895.00,15903.75,15888.00,15893.25,571",
        "2023-11-19 18:01:00, 15893.00,15893.50,15877.75,15883.75,549",
        "2023-11-19 18:02:00,+15883.5,15890,15880.125,15885,1e3",
        "\"2023-11-19 18:03:00\",15885,15886,15884,15885,\"12\"",
        "2023-11-19 18:04:00,15885.123456789,15886,15884,15885,0.000000001",
        "2023-11-19 18:05:00,15885.5,15886,15884,15885,3"};
    const std::string path = testing::TempDir() + "fixed_and_other_lines.csv";
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("timestamp,open,high,low,close,volume\n", f);
        for (const std::string& line : lines) {
            std::fputs((line + "\n").c_str(), f);
        }
        std::fclose(f);
    }
    const replay::BarFileContents contents = replay::readBars(path);
    ASSERT_EQ(contents.bars.size(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        replay::Bar expected;
        ASSERT_TRUE(replay::parseBarLineGeneral(lines[i], expected)) << lines[i];
        const replay::Bar read = contents.bars[i];
        EXPECT_EQ(read.start, expected.start) << lines[i];
        EXPECT_EQ(std::bit_cast<std::uint32_t>(read.open),
                  std::bit_cast<std::uint32_t>(expected.open));
        EXPECT_EQ(std::bit_cast<std::uint32_t>(read.volume),
                  std::bit_cast<std::uint32_t>(expected.volume));
    }
    EXPECT_EQ(contents.priceDecimals, 9);

    {
        std::FILE* f = std::fopen(path.c_str(), "ab");
        ASSERT_NE(f, nullptr);
        std::fputs("2023-11-19 18:06:00,15886,15885,15887,15886,4\n", f);
        std::fclose(f);
    }
    try {
        replay::readBars(path);
        ADD_FAILURE() << "a high below its low was read";
    } catch (const replay::BarFileError& e) {
        EXPECT_EQ(std::string(e.what()), path +
                                             ", line 8: the high is below the low: "
                                             "\"2023-11-19 18:06:00,15886,15885,15887,15886,4\"");
    }
    std::remove(path.c_str());
}

}  // namespace
}  // namespace keelmark
