// Anchor markers and the status line, as the host receives them.
#include <gtest/gtest.h>

#include "tests/anchored_vwap/avwap_chart.h"
#include "tests/support/build_stamp_mask.h"

namespace keelmark::test::avwap {
namespace {

Study chartWithLows() {
    Study study = declaredStudy();
    std::vector<Bar> bars;
    for (std::int32_t k = 0; k < 10; ++k) {
        const float p = 200.0f + static_cast<float>(k);
        bars.push_back(Bar{minuteOf(k), p, p + 1, p - 1.5f, p, 5});
    }
    study->setBars(bars);
    return study;
}

std::string statusLine(std::int32_t anchorsOnChart) {
    return std::string("Keelmark Anchored VWAP BUILD <stamp>") + " | anchors on the chart " +
           std::to_string(anchorsOnChart) + " of 8 | right-click the chart: Anchor VWAP Here";
}

TEST(AnchoredVwapMarkers, EachAnchorBarCarriesItsSlotsMarkerAtItsLow) {
    Study study = chartWithLows();
    anchorAt(*study, 1, minuteOf(5));
    anchorAt(*study, 4, minuteOf(5));
    study->fullRecalculation();
    ASSERT_EQ(study->drawings().size(), 2u);
    const replay::PlacedDrawing& m = study->drawings().at(markerNumber(7, 1));
    EXPECT_EQ(m.text, "^ AVWAP 2  11-20 09:35");
    EXPECT_EQ(m.barIndex, 5);
    EXPECT_EQ(m.price, 203.5f);
    EXPECT_EQ(m.textColour, 0xC85AFF);
    EXPECT_EQ(m.fontSize, 8);
    EXPECT_EQ(m.textAlignment, 1);
    EXPECT_EQ(m.drawingKind, 6);
    EXPECT_EQ(m.requestMode, 3);
    EXPECT_EQ(m.hostOptionB, 1);
    EXPECT_EQ(m.hostOptionD, 0);
    EXPECT_EQ(m.relativePlacement, -1);
    EXPECT_EQ(m.dateTime, 0);
    const replay::PlacedDrawing& other = study->drawings().at(markerNumber(7, 4));
    EXPECT_EQ(other.text, "^ AVWAP 5  11-20 09:35");
    EXPECT_EQ(other.textColour, 0xFF78AA);
}

TEST(AnchoredVwapMarkers, AMarkerKeepsItsLookUntilItsSlotIsReset) {
    Study study = chartWithLows();
    anchorAt(*study, 0, minuteOf(2));
    study->fullRecalculation();
    study->output(0).colour = 0x123456;
    study->setIntInput(kFontSize, 12);
    study->updateFormingBar();
    const replay::PlacedDrawing& before = study->drawings().at(markerNumber(7, 0));
    EXPECT_EQ(before.timesSubmitted, 1);
    EXPECT_EQ(before.textColour, 0xFFC800);

    study->fullRecalculation();
    const replay::PlacedDrawing& after = study->drawings().at(markerNumber(7, 0));
    EXPECT_EQ(after.textColour, 0x123456);
    EXPECT_EQ(after.fontSize, 12);

    study->setIntInput(kMarkAnchors, 0);
    study->fullRecalculation();
    EXPECT_TRUE(study->drawings().empty());
    EXPECT_NE(study->value(output(0, kVwap), 9), 0.0f);
}

TEST(AnchoredVwapStatus, EveryFullRecalculationLogsTheAnchorsOnTheChart) {
    Study study = chartWithLows();
    study->fullRecalculation();
    anchorAt(*study, 0, minuteOf(1));
    anchorAt(*study, 3, minuteOf(-1));  // before the first bar
    anchorAt(*study, 6, minuteOf(9));
    study->updateFormingBar();  // incremental: no line
    study->fullRecalculation();
    ASSERT_EQ(study->log().size(), 2u);
    EXPECT_EQ(withBuildStampMasked(study->log()[0].text), statusLine(0));
    EXPECT_EQ(withBuildStampMasked(study->log()[1].text), statusLine(2));
    EXPECT_EQ(study->log()[1].flag, 0);
}

}  // namespace
}  // namespace keelmark::test::avwap
