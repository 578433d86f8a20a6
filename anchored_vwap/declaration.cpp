// The defaults pass: the study's name, description and host settings, then
// for each anchor slot its five output series and its anchor date-time input,
// then the price, band and marker inputs.
#include "anchored_vwap/anchored_vwap.h"
#include "anchored_vwap/study_layout.h"
#include "host/host_string.h"
#include "host/study_input.h"

namespace keelmark::anchored_vwap {

namespace {

constexpr const char* kDescription =
    "Right-click the chart and choose Anchor VWAP Here to start a VWAP at the bar under the "
    "pointer. Up to 8 anchors with optional standard-deviation bands; anchors are saved in the "
    "inputs. Draws levels; places no orders.";

constexpr std::int32_t kLineKind = 26;
constexpr std::int32_t kSolidPattern = 0;
constexpr std::int32_t kDottedPattern = 2;

void declareSeries(OutputSeries& s, std::int32_t drawStyle, std::int32_t colour,
                   std::int16_t lineWidth, std::int32_t labelFlags) {
    s.name.isSet = 1;
    s.drawStyle = drawStyle;
    s.colour = colour;
    s.lineWidth = lineWidth;
    s.reservedSetting = 0;
    s.labelFlags = labelFlags;
}

void declareVwapSeries(OutputSeries& s, std::int32_t anchorNumber, std::int32_t colour) {
    format(s.name, "AVWAP %d", anchorNumber);
    declareSeries(s, drawStyleWord(kLineKind, kSolidPattern), colour, 2, kRightEdgeLabelFlags);
}

void declareBandSeries(OutputSeries& s, std::int32_t anchorNumber, const char* side,
                       std::int32_t bandNumber, std::int32_t colour) {
    format(s.name, "AVWAP %d %s%dSD", anchorNumber, side, bandNumber);
    declareSeries(s, drawStyleWord(kLineKind, kDottedPattern), colour, 1, 0);
}

void declareAnchorOutputs(ArrayView<OutputSeries> outputs, std::int32_t anchorSlot) {
    const std::int32_t first = firstOutputOf(anchorSlot);
    const std::int32_t number = anchorSlot + 1;
    const std::int32_t colour = kAnchorColours[anchorSlot];
    declareVwapSeries(outputs[first + kVwapLine], number, colour);
    declareBandSeries(outputs[first + kBand1Upper], number, "+", 1, colour);
    declareBandSeries(outputs[first + kBand1Lower], number, "-", 1, colour);
    declareBandSeries(outputs[first + kBand2Upper], number, "+", 2, colour);
    declareBandSeries(outputs[first + kBand2Lower], number, "-", 2, colour);
}

void declareAnchorInput(StudyInput& in, std::int32_t anchorNumber) {
    format(in.name, "Anchor %d Date-Time (empty = off; set by the right-click menu)",
           anchorNumber);
    in.name.isSet = 1;
    in.valueType = kInputDateTime;
    setCellDouble(in.value, 0.0);
}

void declareSettingInputs(ArrayView<StudyInput> inputs) {
    declareListInput(inputs[kPriceInput], "Price",
                     "Typical (H+L+C)/3;Close;OHLC average;(H+L)/2", 0);
    declareYesNoInput(inputs[kShowBandsInput], "Show Standard Deviation Bands", false);
    declareFloatInput(inputs[kBand1Input], "Band 1 (x standard deviation, 0 = off)", 1.0f, 0.0f,
                      10.0f);
    declareFloatInput(inputs[kBand2Input], "Band 2 (x standard deviation, 0 = off)", 2.0f, 0.0f,
                      10.0f);
    declareYesNoInput(inputs[kMarkAnchorsInput], "Mark Each Anchor Bar", true);
    declareIntegerInput(inputs[kMarkerFontSizeInput], "Marker Font Size", 8, 5, 30);
}

}  // namespace

void declareStudy(StudyInterface& sc) {
    assign(sc.studyName, kStudyName);
    sc.studyName.isSet = 1;
    assign(sc.studyDescription, kDescription);
    sc.studyDescription.isSet = 1;
    declareHostSettings(sc);

    const ArrayView<OutputSeries> outputs = resolve(sc.outputs);
    const ArrayView<StudyInput> inputs = resolve(sc.inputs);
    for (std::int32_t slot = 0; slot < kAnchorSlots; ++slot) {
        declareAnchorOutputs(outputs, slot);
        declareAnchorInput(inputs[slot], slot + 1);
    }
    declareSettingInputs(inputs);
}

}  // namespace keelmark::anchored_vwap
