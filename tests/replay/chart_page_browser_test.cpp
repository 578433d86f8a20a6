// The chart page opened in a real headless browser (Debian's chromium,
// driven by playwright-core from web/): it renders the candles, one line per
// series that holds values and no line across bars without a value (a level
// never bridges the bars between two sessions), the session panel boxed in
// its corner, the anchor markers at their bar and price, the alerts and the
// log lines, and asks for nothing from the network. Screenshots are kept in
// artifacts/ under the test's working folder.
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
using test::CliResult;
using test::runReplayCli;
using test::samplePath;
using test::ScratchFolder;

// Series of the CSV (past the six bar columns) that hold a value somewhere.
std::vector<std::string> seriesWithValues(const std::string& csvPath, bool sessionNumber) {
    const auto rows = test::readCsvRows(csvPath);
    std::vector<std::string> names;
    const std::size_t end = rows[0].size() - (sessionNumber ? 1 : 0);
    for (std::size_t column = 6; column < end; ++column) {
        for (std::size_t row = 1; row < rows.size(); ++row) {
            if (rows[row][column] != "0") {
                names.push_back(rows[0][column]);
                break;
            }
        }
    }
    return names;
}

class ChartPageInBrowser : public ::testing::Test {
protected:
    void SetUp() override { KEELMARK_NEED_BROWSER(); }

    // Writes the page, CSV and JSON of one run and checks the page.
    Json pageReport(std::vector<std::string> args, const std::string& name) {
        args.insert(args.end(),
                    {"--html", folder.file(name + ".html"), "--csv", folder.file(name + ".csv"),
                     "--json", folder.file(name + ".json")});
        const CliResult r = runReplayCli(args);
        EXPECT_EQ(r.status, 0) << r.err;
        json = Json::parse(test::readText(folder.file(name + ".json")));
#if defined(_WIN32)
        return Json::object();
#else
        const std::string screenshot = test::artifactFile("chart_page_" + name + ".png");
        Json report =
            test::checkPage("check_chart_page.mjs", folder.file(name + ".html"), screenshot);
        EXPECT_TRUE(std::filesystem::exists(screenshot));
        return report;
#endif
    }

    void expectCommonPage(Json& report, const std::string& name, bool sessionNumber) {
        EXPECT_EQ(report["errors"], Json::array());
        EXPECT_EQ(report["networkRequests"], Json::array());
        EXPECT_EQ(report["bars"], json["replay"]["bars"]);
        EXPECT_GT(report["candlePixels"].get<int>(), 100);
        const auto lines = seriesWithValues(folder.file(name + ".csv"), sessionNumber);
        EXPECT_EQ(report["lineSeries"], lines.size());
        EXPECT_EQ(report["alertMarkers"], json["alerts"].size());
        EXPECT_EQ(report["alertRows"], json["alerts"].size());
        std::vector<std::string> log;
        for (const auto& line : json["log"]) {
            log.push_back(line["text"]);
        }
        EXPECT_EQ(report["logLines"], log);
        EXPECT_EQ(report["bridgedGaps"], 0);
    }

    ScratchFolder folder;
    Json json;
};

TEST_F(ChartPageInBrowser, SessionLevelsPageShowsLinesLabelsPanelInItsCornerAndAlerts) {
    Json report =
        pageReport({"run", "--study", "session-levels", "--bars", samplePath("NQ_5min_sample.csv"),
                    "--mode", "live", "--input", "Panel Position=Bottom right", "--input",
                    "Alert Sound Number When Price Touches a Level (0 = off)=4", "--input",
                    "Panel Font Size=11"},
                   "session_levels");
    expectCommonPage(report, "session_levels", true);
    EXPECT_GT(json["alerts"].size(), 0u);

    ASSERT_EQ(report["panels"].size(), 1u);
    Json& panel = report["panels"][0];
    EXPECT_EQ(panel["text"], json["drawings"][0]["text"]);
    EXPECT_EQ(panel["corner"], "bottom-right");
    EXPECT_EQ(panel["visible"], true);
    EXPECT_EQ(panel["color"], "rgb(230, 230, 230)");
    EXPECT_EQ(panel["background"], "rgb(32, 32, 36)");
    EXPECT_NE(panel["fontFamily"].get<std::string>().find("monospace"), std::string::npos);

    // Right-edge labels: the name of each series that has a value on the
    // last bar (the sample ends outside RTH: the prior day's levels).
    std::vector<std::string> titles;
    for (const auto& title : report["seriesTitles"]) {
        if (!title.get<std::string>().empty()) {
            titles.push_back(title);
        }
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"PDH", "PDL", "PDC"}));
    EXPECT_EQ(report["markers"], Json::array());
}

TEST_F(ChartPageInBrowser, AnchoredVwapPageShowsEachMarkerAtItsBarAndPrice) {
    Json report =
        pageReport({"run", "--study", "anchored-vwap", "--bars", samplePath("NQ_5min_sample.csv"),
                    "--anchor", "2023-11-24 09:30", "--anchor", "2023-12-01 14:00", "--input",
                    "Show Standard Deviation Bands=yes"},
                   "anchored_vwap");
    expectCommonPage(report, "anchored_vwap", false);
    EXPECT_EQ(report["lineSeries"], 10);  // two anchors: a VWAP and four bands each
    EXPECT_EQ(report["panels"], Json::array());
    ASSERT_EQ(report["markers"].size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        Json& marker = report["markers"][i];
        EXPECT_EQ(marker["text"], json["drawings"][i]["text"]);
        EXPECT_EQ(marker["shown"], true) << marker;
        EXPECT_EQ(marker["atBar"], true) << marker;
        EXPECT_EQ(marker["atPrice"], true) << marker;
    }
    EXPECT_EQ(report["markers"][0]["text"], "^ AVWAP 1  11-24 09:30");
    EXPECT_EQ(report["markers"][1]["text"], "^ AVWAP 2  12-01 14:00");
}

}  // namespace
}  // namespace keelmark
