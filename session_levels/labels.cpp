// Right-edge labels: each level line is labelled by the host with the
// series name ("ORH", "IB +0.5x") and its value at the chart's right edge,
// when the series carries the name-and-value label flags.
#include "session_levels/labels.h"

#include "session_levels/inputs.h"

namespace keelmark::session_levels {

void applyLabelFlags(const ArrayView<OutputSeries>& outputs, bool showLabels) {
    for (std::int32_t slot = 0; slot < kOutputCount; ++slot) {
        OutputSeries& series = outputs[slot];
        if (!showLabels) {
            series.labelFlags = 0;
        } else if (series.labelFlags == 0) {
            series.labelFlags = kRightEdgeLabelFlags;
        }
    }
}

}  // namespace keelmark::session_levels
