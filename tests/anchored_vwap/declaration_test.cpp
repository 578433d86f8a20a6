// The defaults pass: the slots the host saves a chart's settings by.
#include <gtest/gtest.h>

#include "tests/anchored_vwap/avwap_chart.h"

namespace keelmark::test::avwap {
namespace {

TEST(AnchoredVwapDeclaration, DeclaresFortyLinesAndFourteenInputsInTheirSlots) {
    Study study = declaredStudy();
    EXPECT_EQ(study->studyName(), "Keelmark Anchored VWAP");
    EXPECT_EQ(study->studyDescription(),
              "Right-click the chart and choose Anchor VWAP Here to start a VWAP at the bar under "
              "the pointer. Up to 8 anchors with optional standard-deviation bands; anchors are "
              "saved in the inputs. Draws levels; places no orders.");
    const StudyInterface& r = study->record();
    EXPECT_EQ(r.hostSettingA, 3);
    EXPECT_EQ(r.hostSettingB, 40);
    EXPECT_EQ(r.hostSettingC, 0);
    EXPECT_EQ(r.chartRegion, 0);
    ASSERT_EQ(study->declaredOutputCount(), 40);
    ASSERT_EQ(study->declaredInputCount(), 14);

    EXPECT_EQ(study->outputName(10), "AVWAP 3");
    EXPECT_EQ(study->outputName(11), "AVWAP 3 +1SD");
    EXPECT_EQ(study->outputName(12), "AVWAP 3 -1SD");
    EXPECT_EQ(study->outputName(13), "AVWAP 3 +2SD");
    EXPECT_EQ(study->outputName(39), "AVWAP 8 -2SD");
    const std::int32_t colours[] = {0xFFC800, 0xC85AFF, 0x5AE678, 0x28AAFF,
                                    0xFF78AA, 0xFFFFFF, 0x5050FF, 0xAAC83C};
    for (std::int32_t slot = 0; slot < 40; ++slot) {
        const OutputSeries& s = study->output(slot);
        const bool vwap = slot % 5 == 0;
        EXPECT_EQ(s.colour, colours[slot / 5]) << slot;
        EXPECT_EQ(s.drawStyle, vwap ? 26 : 131098) << slot;
        EXPECT_EQ(s.lineWidth, vwap ? 2 : 1) << slot;
        EXPECT_EQ(s.labelFlags, vwap ? 0x410D : 0) << slot;
        EXPECT_EQ(s.reservedSetting, 0) << slot;
    }

    EXPECT_EQ(study->inputLabel(0), "Anchor 1 Date-Time (empty = off; set by the right-click menu)");
    EXPECT_EQ(study->inputLabel(7), "Anchor 8 Date-Time (empty = off; set by the right-click menu)");
    for (std::int32_t slot = 0; slot < 8; ++slot) {
        EXPECT_EQ(study->input(slot).valueType, kInputDateTime);
        EXPECT_EQ(cellDouble(study->input(slot).value), 0.0);
    }
    EXPECT_EQ(study->inputLabel(kPrice), "Price");
    EXPECT_EQ(study->optionList(study->input(kPrice).optionListToken),
              "Typical (H+L+C)/3;Close;OHLC average;(H+L)/2");
    EXPECT_EQ(study->inputLabel(kShowBands), "Show Standard Deviation Bands");
    EXPECT_EQ(boolValue(study->input(kShowBands)), 0);
    EXPECT_EQ(study->inputLabel(kBand1), "Band 1 (x standard deviation, 0 = off)");
    EXPECT_EQ(floatValue(study->input(kBand1)), 1.0f);
    EXPECT_EQ(cellFloat(study->input(kBand1).maxValue), 10.0f);
    EXPECT_EQ(study->inputLabel(kBand2), "Band 2 (x standard deviation, 0 = off)");
    EXPECT_EQ(floatValue(study->input(kBand2)), 2.0f);
    EXPECT_EQ(study->inputLabel(kMarkAnchors), "Mark Each Anchor Bar");
    EXPECT_EQ(boolValue(study->input(kMarkAnchors)), 1);
    EXPECT_EQ(study->inputLabel(kFontSize), "Marker Font Size");
    EXPECT_EQ(intValue(study->input(kFontSize)), 8);
    EXPECT_EQ(cellInt(study->input(kFontSize).minValue), 5);
    EXPECT_EQ(cellInt(study->input(kFontSize).maxValue), 30);
    EXPECT_EQ(study->counts().persistentAccesses, 0);
}

}  // namespace
}  // namespace keelmark::test::avwap
