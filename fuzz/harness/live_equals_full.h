// The no-repaint property under fuzzing: a well-formed, append-only feed
// (start times increasing, finite prices and volumes) played into a study as
// a live chart delivers it (history, then each new bar opening, re-formed
// any number of times, closing; sometimes several bars at once) ends with
// every committed bar's outputs identical, bit for bit, to those of one full
// recalculation over the same bars with the same inputs, and leaves the same
// drawing texts (panel, markers) at the same bars. Inputs are any
// values within their declared limits; for the Anchored VWAP study the
// anchors fall on bars, between them, before the chart or after its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace keelmark::fuzz {

// Empty when live and full agree; otherwise the first difference.
std::string checkLiveEqualsFull(const std::uint8_t* data, std::size_t size);

}  // namespace keelmark::fuzz
