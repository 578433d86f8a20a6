// The live page in a real headless browser (Debian's chromium, driven by
// playwright-core from web/) against a server on a free loopback port: the
// bars fetched as the chart scrolls, a right-clicked anchor draws its line from that bar with its
// marker and goes again with "Remove Nearest", a changed setting moves the OR lines and a refused
// one says why, a replay played to the end draws the values of a full recalculation, and a second
// tab has a chart of its own. Screenshots are kept in artifacts/ under the test's working folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "replay_engine/replay_run.h"
#include "run_outputs/json_output.h"
#include "tests/serve/served_chart.h"
#include "tests/support/module_fixture.h"
#include "tests/support/page_check.h"

namespace keelmark::test {
namespace {

// The values a full recalculation gives on the last `count` bars, by the
// page's series key.
std::map<std::string, Json> lastValues(const replay::RunRecord& record, const std::string& study,
                                       std::size_t count) {
    std::map<std::string, Json> series;
    for (const replay::SeriesRecord& s : record.series) {
        Json values = Json::array();
        for (std::size_t bar = s.values.size() - count; bar < s.values.size(); ++bar) {
            const float v = s.values[bar];
            values.push_back(v != 0.0f && std::isfinite(v) ? Json(replay::floatJson(v))
                                                           : Json(nullptr));
        }
        series[study + ":" + std::to_string(s.slot)] = values;
    }
    return series;
}

TEST(LivePageInBrowser, AnchorSettingsReplayAndTwoTabs) {
    KEELMARK_NEED_BROWSER();
    ASSERT_FALSE(chartLibraryText().empty()) << "no chart library in web/node_modules";
    ServedChart served;
    const std::filesystem::path artifacts = artifactsFolder();
    const std::size_t bars = served.chart().bars.size();
    constexpr int kAnchorBar = 2800;
    const int replayFrom = static_cast<int>(bars) - 10;
    Json report =
        runPageCheck("node '" + webFolder() + "/check_live_page.mjs' 'http://127.0.0.1:" +
                     std::to_string(served.port()) + "/' '" + artifacts.string() + "' " +
                     std::to_string(kAnchorBar) + " " + std::to_string(replayFrom) + " 2>&1");
    ASSERT_TRUE(report.contains("replayed")) << report;
    EXPECT_EQ(report["errors"], Json::array());
    EXPECT_EQ(report["foreignRequests"], Json::array());
    EXPECT_EQ(report["title"], "Keelmark Session Levels + Keelmark Anchored VWAP");
    EXPECT_NE(report["subtitle"].get<std::string>().find("version"), std::string::npos);
    EXPECT_EQ(report["menuItems"][1], (Json{"Anchor VWAP Here", "Remove Nearest Anchored VWAP",
                                            "Remove All Anchored VWAPs"}));

    // The page opened on the last bars and fetched the first ones when
    // scrolled there (on a short file the page may hold them all by the
    // time it is asked, as it fetches the rest of a window after drawing).
    EXPECT_EQ(report["menuInWindow"], true);
    EXPECT_EQ(report["initialWindow"]["to"], bars);
    EXPECT_EQ(report["scrolledWindow"]["loaded"]["from"], 0);
    const int loaded = report["scrolledWindow"]["loaded"]["to"];
    EXPECT_LE(loaded, replay::kMaxWindowBars);
    EXPECT_EQ(report["scrolledWindow"]["candles"], loaded);

    // The anchor's line starts on its bar, its marker stands there.
    EXPECT_EQ(report["anchored"]["series"]["anchored-vwap:0"]["firstValueBar"], kAnchorBar);
    EXPECT_EQ(report["anchored"]["markers"][0]["bar"], kAnchorBar);
    EXPECT_EQ(report["anchorMarker"]["shown"], true) << report["anchorMarker"];
    EXPECT_EQ(report["anchorMarker"]["atBar"], true) << report["anchorMarker"];
    EXPECT_FALSE(report["removed"]["series"].contains("anchored-vwap:0"));
    EXPECT_EQ(report["removed"]["markers"], Json::array());

    // Settings: the refusal is shown, the change moves the OR lines.
    EXPECT_NE(report["refusedStatus"].get<std::string>().find("from 1 to 600"), std::string::npos);
    ASSERT_TRUE(report["orLines"].contains("ORH")) << report["orLines"];
    for (const char* line : {"ORH", "ORL"}) {
        EXPECT_NE(report["orLines"][line]["before"], report["orLines"][line]["after"]) << line;
    }

    // The second tab's anchor is on its chart only.
    EXPECT_EQ(report["secondTab"]["markers"], Json::array({kAnchorBar - 40}));
    EXPECT_EQ(report["firstTabMarkers"], Json::array());

    // The replay: started on the bar asked, stepped, played to the end; the
    // chart then draws what a full recalculation with the same setting gives.
    EXPECT_EQ(report["replayStartBars"], replayFrom);
    EXPECT_EQ(report["steppedBars"], replayFrom + 2);
    EXPECT_EQ(report["replayed"]["bars"], bars);
    replay::RunSettings settings;
    settings.priceFormat = served.chart().priceFormat;
    settings.inputs = {"Opening Range Minutes=30"};
    auto expected = lastValues(
        replay::runStudy(testModule(), replay::barColumnsOf(served.chart().bars), settings),
        "session-levels", 60);
    settings = replay::RunSettings{};
    settings.study = replay::StudyKind::AnchoredVwap;
    settings.priceFormat = served.chart().priceFormat;
    expected.merge(lastValues(
        replay::runStudy(testModule(), replay::barColumnsOf(served.chart().bars), settings),
        "anchored-vwap", 60));
    std::size_t compared = 0;
    for (const auto& [key, values] : report["replayed"]["series"].items()) {
        ASSERT_TRUE(expected.contains(key)) << key;
        EXPECT_EQ(values["last"], expected[key]) << key;
        ++compared;
    }
    EXPECT_GT(compared, 5u);
    for (const char* shot : {"live_page_anchored.png", "live_page_settings.png",
                             "live_page_second_tab.png", "live_page_replayed.png"}) {
        EXPECT_TRUE(std::filesystem::exists(artifacts / shot)) << shot;
    }
}

}  // namespace
}  // namespace keelmark::test
