// No repaint: a chart played bar by bar as a live feed (each bar opening,
// forming and closing over several calls), or delivered in uneven chunks,
// ends with every bar's 25 levels and session number identical, bit for
// bit, to one full recalculation over the same bars.
#include <cstdio>

#include "session_levels_fixture.h"
#include "tests/support/bit_compare.h"
#include "tests/support/live_feed.h"

namespace keelmark::test {
namespace {

struct Feed {
    const char* file;
    std::int32_t sessionsToShow;
    std::int32_t alertNumber;
    std::int32_t priorDayFrom;
};

void configure(replay::StudyInstance& s, const Feed& f) {
    s.setIntInput(SessionsToShow, f.sessionsToShow);
    s.setIntInput(AlertNumber, f.alertNumber);
    s.setIntInput(PriorDayFrom, f.priorDayFrom);
    s.setIntInput(ShowOrExt, 1);
}

::testing::AssertionResult sameAsFullRecalculation(replay::StudyInstance& live,
                                                   const std::vector<replay::Bar>& bars,
                                                   const Feed& f) {
    replay::StudyInstance full(testModule().sessionLevels(), 8, 3);
    full.defaultsPass();
    configure(full, f);
    full.setBars(bars);
    full.fullRecalculation();
    const auto n = static_cast<std::int32_t>(bars.size());
    ::testing::AssertionResult result = sameOutputBits(full, live, n);
    if (result) {
        result =
            sameBits("session number", full.extraValues(0, 0), live.extraValues(0, 0), bars.size());
    }
    // The range lists behind the panel's averages are committed state too.
    const std::string fullPanel = full.drawings().at(8 + kPanelOffset).text;
    const std::string livePanel = live.drawings().at(7 + kPanelOffset).text;
    if (result && fullPanel != livePanel) {
        result = ::testing::AssertionFailure() << "panel differs:\n"
                                               << fullPanel << "\n--- live:\n"
                                               << livePanel;
    }
    full.finalCall();
    return result;
}

// The sample up to Monday 2023-12-04 11:00, so the chart ends inside RTH
// with the OR and IB complete and the panel shows every average.
std::vector<replay::Bar> barsUntilMondayMorning(const char* file) {
    std::vector<replay::Bar> bars = loadSampleBars(file);
    const ChartDateTime end = chartTime(2023, 12, 4, 11, 0);
    std::erase_if(bars, [end](const replay::Bar& b) { return b.start > end; });
    return bars;
}

class LiveFeed : public SessionLevelsTest, public ::testing::WithParamInterface<Feed> {};

TEST_P(LiveFeed, CommittedBarsEqualOneFullRecalculation) {
    const std::vector<replay::Bar> bars = barsUntilMondayMorning(GetParam().file);
    configure(study, GetParam());
    feedLive(study, bars, 50);
    EXPECT_TRUE(sameAsFullRecalculation(study, bars, GetParam()));
}

INSTANTIATE_TEST_SUITE_P(
    Samples, LiveFeed,
    ::testing::Values(Feed{"NQ_1min_sample.csv", 0, 0, 0}, Feed{"NQ_1min_sample.csv", 5, 1, 1},
                      Feed{"NQ_5min_sample.csv", 0, 0, 1}, Feed{"NQ_5min_sample.csv", 2, 3, 0},
                      Feed{"NQ_30min_sample.csv", 0, 0, 0}, Feed{"NQ_30min_sample.csv", 1, 1, 1},
                      Feed{"NQ_1hour_sample.csv", 0, 0, 1}, Feed{"NQ_1hour_sample.csv", 3, 1, 0}));

using Chunks = SessionLevelsTest;

TEST_F(Chunks, UnevenDeliveriesEqualOneFullRecalculation) {
    const std::vector<replay::Bar> bars = barsUntilMondayMorning("NQ_5min_sample.csv");
    const Feed f{"", 3, 1, 0};
    configure(study, f);
    constexpr std::size_t kSteps[] = {1, 2, 3, 4, 5, 7, 13, 100};
    study.setBars(std::vector<replay::Bar>(bars.begin(), bars.begin() + 10));
    study.fullRecalculation();
    for (std::size_t next = 10, k = 0; next < bars.size(); ++k) {
        const std::size_t take = std::min(kSteps[k % 8], bars.size() - next);
        const auto formerLast = static_cast<std::int32_t>(study.bars().size()) - 1;
        for (std::size_t j = 0; j < take; ++j) {
            study.appendBar(bars[next + j]);
        }
        next += take;
        study.update(formerLast);
    }
    EXPECT_TRUE(sameAsFullRecalculation(study, bars, f));
}

// Touch alerts during a live replay: each newest committed bar is checked
// once, and the alerts are exactly the touches that the final outputs show.
TEST_F(Chunks, LiveAlertsAreTheTouchesOfTheCommittedBars) {
    const std::vector<replay::Bar> bars = loadSampleBars("NQ_30min_sample.csv");
    study.setIntInput(SessionsToShow, 0);
    study.setIntInput(AlertNumber, 4);
    feedLive(study, bars, 20);
    std::vector<replay::RaisedAlert> expected;
    auto touches = [&](std::int32_t bar, float v) {
        return bars[static_cast<std::size_t>(bar)].low <= v &&
               bars[static_cast<std::size_t>(bar)].high >= v;
    };
    for (std::int32_t e = 19; e + 1 < static_cast<std::int32_t>(bars.size()); ++e) {
        for (std::int32_t s = 0; s < 25; ++s) {
            const float v = at(static_cast<Level>(s), e);
            if (v != 0.0f && at(static_cast<Level>(s), e - 1) == v && touches(e, v) &&
                !touches(e - 1, v)) {
                char price[64];
                std::snprintf(price, sizeof price, "%.2f", static_cast<double>(v));
                expected.push_back({4, e,
                                    "Keelmark Session Levels: price touched " +
                                        study.outputName(s) + " " + price});
            }
        }
    }
    ASSERT_EQ(study.alerts().size(), expected.size());
    ASSERT_FALSE(expected.empty());
    bool namedExtension = false;
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(study.alerts()[k].number, expected[k].number);
        EXPECT_EQ(study.alerts()[k].barIndex, expected[k].barIndex);
        EXPECT_EQ(study.alerts()[k].message, expected[k].message);
        namedExtension |= expected[k].message.find("x ") != std::string::npos;
    }
    EXPECT_TRUE(namedExtension) << "some alert names an extension by its run-time name";
}

}  // namespace
}  // namespace keelmark::test
