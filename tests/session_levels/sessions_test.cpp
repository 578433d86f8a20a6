// Sessions and the bars their levels appear on: the default RTH day on a
// 24-hour chart, sessions that cross midnight or cover the whole day,
// weekends, RTH-only charts, the show switches and "Sessions to Show".
#include "session_levels_fixture.h"

namespace keelmark::test {
namespace {

// Monday: OR from the 09:30 bar, complete at 09:45; IB complete at 15:59;
// 16:00 finishes the session, 17:00 belongs to no overnight, the overnight
// runs 18:00 to 03:00; Tuesday opens at 09:30 and finishes at 16:00.
std::vector<replay::Bar> twoDays() {
    return {bar(11, 20, 9, 30, 100, 110, 100, 105),  bar(11, 20, 9, 45, 105, 108, 95, 99),
            bar(11, 20, 15, 59, 99, 104, 97, 102),   bar(11, 20, 16, 0, 102, 103, 101, 102),
            bar(11, 20, 17, 0, 102, 120, 90, 100),   bar(11, 20, 18, 0, 100, 106, 99, 104),
            bar(11, 21, 3, 0, 104, 115, 103, 108),   bar(11, 21, 9, 30, 108, 112, 107, 111),
            bar(11, 21, 10, 30, 111, 113, 110, 112), bar(11, 21, 16, 0, 112, 112, 112, 112),
            bar(11, 21, 16, 30, 112, 112, 112, 112)};
}

using Sessions = SessionLevelsTest;

TEST_F(Sessions, LevelsAppearOnTheBarTheyBecomeKnown) {
    study.setIntInput(SessionsToShow, 0);
    recalculate(twoDays());
    EXPECT_EQ(at(ORH, 0), 110.0f) << "forming OR is drawn by default";
    EXPECT_EQ(at(IBUp1, 0), 0.0f) << "extensions never show while forming";
    EXPECT_EQ(at(IBL, 1), 95.0f) << "the forming IB includes the 09:45 bar";
    EXPECT_EQ(at(IBUp1, 1), 0.0f);
    EXPECT_EQ(at(IBUp1, 2), 117.5f);
    EXPECT_EQ(at(IBDown4, 2), 65.0f);
    EXPECT_EQ(at(ORUp1, 2), 0.0f) << "OR extensions are off by default";
    EXPECT_EQ(at(PDC, 3), 102.0f) << "16:00 finishes the session";
    EXPECT_EQ(at(ONH, 4), 0.0f) << "17:00 is in no overnight";
    EXPECT_EQ(at(ONH, 5), 106.0f);
    EXPECT_EQ(at(ONMid, 8), 107.0f) << "the overnight stays through the session";
    const float sessions[] = {0, 0, 0, 1, 1, 1, 1, 1, 1, 2, 2};
    for (std::int32_t i = 0; i < 11; ++i) {
        EXPECT_EQ(session(i), sessions[i]) << i;
    }
}

TEST_F(Sessions, FormingRangesStayHiddenWhenNotDrawnWhileForming) {
    study.setIntInput(SessionsToShow, 0);
    study.setIntInput(DrawWhileForming, 0);
    recalculate(twoDays());
    EXPECT_EQ(at(ORH, 0), 0.0f);
    EXPECT_EQ(at(ORH, 1), 110.0f);
    EXPECT_EQ(at(IBH, 1), 0.0f);
    EXPECT_EQ(at(IBH, 2), 110.0f);
    EXPECT_EQ(at(ONH, 6), 0.0f);
    EXPECT_EQ(at(ONH, 7), 115.0f);
}

TEST_F(Sessions, PriorDayWithOvernightTakesTheOvernightExtremesButTheRthClose) {
    study.setIntInput(PriorDayFrom, 1);
    recalculate(twoDays());
    EXPECT_EQ(at(PDH, 9), 115.0f);
    EXPECT_EQ(at(PDL, 9), 99.0f);
    EXPECT_EQ(at(PDC, 9), 112.0f);
    EXPECT_EQ(at(PDH, 3), 110.0f) << "Monday had no overnight before it";
}

TEST_F(Sessions, SessionsToShowBlanksOlderSessionsAndLeavesTheLeadIn) {
    study.setIntInput(SessionsToShow, 1);
    std::vector<replay::Bar> bars = twoDays();
    recalculate(std::vector<replay::Bar>(bars.begin(), bars.begin() + 7));  // ends in the overnight
    for (std::int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(at(RTHOpen, i), 0.0f) << i;
        EXPECT_EQ(at(ORH, i), 0.0f) << i;
    }
    EXPECT_EQ(at(PDH, 3), 110.0f) << "bars after the session lead into the next";
    for (std::int32_t n : {0, 3}) {
        study.setIntInput(SessionsToShow, n);
        study.fullRecalculation();
        EXPECT_EQ(at(RTHOpen, 0), 100.0f) << n;
    }
}

TEST_F(Sessions, SwitchesChangedOnAnIncrementalCallApplyToNewBarsOnly) {
    std::vector<replay::Bar> bars = twoDays();
    recalculate(std::vector<replay::Bar>(bars.begin(), bars.begin() + 3));
    study.setIntInput(ShowRthOpen, 0);
    study.setFloatInput(IbExt1, 0.0f);
    study.appendBar(bars[3]);
    study.updateAfterAppend();
    EXPECT_EQ(at(RTHOpen, 1), 100.0f);
    EXPECT_EQ(at(RTHOpen, 2), 0.0f);
    study.fullRecalculation();
    EXPECT_EQ(at(RTHOpen, 1), 0.0f);
    EXPECT_EQ(at(IBUp1, 2), 0.0f) << "multiplier 0 leaves its pair empty";
    EXPECT_EQ(at(IBUp2, 2), 125.0f) << "while the others plot";
}

TEST_F(Sessions, SessionCrossingMidnightKeepsItsOpeningDay) {
    setTime(RthStart, 18, 0);
    setTime(RthEnd, 17, 0);
    study.setIntInput(SessionsToShow, 0);
    recalculate({bar(11, 20, 17, 0, 1, 1, 1, 1), bar(11, 20, 17, 30, 1, 1, 1, 1),
                 bar(11, 20, 18, 0, 10, 12, 9, 11), bar(11, 21, 2, 0, 11, 30, 5, 20),
                 bar(11, 21, 16, 59, 20, 21, 19, 20), bar(11, 21, 17, 0, 20, 20, 20, 20),
                 bar(11, 21, 17, 30, 20, 20, 20, 20), bar(11, 21, 18, 0, 20, 22, 18, 21),
                 bar(11, 21, 18, 30, 21, 21, 21, 21)});
    EXPECT_EQ(at(RTHOpen, 1), 0.0f) << "17:30 is outside RTH";
    EXPECT_EQ(at(RTHOpen, 3), 10.0f) << "02:00 belongs to the session opened the day before";
    EXPECT_EQ(at(ORH, 3), 12.0f);
    EXPECT_EQ(session(3), session(2));
    EXPECT_EQ(at(PDH, 5), 30.0f) << "17:00 finishes the session";
    EXPECT_EQ(at(PDL, 5), 5.0f);
    EXPECT_EQ(at(RTHOpen, 7), 20.0f);
    EXPECT_EQ(session(7), 1.0f);
}

TEST_F(Sessions, RthStartEqualToEndMakesEveryBarRthAndSplitsAtTheStart) {
    setTime(RthEnd, 9, 30);
    recalculate({bar(11, 20, 9, 30, 10, 11, 9, 10), bar(11, 20, 20, 0, 10, 14, 10, 12),
                 bar(11, 21, 9, 29, 12, 13, 8, 12), bar(11, 21, 9, 30, 12, 12, 11, 11),
                 bar(11, 21, 10, 0, 11, 11, 11, 11)});
    EXPECT_EQ(session(2), 0.0f);
    EXPECT_EQ(at(RTHOpen, 2), 10.0f);
    EXPECT_EQ(at(PDH, 2), 0.0f);
    EXPECT_EQ(session(3), 1.0f);
    EXPECT_EQ(at(PDH, 3), 14.0f);
    EXPECT_EQ(at(PDL, 3), 8.0f);
    EXPECT_EQ(at(PDC, 3), 12.0f);
}

TEST_F(Sessions, WeekendOvernightStartsOnALaterDayAndRthOnlyChartsHaveNone) {
    // Friday's session finishes on its 16:00 bar; with no evening bars, the
    // overnight starts with Monday's 04:00 pre-market bar.
    recalculate({bar(12, 1, 15, 59, 50, 51, 49, 50), bar(12, 1, 16, 0, 50, 50, 50, 50),
                 bar(12, 4, 4, 0, 50, 55, 48, 52), bar(12, 4, 9, 30, 52, 53, 51, 52),
                 bar(12, 4, 9, 31, 52, 53, 51, 52)});
    EXPECT_EQ(at(ONH, 3), 55.0f);
    EXPECT_EQ(at(ONL, 3), 48.0f);
    EXPECT_EQ(at(RTHOpen, 0), 50.0f) << "a chart that starts mid-session opens it";
    // RTH bars only: each day's first bar finishes the day before.
    recalculate({bar(11, 20, 9, 30, 1, 5, 1, 4), bar(11, 20, 15, 59, 4, 6, 3, 5),
                 bar(11, 21, 9, 30, 5, 7, 5, 6), bar(11, 21, 9, 31, 6, 6, 6, 6)});
    EXPECT_EQ(at(PDH, 1), 0.0f);
    EXPECT_EQ(at(PDH, 2), 6.0f);
    EXPECT_EQ(at(PDC, 2), 5.0f);
    EXPECT_EQ(at(ONH, 2), 0.0f);
    EXPECT_EQ(session(2), 1.0f);
}

TEST_F(Sessions, RangesThatNeverCompleteOrHaveNoHeight) {
    study.setIntInput(OrMinutes, 600);
    study.setIntInput(ShowOrExt, 1);
    recalculate({bar(11, 20, 9, 30, 5, 5, 5, 5), bar(11, 20, 10, 30, 5, 9, 1, 5),
                 bar(11, 20, 15, 59, 5, 5, 5, 5), bar(11, 20, 16, 0, 5, 5, 5, 5)});
    EXPECT_EQ(at(ORH, 2), 9.0f) << "a forming OR is still drawn";
    EXPECT_EQ(at(ORUp1, 2), 0.0f) << "an OR that never completes has no extensions";
    EXPECT_EQ(at(IBUp2, 1), 5.0f) << "a flat IB extends to itself";
    EXPECT_EQ(at(IBDown2, 1), 5.0f);
    EXPECT_NE(panelText().find("PD   H 9.00  L 1.00  C 5.00"), std::string::npos) << panelText();
}

}  // namespace
}  // namespace keelmark::test
