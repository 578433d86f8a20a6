// Reading the study's settings: the session clock (RTH start and end,
// overnight start as seconds of the day), the opening-range and
// initial-balance minutes, the extension multipliers, the display switches
// and the panel, label and alert settings, each through the host's getters;
// and the memory of the cells they were last decoded from, which spares a
// tick the decoding when no cell changed.
#include "session_levels/inputs.h"

#include <cstring>

#include "host/host_array.h"
#include "host/study_input.h"

namespace keelmark::session_levels {

std::int32_t colourValue(const StudyInput& in) {
    switch (in.valueType) {
        case 1:
        case 3:
        case 4:
        case 6:
        case 11:
        case 13:
        case 14:
        case 15:
        case 16:
        case 17:
        case 19:
        case 22:
        case 24:
            return cellInt(in.value);
        case kInputYesNo:
            return cellInt(in.value) != 0 ? 0xFFFFFF : 0;
        default:
            return 0;
    }
}

namespace {

StudyInputs decodeInputs(const ArrayView<StudyInput>& in) {
    StudyInputs r;
    r.rthStartSeconds = timeOfDaySeconds(in[kInRthStart]);
    r.rthEndSeconds = timeOfDaySeconds(in[kInRthEnd]);
    r.overnightStartSeconds = timeOfDaySeconds(in[kInOvernightStart]);
    r.openingRangeMinutes = intValue(in[kInOpeningRangeMinutes]);
    r.initialBalanceMinutes = intValue(in[kInInitialBalanceMinutes]);
    for (int k = 0; k < kIbExtensionCount; ++k) {
        r.ibMultipliers[k] = floatValue(in[kInIbExtension1 + k]);
    }
    for (int k = 0; k < kOrExtensionCount; ++k) {
        r.orMultipliers[k] = floatValue(in[kInOrExtension1 + k]);
    }
    r.priorDayFrom = indexValue(in[kInPriorDayFrom]);
    r.switches.openingRange = boolValue(in[kInShowOpeningRange]) != 0;
    r.switches.initialBalance = boolValue(in[kInShowInitialBalance]) != 0;
    r.switches.ibExtensions = boolValue(in[kInShowIbExtensions]) != 0;
    r.switches.orExtensions = boolValue(in[kInShowOrExtensions]) != 0;
    r.switches.priorDay = boolValue(in[kInShowPriorDay]) != 0;
    r.switches.overnight = boolValue(in[kInShowOvernight]) != 0;
    r.switches.rthOpen = boolValue(in[kInShowRthOpen]) != 0;
    r.switches.drawWhileForming = boolValue(in[kInDrawWhileForming]) != 0;
    r.sessionsToShow = intValue(in[kInSessionsToShow]);
    r.alertNumber = intValue(in[kInAlertNumber]);
    r.showLabels = boolValue(in[kInShowLabels]) != 0;
    r.showPanel = boolValue(in[kInShowPanel]) != 0;
    r.averageSessions = intValue(in[kInAverageSessions]);
    r.panelPosition = indexValue(in[kInPanelPosition]);
    r.panelFontSize = intValue(in[kInPanelFontSize]);
    r.panelTextColour = colourValue(in[kInPanelTextColour]);
    r.panelBackgroundColour = colourValue(in[kInPanelBackgroundColour]);
    return r;
}

// A value cell's 16 bytes as one vector register (GCC and clang vector
// extension: plain SSE2 loads, XORs and ORs on x86-64, Windows build included).
using CellBits = std::uint64_t __attribute__((vector_size(16)));

CellBits cellBits(const InputValueCell& c) {
    static_assert(sizeof(CellBits) == sizeof c.bytes);
    CellBits v;
    std::memcpy(&v, c.bytes, sizeof v);
    return v;
}

// Whether every slot holds the type and cell the memory was read from. The
// differences are gathered without a branch per slot: on a tick nothing
// differs, and the whole comparison costs a few instructions a slot. A host
// that offers fewer slots than the study declared has its inputs decoded on
// every call.
bool sameCells(const ArrayView<StudyInput>& in, const InputMemory& memory) {
    if (in.count < kInputCount) {
        return false;
    }
    CellBits cells = {};
    std::uint32_t types = 0;
    // Unrolled whole: the slots then cost no index arithmetic.
#pragma GCC unroll 32
    for (std::int32_t slot = 0; slot < kInputCount; ++slot) {
        const StudyInput& cell = in.data[slot];
        cells |= cellBits(cell.value) ^ cellBits(memory.values[slot]);
        types |= static_cast<std::uint32_t>(cell.valueType ^ memory.types[slot]);
    }
    return (cells[0] | cells[1] | types) == 0;
}

}  // namespace

StudyInputs readInputs(StudyInterface& sc) { return decodeInputs(resolve(sc.inputs)); }

StudyInputs readInputs(const ArrayView<StudyInput>& in, InputMemory& memory) {
    if (memory.kept && sameCells(in, memory)) {
        return memory.inputs;
    }
    for (std::int32_t slot = 0; slot < kInputCount; ++slot) {
        memory.types[slot] = in[slot].valueType;
        memory.values[slot] = in[slot].value;
    }
    memory.inputs = decodeInputs(in);
    memory.kept = true;
    return memory.inputs;
}

}  // namespace keelmark::session_levels
