// What the user sees in the study's settings and on its lines: names, input
// slots, output looks, run-time extension names and right-edge labels.
#include "session_levels_fixture.h"

namespace keelmark::test {
namespace {

struct ExpectedInput {
    const char* label;
    std::uint8_t type;
    double value;  // the value cell read as the type's own kind
};

constexpr ExpectedInput kInputs[29] = {
    {"RTH Start Time (chart time zone)", 9, 34200.0 / 86400.0},
    {"RTH End Time (a bar starting at this time is not RTH)", 9, 57600.0 / 86400.0},
    {"Overnight Start Time", 9, 0.75},
    {"Opening Range Minutes", 11, 15},
    {"Initial Balance Minutes", 11, 60},
    {"IB Extension 1 (x IB range, 0 = off)", 2, 0.5},
    {"IB Extension 2 (x IB range, 0 = off)", 2, 1.0},
    {"IB Extension 3 (x IB range, 0 = off)", 2, 1.5},
    {"IB Extension 4 (x IB range, 0 = off)", 2, 2.0},
    {"OR Extension 1 (x OR range, 0 = off)", 2, 1.0},
    {"OR Extension 2 (x OR range, 0 = off)", 2, 2.0},
    {"Prior Day High/Low From", 22, 0},
    {"Show Opening Range", 5, 1},
    {"Show Initial Balance", 5, 1},
    {"Show IB Extensions", 5, 1},
    {"Show OR Extensions", 5, 0},
    {"Show Prior Day High/Low/Close", 5, 1},
    {"Show Overnight High/Low", 5, 1},
    {"Show RTH Open", 5, 1},
    {"Draw OR / IB / Overnight While Still Forming", 5, 1},
    {"Sessions to Show (0 = all)", 11, 5},
    {"Alert Sound Number When Price Touches a Level (0 = off)", 11, 0},
    {"Show Level Names and Values at the Right", 5, 1},
    {"Show Session Panel", 5, 1},
    {"Panel: Average Over Sessions", 11, 20},
    {"Panel Position", 22, 0},
    {"Panel Font Size", 11, 9},
    {"Panel Text Color", 14, 0xE6E6E6},
    {"Panel Background Color", 14, 0x242020},
};

struct ExpectedOutput {
    const char* name;
    std::int32_t colour, drawStyle, width;
};

constexpr ExpectedOutput kOutputs[25] = {
    {"ORH", 0x008CFF, 3, 2},
    {"ORL", 0x008CFF, 3, 2},
    {"OR Mid", 0x008CFF, 0x20003, 1},
    {"IBH", 0xE6AA00, 3, 2},
    {"IBL", 0xE6AA00, 3, 2},
    {"IB Mid", 0xE6AA00, 0x20003, 1},
    {"IB Ext", 0xC88C5A, 0x10003, 1},
    {"IB Ext", 0xC88C5A, 0x10003, 1},
    {"IB Ext", 0xC88C5A, 0x10003, 1},
    {"IB Ext", 0xC88C5A, 0x10003, 1},
    {"IB Ext", 0xC88C5A, 0x10003, 1},
    {"IB Ext", 0xC88C5A, 0x10003, 1},
    {"IB Ext", 0xC88C5A, 0x10003, 1},
    {"IB Ext", 0xC88C5A, 0x10003, 1},
    {"OR Ext", 0x3C82C8, 0x10003, 1},
    {"OR Ext", 0x3C82C8, 0x10003, 1},
    {"OR Ext", 0x3C82C8, 0x10003, 1},
    {"OR Ext", 0x3C82C8, 0x10003, 1},
    {"PDH", 0xC850C8, 3, 2},
    {"PDL", 0xC850C8, 3, 2},
    {"PDC", 0xC850C8, 0x20003, 1},
    {"ONH", 0x28C8E6, 3, 2},
    {"ONL", 0x28C8E6, 3, 2},
    {"ON Mid", 0x28C8E6, 0x20003, 1},
    {"RTH Open", 0xB4B4B4, 0x10003, 1},
};

double cellAsDeclared(const StudyInput& in) {
    switch (in.valueType) {
        case 9:
            return cellDouble(in.value);
        case 2:
            return cellFloat(in.value);
        default:
            return cellInt(in.value);
    }
}

using Declaration = SessionLevelsTest;

TEST_F(Declaration, DefaultsPassDeclaresTheStudyItsInputsAndOutputs) {
    EXPECT_EQ(study.studyName(), "Keelmark Session Levels");
    EXPECT_EQ(study.studyDescription(),
              "Opening range, initial balance and extensions, prior-day high/low/close, overnight "
              "high/low and the RTH open. Times are in the chart's time zone. Levels appear on the "
              "bar they become known and never repaint. Draws levels; places no orders.");
    const StudyInterface& r = study.record();
    EXPECT_EQ(r.hostSettingA, 3);
    EXPECT_EQ(r.hostSettingB, 40);
    EXPECT_EQ(r.hostSettingC, 0);
    EXPECT_EQ(r.chartRegion, 0);
    ASSERT_EQ(study.declaredInputCount(), 29);
    for (std::int32_t slot = 0; slot < 29; ++slot) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(study.inputLabel(slot), kInputs[slot].label);
        EXPECT_EQ(study.input(slot).valueType, kInputs[slot].type);
        EXPECT_EQ(cellAsDeclared(study.input(slot)), kInputs[slot].value);
    }
    EXPECT_EQ(cellInt(study.input(26).minValue), 5);
    EXPECT_EQ(cellInt(study.input(20).maxValue), 100000);
    EXPECT_EQ(cellFloat(study.input(8).maxValue), 20.0f);
    EXPECT_EQ(study.optionList(11), "RTH session only;Overnight + RTH");
    EXPECT_EQ(study.optionList(25), "Top left;Top right;Bottom left;Bottom right");
    ASSERT_EQ(study.declaredOutputCount(), 25);
    for (std::int32_t slot = 0; slot < 25; ++slot) {
        SCOPED_TRACE(slot);
        const OutputSeries& out = study.output(slot);
        EXPECT_EQ(study.outputName(slot), kOutputs[slot].name);
        EXPECT_EQ(out.colour, kOutputs[slot].colour);
        EXPECT_EQ(out.drawStyle, kOutputs[slot].drawStyle);
        EXPECT_EQ(out.lineWidth, kOutputs[slot].width);
        EXPECT_EQ(out.labelFlags, 0x410D);
        EXPECT_EQ(out.reservedSetting, 0);
    }
    EXPECT_TRUE(study.persistentPointer(1) == nullptr);
}

TEST_F(Declaration, ExtensionOutputsTakeTheirMultipliersAtTheNextFullRecalculation) {
    const std::vector<replay::Bar> bars{bar(11, 20, 9, 30, 1, 2, 1, 2),
                                        bar(11, 20, 9, 31, 2, 3, 2, 3)};
    study.setBars(bars);
    study.setFloatInput(IbExt1, 0.75f);
    study.update(1);  // a first call recalculates in full: the state is new
    const char* expected[12] = {"IB +0.75x", "IB -0.75x", "IB +1x", "IB -1x",
                                "IB +1.5x",  "IB -1.5x",  "IB +2x", "IB -2x",
                                "OR +1x",    "OR -1x",    "OR +2x", "OR -2x"};
    for (std::int32_t k = 0; k < 12; ++k) {
        EXPECT_EQ(study.outputName(IBUp1 + k), expected[k]);
    }
    study.setFloatInput(IbExt1, 0.0f);
    study.updateFormingBar();
    EXPECT_EQ(study.outputName(IBUp1), "IB +0.75x") << "incremental calls keep the names";
    study.fullRecalculation();
    EXPECT_EQ(study.outputName(IBUp1), "IB +0x");
    EXPECT_EQ(study.outputName(IBDown1), "IB -0x");
}

TEST_F(Declaration, LabelSwitchClearsAllFlagsAndRestoresOnlyTheEmptyOnes) {
    recalculate({bar(11, 20, 9, 30, 1, 2, 1, 2)});
    study.setIntInput(ShowLabels, 0);
    study.output(PDH).labelFlags = 0x1;  // a user's own setting
    study.fullRecalculation();
    for (std::int32_t slot = 0; slot < 25; ++slot) {
        EXPECT_EQ(study.output(slot).labelFlags, 0) << slot;
    }
    study.output(PDH).labelFlags = 0x1;
    study.setIntInput(ShowLabels, 1);
    study.fullRecalculation();
    for (std::int32_t slot = 0; slot < 25; ++slot) {
        EXPECT_EQ(study.output(slot).labelFlags, slot == PDH ? 0x1 : 0x410D) << slot;
    }
}

}  // namespace
}  // namespace keelmark::test
