#include "replay_engine/live_bar_stages.h"

#include <algorithm>

namespace keelmark::replay {

Bar openedBar(const Bar& full) {
    Bar b = full;
    b.high = b.low = b.close = full.open;
    b.volume = full.volume * 0.25f;
    return b;
}

std::array<Bar, 3> formingStages(const Bar& full) {
    const bool rising = full.close >= full.open;
    Bar first = openedBar(full);
    first.volume = full.volume * 0.5f;
    if (rising) {
        first.low = std::min(full.low, full.open);
        first.close = first.low;
    } else {
        first.high = std::max(full.high, full.open);
        first.close = first.high;
    }
    Bar second = first;
    second.high = std::max(full.high, full.open);
    second.low = std::min(full.low, full.open);
    second.close = rising ? second.high : second.low;
    second.volume = full.volume * 0.75f;
    return {first, second, full};
}

}  // namespace keelmark::replay
