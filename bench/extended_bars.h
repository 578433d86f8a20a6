// Chart bars for the benchmarks: the bundled real 1-minute sample, continued
// past its last bar by a seeded random walk that keeps the real week of an
// equity-index future (Sunday 18:00 open, a daily pause from 17:00 to 18:00,
// Friday 17:00 close, nothing on Saturday), so every chart size holds RTH
// sessions, overnights and weekends in their real proportions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "standin_host/chart_host.h"

namespace keelmark::bench {

// The walk's seed: every run of the benchmarks sees the same bars.
inline constexpr std::uint64_t kWalkSeed = 0x4B45454C4D41524BULL;

// The first `count` bars: the real ones, then the walk.
std::vector<replay::Bar> extendBars(const std::vector<replay::Bar>& real, std::size_t count,
                                    std::uint64_t seed = kWalkSeed);

// Whether the futures week has a 1-minute bar starting at `start`.
bool isTradingMinute(ChartDateTime start);

// The bundled 1-minute sample extended to `count` bars, made once per run;
// every size is a prefix of the larger ones.
const std::vector<replay::Bar>& sampleChart(std::size_t count);

}  // namespace keelmark::bench
