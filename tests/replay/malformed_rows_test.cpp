// Rows that are not bars: field counts against the header, decimal commas,
// prices that contradict each other, dates the chart cannot carry, control
// bytes in the quoted text, --bad-rows skip, and a sparse file that holds a
// single bar.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "standin_host/bar_file.h"
#include "tests/replay/replay_cli.h"

namespace keelmark {
namespace {

using test::CliResult;
using test::runReplayCli;
using test::ScratchFolder;

std::string refusal(const std::string& path) {
    try {
        replay::readBars(path);
    } catch (const replay::BarFileError& e) {
        return e.what();
    }
    return "(read without error)";
}

const std::string kHeader = "timestamp,open,high,low,close,volume\n";
const std::string kGood = "2023-11-20 15:50:00,16080,16090,16070,16085,100\n";

TEST(MalformedRows, EveryRowHasTheFieldsOfTheHeaderOrOfTheHeaderlessLayout) {
    ScratchFolder folder;
    struct Case {
        std::string content;
        std::string message;
    };
    const Case cases[] = {
        // Decimal commas: every price splits in two.
        {kGood + "2023-11-20 15:55:00,16083,5,16090,25,16080,75,16085,5,6123\n",
         "line 2: 10 fields where a file without a header has 6 "
         "(timestamp,open,high,low,close,volume); decimal commas?: "
         "\"2023-11-20 15:55:00,16083,5,16090,25,16080,75,16085,5,6123\""},
        {"2023-11-20 15:55:00,16083,5,16090,25,16080,75,16085,5,6123\n",
         "line 1: 10 fields where a file without a header has 6 "
         "(timestamp,open,high,low,close,volume); decimal commas?: "
         "\"2023-11-20 15:55:00,16083,5,16090,25,16080,75,16085,5,6123\""},
        {kGood + "2023-11-20 15:55:00,16080,16090,16070,16085,100,7\n",
         "line 2: 7 fields where a file without a header has 6 "
         "(timestamp,open,high,low,close,volume); decimal commas?: "
         "\"2023-11-20 15:55:00,16080,16090,16070,16085,100,7\""},
        {kHeader + kGood + "2023-11-20 15:55:00,16080,16090,16070,16085,100,\n",
         "line 3: 7 fields where the header has 6; decimal commas?: "
         "\"2023-11-20 15:55:00,16080,16090,16070,16085,100,\""},
        {"Date,Time,Open,High,Low,Last,Volume,Trades\n"
         "2023/11/20,15:50,16080,16090,16070,16085,100,3\n"
         "2023/11/20,15:55,16080,16090,16070,16085,100\n",
         "line 3: 7 fields where the header has 8: "
         "\"2023/11/20,15:55,16080,16090,16070,16085,100\""},
    };
    for (const Case& c : cases) {
        const std::string path = folder.write("bad.csv", c.content);
        EXPECT_EQ(refusal(path), path + ", " + c.message);
    }
}

TEST(MalformedRows, PricesThatContradictEachOtherAndDatesBeforeTheChartEpochAreRefused) {
    ScratchFolder folder;
    struct Case {
        std::string row;
        std::string message;
    };
    const Case cases[] = {
        {"2023-11-20 15:55:00,16080,16070,16090,16080,100", "the high is below the low"},
        {"2023-11-20 15:55:00,16095,16090,16070,16085,100",
         "the open is outside the bar's low to high"},
        {"2023-11-20 15:55:00,16080,16090,16070,16069.75,100",
         "the close is outside the bar's low to high"},
        {"2023-11-20 15:55:00,16060,16090,16070,16085,100",
         "the open is outside the bar's low to high"},
    };
    for (const Case& c : cases) {
        const std::string path = folder.write("bad.csv", kHeader + kGood + c.row + "\n");
        EXPECT_EQ(refusal(path), path + ", line 3: " + c.message + ": \"" + c.row + "\"");
    }
    const std::string early =
        folder.write("early.csv", kHeader + "1899-12-29 23:59:00,1,2,0.5,1.5,10\n");
    EXPECT_EQ(refusal(early), early +
                                  ", line 2: the date is before 1899-12-30, where the chart's "
                                  "date-times begin: \"1899-12-29 23:59:00\"");

    // Legal: negative and zero prices (spreads trade there), the first day
    // the chart can carry, a bar with every price equal.
    const std::string legal = folder.write("legal.csv", kHeader +
                                                            "1899-12-30 00:00:00,0,0,0,0,0\n"
                                                            "1899-12-30 00:01:00,-37.63,0,-40.32,"
                                                            "-1.5,10\n"
                                                            "1899-12-30 00:02:00,-2,-1,-3,-2,0\n");
    const replay::BarFileContents contents = replay::readBars(legal);
    ASSERT_EQ(contents.bars.size(), 3u);
    EXPECT_EQ(contents.bars[0].start, 0);
    EXPECT_EQ(contents.bars[1].low, -40.32f);
}

TEST(MalformedRows, ControlBytesAreQuotedEscaped) {
    ScratchFolder folder;
    const std::string path =
        folder.write("binary.csv", std::string("\x7F"
                                               "ELF\x02\x01\x01\0\0,x\x1B[2J\n",
                                               15));
    EXPECT_EQ(refusal(path), path +
                                 ", line 1: not a bar file header (expected timestamp,open,high,"
                                 "low,close,volume or Date, Time, Open, High, Low, Last, Volume): "
                                 "\"\\x7FELF\\x02\\x01\\x01\\x00\\x00,x\\x1B[2J\"");
    EXPECT_EQ(replay::quotedText("a\tb\r\n"), "\"a\\x09b\\x0D\\x0A\"");
    EXPECT_EQ(replay::quotedText(std::string(200, 'x')), "\"" + std::string(160, 'x') + "...\"");
}

TEST(MalformedRows, SkipLeavesBadRowsOutAndNamesTheFirstFewInTheSummaryAndTheJson) {
    ScratchFolder folder;
    std::string text = kHeader;
    int minute = 0;
    auto row = [&minute](const std::string& prices) {
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "2023-11-20 %02d:%02d:00", 9 + minute / 60, minute % 60);
        ++minute;
        return std::string(stamp) + "," + prices + "\n";
    };
    for (int i = 0; i < 20; ++i) {
        text += row(i % 3 == 1 ? "16080,16070,16090,16080,100" : "16080,16090,16070,16085,100");
    }
    const std::string bars = folder.write("bars.csv", text);

    const CliResult refused = runReplayCli({"run", "--study", "session-levels", "--bars", bars});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err, "keelmark-replay: " + bars +
                               ", line 3: the high is below the low: "
                               "\"2023-11-20 09:01:00,16080,16070,16090,16080,100\"\n");

    const CliResult skipped =
        runReplayCli({"run", "--study", "session-levels", "--bars", bars, "--bad-rows", "skip",
                      "--json", folder.file("run.json")});
    ASSERT_EQ(skipped.status, 0) << skipped.err;
    EXPECT_NE(skipped.out.find("  bars:   13 from bars.csv"), std::string::npos) << skipped.out;
    EXPECT_NE(skipped.out.find("  skipped: 7 malformed rows of bars.csv left out; the first:\n"
                               "    line 3: the high is below the low: "
                               "\"2023-11-20 09:01:00,16080,16070,16090,16080,100\"\n"
                               "    line 6: the high is below the low: "),
              std::string::npos)
        << skipped.out;
    const CliResult verified =
        runReplayCli({"verify", "--study", "session-levels", "--bars", bars, "--bad-rows", "skip"});
    EXPECT_EQ(verified.status, 0) << verified.err;
    EXPECT_NE(verified.out.find("verify: PASSED\n  skipped: 7 malformed rows of bars.csv left "
                                "out; the first:\n    line 3: "),
              std::string::npos)
        << verified.out;
    const auto json = nlohmann::json::parse(test::readText(folder.file("run.json")));
    const auto& rows = json["replay"]["skippedRows"];
    EXPECT_EQ(rows["count"], 7);
    ASSERT_EQ(rows["first"].size(), 5u);
    EXPECT_EQ(rows["first"][0]["line"], 3);
    EXPECT_EQ(rows["first"][4]["line"], 15);
    EXPECT_EQ(rows["first"][4]["reason"], "the high is below the low");

    // Nothing but bad rows: no bars, and the reason says why.
    const std::string allBad =
        folder.write("all-bad.csv", kHeader + "2023-11-20 09:00:00,16080,16070,16090,16080,100\n");
    const CliResult none =
        runReplayCli({"run", "--study", "session-levels", "--bars", allBad, "--bad-rows", "skip"});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, "keelmark-replay: bar file " + allBad +
                            " holds no bars (1 malformed rows left out)\n");
    EXPECT_EQ(
        runReplayCli({"run", "--study", "session-levels", "--bars", bars, "--bad-rows", "some"})
            .status,
        2);
}

#ifndef _WIN32
// The reader reserves room for the bars the file seems to hold; a sparse
// file of 8 GiB holds one bar and a hole, which makes no room for bars, and
// is refused for its line 2.
TEST(MalformedRows, ASparseFileHoldingOneBarIsReadWithoutReservingItsSize) {
    ScratchFolder folder;
    std::string text;
    for (int i = 0; i < 20'000; ++i) {
        text += kGood;
    }
    const std::string dense = folder.write("dense.csv", text);
    const std::size_t line = kGood.size() - 1;
    EXPECT_GE(replay::barsToReserve(dense, line), 20'000u);
    EXPECT_LE(replay::barsToReserve(dense, line), 25'000u);

    const std::string path = folder.write("sparse.csv", kGood);
    std::error_code error;
    std::filesystem::resize_file(path, std::uintmax_t{8} << 30, error);
    if (error) {
        GTEST_SKIP() << "no sparse file here: " << error.message();
    }
    EXPECT_LE(replay::barsToReserve(path, line), 1'000u);
    EXPECT_EQ(refusal(path), path + ", line 2: line longer than 16 MiB");
}
#endif

}  // namespace
}  // namespace keelmark
