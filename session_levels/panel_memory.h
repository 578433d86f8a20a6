// The panel last placed: its text and what the text was made from.
//
// Most ticks change nothing on the panel: once the opening range and the
// initial balance are complete, a forming bar moves no value the panel
// shows. Such a call places the kept text again instead of formatting every
// price anew, which would be most of the cost of a live update. A full
// recalculation always builds the panel afresh.
#pragma once

#include <cstdint>

#include "host/host_string.h"

namespace keelmark::session_levels {

// Everything the panel text is made from, as words compared for equality:
// the flags, the prices by their bits (so that 0 and -0 differ, as their
// texts may), the lengths of the range lists, the number of sessions
// averaged and the host's price format.
inline constexpr int kPanelSourceWords = 15;

struct PanelSource {
    std::uint64_t words[kPanelSourceWords];

    friend bool operator==(const PanelSource&, const PanelSource&) = default;
};

struct PanelMemory {
    PanelSource source{};
    HostString text = emptyHostString();  // on the process heap, owned here
    bool kept = false;                    // `text` is the panel made from `source`

    PanelMemory() = default;
    ~PanelMemory() { release(text); }
    PanelMemory(const PanelMemory&) = delete;
    PanelMemory& operator=(const PanelMemory&) = delete;
};

}  // namespace keelmark::session_levels
