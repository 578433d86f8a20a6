// Right-edge labels: the level name and value that the host shows beside
// each line, switched through the series' label flags.
#pragma once

#include "host/host_array.h"
#include "host/output_series.h"

namespace keelmark::session_levels {

// "Show Level Names and Values at the Right": no clears every series' label
// flags; yes gives the name-and-value label to every series that has none
// and keeps any other label setting the user made.
void applyLabelFlags(const ArrayView<OutputSeries>& outputs, bool showLabels);

}  // namespace keelmark::session_levels
