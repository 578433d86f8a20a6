// The host-call scenario: fuzzer bytes become a sequence of host calls on one
// study instance under the stand-in host, the way a careless or hostile host
// might make them.
//
// A defaults pass, then any mix of: full recalculations and update calls with
// any start index; bars appended, re-formed, cut back, rewritten in history
// or replaced by a wholly new chart (times that go backwards or repeat,
// NaN, infinite, negative and huge prices and volumes); a barCount that
// disagrees with the arrays; inputs of any value type and value; menu
// commands with any identifier and bar index; arrays withheld from the
// study; host operations answering oddly (formatPrice without text,
// barIndexForDateTime out of range, addChartMenuItem refusing, series and
// input names handed back without text); process-heap
// allocations refused; and the final call at any point, followed by a fresh
// instance on the same chart.
//
// Invariants: no exception leaves the export; after every final call the
// study has left nothing on the chart (no drawing, no menu item, no state
// object); at the end every process-heap block is back. Crashes and memory
// errors are the sanitizers' to report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/harness/fuzz_module.h"

namespace keelmark::fuzz {

// Empty when every invariant held; otherwise what broke.
std::string runHostCallScenario(Study study, const std::uint8_t* data, std::size_t size);

}  // namespace keelmark::fuzz
