// The study's input and output slot numbers, and the inputs read once per
// call into plain values. Slot numbers are a stored-data contract: the host
// saves a chart's input values by slot, so a slot never moves.
#pragma once

#include <cstdint>

#include "host/host_array.h"
#include "host/study_input.h"
#include "host/study_interface.h"

namespace keelmark::session_levels {

enum InputSlot : std::int32_t {
    kInRthStart = 0,
    kInRthEnd = 1,
    kInOvernightStart = 2,
    kInOpeningRangeMinutes = 3,
    kInInitialBalanceMinutes = 4,
    kInIbExtension1 = 5,  // 5 to 8: IB extensions 1 to 4
    kInOrExtension1 = 9,  // 9 and 10: OR extensions 1 and 2
    kInPriorDayFrom = 11,
    kInShowOpeningRange = 12,
    kInShowInitialBalance = 13,
    kInShowIbExtensions = 14,
    kInShowOrExtensions = 15,
    kInShowPriorDay = 16,
    kInShowOvernight = 17,
    kInShowRthOpen = 18,
    kInDrawWhileForming = 19,
    kInSessionsToShow = 20,
    kInAlertNumber = 21,
    kInShowLabels = 22,
    kInShowPanel = 23,
    kInAverageSessions = 24,
    kInPanelPosition = 25,
    kInPanelFontSize = 26,
    kInPanelTextColour = 27,
    kInPanelBackgroundColour = 28,
    kInputCount = 29,
};

enum OutputSlot : std::int32_t {
    kOutOrHigh = 0,
    kOutOrLow = 1,
    kOutOrMid = 2,
    kOutIbHigh = 3,
    kOutIbLow = 4,
    kOutIbMid = 5,
    kOutIbExtension = 6,   // 6 + 2k up, 7 + 2k down, k = 0..3
    kOutOrExtension = 14,  // 14 + 2k up, 15 + 2k down, k = 0..1
    kOutPriorHigh = 18,
    kOutPriorLow = 19,
    kOutPriorClose = 20,
    kOutOvernightHigh = 21,
    kOutOvernightLow = 22,
    kOutOvernightMid = 23,
    kOutRthOpen = 24,
    kOutputCount = 25,
};

inline constexpr int kIbExtensionCount = 4;
inline constexpr int kOrExtensionCount = 2;

// Which levels the bar plot writes.
struct DisplaySwitches {
    bool openingRange = true;
    bool initialBalance = true;
    bool ibExtensions = true;
    bool orExtensions = false;
    bool priorDay = true;
    bool overnight = true;
    bool rthOpen = true;
    bool drawWhileForming = true;
};

struct StudyInputs {
    std::int32_t rthStartSeconds = 0;
    std::int32_t rthEndSeconds = 0;
    std::int32_t overnightStartSeconds = 0;
    std::int32_t openingRangeMinutes = 0;
    std::int32_t initialBalanceMinutes = 0;
    float ibMultipliers[kIbExtensionCount] = {};
    float orMultipliers[kOrExtensionCount] = {};
    std::int32_t priorDayFrom = 0;
    DisplaySwitches switches;
    std::int32_t sessionsToShow = 0;
    std::int32_t alertNumber = 0;
    bool showLabels = false;
    bool showPanel = false;
    std::int32_t averageSessions = 0;
    std::int32_t panelPosition = 0;
    std::int32_t panelFontSize = 0;
    std::int32_t panelTextColour = 0;
    std::int32_t panelBackgroundColour = 0;
};

// Reads all 29 input slots through the host's element access and getters.
StudyInputs readInputs(StudyInterface& sc);

// The settings of the last call and the cells they were read from. Every
// setting is a function of its slot's value type and value cell alone, so a
// call whose 29 cells are unchanged (every tick between the user's edits)
// takes the settings as they are instead of decoding each cell again.
struct InputMemory {
    std::uint8_t types[kInputCount] = {};
    InputValueCell values[kInputCount] = {};
    StudyInputs inputs;
    bool kept = false;
};

// readInputs over an input array already resolved, through the memory.
StudyInputs readInputs(const ArrayView<StudyInput>& in, InputMemory& memory);

// A colour input's value: the stored word for the integer-like value types,
// white or black for a yes/no input, 0 for anything else.
std::int32_t colourValue(const StudyInput& in);

}  // namespace keelmark::session_levels
