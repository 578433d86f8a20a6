// The chart menu end to end through the stand-in host: items registered once,
// commands delivered by identifier, anchor inputs rewritten, lines redrawn.
#include <gtest/gtest.h>

#include "tests/anchored_vwap/avwap_chart.h"

namespace keelmark::test::avwap {
namespace {

Study chartOf30Bars() {
    Study study = declaredStudy();
    std::vector<float> closes(30), volumes(30, 10.0f);
    for (std::size_t k = 0; k < closes.size(); ++k) closes[k] = 100.0f + static_cast<float>(k);
    study->setBars(flatBars(closes, volumes));
    return study;
}

ChartDateTime anchorOf(StudyInstance& study, std::int32_t slot) {
    return dateTimeValue(study.input(slot));
}

TEST(AnchoredVwapMenu, ItemsAreRegisteredOnceAndARefusedItemIsRetried) {
    Study study = chartOf30Bars();
    study->setMenuRegistrationRefused(true);
    study->fullRecalculation();
    EXPECT_TRUE(study->menuItems().empty());
    study->setMenuRegistrationRefused(false);
    study->updateFormingBar();
    study->updateFormingBar();
    ASSERT_EQ(study->menuItems().size(), 3u);
    EXPECT_EQ(study->menuItems()[0].text, "Anchor VWAP Here");
    EXPECT_EQ(study->menuItems()[1].text, "Remove Nearest Anchored VWAP");
    EXPECT_EQ(study->menuItems()[2].text, "Remove All Anchored VWAPs");
    for (std::int32_t key = 1; key <= 3; ++key) {
        EXPECT_EQ(study->persistentInt(key), study->menuItems()[key - 1].id);
    }
}

TEST(AnchoredVwapMenu, AnchorHereFillsTheLowestEmptySlotAtTheBarUnderThePointer) {
    Study study = chartOf30Bars();
    anchorAt(*study, 0, minuteOf(2));
    anchorAt(*study, 2, minuteOf(4));
    study->fullRecalculation();
    sendMenu(*study, kAnchorHere, 12);
    EXPECT_EQ(anchorOf(*study, 1), minuteOf(12));
    EXPECT_EQ(study->value(output(1, kVwap), 12), 112.0f);  // drawn in the same call
    sendMenu(*study, kAnchorHere, 12);
    EXPECT_EQ(anchorOf(*study, 3), minuteOf(12));
    sendMenu(*study, kAnchorHere, 500);  // beyond the chart: the last bar
    EXPECT_EQ(anchorOf(*study, 4), minuteOf(29));
    sendMenu(*study, kAnchorHere, -3);  // before it: the first bar
    EXPECT_EQ(anchorOf(*study, 5), minuteOf(0));
    EXPECT_TRUE(study->log().size() == 1);  // the status line of the full recalculation only
}

TEST(AnchoredVwapMenu, WithAllSlotsInUseAnchorHereMovesTheEarliestAnchorAndSaysSo) {
    Study study = chartOf30Bars();
    for (std::int32_t slot = 0; slot < 8; ++slot) anchorAt(*study, slot, minuteOf(20 - slot));
    anchorAt(*study, 3, minuteOf(-60));  // the earliest, before the chart, tied with slot 7
    anchorAt(*study, 7, minuteOf(-60));
    study->fullRecalculation();
    study->clearLog();
    sendMenu(*study, kAnchorHere, 25);
    EXPECT_EQ(anchorOf(*study, 3), minuteOf(25));
    EXPECT_EQ(anchorOf(*study, 7), minuteOf(-60));
    ASSERT_EQ(study->log().size(), 1u);
    EXPECT_EQ(study->log()[0].text,
              "Keelmark Anchored VWAP: all 8 anchors were in use, so the oldest one was moved.");
    EXPECT_EQ(study->log()[0].flag, 0);
}

TEST(AnchoredVwapMenu, RemoveNearestEmptiesTheClosestAnchorOnTheChart) {
    Study study = chartOf30Bars();
    anchorAt(*study, 0, minuteOf(-5));  // not on the chart: never the nearest
    anchorAt(*study, 3, minuteOf(10));
    anchorAt(*study, 1, minuteOf(20));
    study->fullRecalculation();
    sendMenu(*study, kRemoveNearest, 15);  // a tie: the lower slot goes
    EXPECT_EQ(anchorOf(*study, 1), 0);
    EXPECT_EQ(asVector(study->values(output(1, kVwap))), std::vector<float>(30, 0.0f));
    EXPECT_EQ(study->drawings().count(markerNumber(7, 1)), 0u);
    sendMenu(*study, kRemoveNearest, 0);
    EXPECT_EQ(anchorOf(*study, 3), 0);
    sendMenu(*study, kRemoveNearest, 0);  // nothing left on the chart
    EXPECT_EQ(anchorOf(*study, 0), minuteOf(-5));
}

TEST(AnchoredVwapMenu, RemoveAllClearsEverySlotAndStrayCommandsChangeNothing) {
    Study study = chartOf30Bars();
    anchorAt(*study, 0, minuteOf(3));
    anchorAt(*study, 6, minuteOf(8));
    study->fullRecalculation();
    study->menuCommand(999, 5);  // not one of ours
    EXPECT_EQ(anchorOf(*study, 0), minuteOf(3));

    study->setBars({});  // an empty chart handles no command
    sendMenu(*study, kRemoveAll, 0);
    EXPECT_EQ(anchorOf(*study, 6), minuteOf(8));

    study->setBarColumns(chartOf30Bars()->bars());
    sendMenu(*study, kRemoveAll, 0);
    for (std::int32_t slot = 0; slot < 8; ++slot) {
        EXPECT_EQ(study->input(slot).valueType, kInputDateTime);
        EXPECT_EQ(anchorOf(*study, slot), 0) << slot;
    }
    EXPECT_TRUE(study->drawings().empty());
}

TEST(AnchoredVwapMenu, FinalCallTakesEverythingAwayAndALaterCallStartsAfresh) {
    Study study = chartOf30Bars();
    anchorAt(*study, 0, minuteOf(3));
    study->fullRecalculation();
    const std::size_t deletedBefore = study->deletedDrawingNumbers().size();
    study->finalCall();
    EXPECT_TRUE(study->menuItems().empty());
    EXPECT_TRUE(study->drawings().empty());
    EXPECT_EQ(study->persistentPointer(1), nullptr);
    const std::vector<std::int32_t> deleted(study->deletedDrawingNumbers().begin() + deletedBefore,
                                            study->deletedDrawingNumbers().end());
    ASSERT_EQ(deleted.size(), 8u);
    for (std::int32_t slot = 0; slot < 8; ++slot) EXPECT_EQ(deleted[slot], markerNumber(7, slot));
    for (std::int32_t key = 1; key <= 3; ++key) EXPECT_EQ(study->persistentInt(key), 0);

    study->updateFormingBar();  // the host hands out new identifiers
    ASSERT_EQ(study->menuItems().size(), 3u);
    EXPECT_EQ(study->persistentInt(kAnchorHere), 4);
    sendMenu(*study, kAnchorHere, 7);
    EXPECT_EQ(anchorOf(*study, 1), minuteOf(7));
    EXPECT_EQ(study->value(output(0, kVwap), 29), 116.0f);  // rebuilt from the inputs
}

}  // namespace
}  // namespace keelmark::test::avwap
