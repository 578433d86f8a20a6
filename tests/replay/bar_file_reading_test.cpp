// Reading bar files: both layouts, the fitted price format, the refusals
// with file, line and offending text, and lines that cross the reader's
// buffer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "standin_host/bar_file.h"
#include "tests/replay/replay_cli.h"
#include "tests/support/sample_bars.h"

namespace keelmark {
namespace {

using replay::BarFileContents;
using replay::BarFileError;
using test::chartTime;
using test::ScratchFolder;

std::string refusal(const std::string& path) {
    try {
        replay::readBars(path);
    } catch (const BarFileError& e) {
        return e.what();
    }
    return "(read without error)";
}

TEST(BarFileReading, ChartingExportLayoutWithBlanksSlashDatesFractionsAndExtraColumns) {
    ScratchFolder folder;
    const std::string path = folder.write(
        "export.txt",
        "Date, Time, Open, High, Low, Last, Volume, # of Trades, OHLC Avg\r\n"
        "2023/11/20, 09:30:00.000000, 15900.25, 15910.5, 15895, 15905.75, 1200, 310, 15902.9\r\n"
        "2023/11/20, 9:31:00.250000, 15905.75, 15906, 15900.125, 15901, 830, 200, 15903.2\r\n"
        "\r\n"
        "2023-11-21, 09:30:00, 15800, 15801, 15799, 15800.5, 12, 3, 15800\r\n");
    const BarFileContents contents = replay::readBars(path);
    ASSERT_EQ(contents.bars.size(), 3u);
    EXPECT_EQ(contents.bars[0].start, chartTime(2023, 11, 20, 9, 30));
    EXPECT_EQ(contents.bars[1].start, chartTime(2023, 11, 20, 9, 31) + 250'000);
    EXPECT_EQ(contents.bars[2].start, chartTime(2023, 11, 21, 9, 30));
    EXPECT_EQ(contents.bars[0].open, 15900.25f);
    EXPECT_EQ(contents.bars[0].high, 15910.5f);
    EXPECT_EQ(contents.bars[0].low, 15895.0f);
    EXPECT_EQ(contents.bars[0].close, 15905.75f);  // "Last" is the close
    EXPECT_EQ(contents.bars[0].volume, 1200.0f);
    EXPECT_EQ(contents.bars[1].low, 15900.125f);
    EXPECT_EQ(contents.priceDecimals, 3);  // 15900.125
}

TEST(BarFileReading, TimestampLayoutWithOrWithoutHeaderQuotedOrNotColumnsInAnyOrder) {
    ScratchFolder folder;
    const std::string line = "2023-11-19 18:00:00,15895.0,15903.75,15888,15893.25,571\n";
    const BarFileContents withHeader =
        replay::readBars(folder.write("a.csv", "timestamp,open,high,low,close,volume\n" + line));
    const BarFileContents headerless = replay::readBars(folder.write("b.csv", line));
    const BarFileContents reordered = replay::readBars(folder.write(
        "c.csv",
        "\xEF\xBB\xBFVolume,Close,Low,High,Open,DateTime\n571,15893.25,15888,15903.75,15895.0,"
        "2023-11-19 18:00:00\n"));
    const BarFileContents quoted = replay::readBars(folder.write(
        "d.csv",
        "\"Timestamp\",\"Open\",\"High\",\"Low\",\"Close\",\"Volume\"\n"
        "\"2023-11-19 18:00:00\",\"15895.0\",\"15903.75\",\"15888\",\"15893.25\",\"571\"\n"));
    for (const BarFileContents* c : {&withHeader, &headerless, &reordered, &quoted}) {
        ASSERT_EQ(c->bars.size(), 1u);
        EXPECT_EQ(c->bars[0].start, chartTime(2023, 11, 19, 18, 0));
        EXPECT_EQ(c->bars[0].open, 15895.0f);
        EXPECT_EQ(c->bars[0].high, 15903.75f);
        EXPECT_EQ(c->bars[0].low, 15888.0f);
        EXPECT_EQ(c->bars[0].close, 15893.25f);
        EXPECT_EQ(c->bars[0].volume, 571.0f);
        EXPECT_EQ(c->priceDecimals, 2);
    }
}

TEST(BarFileReading, MalformedFilesAreRefusedWithFileLineAndOffendingText) {
    ScratchFolder folder;
    const std::string header = "timestamp,open,high,low,close,volume\n";
    const std::string good = "2023-11-20 09:30:00,1,2,0.5,1.5,10\n";
    struct Case {
        std::string content;
        std::string message;  // after "<path>, "
    };
    const Case cases[] = {
        {header + good + "2023-11-20 09:31:00,1,2x,0.5,1.5,10\n",
         "line 3: the high is not a number: \"2x\""},
        {header + good + "2023-11-20 09:31:00,1,2,0.5\n",
         "line 3: 4 fields where the header has 6: \"2023-11-20 09:31:00,1,2,0.5\""},
        {header + good + "2023-11-31 09:31:00,1,2,0.5,1.5,10\n",
         "line 3: not a date and time: \"2023-11-31 09:31:00\""},
        {header + good + "2023-11-20 09:31:00,1,2,0.5,1.5,-4\n",
         "line 3: the volume is negative: \"-4\""},
        {header + good + "2023-11-20 09:31:00,nan,2,0.5,1.5,4\n",
         "line 3: the open is not a number: \"nan\""},
        {header + good + "2023-11-20 08:29:00,1,2,0.5,1.5,4\n",
         "line 3: the bar starts more than an hour before the bar above it: "
         "\"2023-11-20 08:29:00,1,2,0.5,1.5,4\""},
        {"time,price\n" + good,
         "line 1: not a bar file header (expected timestamp,open,high,low,close,volume or Date, "
         "Time, Open, High, Low, Last, Volume): \"time,price\""},
        {"Date, Time, Open, High, Low, Last, Volume\n2023/11/20, 09:30, 1, 2, 0.5, 1.5, 10\n"
         "2023/11/20, 25:00:00, 1, 2, 0.5, 1.5, 10\n",
         "line 3: not a date and time: \"25:00:00\""},
    };
    for (const Case& c : cases) {
        const std::string path = folder.write("bad.csv", c.content);
        EXPECT_EQ(refusal(path), path + ", " + c.message);
    }
    const std::string empty = folder.write("empty.csv", header + "\n");
    EXPECT_EQ(refusal(empty), "bar file " + empty + " holds no bars");
}

TEST(BarFileReading, TheRepeatedHourOfAFallingBackClockIsKept) {
    ScratchFolder folder;
    const std::string path = folder.write("fallback.csv",
                                          "2023-11-05 01:30:00,1,1,1,1,1\n"
                                          "2023-11-05 01:59:00,1,1,1,1,1\n"
                                          "2023-11-05 01:00:00,1,1,1,1,1\n"
                                          "2023-11-05 01:00:00,1,1,1,1,1\n");
    EXPECT_EQ(replay::readBars(path).bars.size(), 4u);
}

TEST(BarFileReading, LinesCrossingTheReadBufferAreReadWhole) {
    ScratchFolder folder;
    // About 9 MiB: the reader's buffer is refilled twice, mid-line.
    std::string text = "timestamp,open,high,low,close,volume\n";
    const int bars = 150'000;
    const ChartDateTime first = chartTime(2023, 1, 1, 0, 0);
    for (int i = 0; i < bars; ++i) {
        char prices[80];
        std::snprintf(prices, sizeof prices, ",%d.25,%d.75,%d.5,%d.25,%d\n", 10000 + i % 97,
                      11000 + i % 97, 9000 + i % 97, 10000 + i % 89, i);
        text += replay::formatDateTime(first + i * kMicrosPerMinute) + prices;
    }
    const BarFileContents contents = replay::readBars(folder.write("long.csv", text));
    ASSERT_EQ(contents.bars.size(), static_cast<std::size_t>(bars));
    for (int i = 0; i < bars; ++i) {
        const replay::Bar& b = contents.bars[static_cast<std::size_t>(i)];
        ASSERT_EQ(b.start, first + i * kMicrosPerMinute) << i;
        ASSERT_EQ(b.open, static_cast<float>(10000 + i % 97) + 0.25f) << i;
        ASSERT_EQ(b.close, static_cast<float>(10000 + i % 89) + 0.25f) << i;
        ASSERT_EQ(b.volume, static_cast<float>(i)) << i;
    }
}

}  // namespace
}  // namespace keelmark
