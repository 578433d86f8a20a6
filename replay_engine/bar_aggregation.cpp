#include "replay_engine/bar_aggregation.h"

#include <algorithm>

namespace keelmark::replay {

namespace {

std::int64_t floorDivide(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Volume is summed in double precision and rounded once, so that a long
// run of bars loses nothing to single-precision rounding on the way.
struct Forming {
    Bar bar;
    double volume = 0;
};

Forming openBar(ChartDateTime start, const Bar& first) {
    Forming f;
    f.bar = first;
    f.bar.start = start;
    f.volume = first.volume;
    return f;
}

void foldBar(Forming& f, const Bar& next) {
    f.bar.high = std::max(f.bar.high, next.high);
    f.bar.low = std::min(f.bar.low, next.low);
    f.bar.close = next.close;
    f.volume += next.volume;
}

Bar closeBar(const Forming& f) {
    Bar b = f.bar;
    b.volume = static_cast<float>(f.volume);
    return b;
}

}  // namespace

ChartDateTime periodStart(ChartDateTime t, std::int32_t minutes) {
    const std::int64_t dayStart = floorDivide(t, kMicrosPerDay) * kMicrosPerDay;
    const std::int64_t length = minutes * kMicrosPerMinute;
    return dayStart + floorDivide(t - dayStart, length) * length;
}

std::vector<Bar> aggregateBars(const std::vector<Bar>& bars, std::int32_t minutes) {
    std::vector<Bar> result;
    if (bars.empty()) {
        return result;
    }
    Forming forming = openBar(periodStart(bars.front().start, minutes), bars.front());
    for (std::size_t i = 1; i < bars.size(); ++i) {
        const ChartDateTime start = periodStart(bars[i].start, minutes);
        if (start == forming.bar.start) {
            foldBar(forming, bars[i]);
        } else {
            result.push_back(closeBar(forming));
            forming = openBar(start, bars[i]);
        }
    }
    result.push_back(closeBar(forming));
    return result;
}

}  // namespace keelmark::replay
