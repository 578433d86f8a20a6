// A full recalculation folds the bars that "Sessions to Show" blanks in runs:
// after each bar folded the general way, the following bars that only widen
// ranges (the open session's, its opening windows', the overnight) or change
// nothing are folded in a tight loop while they start inside the stretch of
// time where that holds. Bar by bar delivery folds every bar the general way. Both must
// leave the same values, session numbers and panel, also where a run meets a
// price that is not a number, a gap, a time going backwards, a session
// boundary or midnight.
#include <cstdint>
#include <limits>

#include "session_levels_fixture.h"
#include "tests/support/bit_compare.h"

namespace keelmark::test {
namespace {

constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// One-minute bars from Sunday 2023-11-19 18:00 over `weeks` weeks, the last
// one ending on Friday 12:30 and the others on Friday 17:00, with the
// daily pause from 17:00 to 18:00, and these disturbances in every week:
// - highs, lows and closes that are not numbers, scattered through the week,
//   and whole stretches of them at the start of Monday's overnight and of
//   Tuesday's session past the opening windows;
// - Wednesday's session opens at 09:50 (past the opening range), Thursday
//   has no bars from 15:00 to 19:00, Friday's 11:00 bar repeats the 10:00
//   time and its 02:00 bar jumps back to 01:00;
// - the bar that starts Tuesday's overnight (18:00) holds its high, and
//   Thursday's last RTH bar (14:59) has a close that is not a number.
std::vector<replay::Bar> disturbedWeeks(std::int32_t weeks = 1) {
    std::vector<replay::Bar> bars;
    float price = 15000.0f;
    std::uint32_t seed = 12345;
    auto nextStep = [&seed](std::uint32_t spread) {  // a fixed pseudo-random walk
        seed = seed * 1664525u + 1013904223u;
        return static_cast<float>((seed >> 16) % spread);
    };
    for (std::int32_t week = 0; week < weeks; ++week) {
        const ChartDateTime first = chartTime(2023, 11, 19, 18, 0) + week * 7 * kMicrosPerDay;
        const std::int32_t minutes = week + 1 < weeks ? 5 * 1440 - 60 : 5 * 1440 - 5 * 60 + 30;
        for (std::int32_t minute = 0; minute < minutes; ++minute) {
            ChartDateTime start = first + minute * kMicrosPerMinute;
            const std::int32_t clock = (minute + 18 * 60) % 1440;  // minute of the day
            const std::int32_t day = (minute + 18 * 60) / 1440;    // 0 Sunday, 1 Monday, ...
            if (clock >= 17 * 60 && clock < 18 * 60) {
                continue;
            }
            if ((day == 3 && clock >= 9 * 60 + 30 && clock < 9 * 60 + 50) ||
                (day == 4 && clock >= 15 * 60 && clock < 19 * 60)) {
                continue;
            }
            if (day == 5 && (clock == 11 * 60 || clock == 2 * 60)) {
                start -= kMicrosPerHour;
            }
            price += 0.25f * (nextStep(41) - 20.0f);
            replay::Bar b{start,
                          price,
                          price + 0.25f * nextStep(30),
                          price - 0.25f * nextStep(30),
                          price + 0.25f * nextStep(5),
                          100.0f};
            if (minute % 11 == 0) {
                b.high = kNan;
            }
            if (minute % 13 == 0) {
                b.low = -kInf;
            }
            if (minute % 17 == 0) {
                b.close = kNan;
            }
            if (minute % 19 == 0) {
                b.open = kInf;
            }
            const bool mondayOvernightStart = day == 1 && clock >= 18 * 60 && clock < 18 * 60 + 30;
            const bool tuesdayAfternoon = day == 2 && clock >= 11 * 60 && clock < 11 * 60 + 45;
            if (mondayOvernightStart || tuesdayAfternoon) {
                b.high = kNan;
                b.close = kInf;
            }
            if (day == 2 && clock == 18 * 60) {
                b.high += 100.0f;
            }
            if (day == 4 && clock == 14 * 60 + 59) {
                b.close = kNan;
            }
            bars.push_back(b);
        }
    }
    return bars;
}

struct Case {
    const char* name;
    std::int32_t rthStart, rthEnd, overnightStart;  // minutes of the day
    std::int32_t openingRangeMinutes, initialBalanceMinutes;
    std::int32_t sessionsToShow;
};

void configure(replay::StudyInstance& study, const Case& c) {
    auto time = [&](std::int32_t slot, std::int32_t minutes) {
        study.setDoubleInput(slot, minutes * 60.0 / 86400.0);
    };
    time(RthStart, c.rthStart);
    time(RthEnd, c.rthEnd);
    time(OvernightStart, c.overnightStart);
    study.setIntInput(OrMinutes, c.openingRangeMinutes);
    study.setIntInput(IbMinutes, c.initialBalanceMinutes);
    study.setIntInput(SessionsToShow, c.sessionsToShow);
    study.setIntInput(ShowPanel, 1);
    study.setIntInput(AverageOver, 1000);  // the panel averages every range the fold kept
    study.setIntInput(ShowOrExt, 1);
    study.setIntInput(PriorDayFrom, 1);
}

std::string panelOf(const replay::StudyInstance& study, std::int32_t studyId) {
    const auto found = study.drawings().find(studyId + kPanelOffset);
    return found == study.drawings().end() ? std::string("<no panel>") : found->second.text;
}

void expectFullRecalculationEqualsBarByBarDelivery(const std::vector<replay::Bar>& bars,
                                                   const Case& c) {
    const auto n = static_cast<std::int32_t>(bars.size());

    replay::StudyInstance full(testModule().sessionLevels(), 8, 3);
    full.defaultsPass();
    configure(full, c);
    full.setBars(bars);
    full.fullRecalculation();

    replay::StudyInstance delivered(testModule().sessionLevels(), 9, 3);
    delivered.defaultsPass();
    configure(delivered, c);
    delivered.setBars(std::vector<replay::Bar>(bars.begin(), bars.begin() + 2));
    delivered.fullRecalculation();
    for (std::size_t next = 2; next < bars.size(); ++next) {
        delivered.appendBar(bars[next]);
        delivered.updateAfterAppend();
    }

    EXPECT_TRUE(sameOutputBits(full, delivered, n));
    EXPECT_TRUE(sameBits("session number", full.extraValues(0, 0), delivered.extraValues(0, 0),
                         bars.size()));
    EXPECT_NE(panelOf(full, 8).find("ON"), std::string::npos) << panelOf(full, 8);
    EXPECT_EQ(panelOf(full, 8), panelOf(delivered, 9));
    full.finalCall();
    delivered.finalCall();
}

class FoldRuns : public ::testing::TestWithParam<Case> {};

TEST_P(FoldRuns, FullRecalculationEqualsBarByBarDelivery) {
    expectFullRecalculationEqualsBarByBarDelivery(disturbedWeeks(), GetParam());
}

// Six weeks, about 42,000 bars: a full recalculation folds and blanks them in
// chunks of 16,384 bars, looking up each chunk's pages ahead.
TEST(FoldRunsOnALongChart, FullRecalculationEqualsBarByBarDelivery) {
    expectFullRecalculationEqualsBarByBarDelivery(disturbedWeeks(6),
                                                  Case{"DayOnly", 570, 960, 1080, 15, 60, 1});
}

INSTANTIATE_TEST_SUITE_P(
    Clocks, FoldRuns,
    ::testing::Values(Case{"DayOnly", 570, 960, 1080, 15, 60, 1},
                      Case{"DayOnlyTwoSessions", 570, 960, 1080, 15, 60, 2},
                      Case{"AcrossMidnight", 1080, 1020, 1080, 30, 90, 1},
                      Case{"WholeDay", 570, 570, 1080, 15, 60, 1},
                      Case{"NoWindowsOvernightAtMidnight", 570, 960, 0, 0, 0, 1},
                      Case{"WindowsPastTheSession", 570, 960, 1200, 600, 2000, 1}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace keelmark::test
