// The study's fixed slots and colours.
//
// Anchor slot n (1 to 8) owns input n-1, its anchor date-time, and the five
// outputs 5(n-1) .. 5(n-1)+4: its VWAP line and its four band lines. The host
// saves input values by slot number, so no number here may ever move.
#pragma once

#include <cstdint>

namespace keelmark::anchored_vwap {

inline constexpr const char* kStudyName = "Keelmark Anchored VWAP";

inline constexpr std::int32_t kAnchorSlots = 8;
inline constexpr std::int32_t kSeriesPerAnchor = 5;
inline constexpr std::int32_t kOutputCount = kAnchorSlots * kSeriesPerAnchor;
inline constexpr std::int32_t kInputCount = 14;

// Inputs after the eight anchor date-times.
inline constexpr std::int32_t kPriceInput = 8;
inline constexpr std::int32_t kShowBandsInput = 9;
inline constexpr std::int32_t kBand1Input = 10;
inline constexpr std::int32_t kBand2Input = 11;
inline constexpr std::int32_t kMarkAnchorsInput = 12;
inline constexpr std::int32_t kMarkerFontSizeInput = 13;

// Position of each line within an anchor slot's five outputs.
inline constexpr std::int32_t kVwapLine = 0;
inline constexpr std::int32_t kBand1Upper = 1;
inline constexpr std::int32_t kBand1Lower = 2;
inline constexpr std::int32_t kBand2Upper = 3;
inline constexpr std::int32_t kBand2Lower = 4;

inline constexpr std::int32_t firstOutputOf(std::int32_t anchorSlot) {
    return anchorSlot * kSeriesPerAnchor;
}

// One colour per anchor slot (0x00BBGGRR), shared by its lines and marker.
inline constexpr std::int32_t kAnchorColours[kAnchorSlots] = {
    0xFFC800,  // RGB(0,200,255)
    0xC85AFF,  // RGB(255,90,200)
    0x5AE678,  // RGB(120,230,90)
    0x28AAFF,  // RGB(255,170,40)
    0xFF78AA,  // RGB(170,120,255)
    0xFFFFFF,  // RGB(255,255,255)
    0x5050FF,  // RGB(255,80,80)
    0xAAC83C,  // RGB(60,200,170)
};

}  // namespace keelmark::anchored_vwap
