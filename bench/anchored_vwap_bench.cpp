// Anchored VWAP through the stand-in host: 8 anchors spread over the chart,
// standard-deviation bands on, default price (typical price).
#include "bench/update_calls.h"

namespace keelmark::bench {

namespace {

StudyFunction anchoredVwap() { return loadedModule().anchoredVwap(); }

const bool kRegistered = registerUpdateCalls("AnchoredVwap", anchoredVwap, setUpAnchoredVwap);

}  // namespace

}  // namespace keelmark::bench
