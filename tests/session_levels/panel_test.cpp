// The session panel's exact text in each state of the day, with the host's
// price texts, and where and how the panel is placed.
#include "session_levels/panel.h"

#include <cstdio>

#include "session_levels_fixture.h"
#include "tests/support/live_feed.h"
#include "tests/support/rounding_cases.h"

namespace keelmark::test {
namespace {

// 30-minute bars: the OR is the 09:30 bar alone, the IB the 09:30 and 10:00
// bars. Monday: OR 110-100, IB 112-98, RTH 112-97 closing 102; overnight
// 108-100; Tuesday opens at 107: OR 120-105, IB 121-105.
std::vector<replay::Bar> panelDays() {
    return {bar(11, 20, 9, 30, 100, 110, 100, 105), bar(11, 20, 10, 0, 105, 112, 98, 100),
            bar(11, 20, 10, 30, 100, 104, 99, 101), bar(11, 20, 15, 30, 101, 103, 97, 102),
            bar(11, 20, 16, 0, 102, 103, 101, 102), bar(11, 20, 18, 0, 102, 106, 100, 104),
            bar(11, 21, 2, 0, 104, 108, 103, 107),  bar(11, 21, 9, 30, 107, 120, 105, 118),
            bar(11, 21, 10, 0, 118, 121, 110, 115), bar(11, 21, 10, 30, 115, 116, 111, 112)};
}

class Panel : public SessionLevelsTest {
protected:
    std::string panelOver(std::size_t barCount) {
        const std::vector<replay::Bar> all = panelDays();
        recalculate(std::vector<replay::Bar>(all.begin(),
                                             all.begin() + static_cast<std::ptrdiff_t>(barCount)));
        return panelText();
    }
};

TEST_F(Panel, TextInEachStateOfTheDay) {
    EXPECT_EQ(panelOver(1),
              "SESSION LEVELS\n"
              "OR   110.00 - 100.00  (10.00 pts)  forming\n"
              "IB   110.00 - 100.00  (10.00 pts)  forming\n"
              "PD   needs one completed RTH session on the chart");
    // The IB completes on the forming bar: not yet in its list, so no average.
    EXPECT_EQ(panelOver(3),
              "SESSION LEVELS\n"
              "OR   110.00 - 100.00  (10.00 pts)  = 1.00x its 20-session average\n"
              "IB   112.00 - 98.00  (14.00 pts)\n"
              "PD   needs one completed RTH session on the chart");
    EXPECT_EQ(panelOver(5),
              "SESSION LEVELS\n"
              "Outside RTH: OR and IB start at the RTH open\n"
              "PD   H 112.00  L 97.00  C 102.00");
    EXPECT_EQ(panelOver(7),
              "SESSION LEVELS\n"
              "Outside RTH: OR and IB start at the RTH open\n"
              "ON   108.00 - 100.00  (8.00 pts)  forming\n"
              "PD   H 112.00  L 97.00  C 102.00");
    EXPECT_EQ(panelOver(8),
              "SESSION LEVELS\n"
              "OR   120.00 - 105.00  (15.00 pts)  forming\n"
              "IB   120.00 - 105.00  (15.00 pts)  forming\n"
              "ON   108.00 - 100.00  (8.00 pts)\n"
              "PD   H 112.00  L 97.00  C 102.00\n"
              "Open 107.00  +5.00 vs prior close, inside the prior range");
    EXPECT_EQ(panelOver(10),
              "SESSION LEVELS\n"
              "OR   120.00 - 105.00  (15.00 pts)  = 1.20x its 20-session average\n"
              "IB   121.00 - 105.00  (16.00 pts)  = 1.14x its 20-session average\n"
              "ON   108.00 - 100.00  (8.00 pts)  = 1.00x its 20-session average\n"
              "PD   H 112.00  L 97.00  C 102.00\n"
              "Open 107.00  +5.00 vs prior close, inside the prior range");
    study.setIntInput(AverageOver, 1);
    EXPECT_NE(panelOver(10).find("(15.00 pts)  = 1.00x its 1-session average\n"),
              std::string::npos);
}

// The host enforces the input's limits; the study averages over as many
// sessions as it is given. 1001 sessions with one opening range of 2002 and
// a thousand of 1: over all of them the average is 3002 / 1001.
TEST_F(Panel, AverageSpansEverySessionAskedForEvenPastTheInputLimit) {
    constexpr ChartDateTime kDay = 86'400'000'000, kQuarterHour = 900'000'000;
    const ChartDateTime first = chartTime(2020, 1, 6, 9, 30);
    std::vector<replay::Bar> bars;
    for (ChartDateTime d = 0; d < 1001; ++d) {
        const float high = d == 0 ? 3002.0f : 1001.0f;
        bars.push_back({first + d * kDay, 1000, high, 1000, 1000, 1});
        bars.push_back({first + d * kDay + kQuarterHour, 1000, 1000, 1000, 1000, 1});
    }
    bars.push_back({bars.back().start + 60'000'000, 1000, 1000, 1000, 1000, 1});
    study.setIntInput(AverageOver, 1001);
    recalculate(bars);
    EXPECT_NE(panelText().find("OR   1001.00 - 1000.00  (1.00 pts)  = 0.33x its 1001-session "
                               "average\n"),
              std::string::npos)
        << panelText();
}

TEST_F(Panel, OpenLineSaysWhereTheOpenLiesAgainstThePriorDay) {
    const std::pair<float, const char*> cases[] = {
        {120, "Open 120.00  +18.00 vs prior close, above the prior high"},
        {112, "Open 112.00  +10.00 vs prior close, inside the prior range"},
        {102, "Open 102.00  +0.00 vs prior close, inside the prior range"},
        {90, "Open 90.00  -12.00 vs prior close, below the prior low"},
    };
    for (const auto& [open, line] : cases) {
        std::vector<replay::Bar> bars = panelDays();
        bars.resize(8);
        bars[7].open = open;
        bars[7].low = std::min(open, bars[7].low);
        recalculate(bars);
        const std::string text = panelText();
        EXPECT_EQ(text.substr(text.rfind('\n') + 1), line);
    }
}

TEST_F(Panel, ShowSwitchesDoNotChangeThePanelButThePriceFormatDoes) {
    study.setIntInput(ShowOr, 0);
    study.setIntInput(ShowIb, 0);
    study.setIntInput(DrawWhileForming, 0);
    study.setPriceFormat(0);
    EXPECT_EQ(
        panelOver(1),
        "SESSION LEVELS\nOR   110 - 100  (10 pts)  forming\nIB   110 - 100  (10 pts)  forming\n"
        "PD   needs one completed RTH session on the chart");
    study.setFormatPriceGivesNoText(true);
    EXPECT_EQ(panelOver(1),
              "SESSION LEVELS\nOR    -   ( pts)  forming\nIB    -   ( pts)  forming\n"
              "PD   needs one completed RTH session on the chart");
}

TEST_F(Panel, AnRthSessionStartingPastTheOpeningRangeHasNoOrLine) {
    std::vector<replay::Bar> bars = loadSampleBars("NQ_1hour_sample.csv");
    std::erase_if(bars,
                  [](const replay::Bar& b) { return b.start > chartTime(2023, 12, 4, 11, 0); });
    recalculate(bars);
    EXPECT_EQ(panelText().substr(0, 20), "SESSION LEVELS\nIB   ");
}

TEST_F(Panel, PlacedInTheChosenCornerWithItsLook) {
    panelOver(1);
    const replay::PlacedDrawing& d = study.drawings().at(7 + kPanelOffset);
    EXPECT_EQ(d.chartId, 3);
    EXPECT_EQ(d.drawingKind, 6);
    EXPECT_EQ(d.requestMode, 3);
    EXPECT_EQ(d.region, 0);
    EXPECT_EQ(d.relativePlacement, 1);
    EXPECT_EQ(d.dateTime, 2 * 86'400'000'000LL);
    EXPECT_EQ(d.price, 97.0f);
    EXPECT_EQ(d.textAlignment, 0);
    EXPECT_EQ(d.fontFace, "Consolas");
    EXPECT_EQ(d.fontSize, 9);
    EXPECT_EQ(d.textColour, 0xE6E6E6);
    EXPECT_EQ(d.backgroundColour, 0x242020);
    EXPECT_EQ(d.hostOptionA, 1);
    EXPECT_EQ(d.hostOptionB, 0);
    EXPECT_EQ(d.hostOptionC, 0);
    EXPECT_EQ(d.hostOptionD, 0);
    const struct {
        std::int32_t index;
        ChartDateTime days;
        float price;
        std::int32_t align;
    } corners[] = {{1, 149, 97.0f, 2},
                   {2, 2, 3.0f, 8},
                   {3, 149, 3.0f, 10},
                   {7, 2, 3.0f, 8},
                   {-1, 2, 97.0f, 0}};
    for (const auto& c : corners) {
        study.setIntInput(PanelPosition, c.index);
        study.updateFormingBar();
        const replay::PlacedDrawing& p = study.drawings().at(7 + kPanelOffset);
        EXPECT_EQ(p.dateTime, c.days * 86'400'000'000LL) << c.index;
        EXPECT_EQ(p.price, c.price) << c.index;
        EXPECT_EQ(p.textAlignment, c.align) << c.index;
    }
    EXPECT_EQ(study.drawings().size(), 1u) << "one drawing, replaced on every call";
}

// The settings are decoded again on a tick whenever a cell changed, its
// value type alone included: the font size's bytes read as a float are a
// tiny number, which rounds to 0.
TEST_F(Panel, AnInputRetypedBetweenTicksIsReadAfresh) {
    panelOver(1);
    EXPECT_EQ(study.drawings().at(7 + kPanelOffset).fontSize, 9);
    study.setInputType(PanelFontSize, kInputFloat);
    study.updateFormingBar();
    EXPECT_EQ(study.drawings().at(7 + kPanelOffset).fontSize, 0);
    study.setInputType(PanelFontSize, kInputInteger);
    study.updateFormingBar();
    EXPECT_EQ(study.drawings().at(7 + kPanelOffset).fontSize, 9);
}

TEST_F(Panel, RemovedWhenSwitchedOffWithoutBarsAndOnTheLastCall) {
    panelOver(1);
    study.setIntInput(ShowPanel, 0);
    study.updateFormingBar();
    EXPECT_TRUE(study.drawings().empty());
    EXPECT_EQ(study.deletedDrawingNumbers().back(), 7 + kPanelOffset);
    study.setIntInput(ShowPanel, 1);
    recalculate({});
    EXPECT_TRUE(study.drawings().empty());
    panelOver(1);
    study.finalCall();
    EXPECT_TRUE(study.drawings().empty());
    EXPECT_TRUE(study.persistentPointer(1) == nullptr);
}

// The panel of a live chart, tick by tick, is the panel a fresh full
// recalculation of the same bars shows, also when the host's price format
// changes between two ticks.
TEST_F(Panel, LiveTicksShowTheTextAFreshCalculationShows) {
    replay::StudyInstance fresh{testModule().sessionLevels(), 7, 3};
    fresh.defaultsPass();
    const std::vector<replay::Bar> bars = loadSampleBars("NQ_30min_sample.csv");
    std::int32_t calls = 0;
    feedLive(study, bars, 20, [&](std::int32_t lastBar) {
        fresh.setBarColumns(study.bars());
        fresh.fullRecalculation();
        const auto panel = fresh.drawings().find(7 + kPanelOffset);
        ASSERT_NE(panel, fresh.drawings().end());
        ASSERT_EQ(panelText(), panel->second.text) << "bar " << lastBar << ", call " << calls;
        if (++calls == 400) {  // from the next tick on
            study.setPriceFormat(1);
            fresh.setPriceFormat(1);
        }
    });
    EXPECT_GT(calls, 1000);
    fresh.finalCall();
}

// The ratio is written without printf; every double must come out as
// "%.2f" writes it, ties and extremes included.
TEST(PanelRatioText, RoundsAsPrintfDoes) {
    std::vector<double> ratios = roundingCases(100000);
    for (int k = 0; k <= 100000; ++k) {
        ratios.push_back(k / 1000.0);
        ratios.push_back(k / 8.0 + 0.005);
    }
    char written[session_levels::kRatioTextCapacity];
    char expected[session_levels::kRatioTextCapacity + 16];
    for (const double ratio : ratios) {
        for (const std::int32_t sessions : {1, 20, 1000}) {
            const std::size_t length = session_levels::formatRatioText(written, ratio, sessions);
            std::snprintf(expected, sizeof expected, "  = %.2fx its %d-session average", ratio,
                          static_cast<int>(sessions));
            ASSERT_EQ(std::string(written, length), expected) << std::hexfloat << ratio;
        }
    }
}

}  // namespace
}  // namespace keelmark::test
