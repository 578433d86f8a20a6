// The Session Levels study: opening range, initial balance and their
// extensions, prior day, overnight and RTH open levels, a session panel,
// right-edge labels and touch alerts.
#pragma once

#include "host/study_interface.h"

namespace keelmark::session_levels {

// Defaults pass: name, description, host settings, 25 outputs, 29 inputs.
void declareStudy(StudyInterface& sc);
// Final call: remove the panel, free the state record.
void finalCall(StudyInterface& sc);
// Any other call: full recalculation or incremental update.
void update(StudyInterface& sc);

}  // namespace keelmark::session_levels
