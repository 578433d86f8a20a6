// The Anchored VWAP study: up to 8 volume-weighted average price lines, each
// from an anchor bar picked through the chart's right-click menu, with up to
// two pairs of standard-deviation bands.
#pragma once

#include "host/study_interface.h"

namespace keelmark::anchored_vwap {

// Defaults pass: name, description, host settings, 40 outputs, 14 inputs.
void declareStudy(StudyInterface& sc);
// Final call: remove menu items and markers, free the anchor state table.
void finalCall(StudyInterface& sc);
// Any other call: menu registration and commands, VWAP lines, markers.
void update(StudyInterface& sc);

}  // namespace keelmark::anchored_vwap
