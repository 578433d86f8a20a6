#include "tests/support/live_feed.h"

#include <algorithm>
#include <cmath>

namespace keelmark::test {

namespace {

float halfwayFrom(float from, float to) { return from + (to - from) / 2.0f; }

void reportLastBar(const replay::StudyInstance& study,
                   const std::function<void(std::int32_t)>& afterEachCall) {
    if (afterEachCall) {
        afterEachCall(static_cast<std::int32_t>(study.bars().size()) - 1);
    }
}

}  // namespace

replay::Bar openedBar(const replay::Bar& bar) {
    replay::Bar opened = bar;
    opened.high = bar.open;
    opened.low = bar.open;
    opened.close = bar.open;
    opened.volume = std::floor(bar.volume / 3.0f);
    return opened;
}

replay::Bar partlyFormedBar(const replay::Bar& bar) {
    replay::Bar formed = bar;
    formed.low = halfwayFrom(bar.open, bar.low);
    formed.close = halfwayFrom(bar.open, bar.close);
    formed.volume = std::floor(bar.volume * 2.0f / 3.0f);
    return formed;
}

void feedLive(replay::StudyInstance& study, const std::vector<replay::Bar>& bars,
              std::int32_t warmupBars, const std::function<void(std::int32_t)>& afterEachCall) {
    const std::size_t warmup =
        std::min(bars.size(), static_cast<std::size_t>(std::max(warmupBars, 0)));
    study.setBars(std::vector<replay::Bar>(bars.begin(), bars.begin() + warmup));
    study.fullRecalculation();
    reportLastBar(study, afterEachCall);
    for (std::size_t i = warmup; i < bars.size(); ++i) {
        study.appendBar(openedBar(bars[i]));
        study.updateAfterAppend();
        reportLastBar(study, afterEachCall);
        study.replaceLastBar(partlyFormedBar(bars[i]));
        study.updateFormingBar();
        reportLastBar(study, afterEachCall);
        study.replaceLastBar(bars[i]);
        study.updateFormingBar();
        reportLastBar(study, afterEachCall);
    }
}

}  // namespace keelmark::test
