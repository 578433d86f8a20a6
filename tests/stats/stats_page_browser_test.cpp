// The statistics page opened in a real headless browser (Debian's chromium,
// driven by playwright-core from web/): it leads with the IB ladder table,
// shows every percentage with its interval and sessions as the JSON has
// them, draws the ladders as mirrored bars (up to the right, down to the
// left), the period histogram and the IB range over time, and asks for
// nothing from the network. The screenshot is kept in artifacts/ under the
// test's working folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/replay/replay_cli.h"
#include "tests/support/page_check.h"

namespace keelmark {
namespace {

using Json = nlohmann::json;

#if !defined(_WIN32)

std::string percentText(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", v);
    return text;
}

// A ladder row as the page shows it: step, then percentage, interval and
// sessions up, then down.
std::vector<std::string> ladderRow(const std::string& step, const Json& up, const Json& down) {
    std::vector<std::string> row = {step};
    for (const Json* r : {&up, &down}) {
        row.push_back(percentText((*r)["percent"]));
        row.push_back(percentText((*r)["low"]) + " \u2013 " + percentText((*r)["high"]));
        row.push_back(std::to_string((*r)["sessions"].get<int>()));
    }
    return row;
}
#endif

TEST(StatsPageInBrowser, LeadsWithTheLadderTableAndDrawsEveryChartOffline) {
    KEELMARK_NEED_BROWSER();
#if !defined(_WIN32)
    test::ScratchFolder folder;
    const test::CliResult r =
        test::runReplayCli({"stats", "--bars", test::samplePath("NQ_1min_sample.csv"), "--bars",
                            test::samplePath("NQ_5min_sample.csv"), "--ladder", "0.5,1,2",
                            "--input", "Panel: Average Over Sessions=3", "--html",
                            folder.file("stats.html"), "--json", folder.file("stats.json")});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json json = Json::parse(test::readText(folder.file("stats.json")));
    const std::string screenshot = test::artifactFile("stats_page.png");
    Json report = test::checkPage("check_stats_page.mjs", folder.file("stats.html"), screenshot);
    EXPECT_TRUE(std::filesystem::exists(screenshot));

    EXPECT_EQ(report["errors"], Json::array());
    EXPECT_EQ(report["networkRequests"], Json::array());
    EXPECT_EQ(report["firstTableId"], "ib-ladder");
    EXPECT_EQ(report["answerBeforeCharts"], true);
    EXPECT_EQ(report["answerInFirstScreen"], true);
    EXPECT_NE(report["subtitle"].get<std::string>().find("22 complete RTH sessions"),
              std::string::npos);

    const Json& rates = json["aggregates"]["rates"];
    Json expected = Json::array();
    expected.push_back(ladderRow("break", rates["ib_break_up"], rates["ib_break_down"]));
    for (const std::string k : {"0.5", "1", "2"}) {
        expected.push_back(ladderRow(k + "\u00d7", rates["ib_up_" + k], rates["ib_down_" + k]));
    }
    EXPECT_EQ(report["ibLadder"], expected);
    ASSERT_EQ(report["orLadder"].size(), 4u);
    EXPECT_EQ(report["levels"].size(), 7u);

    ASSERT_EQ(report["splits"].size(), 4u);
    EXPECT_EQ(report["splits"][0]["column"], "ib_close_vs_mid");
    EXPECT_EQ(report["splits"][3]["rows"].size(), json["aggregates"]["splits"]["weekday"].size());

    for (const char* canvas :
         {"ib-ladder-chart", "or-ladder-chart", "period-chart", "range-chart"}) {
        EXPECT_GT(report["drawn"][canvas].get<int>(), 5000) << canvas;
    }
    // Mirrored bars: every down bar with sessions that hold stands left of
    // zero, every up bar right of it.
    for (const char* canvas : {"ib-ladder-chart", "or-ladder-chart"}) {
        const Json& sets = report["ladders"][canvas];
        ASSERT_EQ(sets.size(), 2u);
        EXPECT_EQ(sets[0]["label"], "down");
        const std::string range = std::string(canvas).substr(0, 2);
        const std::vector<std::string> steps = {"break", "0.5", "1", "2"};
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const std::string suffix = i == 0 ? "_break_" : "_";
            const std::string down = range + suffix + (i == 0 ? "down" : "down_" + steps[i]);
            const std::string up = range + suffix + (i == 0 ? "up" : "up_" + steps[i]);
            EXPECT_EQ(sets[0]["sides"][i], rates[down]["holds"].get<int>() > 0 ? -1 : 0) << down;
            EXPECT_EQ(sets[1]["sides"][i], rates[up]["holds"].get<int>() > 0 ? 1 : 0) << up;
        }
    }
    Json periods = Json::array();
    for (const Json& p : json["aggregates"]["firstBreakPeriods"]) {
        periods.push_back(p["period"]);
    }
    EXPECT_EQ(report["periodBars"], periods);
#endif
}

}  // namespace
}  // namespace keelmark
