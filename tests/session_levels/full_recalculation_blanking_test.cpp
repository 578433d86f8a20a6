// A full recalculation counts the sessions at the chart's end before it
// plots, so that the bars "Sessions to Show" blanks are written once. Bar by
// bar delivery plots every bar and blanks as it goes; at every point of the
// chart both must leave the same values and session numbers, whatever the
// session clock.
#include "session_levels_fixture.h"
#include "tests/support/bit_compare.h"

namespace keelmark::test {
namespace {

struct Clock {
    const char* name;
    std::int32_t startHour, startMinute, endHour, endMinute;
};

struct Case {
    Clock clock;
    std::int32_t sessionsToShow;
};

void configure(replay::StudyInstance& study, const Case& c) {
    auto time = [&](std::int32_t slot, std::int32_t hour, std::int32_t minute) {
        study.setDoubleInput(slot, (hour * 3600.0 + minute * 60.0) / 86400.0);
    };
    time(RthStart, c.clock.startHour, c.clock.startMinute);
    time(RthEnd, c.clock.endHour, c.clock.endMinute);
    study.setIntInput(SessionsToShow, c.sessionsToShow);
}

::testing::AssertionResult sameAsFullRecalculation(const replay::StudyInstance& delivered,
                                                   const Case& c) {
    replay::StudyInstance full(testModule().sessionLevels(), 8, 3);
    full.defaultsPass();
    configure(full, c);
    full.setBarColumns(delivered.bars());
    full.fullRecalculation();
    const auto n = static_cast<std::int32_t>(delivered.bars().size());
    ::testing::AssertionResult result = sameOutputBits(full, delivered, n);
    if (result) {
        result = sameBits("session number", full.extraValues(0, 0), delivered.extraValues(0, 0),
                          delivered.bars().size());
    }
    full.finalCall();
    return result << " (" << n << " bars)";
}

class BlankingAhead : public SessionLevelsTest, public ::testing::WithParamInterface<Case> {};

TEST_P(BlankingAhead, FullRecalculationBlanksWhatBarByBarDeliveryBlanks) {
    const std::vector<replay::Bar> bars = loadSampleBars("NQ_30min_sample.csv");
    configure(study, GetParam());
    study.setBars(std::vector<replay::Bar>(bars.begin(), bars.begin() + 2));
    study.fullRecalculation();
    for (std::size_t next = 2; next < bars.size(); ++next) {
        study.appendBar(bars[next]);
        study.updateAfterAppend();
        if (next % 37 == 0 || next + 1 == bars.size()) {
            ASSERT_TRUE(sameAsFullRecalculation(study, GetParam()));
        }
    }
}

constexpr Clock kDayOnly{"09:30-16:00", 9, 30, 16, 0};
constexpr Clock kAcrossMidnight{"18:00-17:00", 18, 0, 17, 0};
constexpr Clock kWholeDay{"09:30-09:30", 9, 30, 9, 30};
constexpr Clock kNoRth{"03:10-03:20", 3, 10, 3, 20};  // between 30-minute bar starts

INSTANTIATE_TEST_SUITE_P(Clocks, BlankingAhead,
                         ::testing::Values(Case{kDayOnly, 1}, Case{kDayOnly, 4},
                                           Case{kAcrossMidnight, 1}, Case{kAcrossMidnight, 3},
                                           Case{kWholeDay, 2}, Case{kNoRth, 1}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name = std::string(info.param.clock.name) + "_show" +
                                                std::to_string(info.param.sessionsToShow);
                             for (char& ch : name) {
                                 if (ch == ':' || ch == '-') {
                                     ch = '_';
                                 }
                             }
                             return name;
                         });

}  // namespace
}  // namespace keelmark::test
