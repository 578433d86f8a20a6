// Touch alerts: raised once for the newest committed bar when it touches a
// level that stood at the same price on the bar before, which did not touch
// it.
#include "session_levels_fixture.h"

namespace keelmark::test {
namespace {

// Only the RTH open (100) is shown. 09:29 is outside RTH; 09:30 opens the
// session and touches its own open; 09:32 comes down exactly to it; 09:33
// touches it again.
std::vector<replay::Bar> openTouches() {
    return {bar(11, 20, 9, 29, 100, 101, 99, 100),  bar(11, 20, 9, 30, 100, 105, 99, 104),
            bar(11, 20, 9, 31, 104, 110, 101, 109), bar(11, 20, 9, 32, 109, 109, 100, 101),
            bar(11, 20, 9, 33, 101, 104, 99, 100),  bar(11, 20, 9, 34, 100, 103, 101, 102)};
}

class TouchAlerts : public SessionLevelsTest {
protected:
    void SetUp() override {
        SessionLevelsTest::SetUp();
        for (std::int32_t s : {ShowOr, ShowIb, ShowIbExt, ShowPriorDay, ShowOvernight}) {
            study.setIntInput(s, 0);
        }
        study.setIntInput(AlertNumber, 5);
    }
    // The first `start` bars in one full recalculation, then one bar per
    // incremental call, each followed by a forming-bar call.
    void play(const std::vector<replay::Bar>& bars, std::size_t start) {
        recalculate(std::vector<replay::Bar>(bars.begin(),
                                             bars.begin() + static_cast<std::ptrdiff_t>(start)));
        for (std::size_t i = start; i < bars.size(); ++i) {
            study.appendBar(bars[i]);
            study.updateAfterAppend();
            study.updateFormingBar();
        }
    }
};

TEST_F(TouchAlerts, NewestCommittedBarComingBackToALevelAlertsOnce) {
    play(openTouches(), 2);
    ASSERT_EQ(study.alerts().size(), 1u);
    EXPECT_EQ(study.alerts()[0].number, 5);
    EXPECT_EQ(study.alerts()[0].barIndex, 3);
    EXPECT_EQ(study.alerts()[0].message, "Keelmark Session Levels: price touched RTH Open 100.00");
    EXPECT_EQ(study.persistentInt(2), 4);
}

TEST_F(TouchAlerts, OnlyTheNewestOfSeveralCommittedBarsIsChecked) {
    const std::vector<replay::Bar> bars = openTouches();
    recalculate(std::vector<replay::Bar>(bars.begin(), bars.begin() + 3));
    for (std::size_t i = 3; i < 6; ++i) {
        study.appendBar(bars[i]);
    }
    study.update(2);
    EXPECT_TRUE(study.alerts().empty()) << "bar 4 touched after bar 3 did; bar 3 goes unchecked";
    EXPECT_EQ(study.persistentInt(2), 4);
}

TEST_F(TouchAlerts, OffFullRecalculationsAndTwoBarChartsNeverAlert) {
    study.setIntInput(AlertNumber, 0);
    play(openTouches(), 2);
    EXPECT_TRUE(study.alerts().empty());
    EXPECT_EQ(study.persistentInt(2), 0) << "alerts off leave the last checked bar alone";
    study.setIntInput(AlertNumber, 5);
    const std::vector<replay::Bar> bars = openTouches();
    recalculate(
        std::vector<replay::Bar>(bars.begin(), bars.begin() + 5));  // bar 3 is newest committed
    EXPECT_TRUE(study.alerts().empty());
    recalculate(std::vector<replay::Bar>(bars.begin() + 1, bars.begin() + 3));
    study.updateFormingBar();
    EXPECT_TRUE(study.alerts().empty());
}

TEST_F(TouchAlerts, EveryTouchedLevelAlertsInSeriesOrder) {
    study.setIntInput(ShowPriorDay, 1);
    play({bar(11, 20, 9, 30, 100, 100, 100, 100), bar(11, 20, 16, 0, 100, 100, 100, 100),
          bar(11, 21, 9, 30, 103, 106, 102, 105), bar(11, 21, 9, 31, 105, 107, 104, 106),
          bar(11, 21, 9, 32, 106, 106, 99, 100), bar(11, 21, 9, 33, 100, 100, 100, 100)},
         3);
    std::vector<std::string> messages;
    for (const replay::RaisedAlert& a : study.alerts()) {
        EXPECT_EQ(a.barIndex, 4);
        messages.push_back(a.message);
    }
    const std::string p = "Keelmark Session Levels: price touched ";
    EXPECT_EQ(messages, (std::vector<std::string>{p + "PDH 100.00", p + "PDL 100.00",
                                                  p + "PDC 100.00", p + "RTH Open 103.00"}));
}

}  // namespace
}  // namespace keelmark::test
