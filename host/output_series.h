// OutputSeries: one plotted series of a study, with its look and its
// per-bar single-precision values (0 means no value on that bar).
#pragma once

#include <cstdint>

#include "host/host_array.h"
#include "host/host_string.h"

namespace keelmark {

// Draw-style words: the kind of drawing in the low 16 bits, the line pattern
// in the high 16 bits.
inline constexpr std::int32_t drawStyleWord(std::int32_t kind, std::int32_t pattern) {
    return (pattern << 16) | kind;
}

// Label flags that show the series name and value at the chart's right edge.
inline constexpr std::int32_t kRightEdgeLabelFlags = 0x410D;

struct OutputSeries {
    HostString name;
    std::int32_t colour;  // 0x00BBGGRR
    std::int32_t drawStyle;
    std::int16_t lineWidth;
    HostArray<float> values;
    HostArray<HostArray<float>> extraArrays;
    std::int32_t reservedSetting;
    std::int32_t labelFlags;
};

}  // namespace keelmark
