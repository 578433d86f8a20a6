// The panel last placed: its text, what the text was made from, and the
// host's texts of its prices.
//
// Most ticks change nothing on the panel: once the opening range and the
// initial balance are complete, a forming bar moves no value the panel
// shows. Such a call places the kept text again instead of formatting every
// price anew, which would be most of the cost of a live update. A tick that
// does change it (a new high of the overnight, say) asks the host for the
// texts of the changed prices only. A full recalculation always builds the
// panel afresh, every price asked for.
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

// The host's text of the n-th price of the panel as last built, and the
// price it is the text of.
inline constexpr int kPanelPriceTexts = 14;  // 3 a range line, 3 + 2 for the prior day

struct PriceText {
    std::uint64_t priceBits = 0;
    HostString text = emptyHostString();  // on the process heap, owned here
    bool kept = false;                    // `text` is the text of `priceBits`
};

struct PanelMemory {
    PanelSource source{};
    HostString text = emptyHostString();  // on the process heap, owned here
    bool kept = false;                    // `text` is the panel made from `source`
    PriceText prices[kPanelPriceTexts];
    std::int32_t pricesFormat = 0;  // the host's price format of the kept price texts

    PanelMemory() = default;
    ~PanelMemory() {
        release(text);
        for (PriceText& p : prices) {
            release(p.text);
        }
    }
    PanelMemory(const PanelMemory&) = delete;
    PanelMemory& operator=(const PanelMemory&) = delete;
};

}  // namespace keelmark::session_levels
