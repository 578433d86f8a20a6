// Who the study is and what it offers the user: its name and description,
// 29 settings (session clock, opening-range and initial-balance minutes,
// extension multipliers, which levels to show, the panel, labels and alerts)
// and 25 plotted lines (OR, IB, their midpoints and extensions, prior day,
// overnight and RTH open). The extension lines are renamed after their
// multipliers at every full recalculation: "IB +%gx", "OR -%gx".
#include "session_levels/declaration.h"

#include "host/study_input.h"
#include "session_levels/session_levels.h"

namespace keelmark::session_levels {

namespace {

constexpr const char* kStudyName = "Keelmark Session Levels";
constexpr const char* kStudyDescription =
    "Opening range, initial balance and extensions, prior-day high/low/close, overnight "
    "high/low and the RTH open. Times are in the chart's time zone. Levels appear on the bar "
    "they become known and never repaint. Draws levels; places no orders.";

struct OutputLook {
    const char* name;
    std::int32_t colour;  // 0x00BBGGRR
    std::int32_t pattern;
    std::int16_t width;
};

constexpr std::int32_t kOrColour = 0x008CFF;
constexpr std::int32_t kIbColour = 0xE6AA00;
constexpr std::int32_t kIbExtColour = 0xC88C5A;
constexpr std::int32_t kOrExtColour = 0x3C82C8;
constexpr std::int32_t kPriorDayColour = 0xC850C8;
constexpr std::int32_t kOvernightColour = 0x28C8E6;
constexpr std::int32_t kRthOpenColour = 0xB4B4B4;

constexpr OutputLook kOutputs[kOutputCount] = {
    {"ORH", kOrColour, 0, 2},           {"ORL", kOrColour, 0, 2},
    {"OR Mid", kOrColour, 2, 1},        {"IBH", kIbColour, 0, 2},
    {"IBL", kIbColour, 0, 2},           {"IB Mid", kIbColour, 2, 1},
    {"IB Ext", kIbExtColour, 1, 1},     {"IB Ext", kIbExtColour, 1, 1},
    {"IB Ext", kIbExtColour, 1, 1},     {"IB Ext", kIbExtColour, 1, 1},
    {"IB Ext", kIbExtColour, 1, 1},     {"IB Ext", kIbExtColour, 1, 1},
    {"IB Ext", kIbExtColour, 1, 1},     {"IB Ext", kIbExtColour, 1, 1},
    {"OR Ext", kOrExtColour, 1, 1},     {"OR Ext", kOrExtColour, 1, 1},
    {"OR Ext", kOrExtColour, 1, 1},     {"OR Ext", kOrExtColour, 1, 1},
    {"PDH", kPriorDayColour, 0, 2},     {"PDL", kPriorDayColour, 0, 2},
    {"PDC", kPriorDayColour, 2, 1},     {"ONH", kOvernightColour, 0, 2},
    {"ONL", kOvernightColour, 0, 2},    {"ON Mid", kOvernightColour, 2, 1},
    {"RTH Open", kRthOpenColour, 1, 1},
};

constexpr std::int32_t kLineDrawingKind = 3;

// Time-of-day defaults as fractions of a day.
constexpr double kNineThirty = 34200.0 / 86400.0;
constexpr double kFourPm = 57600.0 / 86400.0;
constexpr double kSixPm = 64800.0 / 86400.0;

void declareOutputs(StudyInterface& sc) {
    for (std::int32_t slot = 0; slot < kOutputCount; ++slot) {
        OutputSeries& out = element(sc.outputs, slot);
        const OutputLook& look = kOutputs[slot];
        assign(out.name, look.name);
        out.name.isSet = 1;
        out.colour = look.colour;
        out.drawStyle = drawStyleWord(kLineDrawingKind, look.pattern);
        out.lineWidth = look.width;
        out.reservedSetting = 0;
        out.labelFlags = kRightEdgeLabelFlags;
    }
}

void declareInputs(StudyInterface& sc) {
    auto in = [&sc](std::int32_t slot) -> StudyInput& { return element(sc.inputs, slot); };
    declareTimeOfDayInput(in(kInRthStart), "RTH Start Time (chart time zone)", kNineThirty);
    declareTimeOfDayInput(in(kInRthEnd), "RTH End Time (a bar starting at this time is not RTH)",
                          kFourPm);
    declareTimeOfDayInput(in(kInOvernightStart), "Overnight Start Time", kSixPm);
    declareIntegerInput(in(kInOpeningRangeMinutes), "Opening Range Minutes", 15, 1, 600);
    declareIntegerInput(in(kInInitialBalanceMinutes), "Initial Balance Minutes", 60, 1, 600);
    declareFloatInput(in(kInIbExtension1 + 0), "IB Extension 1 (x IB range, 0 = off)", 0.5f, 0, 20);
    declareFloatInput(in(kInIbExtension1 + 1), "IB Extension 2 (x IB range, 0 = off)", 1.0f, 0, 20);
    declareFloatInput(in(kInIbExtension1 + 2), "IB Extension 3 (x IB range, 0 = off)", 1.5f, 0, 20);
    declareFloatInput(in(kInIbExtension1 + 3), "IB Extension 4 (x IB range, 0 = off)", 2.0f, 0, 20);
    declareFloatInput(in(kInOrExtension1 + 0), "OR Extension 1 (x OR range, 0 = off)", 1.0f, 0, 20);
    declareFloatInput(in(kInOrExtension1 + 1), "OR Extension 2 (x OR range, 0 = off)", 2.0f, 0, 20);
    declareListInput(in(kInPriorDayFrom), "Prior Day High/Low From",
                     "RTH session only;Overnight + RTH", 0);
    declareYesNoInput(in(kInShowOpeningRange), "Show Opening Range", true);
    declareYesNoInput(in(kInShowInitialBalance), "Show Initial Balance", true);
    declareYesNoInput(in(kInShowIbExtensions), "Show IB Extensions", true);
    declareYesNoInput(in(kInShowOrExtensions), "Show OR Extensions", false);
    declareYesNoInput(in(kInShowPriorDay), "Show Prior Day High/Low/Close", true);
    declareYesNoInput(in(kInShowOvernight), "Show Overnight High/Low", true);
    declareYesNoInput(in(kInShowRthOpen), "Show RTH Open", true);
    declareYesNoInput(in(kInDrawWhileForming), "Draw OR / IB / Overnight While Still Forming",
                      true);
    declareIntegerInput(in(kInSessionsToShow), "Sessions to Show (0 = all)", 5, 0, 100000);
    declareIntegerInput(in(kInAlertNumber),
                        "Alert Sound Number When Price Touches a Level (0 = off)", 0, 0, 150);
    declareYesNoInput(in(kInShowLabels), "Show Level Names and Values at the Right", true);
    declareYesNoInput(in(kInShowPanel), "Show Session Panel", true);
    declareIntegerInput(in(kInAverageSessions), "Panel: Average Over Sessions", 20, 1, 1000);
    declareListInput(in(kInPanelPosition), "Panel Position",
                     "Top left;Top right;Bottom left;Bottom right", 0);
    declareIntegerInput(in(kInPanelFontSize), "Panel Font Size", 9, 5, 30);
    declareColourInput(in(kInPanelTextColour), "Panel Text Color", 0xE6E6E6);
    declareColourInput(in(kInPanelBackgroundColour), "Panel Background Color", 0x242020);
}

void nameExtension(OutputSeries& out, const char* format, float multiplier) {
    keelmark::format(out.name, format, static_cast<double>(multiplier));
    out.name.isSet = 1;
}

}  // namespace

void declareStudy(StudyInterface& sc) {
    readInputs(sc);  // every call begins by fetching the input slots
    assign(sc.studyName, kStudyName);
    sc.studyName.isSet = 1;
    assign(sc.studyDescription, kStudyDescription);
    sc.studyDescription.isSet = 1;
    declareHostSettings(sc);
    declareOutputs(sc);
    declareInputs(sc);
}

void renameExtensionOutputs(const ArrayView<OutputSeries>& outputs, const StudyInputs& inputs) {
    for (int k = 0; k < kIbExtensionCount; ++k) {
        nameExtension(outputs[kOutIbExtension + 2 * k], "IB +%gx", inputs.ibMultipliers[k]);
        nameExtension(outputs[kOutIbExtension + 2 * k + 1], "IB -%gx", inputs.ibMultipliers[k]);
    }
    for (int k = 0; k < kOrExtensionCount; ++k) {
        nameExtension(outputs[kOutOrExtension + 2 * k], "OR +%gx", inputs.orMultipliers[k]);
        nameExtension(outputs[kOutOrExtension + 2 * k + 1], "OR -%gx", inputs.orMultipliers[k]);
    }
}

}  // namespace keelmark::session_levels
