// Bars made from fuzzer bytes.
//
// Hostile bars: mostly a plausible minute chart (so sessions, opening ranges
// and anchors do form), mixed with times that go backwards, repeat or jump
// anywhere in the 64-bit range, and prices and volumes that are NaN,
// infinite, negative, huge or subnormal.
//
// Well-formed bars: times strictly increasing, prices and volumes finite,
// high and low around open and close; the feed a live chart delivers.
#pragma once

#include <cstdint>

#include "fuzz/harness/fuzz_bytes.h"
#include "standin_host/chart_host.h"

namespace keelmark::fuzz {

// Sunday 2023-11-19 00:00 in the chart's time zone: the evening session of
// that day opens the first trading week of the generated charts.
inline constexpr ChartDateTime kFirstChartDay = 45249LL * 86'400'000'000LL;
inline constexpr ChartDateTime kMinute = 60'000'000LL;

struct BarMaker {
    ChartDateTime time = kFirstChartDay + 18 * 60 * kMinute;
    float price = 15000.0f;
};

replay::Bar hostileBar(FuzzBytes& in, BarMaker& maker);
replay::Bar wellFormedBar(FuzzBytes& in, BarMaker& maker);

// A float chosen from the troublesome ones, or any bit pattern.
float oddFloat(FuzzBytes& in);
// A double chosen from the troublesome ones, or any bit pattern.
double oddDouble(FuzzBytes& in);
// An int32 chosen from the boundary values, or any value.
std::int32_t oddInt(FuzzBytes& in);

}  // namespace keelmark::fuzz
