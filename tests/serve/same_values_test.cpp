// What the page does gives the values the command line gives: an anchor
// from the right-click menu equals `run --anchor` at that bar, a changed
// setting equals `run --input`, and a replay fed live from a chosen bar
// equals one full recalculation over the same bars.
#include <gtest/gtest.h>

#include <map>

#include "replay_engine/replay_run.h"
#include "run_outputs/json_output.h"
#include "tests/serve/served_chart.h"
#include "tests/support/module_fixture.h"

namespace keelmark::test {
namespace {

using replay::StudyKind;

// Each series of `study` that holds a value, by slot: its values as the
// server sends them.
std::map<int, Json> servedSeries(const Json& window, const std::string& study) {
    std::map<int, Json> series;
    for (const Json& s : window["series"]) {
        if (s["study"] == study) {
            series[s["slot"].get<int>()] = s["values"];
        }
    }
    return series;
}

std::map<int, Json> runSeries(const replay::RunRecord& record) {
    std::map<int, Json> series;
    for (const replay::SeriesRecord& s : record.series) {
        Json values = Json::array();
        bool holds = false;
        for (const float v : s.values) {
            const bool value = v != 0.0f && std::isfinite(v);
            holds = holds || value;
            values.push_back(value ? Json(replay::floatJson(v)) : Json(nullptr));
        }
        if (holds) {
            series[s.slot] = values;
        }
    }
    return series;
}

// The same series with the same values; a difference is reported by its
// slot and first bar rather than by whole columns.
void expectSameSeries(const std::map<int, Json>& served, const std::map<int, Json>& expected) {
    std::vector<int> servedSlots, expectedSlots;
    for (const auto& [slot, values] : served) servedSlots.push_back(slot);
    for (const auto& [slot, values] : expected) expectedSlots.push_back(slot);
    ASSERT_EQ(servedSlots, expectedSlots);
    for (const auto& [slot, values] : expected) {
        const Json& got = served.at(slot);
        ASSERT_EQ(got.size(), values.size()) << "slot " << slot;
        for (std::size_t bar = 0; bar < values.size(); ++bar) {
            if (got[bar] != values[bar]) {
                ADD_FAILURE() << "slot " << slot << " bar " << bar << ": served " << got[bar]
                              << ", expected " << values[bar];
                break;
            }
        }
    }
}

class SameValuesAsTheCommandLine : public ::testing::Test {
protected:
    replay::RunRecord run(StudyKind study, std::size_t bars, std::vector<std::string> inputs,
                          std::vector<ChartDateTime> anchors) {
        replay::RunSettings settings;
        settings.study = study;
        settings.priceFormat = served.chart().priceFormat;
        settings.inputs = std::move(inputs);
        settings.anchors = std::move(anchors);
        const std::vector<replay::Bar>& all = served.chart().bars;
        return replay::runStudy(testModule(),
                                replay::barColumnsOf(std::vector<replay::Bar>(
                                    all.begin(), all.begin() + static_cast<std::ptrdiff_t>(bars))),
                                settings);
    }

    Answer menu(const std::string& item, int bar) {
        return served.post(base + "/menu",
                           Json{{"study", "anchored-vwap"}, {"item", item}, {"bar", bar}});
    }

    ChartDateTime barTime(int bar) const {
        return served.chart().bars[static_cast<std::size_t>(bar)].start;
    }

    ServedChart served;
    std::string session = served.newSession();
    std::string base = "/api/sessions/" + session;
    std::size_t bars = served.chart().bars.size();
};

TEST_F(SameValuesAsTheCommandLine, AnchorsFromTheMenuEqualRunAnchor) {
    ASSERT_EQ(menu("Anchor VWAP Here", 1500).status, 200);
    ASSERT_EQ(menu("Anchor VWAP Here", 2400).status, 200);
    Json window = served.chart(session);
    const auto served2 = servedSeries(window, "anchored-vwap");
    EXPECT_EQ(served2.size(), 2u);
    expectSameSeries(
        served2, runSeries(run(StudyKind::AnchoredVwap, bars, {}, {barTime(1500), barTime(2400)})));
    // The marker of each anchor stands on its bar.
    std::vector<int> markerBars;
    for (const Json& m : window["markers"]) {
        markerBars.push_back(m["bar"]);
    }
    EXPECT_EQ(markerBars, (std::vector<int>{1500, 2400}));

    // "Remove Nearest" near the second takes it away, and the first stays.
    ASSERT_EQ(menu("Remove Nearest Anchored VWAP", 2390).status, 200);
    expectSameSeries(servedSeries(served.chart(session), "anchored-vwap"),
                     runSeries(run(StudyKind::AnchoredVwap, bars, {}, {barTime(1500)})));
}

TEST_F(SameValuesAsTheCommandLine, ChangedSettingsEqualRunInput) {
    const Answer changed = served.post(
        base + "/inputs",
        Json{{"study", "session-levels"}, {"input", "Opening Range Minutes"}, {"value", "30"}});
    ASSERT_EQ(changed.status, 200) << changed.body;
    EXPECT_EQ(changed.body["studies"][0]["inputs"][3]["text"], "30");
    EXPECT_EQ(changed.body["studies"][0]["inputs"][3]["default"], "15");
    ASSERT_EQ(served
                  .post(base + "/inputs",
                        Json{{"study", "session-levels"}, {"input", 0}, {"value", "09:45"}})
                  .status,
              200);
    const auto expected =
        runSeries(run(StudyKind::SessionLevels, bars, {"Opening Range Minutes=30", "0=09:45"}, {}));
    expectSameSeries(servedSeries(served.chart(session), "session-levels"), expected);
    EXPECT_NE(expected, runSeries(run(StudyKind::SessionLevels, bars, {}, {})));
}

TEST_F(SameValuesAsTheCommandLine, AReplayFedLiveEqualsAFullRecalculationOfTheSameBars) {
    // An anchor given before the replay, on a bar the replay feeds.
    ASSERT_EQ(menu("Anchor VWAP Here", 2850).status, 200);
    ASSERT_EQ(served.post(base + "/replay", Json{{"from", 2800}}).status, 200);
    EXPECT_EQ(served.chart(session)["bars"], 2800);
    // Stage by stage through the first bar, then a bar at a time.
    for (int stage = 1; stage <= 4; ++stage) {
        const Answer a = served.post(base + "/replay/advance", Json::object());
        ASSERT_EQ(a.status, 200);
        EXPECT_EQ(a.body["replay"]["stage"], stage % 4);
        EXPECT_EQ(a.body["bars"], 2801);
    }
    for (int bar = 2801; bar < 2900; ++bar) {
        ASSERT_EQ(served.post(base + "/replay/advance", Json{{"wholeBar", true}}).status, 200);
    }
    const Json window = served.chart(session);
    EXPECT_EQ(window["bars"], 2900);
    EXPECT_EQ(window["replay"]["active"], true);
    expectSameSeries(servedSeries(window, "session-levels"),
                     runSeries(run(StudyKind::SessionLevels, 2900, {}, {})));
    expectSameSeries(servedSeries(window, "anchored-vwap"),
                     runSeries(run(StudyKind::AnchoredVwap, 2900, {}, {barTime(2850)})));

    // Showing all bars again ends the replay with the whole chart.
    const Answer all = served.post(base + "/replay", Json{{"from", bars}});
    EXPECT_EQ(all.body["replay"]["active"], false);
    expectSameSeries(servedSeries(served.chart(session), "anchored-vwap"),
                     runSeries(run(StudyKind::AnchoredVwap, bars, {}, {barTime(2850)})));
}

TEST_F(SameValuesAsTheCommandLine, ServeInputStartsEverySessionAsRunInputDoes) {
    replay::ServedChart chart = served.chart();
    chart.inputs = replay::startingInputs(testModule(), chart.priceFormat, chart.studies,
                                          {"Opening Range Minutes=30", "RTH Start Time (chart time zone)=09:45"});
    ASSERT_EQ(chart.inputs.size(), 2u);
    replay::ChartSession session(chart);
    const Json described = Json::parse(session.description());
    EXPECT_EQ(described["studies"][0]["inputs"][3]["text"], "30");
    const auto expected =
        runSeries(run(StudyKind::SessionLevels, bars, {"Opening Range Minutes=30", "0=09:45"}, {}));
    const Json window = Json::parse(session.window(0, static_cast<std::int64_t>(bars)));
    expectSameSeries(servedSeries(window, "session-levels"), expected);
    // A replay restarts the studies with the same settings.
    session.startReplay(2000);
    for (int bar = 2000; bar < 2100; ++bar) {
        session.advance(true);
    }
    expectSameSeries(servedSeries(Json::parse(session.window(0, 2100)), "session-levels"),
                     runSeries(run(StudyKind::SessionLevels, 2100,
                                   {"Opening Range Minutes=30", "0=09:45"}, {})));
}

TEST_F(SameValuesAsTheCommandLine, TwoPagesHaveChartsOfTheirOwn) {
    const std::string other = served.newSession();
    ASSERT_EQ(menu("Anchor VWAP Here", 1000).status, 200);
    EXPECT_EQ(servedSeries(served.chart(other), "anchored-vwap").size(), 0u);
    EXPECT_EQ(servedSeries(served.chart(session), "anchored-vwap").size(), 1u);
}

}  // namespace
}  // namespace keelmark::test
