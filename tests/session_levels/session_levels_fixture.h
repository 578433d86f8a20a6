// A Session Levels instance under the stand-in host, after its defaults
// pass, torn down with the host's final call; and short ways to write bars.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "standin_host/chart_host.h"
#include "tests/support/module_fixture.h"
#include "tests/support/sample_bars.h"

namespace keelmark::test {

// Output slots, as a user reads them off the chart.
enum Level : std::int32_t {
    ORH = 0,
    ORL,
    ORMid,
    IBH,
    IBL,
    IBMid,
    IBUp1,
    IBDown1,
    IBUp2,
    IBDown2,
    IBUp3,
    IBDown3,
    IBUp4,
    IBDown4,
    ORUp1,
    ORDown1,
    ORUp2,
    ORDown2,
    PDH,
    PDL,
    PDC,
    ONH,
    ONL,
    ONMid,
    RTHOpen,
};

// Input slots the tests change.
enum Setting : std::int32_t {
    RthStart = 0,
    RthEnd = 1,
    OvernightStart = 2,
    OrMinutes = 3,
    IbMinutes = 4,
    IbExt1 = 5,
    OrExt1 = 9,
    PriorDayFrom = 11,
    ShowOr = 12,
    ShowIb = 13,
    ShowIbExt = 14,
    ShowOrExt = 15,
    ShowPriorDay = 16,
    ShowOvernight = 17,
    ShowRthOpen = 18,
    DrawWhileForming = 19,
    SessionsToShow = 20,
    AlertNumber = 21,
    ShowLabels = 22,
    ShowPanel = 23,
    AverageOver = 24,
    PanelPosition = 25,
    PanelFontSize = 26,
};

inline constexpr std::int32_t kPanelOffset = 74200000;

// A bar starting at the given date and clock time (2023 unless stated).
inline replay::Bar bar(std::int32_t month, std::int32_t day, std::int32_t hour, std::int32_t minute,
                       float open, float high, float low, float close) {
    return replay::Bar{chartTime(2023, month, day, hour, minute), open, high, low, close, 100.0f};
}

class SessionLevelsTest : public ::testing::Test {
protected:
    replay::StudyInstance study{testModule().sessionLevels(), 7, 3};

    void SetUp() override { study.defaultsPass(); }
    void TearDown() override { study.finalCall(); }

    void recalculate(const std::vector<replay::Bar>& bars) {
        study.setBars(bars);
        study.fullRecalculation();
    }
    void setTime(std::int32_t slot, std::int32_t hour, std::int32_t minute) {
        study.setDoubleInput(slot, (hour * 3600.0 + minute * 60.0) / 86400.0);
    }
    float at(Level level, std::int32_t barIndex) const { return study.value(level, barIndex); }
    float session(std::int32_t barIndex) const { return study.extraValue(0, 0, barIndex); }
    std::string panelText() const {
        const auto found = study.drawings().find(7 + kPanelOffset);
        return found == study.drawings().end() ? std::string("<no panel>") : found->second.text;
    }
};

}  // namespace keelmark::test
