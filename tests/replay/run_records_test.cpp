// What the replay makes of a run record: the verify comparison and report,
// and the data the chart page draws.
#include <gtest/gtest.h>

#include <limits>
#include <sstream>

#include "run_outputs/html_output.h"
#include "replay_engine/run_comparison.h"
#include "tests/support/sample_bars.h"

namespace keelmark {
namespace {

using replay::RunRecord;
using replay::SeriesRecord;

RunRecord threeBarRecord() {
    RunRecord r;
    r.studyName = "Keelmark Session Levels";
    for (int minute = 0; minute < 3; ++minute) {
        r.bars.push_back(
            replay::Bar{test::chartTime(2023, 11, 20, 9, 30 + minute), 10, 11, 9, 10, 5});
    }
    SeriesRecord orh;
    orh.name = "ORH";
    orh.values = {0.0f, 15.5f, 15.5f};
    SeriesRecord orl;
    orl.name = "ORL";
    orl.values = {0.0f, 0.0f, 0.0f};
    r.series = {orh, orl};
    r.sessionNumbers = {0, 0, 1};
    return r;
}

TEST(VerifyComparison, EveryDifferingBitAndEveryRepaintedBarIsAMismatch) {
    const RunRecord full = threeBarRecord();
    EXPECT_EQ(replay::compareRuns(full, full).mismatchCount, 0);

    RunRecord live = threeBarRecord();
    live.mode = replay::FeedMode::Live;
    live.warmupBars = 1;
    live.series[0].values[2] = 15.75f;
    live.series[1].values[0] = -0.0f;  // a zero of the other sign is a different value
    live.sessionNumbers[1] = 1;
    live.repaintedBars = {1};
    const replay::Comparison c = replay::compareRuns(live, full);
    EXPECT_EQ(c.mismatchCount, 4);
    EXPECT_EQ(c.valuesCompared, 9);
    EXPECT_EQ(
        replay::comparisonReport(live, full, c),
        "verify: Keelmark Session Levels, 3 bars\n"
        "  live replay: 1 bar of warm-up, then 2 bars fed live; 0 full recalculations, 0 "
        "incremental updates, 0 menu commands\n"
        "  full recalculation: 0 full recalculations, 0 incremental updates, 0 menu commands\n"
        "  compared 9 values on 3 bars\n"
        "  mismatches: 4\n"
        "    bar 1 (2023-11-20 09:31:00): values changed after the bar was committed\n"
        "    bar 0 (2023-11-20 09:30:00): ORL: live 0, full 0\n"
        "    bar 1 (2023-11-20 09:31:00): SessionNumber: live 1, full 0\n"
        "    bar 2 (2023-11-20 09:32:00): ORH: live 15.75, full 15.5\n"
        "verify: FAILED\n");
}

TEST(VerifyComparison, OnlyTheFirstFewMismatchesAreDetailed) {
    RunRecord full = threeBarRecord();
    RunRecord live = threeBarRecord();
    for (int i = 0; i < 40; ++i) {
        full.bars.push_back(full.bars.back());
        live.bars.push_back(live.bars.back());
    }
    live.series[0].values.assign(live.bars.size(), 1.0f);
    const replay::Comparison c = replay::compareRuns(live, full);
    EXPECT_EQ(c.mismatchCount, 43);
    EXPECT_EQ(c.firstMismatches.size(), replay::kMismatchesKept);
    EXPECT_NE(replay::comparisonReport(live, full, c).find("    ... and 33 more\nverify: FAILED\n"),
              std::string::npos);
}

TEST(ChartPageData, LinesBreakWhereASeriesIsZeroAndEmptySeriesAreLeftOut) {
    RunRecord r = threeBarRecord();
    r.bars.times[2] = r.bars.times[1];  // a clock time repeated as daylight saving ends
    r.series[0].colour = 0x008CFF;
    r.series[0].drawStyle = 0x20003;
    r.series[0].lineWidth = 2;
    r.series[0].labelFlags = 0x410D;
    r.series[0].values[1] = std::numeric_limits<float>::quiet_NaN();
    replay::PlacedDrawing panel;
    panel.relativePlacement = 1;
    panel.dateTime = fromDays(149);
    panel.price = 3.0f;
    panel.textAlignment = 10;
    panel.text = "SESSION LEVELS\nPD   needs one completed RTH session on the chart";
    replay::PlacedDrawing marker;
    marker.barIndex = 2;
    marker.price = 9.0f;
    marker.textAlignment = 1;
    marker.textColour = 0xFFC800;
    marker.text = "^ AVWAP 1  11-20 09:32";
    r.drawings = {panel, marker};

    const auto data = replay::chartPageData(r, "bars.csv");
    const std::int64_t first = (45'250 - 25'569) * 86'400LL + 9 * 3600 + 30 * 60;
    EXPECT_EQ(data["times"], (nlohmann::ordered_json{first, first + 60, first + 61}));
    ASSERT_EQ(data["series"].size(), 1u);
    EXPECT_EQ(data["series"][0]["name"], "ORH");
    EXPECT_EQ(data["series"][0]["colour"], "#FF8C00");
    EXPECT_EQ(data["series"][0]["kind"], 3);
    EXPECT_EQ(data["series"][0]["pattern"], 2);
    EXPECT_EQ(data["series"][0]["label"], true);
    EXPECT_EQ(data["series"][0]["values"], (nlohmann::ordered_json{nullptr, nullptr, 15.5}));
    ASSERT_EQ(data["panels"].size(), 1u);
    EXPECT_EQ(data["panels"][0]["right"], true);
    EXPECT_EQ(data["panels"][0]["bottom"], true);
    EXPECT_EQ(data["panels"][0]["alignRight"], true);
    ASSERT_EQ(data["markers"].size(), 1u);
    EXPECT_EQ(data["markers"][0]["bar"], 2);
    EXPECT_EQ(data["markers"][0]["colour"], "#00C8FF");
    EXPECT_EQ(data["markers"][0]["centre"], true);
}

// The page data as the page carries it: compact, ASCII only.
std::string pageJson(const nlohmann::ordered_json& data) {
    return data.dump(-1, ' ', true, nlohmann::ordered_json::error_handler_t::replace);
}

// A page of part of a long chart: the last bars, bar numbers counted from
// the first bar shown, what lies before the window left out or unplaced,
// and a subtitle that says so. The page carries the same data, written as
// it is made, as chartPageData gives.
TEST(ChartPageData, APageOfTheLastBarsCountsBarsFromItsFirstBar) {
    RunRecord r = threeBarRecord();
    replay::PlacedDrawing early, late;
    early.barIndex = 0;
    early.text = "^ early";
    late.barIndex = 2;
    late.text = "^ late";
    r.drawings = {early, late};
    r.alerts = {replay::RaisedAlert{1, 0, "before the window"},
                replay::RaisedAlert{2, 2, "on the last bar"}};

    const auto data = replay::chartPageData(r, "bars.csv", 2);
    const std::int64_t first = (45'250 - 25'569) * 86'400LL + 9 * 3600 + 30 * 60;
    EXPECT_EQ(data["times"], (nlohmann::ordered_json{first + 60, first + 120}));
    EXPECT_EQ(data["close"].size(), 2u);
    EXPECT_EQ(data["series"][0]["values"], (nlohmann::ordered_json{15.5, 15.5}));
    ASSERT_EQ(data["markers"].size(), 1u);
    EXPECT_EQ(data["markers"][0]["bar"], 1);
    ASSERT_EQ(data["alerts"].size(), 2u);
    EXPECT_EQ(data["alerts"][0]["bar"], -1);
    EXPECT_EQ(data["alerts"][0]["time"], "2023-11-20 09:30:00");
    EXPECT_EQ(data["alerts"][1]["bar"], 1);
    const std::string subtitle = data["subtitle"];
    EXPECT_NE(subtitle.find("3 bars from 2023-11-20 09:30:00 to 2023-11-20 09:32:00, showing "
                            "the last 2 from 2023-11-20 09:31:00"),
              std::string::npos)
        << subtitle;

    // Every bar, asked for as 0 or as more bars than the chart has.
    EXPECT_EQ(replay::chartPageData(r, "bars.csv", 0), replay::chartPageData(r, "bars.csv", 3));
    EXPECT_EQ(replay::chartPageData(r, "bars.csv", 0)["times"].size(), 3u);
    EXPECT_EQ(std::string(replay::chartPageData(r, "bars.csv", 0)["subtitle"]).find("showing"),
              std::string::npos);

    for (const std::size_t bars : {std::size_t{0}, std::size_t{2}}) {
        r.studyName = "Levels </script> & <b>";  // made safe inside the page
        std::ostringstream page;
        replay::writeHtml(r, "bars.csv", "", page, bars);
        std::string expected = pageJson(replay::chartPageData(r, "bars.csv", bars));
        for (std::size_t at = expected.find('<'); at != std::string::npos;
             at = expected.find('<', at)) {
            expected.replace(at, 1, "\\u003c");
        }
        EXPECT_NE(page.str().find(expected), std::string::npos) << bars;
    }
}

// Line values go out in chunks; a long chart's page holds each value once,
// in order.
TEST(ChartPageData, LongChartsAreWrittenInOrderAcrossChunks) {
    RunRecord r;
    r.studyName = "Keelmark Anchored VWAP";
    SeriesRecord line;
    line.name = "VWAP";
    for (int i = 0; i < 10'000; ++i) {
        r.bars.push_back(replay::Bar{test::chartTime(2023, 11, 20, 0, 0) + i * 60'000'000LL, 1, 2,
                                     0.5f, 1.5f, 3});
        line.values.push_back(static_cast<float>(i) + 0.25f);
    }
    r.series = {line};
    std::ostringstream page;
    replay::writeHtml(r, "bars.csv", "", page, 0);
    EXPECT_NE(page.str().find(pageJson(replay::chartPageData(r, "bars.csv", 0))),
              std::string::npos);
}

}  // namespace
}  // namespace keelmark
