// The VWAP and band lines of one anchor on small hand-made charts.
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "tests/anchored_vwap/avwap_chart.h"

namespace keelmark::test::avwap {
namespace {

// Closes 10, 11, 12 with volumes 1, 2, 1, "Price" = "Close", bands at 1 and 2
// standard deviations, anchored at bar 0.
Study closesTenElevenTwelve() {
    auto study = declaredStudy();
    study->setBars(flatBars({10, 11, 12}, {1, 2, 1}));
    study->setIntInput(kPrice, 1);
    showBands(*study);
    anchorAt(*study, 0, minuteOf(0));
    return study;
}

void expectLines(const StudyInstance& s, std::int32_t bar, float vwap, float b1u, float b1l,
                 float b2u, float b2l) {
    SCOPED_TRACE(bar);
    EXPECT_EQ(s.value(output(0, kVwap), bar), vwap);
    EXPECT_EQ(s.value(output(0, kBand1Upper), bar), b1u);
    EXPECT_EQ(s.value(output(0, kBand1Lower), bar), b1l);
    EXPECT_EQ(s.value(output(0, kBand2Upper), bar), b2u);
    EXPECT_EQ(s.value(output(0, kBand2Lower), bar), b2l);
}

TEST(AnchoredVwapLines, WorkedExampleIsExactToSinglePrecisionOnFormingAndCommittedBars) {
    auto study = closesTenElevenTwelve();
    study->fullRecalculation();  // bar 2 is the forming bar
    expectLines(*study, 0, 10.0f, 10.0f, 10.0f, 10.0f, 10.0f);
    // VWAP 32/3, SD sqrt(2)/3.
    expectLines(*study, 1, 10.666666666666667f, 11.138071187457698f, 10.195262145875635f,
                11.609475708248730f, 9.7238576250846034f);
    // VWAP 11, SD sqrt(1/2).
    expectLines(*study, 2, 11.0f, 11.707106781186548f, 10.292893218813452f, 12.414213562373095f,
                9.5857864376269051f);

    study->appendBar(Bar{minuteOf(3), 13, 13, 13, 13, 1});  // bar 2 is committed now
    study->updateAfterAppend();
    expectLines(*study, 2, 11.0f, 11.707106781186548f, 10.292893218813452f, 12.414213562373095f,
                9.5857864376269051f);
}

TEST(AnchoredVwapLines, BandsFollowTheSwitchAndEachMultiplier) {
    auto study = closesTenElevenTwelve();
    study->setIntInput(kShowBands, 0);
    study->fullRecalculation();
    for (Line band : {kBand1Upper, kBand1Lower, kBand2Upper, kBand2Lower}) {
        EXPECT_EQ(asVector(study->values(output(0, band))), std::vector<float>(3, 0.0f)) << band;
    }
    EXPECT_EQ(study->value(output(0, kVwap), 1), 10.666666666666667f);

    showBands(*study, 1.5f, 0.0f);
    study->fullRecalculation();
    EXPECT_EQ(study->value(output(0, kBand1Upper), 2), 12.060660171779821f);  // 11 + 1.5 sqrt(1/2)
    EXPECT_EQ(asVector(study->values(output(0, kBand2Upper))), std::vector<float>(3, 0.0f));
    EXPECT_EQ(asVector(study->values(output(0, kBand2Lower))), std::vector<float>(3, 0.0f));
    EXPECT_EQ(study->outputName(output(0, kBand1Upper)), "AVWAP 1 +1SD");
}

TEST(AnchoredVwapLines, LineStartsAtItsAnchorBarAndTwoSlotsOnOneBarDrawAlike) {
    auto study = declaredStudy();
    study->setBars(flatBars({10, 11, 12, 14, 13}, {5, 2, 1, 4, 3}));
    showBands(*study);
    anchorAt(*study, 2, minuteOf(2));
    anchorAt(*study, 5, minuteOf(2));
    anchorAt(*study, 7, minuteOf(4));  // on the forming bar
    study->fullRecalculation();
    for (Line line : {kVwap, kBand1Upper, kBand1Lower, kBand2Upper, kBand2Lower}) {
        EXPECT_EQ(study->value(output(2, line), 0), 0.0f);
        EXPECT_EQ(study->value(output(2, line), 1), 0.0f);
        EXPECT_EQ(study->value(output(2, line), 2), 12.0f);  // SD 0 at the anchor bar
        EXPECT_EQ(asVector(study->values(output(2, line))), asVector(study->values(output(5, line))));
        EXPECT_EQ(study->value(output(7, line), 3), 0.0f);
        EXPECT_EQ(study->value(output(7, line), 4), 13.0f);
        EXPECT_EQ(asVector(study->values(output(0, line))), std::vector<float>(5, 0.0f));
    }
}

TEST(AnchoredVwapLines, BarsWithoutUsableVolumeOrPriceAddNothing) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    auto study = declaredStudy();
    // Bars 0-1 carry no volume, so the line starts at bar 2; bars 4-7 carry
    // nothing usable and repeat bar 3; bar 8 is the forming bar with a NaN.
    study->setBars(flatBars({nan, 9, 10, 12, nan, 50, 60, inf, nan}, {4, 0, 1, 1, 2, -5, inf, 3, 2}));
    study->setIntInput(kPrice, 1);
    showBands(*study);
    anchorAt(*study, 0, minuteOf(0));
    study->fullRecalculation();
    for (Line line : {kVwap, kBand1Upper, kBand1Lower, kBand2Upper, kBand2Lower}) {
        const std::span<const float> v = study->values(output(0, line));
        EXPECT_EQ(v[0], 0.0f);
        EXPECT_EQ(v[1], 0.0f);
        EXPECT_EQ(v[2], 10.0f);
        for (std::int32_t bar = 4; bar <= 8; ++bar) {
            EXPECT_EQ(v[bar], v[3]) << "line " << line << " bar " << bar;
        }
    }
    EXPECT_EQ(study->value(output(0, kVwap), 3), 11.0f);
    EXPECT_EQ(study->value(output(0, kBand1Upper), 3), 12.0f);
}

TEST(AnchoredVwapLines, AnAnchorBarWithoutVolumeStillSetsTheReferencePrice) {
    // Deviations are taken from the anchor bar's typical price 0.01, not from
    // the first bar with volume: at bar 1 the variance then rounds a hair
    // above zero and band 1 upper sits one float step above the line.
    auto study = declaredStudy();
    study->setBars(flatBars({0.01f, 0.42f, 0.5f}, {0, 3, 1}));
    showBands(*study);
    anchorAt(*study, 0, minuteOf(0));
    study->fullRecalculation();
    EXPECT_EQ(study->value(output(0, kVwap), 0), 0.0f);
    EXPECT_EQ(study->value(output(0, kVwap), 1), 0.419999987f);
    EXPECT_EQ(study->value(output(0, kBand1Upper), 1), 0.420000017f);
    EXPECT_EQ(study->value(output(0, kBand1Lower), 1), 0.419999987f);
}

TEST(AnchoredVwapLines, RoundingBelowZeroVarianceGivesNoSpreadNotNaN) {
    // In double arithmetic the variance at bar 2 comes out slightly negative.
    auto study = declaredStudy();
    study->setBars(flatBars({100.25f, 15873.25f, 15873.25f, 15873.25f}, {1, 1e16f, 1e17f, 1}));
    study->setIntInput(kPrice, 1);
    showBands(*study);
    anchorAt(*study, 0, minuteOf(0));
    study->fullRecalculation();
    const float vwap = study->value(output(0, kVwap), 2);
    EXPECT_EQ(vwap, 15873.25f);
    EXPECT_EQ(study->value(output(0, kBand2Upper), 2), vwap);
    EXPECT_EQ(study->value(output(0, kBand2Lower), 2), vwap);
}

TEST(AnchoredVwapLines, PriceChoicesAverageTheirOwnPrices) {
    auto study = declaredStudy();
    study->setBars({Bar{minuteOf(0), 10, 16, 7, 13, 1}, Bar{minuteOf(1), 1, 1, 1, 1, 0}});
    anchorAt(*study, 0, minuteOf(0));
    const std::pair<std::int32_t, float> expected[] = {{0, 12.0f}, {1, 13.0f}, {2, 11.5f},
                                                       {3, 11.5f}, {9, 12.0f}};
    for (const auto& [choice, vwap] : expected) {
        study->setIntInput(kPrice, choice);
        study->fullRecalculation();
        EXPECT_EQ(study->value(output(0, kVwap), 0), vwap) << "price choice " << choice;
    }
}

}  // namespace
}  // namespace keelmark::test::avwap
