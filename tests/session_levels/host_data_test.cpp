// The status line, and bad host data absorbed: no bars, prices that are not
// numbers, times that go backwards, odd update ranges and bar counts, inputs
// of unexpected types, arrays that stay unavailable.
#include <algorithm>
#include <cmath>
#include <limits>

#include "host/process_heap_standin.h"
#include "session_levels_fixture.h"
#include "tests/support/bit_compare.h"
#include "tests/support/build_stamp_mask.h"
#include "tests/support/live_feed.h"

namespace keelmark::test {
namespace {

std::string statusLine(std::int32_t sessions, std::int32_t overnights, std::int32_t bars) {
    return std::string("Keelmark Session Levels BUILD <stamp>") + " | RTH sessions " +
           std::to_string(sessions) + ", overnights " + std::to_string(overnights) +
           ", chart bars " + std::to_string(bars);
}

constexpr const char* kNoRthWarning =
    "Keelmark Session Levels: no bar falls inside the RTH Start/End inputs. They are in the "
    "chart's time zone (Chart >> Chart Settings).";

using StatusLog = SessionLevelsTest;

TEST_F(StatusLog, FullRecalculationsReportSessionsOvernightsAndBars) {
    recalculate({});
    ASSERT_EQ(study.log().size(), 1u);
    EXPECT_EQ(withBuildStampMasked(study.log()[0].text), statusLine(0, 0, 0));
    EXPECT_EQ(study.log()[0].flag, 0);
    study.clearLog();
    recalculate(loadSampleBars("NQ_1min_sample.csv"));
    ASSERT_EQ(study.log().size(), 1u);
    EXPECT_EQ(withBuildStampMasked(study.log()[0].text), statusLine(11, 10, 14714))
        << "the first session has no overnight";
    study.clearLog();
    study.appendBar(bar(12, 5, 9, 30, 1, 1, 1, 1));
    study.updateAfterAppend();
    EXPECT_TRUE(study.log().empty()) << "incremental calls log nothing, even when a session opens";
}

TEST_F(StatusLog, WarnsWhenNoCommittedBarIsRth) {
    recalculate({bar(11, 20, 9, 30, 1, 1, 1, 1)});  // the only bar is still forming
    ASSERT_EQ(study.log().size(), 2u);
    EXPECT_EQ(withBuildStampMasked(study.log()[0].text), statusLine(0, 0, 1));
    EXPECT_EQ(study.log()[1].text, kNoRthWarning);
    EXPECT_EQ(study.log()[1].flag, 1);
    study.clearLog();
    setTime(RthStart, 3, 10);  // 30-minute bars start on :00 and :30 only
    setTime(RthEnd, 3, 15);
    recalculate(loadSampleBars("NQ_30min_sample.csv"));
    ASSERT_EQ(study.log().size(), 2u);
    EXPECT_EQ(withBuildStampMasked(study.log()[0].text), statusLine(0, 0, 491));
}

// Plays the bars live and in one full recalculation, and expects the same
// outputs; for data that no real chart should send.
void expectLiveEqualsFull(replay::StudyInstance& live, const std::vector<replay::Bar>& bars) {
    feedLive(live, bars, 5);
    replay::StudyInstance full(testModule().sessionLevels(), 9, 3);
    full.defaultsPass();
    full.setBars(bars);
    full.fullRecalculation();
    EXPECT_TRUE(sameOutputBits(full, live, static_cast<std::int32_t>(bars.size())));
    full.finalCall();
}

using BadHostData = SessionLevelsTest;

TEST_F(BadHostData, PricesThatAreNotNumbersWidenNoRange) {
    std::vector<replay::Bar> bars = loadSampleBars("NQ_30min_sample.csv");
    const float nan = std::numeric_limits<float>::quiet_NaN(),
                inf = std::numeric_limits<float>::infinity();
    for (std::size_t i = 0; i < bars.size(); i += 7) {
        bars[i].high = i % 2 ? nan : inf;
        bars[i].low = i % 3 ? -inf : nan;
        bars[i].open = bars[i].close = nan;
    }
    expectLiveEqualsFull(study, bars);
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(bars.size()); ++i) {
        for (std::int32_t s = 0; s < 25; ++s) {
            ASSERT_TRUE(std::isfinite(study.value(s, i))) << "bar " << i << " slot " << s;
        }
    }
    EXPECT_EQ(panelText().find("nan"), std::string::npos) << panelText();
}

TEST_F(BadHostData, TimesGoingBackwardsOrRepeatingStayConsistent) {
    std::vector<replay::Bar> bars = loadSampleBars("NQ_1hour_sample.csv");
    for (std::size_t i = 3; i < bars.size(); i += 5) {
        bars[i].start = bars[i - (i % 2 ? 1 : 3)].start;
    }
    bars[10].start = -3 * 86'400'000'000LL - 5;  // before the epoch
    study.setIntInput(AlertNumber, 1);
    expectLiveEqualsFull(study, bars);
}

TEST_F(BadHostData, OddUpdateRangesAndBarCounts) {
    const std::vector<replay::Bar> bars = loadSampleBars("NQ_5min_sample.csv");
    study.setIntInput(SessionsToShow, 0);
    recalculate(bars);
    const std::span<const float> written = study.values(IBH);
    const std::vector<float> expected(written.begin(), written.end());
    auto fullRecalculations = [this] {
        return std::count_if(study.log().begin(), study.log().end(), [](const replay::LogLine& l) {
            return l.text.find(" BUILD ") != std::string::npos;
        });
    };
    study.clearLog();
    study.update(-5);
    EXPECT_EQ(fullRecalculations(), 1) << "a negative start recalculates in full";
    study.update(std::numeric_limits<std::int32_t>::max());
    study.setBars(std::vector<replay::Bar>(bars.begin(), bars.begin() + 100));
    study.update(2000);  // the chart lost bars the study had folded in
    EXPECT_EQ(fullRecalculations(), 2) << "a shrunken chart recalculates in full";
    study.setBars(bars);
    study.update(100);
    EXPECT_TRUE(sameBits("IBH", expected, study.values(IBH), bars.size()));
    for (std::int32_t count : {0, 1, 5000}) {  // 5000 is beyond the arrays
        study.setBarCountOverride(count);
        study.fullRecalculation();
        study.updateFormingBar();
    }
    study.setBarCountOverride(-1);
}

TEST_F(BadHostData, InputsOfUnexpectedTypesAndUnavailableArrays) {
    const std::vector<replay::Bar> bars = loadSampleBars("NQ_1hour_sample.csv");
    study.holdBackArray(replay::HostArrayId::High);  // until fetched: the study fetches
    study.setIntInput(SessionsToShow, 0);
    recalculate(bars);
    EXPECT_EQ(at(PDH, static_cast<std::int32_t>(bars.size()) - 1), 15885.75f);
    for (std::int32_t slot = 0; slot < 29; ++slot) {
        study.setInputType(slot, 200);
    }
    study.fullRecalculation();
    EXPECT_EQ(study.log().back().text.find("RTH sessions 0"), std::string::npos)
        << "time inputs read as 00:00 make every bar RTH";
    for (replay::HostArrayId id : {replay::HostArrayId::DateTimes, replay::HostArrayId::Low,
                                   replay::HostArrayId::Inputs, replay::HostArrayId::Outputs}) {
        study.holdBackArray(id, true);
        study.fullRecalculation();
        study.updateFormingBar();
    }
}

TEST(SessionLevelsInstance, DrawingNumberWrapsForTheLargestStudyId) {
    replay::StudyInstance s(testModule().sessionLevels(), std::numeric_limits<std::int32_t>::max());
    s.finalCall();  // before any update: nothing to free
    EXPECT_EQ(s.deletedDrawingNumbers().back(),
              std::numeric_limits<std::int32_t>::min() + 74199999);
}

TEST_F(BadHostData, RefusedAllocationsSkipTheCallOrLeaveTextsEmpty) {
    const std::vector<replay::Bar> bars = loadSampleBars("NQ_1hour_sample.csv");
    study.setBars(bars);
    keelmarkProcessHeapFailAfter(1, 1);  // no state record
    study.fullRecalculation();
    keelmarkProcessHeapFailAfter(0, 0);
    EXPECT_TRUE(study.persistentPointer(1) == nullptr);
    EXPECT_TRUE(study.log().empty());
    EXPECT_TRUE(study.drawings().empty());
    study.updateFormingBar();  // the record is new: every bar is folded under the inputs
    EXPECT_EQ(study.log().size(), 1u);
    EXPECT_EQ(at(PDH, static_cast<std::int32_t>(bars.size()) - 1), 15885.75f);
    keelmarkProcessHeapFailAfter(1, 1);  // no texts
    study.fullRecalculation();
    keelmarkProcessHeapFailAfter(0, 0);
    EXPECT_EQ(study.log().back().text, "");
    EXPECT_EQ(study.drawings().at(7 + kPanelOffset).text, "") << "the panel is still placed";
    EXPECT_EQ(study.drawings().at(7 + kPanelOffset).fontFace, "Consolas")
        << "the font name is lent to the host, not copied";
    EXPECT_EQ(study.drawings().at(7 + kPanelOffset).timesSubmitted, 2);
    EXPECT_EQ(at(PDH, static_cast<std::int32_t>(bars.size()) - 1), 15885.75f);
}

// The panel is placed on every tick. A tick that changes nothing on it lends
// the kept text and the font name to the host: no heap block is made or
// freed, and the host still gets the whole panel.
TEST_F(BadHostData, ATickThatLeavesThePanelAsItWasTakesNothingFromTheHeap) {
    const std::vector<replay::Bar> bars = loadSampleBars("NQ_1hour_sample.csv");
    study.setBars(bars);
    study.fullRecalculation();
    study.updateFormingBar();
    const std::string panel = study.drawings().at(7 + kPanelOffset).text;
    ASSERT_NE(panel.find("SESSION LEVELS"), std::string::npos);
    const std::int64_t allocations = keelmarkProcessHeapAllocations();
    const std::int64_t blocks = keelmarkProcessHeapLiveBlocks();
    study.updateFormingBar();
    EXPECT_EQ(keelmarkProcessHeapAllocations(), allocations);
    EXPECT_EQ(keelmarkProcessHeapLiveBlocks(), blocks);
    const replay::PlacedDrawing& placed = study.drawings().at(7 + kPanelOffset);
    EXPECT_EQ(placed.text, panel);
    EXPECT_EQ(placed.fontFace, "Consolas");
    EXPECT_EQ(placed.timesSubmitted, 3);
}

}  // namespace
}  // namespace keelmark::test
