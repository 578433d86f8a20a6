// The bar file reader's two halves at once against one thread, through the
// bar file fuzzer's check (which reads every file both ways, refusing and
// skipping malformed rows): the same bars, bit for bit, the same price
// decimals, the same rows left out with the same line numbers, and the same
// refusal, wherever the defects stand relative to the line where the halves
// meet.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fuzz/harness/bar_file_reading.h"
#include "standin_host/bar_file.h"

namespace keelmark {
namespace {

using replay::BadRows;
using replay::BarFileContents;

// 2023-11-01 plus `day` days, up to the end of January.
std::string dateOf(int day) {
    const int lengths[] = {30, 31, 31};
    const char* const months[] = {"2023-11", "2023-12", "2024-01"};
    int month = 0;
    while (day >= lengths[month]) {
        day -= lengths[month++];
    }
    char text[32];
    std::snprintf(text, sizeof text, "%s-%02d", months[month], day + 1);
    return text;
}

// Bar `i` of a chart of one-minute bars from 2023-11-01 00:00; every row
// of the same length, so that an edit that keeps its length leaves the
// halves' meeting line where it was.
std::string row(int i, int minutesBack = 0) {
    const int minute = i - minutesBack;
    const int price = 15000 + (i * 37) % 900;
    char text[160];
    std::snprintf(text, sizeof text, "%s %02d:%02d:00,%d.25,%d.75,%d.00,%d.50,%04d",
                  dateOf(minute / 1440).c_str(), minute / 60 % 24, minute % 60, price, price + 2,
                  price - 1, price + 1, 100 + i % 9000);
    return text;
}

std::vector<std::string> rows(int count) {
    std::vector<std::string> all;
    for (int i = 0; i < count; ++i) {
        all.push_back(row(i));
    }
    return all;
}

std::string fileText(const std::vector<std::string>& lines, const std::string& header) {
    std::string text = header;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

// The first row of the second half when the rows below the header are one
// stretch split at the first line break from its middle on.
std::size_t firstRowOfSecondHalf(const std::vector<std::string>& lines) {
    std::size_t size = 0;
    for (const std::string& line : lines) {
        size += line.size() + 1;
    }
    std::size_t end = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        end += lines[i].size() + 1;
        if (end - 1 >= size / 2) {
            return i + 1;
        }
    }
    return lines.size();
}

// Both ways of reading the halves, one after the other and at once, and
// both ways with malformed rows (the check refuses them in a text of even
// length and skips them in one of odd length: a blank line more changes it).
void expectSameReading(const std::string& text, const std::string& what) {
    for (const std::string& bytes : {text, text + "\n"}) {
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        EXPECT_EQ(fuzz::readBarFileBytes(data, bytes.size()), "") << what;
        EXPECT_EQ(fuzz::readBarFileBytes(data, bytes.size(), replay::Halves::AtOnce), "")
            << what << ", the halves at once";
    }
}

// The file read as the replay tool reads it.
replay::BarFileContents readFile(const std::string& name, const std::string& text,
                                 BadRows badRows) {
    const std::string path = testing::TempDir() + name;
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    replay::BarFileContents contents;
    try {
        contents = replay::readBars(path, badRows);
    } catch (const replay::BarFileError& e) {
        ADD_FAILURE() << e.what();
    }
    std::remove(path.c_str());
    return contents;
}

const char kHeader[] = "timestamp,open,high,low,close,volume\n";

// More digits after the open's point than any other price has.
std::string finerOpen(std::string line, const char* digits) {
    const std::size_t at = line.find(".25,");
    if (at != std::string::npos) {
        line.insert(at + 3, digits);
    }
    return line;
}

// A letter in the volume: the same length, not a number.
std::string malformed(std::string line) {
    line.back() = 'x';
    return line;
}

TEST(SplitReading, DefectsAtTheMeetingLineReadAsOneThreadReadsThem) {
    const std::vector<std::string> clean = rows(3000);
    const std::size_t meet = firstRowOfSecondHalf(clean);
    ASSERT_GT(meet, 1000u);
    ASSERT_LT(meet, 2000u);

    struct Case {
        const char* name;
        std::vector<std::pair<std::size_t, std::string>> edits;  // row, its new text
    };
    const Case cases[] = {
        {"clean", {}},
        {"the meeting row steps back two hours", {{meet, row(meet, 120)}}},
        {"the row before the meeting row steps back", {{meet - 1, row(meet - 1, 120)}}},
        {"the row after the meeting row steps back", {{meet + 1, row(meet + 1, 120)}}},
        {"a malformed row in each half",
         {{meet - 7, malformed(clean[meet - 7])}, {meet + 7, malformed(clean[meet + 7])}}},
        {"a malformed row in the second half alone", {{meet + 3, malformed(clean[meet + 3])}}},
        {"the meeting row malformed, the next stepping back",
         {{meet, malformed(clean[meet])}, {meet + 1, row(meet + 1, 120)}}},
        {"more decimals in the second half only", {{meet + 5, finerOpen(clean[meet + 5], "5")}}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines = clean;
        for (const auto& [at, text] : c.edits) {
            lines[at] = text;
        }
        expectSameReading(fileText(lines, kHeader), c.name);
    }

    // Every row of the first half malformed: the second half's bars have no
    // bar above them.
    std::vector<std::string> lines = clean;
    for (std::size_t i = 0; i < meet; ++i) {
        lines[i] = malformed(lines[i]);
    }
    expectSameReading(fileText(lines, kHeader), "a first half of malformed rows");
}

TEST(SplitReading, FilesOfEveryShapeReadAsOneThreadReadsThem) {
    const std::vector<std::string> clean = rows(1500);
    std::mt19937 random(20231120);
    for (int round = 0; round < 40; ++round) {
        std::vector<std::string> lines = clean;
        const std::size_t meet = firstRowOfSecondHalf(lines);
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            // Half the edits near the meeting line, the others anywhere.
            const std::size_t at =
                random() % 2 == 0 ? meet - 4 + random() % 9 : random() % lines.size();
            switch (random() % 5) {
                case 0:
                    lines[at] = row(static_cast<int>(at), 61 + static_cast<int>(random() % 200));
                    break;
                case 1:
                    lines[at] = malformed(lines[at]);
                    break;
                case 2:
                    lines[at] = "";
                    break;
                case 3:
                    lines[at] = finerOpen(lines[at], random() % 2 ? "5" : "0625");
                    break;
                default:
                    lines[at] = " " + lines[at] + "\r";
                    break;
            }
        }
        const bool headerless = random() % 4 == 0;
        const std::string header =
            headerless ? "" : (random() % 2 ? "\xEF\xBB\xBF" : "") + std::string(kHeader);
        std::string text = fileText(lines, header);
        if (random() % 3 == 0) {
            text.pop_back();  // no line break after the last row
        }
        expectSameReading(text, "round " + std::to_string(round));
    }
}

// A file longer than the reader's 4 MiB buffer is read a stretch at a time,
// each stretch split on its own, and a refusal in a later stretch names its
// line in the whole file.
TEST(SplitReading, ALongFileReadsAsOneThreadReadsIt) {
    std::vector<std::string> lines = rows(90000);
    lines[80000] = malformed(lines[80000]);
    const std::string text = fileText(lines, kHeader);
    ASSERT_GT(text.size(), 5u << 20);
    expectSameReading(text, "a long file with a malformed row");
    const replay::BarFileContents read = readFile("long.csv", text, BadRows::Skip);
    EXPECT_EQ(read.bars.size(), lines.size() - 1);
    ASSERT_EQ(read.skippedRows.size(), 1u);
    EXPECT_EQ(read.skippedRows[0].lineNumber, 80002);
}

}  // namespace
}  // namespace keelmark
