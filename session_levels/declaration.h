// Run-time names of the twelve range-extension outputs.
#pragma once

#include "host/host_array.h"
#include "host/output_series.h"
#include "session_levels/inputs.h"

namespace keelmark::session_levels {

// Names the extension outputs after their multipliers ("IB +0.5x",
// "OR -2x"), so the right-edge labels read the multiplier in use.
void renameExtensionOutputs(const ArrayView<OutputSeries>& outputs, const StudyInputs& inputs);

}  // namespace keelmark::session_levels
