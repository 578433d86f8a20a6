#include "fuzz/harness/host_call_scenario.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

#include "fuzz/harness/bar_maker.h"
#include "host/process_heap_standin.h"
#include "standin_host/chart_host.h"

namespace keelmark::fuzz {

namespace {

using replay::Bar;
using replay::StudyInstance;

constexpr std::size_t kMostBars = 64;
constexpr int kMostSteps = 16;

class BrokenInvariant {
public:
    explicit BrokenInvariant(std::string what) : what_(std::move(what)) {}
    const std::string& what() const { return what_; }

private:
    std::string what_;
};

// One instance on one chart, and the bytes that steer both.
struct Scenario {
    Study study;
    FuzzBytes& in;
    BarMaker maker;
    std::unique_ptr<StudyInstance> instance;
    std::int32_t nextStudyId = 1;
};

std::int32_t chartBars(const StudyInstance& s) {
    return static_cast<std::int32_t>(s.bars().size());
}

// Runs one host call; an exception that comes back out of the module is a
// broken invariant (the stand-in host itself throws none on these calls).
template <typename Call>
void hostCall(const char* what, Call&& call) {
    try {
        call();
    } catch (const std::exception& e) {
        throw BrokenInvariant(std::string("exception out of ") + what + ": " + e.what());
    } catch (...) {
        throw BrokenInvariant(std::string("exception out of ") + what);
    }
}

std::int32_t anyStudyId(FuzzBytes& in, std::int32_t next) {
    return in.u8() < 240 ? next : oddInt(in);
}

void startInstance(Scenario& s) {
    std::vector<Bar> bars = s.instance ? barListOf(s.instance->bars()) : std::vector<Bar>{};
    s.instance = std::make_unique<StudyInstance>(studyFunction(s.study),
                                                 anyStudyId(s.in, s.nextStudyId++), 1);
    s.instance->setBars(std::move(bars));
    hostCall("the defaults pass", [&] { s.instance->defaultsPass(); });
}

// The final call must take everything the study placed off the chart.
void finishInstance(Scenario& s) {
    StudyInstance& i = *s.instance;
    hostCall("the final call", [&] { i.finalCall(); });
    if (!i.drawings().empty()) {
        throw BrokenInvariant("a drawing is left on the chart after the final call");
    }
    if (!i.menuItems().empty()) {
        throw BrokenInvariant("a chart menu item is left after the final call");
    }
    if (i.persistentPointer(1) != nullptr) {
        throw BrokenInvariant("the state object is still in pointer slot 1 after the final call");
    }
}

std::vector<Bar> makeBars(Scenario& s, std::size_t count) {
    std::vector<Bar> bars;
    bars.reserve(count);
    for (std::size_t k = 0; k < count; ++k) {
        bars.push_back(hostileBar(s.in, s.maker));
    }
    return bars;
}

std::int32_t anyStartIndex(Scenario& s) {
    const std::int32_t n = chartBars(*s.instance);
    switch (s.in.u8() % 6) {
        case 0:
            return n - 1;
        case 1:
            return n - 2;
        case 2:
            return 0;
        case 3:
            return n + static_cast<std::int32_t>(s.in.u8());
        case 4:
            return -1 - static_cast<std::int32_t>(s.in.u8());
        default:
            return oddInt(s.in);
    }
}

void updateWithAnyStart(Scenario& s) {
    const std::int32_t start = anyStartIndex(s);
    hostCall("an update call", [&] { s.instance->update(start); });
}

void appendBars(Scenario& s) {
    const std::size_t room = kMostBars - std::min(kMostBars, s.instance->bars().size());
    const std::size_t count = std::min<std::size_t>(room, 1 + s.in.u8() % 8);
    for (const Bar& bar : makeBars(s, count)) {
        s.instance->appendBar(bar);
    }
    hostCall("an update after new bars", [&] { s.instance->updateAfterAppend(); });
}

void reformLastBar(Scenario& s) {
    if (s.instance->bars().empty()) {
        return;
    }
    Bar bar = s.instance->bars().back();
    BarMaker same{bar.start, bar.open};
    const Bar formed = hostileBar(s.in, same);
    bar.high = formed.high;
    bar.low = formed.low;
    bar.close = formed.close;
    bar.volume = formed.volume;
    if (s.in.u8() >= 250) {
        bar.start = formed.start;  // even the forming bar's time may change
    }
    s.instance->replaceLastBar(bar);
    hostCall("a forming-bar update", [&] { s.instance->updateFormingBar(); });
}

// The chart loses bars at its end (a reload with less history, a cleared
// chart) or is replaced outright; the host asks for any start.
void cutOrReplaceChart(Scenario& s) {
    std::vector<Bar> bars = barListOf(s.instance->bars());
    if (s.in.flag()) {
        bars.resize(bars.empty() ? 0 : s.in.below(static_cast<std::uint32_t>(bars.size()) + 1));
    } else {
        s.maker = BarMaker{};
        bars = makeBars(s, s.in.u16() % (kMostBars + 1));
    }
    s.instance->setBars(std::move(bars));
    updateWithAnyStart(s);
}

// A committed bar in history is corrected by the host (a late print).
void rewriteHistory(Scenario& s) {
    std::vector<Bar> bars = barListOf(s.instance->bars());
    if (bars.empty()) {
        return;
    }
    const std::uint32_t at = s.in.below(static_cast<std::uint32_t>(bars.size()));
    BarMaker near{bars[at].start, bars[at].open};
    bars[at] = hostileBar(s.in, near);
    s.instance->setBars(std::move(bars));
    hostCall("an update after a history correction",
             [&] { s.instance->update(static_cast<std::int32_t>(at)); });
}

void setAnyInput(Scenario& s) {
    StudyInstance& i = *s.instance;
    const std::int32_t declared = std::max(i.declaredInputCount(), 1);
    const std::int32_t slot =
        s.in.u8() < 230
            ? static_cast<std::int32_t>(s.in.below(static_cast<std::uint32_t>(declared)))
            : static_cast<std::int32_t>(s.in.below(StudyInstance::kInputSlots));
    switch (s.in.u8() % 6) {
        case 0:
            i.setIntInput(slot, oddInt(s.in));
            break;
        case 1:
            i.setFloatInput(slot, oddFloat(s.in));
            break;
        case 2:
            i.setDoubleInput(slot, oddDouble(s.in));
            break;
        case 3:
            i.setInputType(slot, s.in.u8());
            break;
        case 4: {
            // A date-time on the chart, or near it: anchors that resolve.
            if (!i.bars().empty()) {
                const Bar& b = i.bars()[s.in.below(static_cast<std::uint32_t>(i.bars().size()))];
                const double offset =
                    static_cast<double>(static_cast<std::int8_t>(s.in.u8())) / 1440.0;
                i.setDoubleInput(slot, toDays(b.start) + (s.in.flag() ? offset : 0.0));
            }
            break;
        }
        default:
            i.setIntInput(slot, static_cast<std::int32_t>(s.in.u8() % 8));
            break;
    }
    // The host asks for a full recalculation after a settings change, most
    // of the time.
    if (s.in.u8() < 200) {
        hostCall("a full recalculation", [&] { i.fullRecalculation(); });
    }
}

void chooseMenuItem(Scenario& s) {
    StudyInstance& i = *s.instance;
    std::int32_t id = 0;
    const std::uint8_t how = s.in.u8();
    if (how < 200 && !i.menuItems().empty()) {
        id = i.menuItems()[s.in.below(static_cast<std::uint32_t>(i.menuItems().size()))].id;
    } else if (how < 230) {
        id = i.persistentInt(1 + static_cast<std::int32_t>(s.in.u8() % 3));
    } else {
        id = oddInt(s.in);
    }
    const std::int32_t n = chartBars(i);
    std::int32_t bar = oddInt(s.in);
    if (s.in.u8() < 200 && n > 0) {
        bar = static_cast<std::int32_t>(s.in.below(static_cast<std::uint32_t>(n)));
    }
    hostCall("a menu command", [&] { i.menuCommand(id, bar); });
}

void changeHostBehaviour(Scenario& s) {
    StudyInstance& i = *s.instance;
    switch (s.in.u8() % 8) {
        case 6: {
            // The host hands back a series name without text (null pointer).
            const auto slot = static_cast<std::int32_t>(s.in.below(StudyInstance::kOutputSlots));
            release(i.output(slot).name);
            return;
        }
        case 7: {
            const auto slot = static_cast<std::int32_t>(s.in.below(StudyInstance::kInputSlots));
            release(i.input(slot).name);
            return;
        }
        case 0:
            i.setFormatPriceGivesNoText(s.in.flag());
            break;
        case 1:
            i.setMenuRegistrationRefused(s.in.flag());
            break;
        case 2: {
            const std::int32_t answer = oddInt(s.in);
            i.setBarIndexLookup([answer](ChartDateTime) { return answer; });
            break;
        }
        case 3: {
            const std::int32_t shift = static_cast<std::int8_t>(s.in.u8());
            StudyInstance* host = &i;
            i.setBarIndexLookup(
                [host, shift](ChartDateTime t) { return host->barIndexAtOrBefore(t) + shift; });
            break;
        }
        case 4:
            i.setPriceFormat(s.in.u8() < 200 ? s.in.u8() % 12 : oddInt(s.in));
            break;
        default:
            i.holdBackArray(static_cast<replay::HostArrayId>(s.in.u8() % 8), s.in.flag());
            break;
    }
}

void overrideBarCount(Scenario& s) {
    const std::int32_t n = chartBars(*s.instance);
    std::int32_t count = -1;
    switch (s.in.u8() % 5) {
        case 0:
            count = -1;
            break;  // the chart's own count again
        case 1:
            count = 0;
            break;
        case 2:
            count = std::max(n - 1 - static_cast<std::int32_t>(s.in.u8() % 4), 0);
            break;
        case 3:
            count = n + 1 + static_cast<std::int32_t>(s.in.u8() % 64);
            break;
        default:
            count = static_cast<std::int32_t>(s.in.u8() % 16);
            break;
    }
    s.instance->setBarCountOverride(count);
    updateWithAnyStart(s);
}

// The heap refuses the k-th allocation from now (and, sticky, every later
// one) while the next calls run.
void refuseAllocations(Scenario& s) {
    const std::int64_t countdown = 1 + s.in.u8() % 32;
    keelmarkProcessHeapFailAfter(countdown, s.in.flag() ? 1 : 0);
    updateWithAnyStart(s);
    if (s.in.flag()) {
        keelmarkProcessHeapFailAfter(0, 0);
    }
}

void step(Scenario& s) {
    switch (s.in.u8() % 14) {
        case 0:
            hostCall("a full recalculation", [&] { s.instance->fullRecalculation(); });
            break;
        case 1:
            updateWithAnyStart(s);
            break;
        case 2:
        case 3:
            appendBars(s);
            break;
        case 4:
        case 5:
            reformLastBar(s);
            break;
        case 6:
            cutOrReplaceChart(s);
            break;
        case 7:
            rewriteHistory(s);
            break;
        case 8:
            setAnyInput(s);
            break;
        case 9:
            chooseMenuItem(s);
            break;
        case 10:
            changeHostBehaviour(s);
            break;
        case 11:
            overrideBarCount(s);
            break;
        case 12:
            refuseAllocations(s);
            break;
        default:
            if (s.in.flag()) {
                finishInstance(s);
                startInstance(s);
            } else {
                // A second defaults pass on a live instance (the host resets
                // the study's settings).
                hostCall("a repeated defaults pass", [&] { s.instance->defaultsPass(); });
            }
            break;
    }
}

}  // namespace

std::string runHostCallScenario(Study study, const std::uint8_t* data, std::size_t size) {
    fuzzModule();
    keelmarkProcessHeapFailAfter(0, 0);
    const std::int64_t liveBefore = keelmarkProcessHeapLiveBlocks();
    FuzzBytes in(data, size);
    Scenario s{study, in, BarMaker{}, nullptr, 1};
    std::string broken;
    try {
        startInstance(s);
        s.instance->setBars(makeBars(s, in.u16() % (kMostBars + 1)));
        hostCall("the first full recalculation", [&] { s.instance->fullRecalculation(); });
        for (int k = 0; k < kMostSteps && !in.exhausted(); ++k) {
            step(s);
        }
        keelmarkProcessHeapFailAfter(0, 0);
        finishInstance(s);
    } catch (const BrokenInvariant& e) {
        broken = e.what();
    }
    keelmarkProcessHeapFailAfter(0, 0);
    if (broken.empty() && s.instance) {
        s.instance.reset();
        const std::int64_t liveAfter = keelmarkProcessHeapLiveBlocks();
        if (liveAfter != liveBefore) {
            broken = "process-heap blocks leaked: " + std::to_string(liveAfter - liveBefore);
        }
    }
    if (!broken.empty() && s.instance) {
        // Leave the process clean for the next input even when this one failed.
        try {
            s.instance->finalCall();
        } catch (...) {
        }
        s.instance.reset();
    }
    return broken;
}

}  // namespace keelmark::fuzz
