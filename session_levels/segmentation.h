// Session segmentation: which bars are RTH, which RTH session they belong to,
// when a session opens and finishes, and which bars form the overnight.
#pragma once

#include <cstdint>

#include "host/host_array.h"
#include "host/study_interface.h"
#include "session_levels/inputs.h"
#include "session_levels/state.h"

namespace keelmark::session_levels {

// The chart's bar arrays, resolved once per call.
struct BarArrays {
    ArrayView<ChartDateTime> times;
    ArrayView<float> open, high, low, close;
};

BarArrays resolveBarArrays(StudyInterface& sc);
BarFields readBar(const BarArrays& bars, std::int32_t index);

struct RthMembership {
    bool rth;
    std::int32_t key;  // day number of the day the session opened
};

RthMembership classifyBar(const SessionClock& clock, std::int32_t day, std::int32_t second);

// Folds one bar into `levels`. With `commit` set the completed ranges are
// appended to the state's lists; otherwise the state is only read.
void foldBar(StateRecord& state, LevelRecord& levels, const BarFields& bar, bool commit);

// Closes the open RTH session: its high, low and last close become the prior
// day, and the overnight collection stops.
void finishSession(const StateRecord& state, LevelRecord& levels, std::int32_t endDay);

// A full recalculation starts from nothing: reset level record, empty lists,
// no committed bar, nothing blanked, the session clock taken from the inputs.
void startFullRecalculation(StateRecord& state, const StudyInputs& inputs);

}  // namespace keelmark::session_levels
