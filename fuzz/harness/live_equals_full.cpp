#include "fuzz/harness/live_equals_full.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <exception>
#include <span>
#include <vector>

#include "fuzz/harness/bar_maker.h"
#include "fuzz/harness/fuzz_module.h"
#include "standin_host/chart_host.h"

namespace keelmark::fuzz {

namespace {

using replay::Bar;
using replay::StudyInstance;

constexpr std::int32_t kStudyId = 5;
constexpr std::int32_t kChartId = 2;

// One input value, as the user would have set it before the chart loaded.
struct InputChoice {
    std::int32_t slot;
    std::uint8_t type;
    unsigned char cell[16];
};

std::int32_t optionCount(const StudyInstance& s, std::int32_t slot) {
    const std::string* const options = s.findOptionList(slot);
    return options == nullptr
               ? 1
               : 1 + static_cast<std::int32_t>(std::count(options->begin(), options->end(), ';'));
}

// A value within the input's declared limits, by its declared type; a
// date-time (an anchor) lands on a bar, between bars, before the chart,
// after its end, or is left empty.
void chooseValue(FuzzBytes& in, const StudyInstance& s, std::int32_t slot,
                 const std::vector<Bar>& bars, StudyInput& value) {
    switch (value.valueType) {
        case kInputFloat: {
            const float lo = cellFloat(value.minValue);
            const float hi = cellFloat(value.maxValue);
            setCellFloat(value.value, lo + (hi - lo) * static_cast<float>(in.u8()) / 255.0f);
            break;
        }
        case kInputInteger: {
            const std::int64_t lo = cellInt(value.minValue);
            const std::int64_t hi = std::min<std::int64_t>(cellInt(value.maxValue), lo + 400);
            setCellInt(value.value, static_cast<std::int32_t>(lo + in.u16() % (hi - lo + 1)));
            break;
        }
        case kInputYesNo:
            setCellInt(value.value, in.flag() ? 1 : 0);
            break;
        case kInputTimeOfDay:
            setCellDouble(value.value, (in.u16() % 1440) / 1440.0);
            break;
        case kInputColour:
            setCellInt(value.value, static_cast<std::int32_t>(in.u32() & 0xFFFFFF));
            break;
        case kInputCustomList:
            setCellInt(value.value, in.u8() % optionCount(s, slot));
            break;
        case kInputDateTime: {
            if (bars.empty() || in.u8() < 64) {
                setCellDouble(value.value, 0.0);
                break;
            }
            const Bar& b = bars[in.below(static_cast<std::uint32_t>(bars.size()))];
            const std::uint8_t where = in.u8();
            ChartDateTime t = b.start;
            if (where >= 160) {
                t += static_cast<std::int8_t>(in.u8()) * kMinute;  // between bars, before or after
            }
            setCellDouble(value.value, toDays(t));
            break;
        }
        default:
            break;
    }
}

std::vector<InputChoice> chooseInputs(FuzzBytes& in, StudyInstance& s,
                                      const std::vector<Bar>& bars) {
    std::vector<InputChoice> choices;
    for (std::int32_t slot = 0; slot < s.declaredInputCount(); ++slot) {
        if (in.u8() < 128) {
            continue;  // keeps its default
        }
        StudyInput value = s.input(slot);
        chooseValue(in, s, slot, bars, value);
        InputChoice c{slot, value.valueType, {}};
        std::copy(std::begin(value.value.bytes), std::end(value.value.bytes), c.cell);
        choices.push_back(c);
    }
    return choices;
}

void applyInputs(StudyInstance& s, const std::vector<InputChoice>& choices) {
    for (const InputChoice& c : choices) {
        s.setInputType(c.slot, c.type);
        std::copy(std::begin(c.cell), std::end(c.cell), s.input(c.slot).value.bytes);
    }
}

// The bar part-way formed: its open, a high and low not yet at their
// extremes, a close anywhere between, part of its volume.
Bar formingVersion(FuzzBytes& in, const Bar& final) {
    Bar b = final;
    const float t = static_cast<float>(in.u8()) / 255.0f;
    b.high = final.open + (final.high - final.open) * t;
    b.low = final.open - (final.open - final.low) * t;
    b.close = b.low + (b.high - b.low) * (static_cast<float>(in.u8()) / 255.0f);
    b.volume = final.volume * t;
    return b;
}

void playLive(FuzzBytes& in, StudyInstance& live, const std::vector<Bar>& bars,
              std::size_t warmup) {
    live.setBars(
        std::vector<Bar>(bars.begin(), bars.begin() + static_cast<std::ptrdiff_t>(warmup)));
    live.fullRecalculation();
    std::size_t next = warmup;
    while (next < bars.size()) {
        // Several bars at once now and then (a reconnect, a slow host).
        const std::size_t take =
            in.u8() >= 224 ? std::min<std::size_t>(1 + in.u8() % 12, bars.size() - next) : 1;
        // All but the newest of them closed already; the newest is forming.
        for (std::size_t k = 0; k + 1 < take; ++k) {
            live.appendBar(bars[next + k]);
        }
        live.appendBar(formingVersion(in, bars[next + take - 1]));
        next += take;
        live.updateAfterAppend();
        for (std::uint8_t reform = in.u8() % 4; reform > 0; --reform) {
            live.replaceLastBar(formingVersion(in, bars[next - 1]));
            live.updateFormingBar();
        }
        live.replaceLastBar(bars[next - 1]);
        live.updateFormingBar();
    }
}

// Whether both columns hold at least `bars` values and the first `bars` of
// them are the same bits (memcmp compares floats bit for bit, NaNs and
// signed zeros included).
bool sameBits(std::span<const float> a, std::span<const float> b, std::int32_t bars) {
    const auto n = static_cast<std::size_t>(std::max(bars, 0));
    if (a.size() < n || b.size() < n) {
        return false;
    }
    // No memcmp of nothing: an empty column's data may be null.
    return n == 0 || std::memcmp(a.data(), b.data(), n * sizeof(float)) == 0;
}

std::string firstDifference(const StudyInstance& full, const StudyInstance& live,
                            std::int32_t bars) {
    char line[256];
    for (std::int32_t slot = 0; slot < full.declaredOutputCount(); ++slot) {
        // Whole columns at once when they agree, which is nearly always; the
        // bar-by-bar walk below names the first difference otherwise (and
        // value() throws when a column is short of values).
        if (sameBits(full.values(slot), live.values(slot), bars) &&
            sameBits(full.extraValues(slot, 0), live.extraValues(slot, 0), bars)) {
            continue;
        }
        for (std::int32_t bar = 0; bar < bars; ++bar) {
            const float a = full.value(slot, bar);
            const float b = live.value(slot, bar);
            if (std::bit_cast<std::uint32_t>(a) != std::bit_cast<std::uint32_t>(b)) {
                std::snprintf(line, sizeof line, "output %d (%s) bar %d: full %.9g, live %.9g",
                              slot, full.outputName(slot).c_str(), bar, static_cast<double>(a),
                              static_cast<double>(b));
                return line;
            }
            const float ea = full.extraValue(slot, 0, bar);
            const float eb = live.extraValue(slot, 0, bar);
            if (std::bit_cast<std::uint32_t>(ea) != std::bit_cast<std::uint32_t>(eb)) {
                std::snprintf(line, sizeof line,
                              "extra array of output %d bar %d: full %.9g, live %.9g", slot, bar,
                              static_cast<double>(ea), static_cast<double>(eb));
                return line;
            }
        }
    }
    return {};
}

// The drawings left on the chart (the session panel with its averages over
// committed sessions; the anchor markers) carry the same texts at the same
// bars. Not their prices: a marker is placed at its anchor bar's low when its
// slot is reset and left alone until the next reset, so a marker placed
// while its anchor bar was still forming keeps that bar's low of the moment.
std::string drawingDifference(const StudyInstance& full, const StudyInstance& live) {
    if (full.drawings().size() != live.drawings().size()) {
        return "drawings: full placed " + std::to_string(full.drawings().size()) + ", live " +
               std::to_string(live.drawings().size());
    }
    for (const auto& [number, drawing] : full.drawings()) {
        const auto found = live.drawings().find(number);
        if (found == live.drawings().end()) {
            return "drawing " + std::to_string(number) + " is missing from the live chart";
        }
        const replay::PlacedDrawing& other = found->second;
        if (drawing.text != other.text || drawing.barIndex != other.barIndex) {
            return "drawing " + std::to_string(number) + " differs: full at bar " +
                   std::to_string(drawing.barIndex) + " price " + std::to_string(drawing.price) +
                   ":\n" + drawing.text + "\n--- live at bar " + std::to_string(other.barIndex) +
                   " price " + std::to_string(other.price) + ":\n" + other.text;
        }
    }
    return {};
}

// The two charts of each study, made once and started over after every
// input, as a host adds the study to a chart again: making them afresh, with
// their output arrays, took a fifth of each execution. What an input
// allocated is freed before it ends (libFuzzer takes an input that leaves
// more allocations than it found for a leak and checks it again, slowly).
class ReusedCharts {
public:
    explicit ReusedCharts(Study study) : full(instance(study, 0)), live(instance(study, 1)) {}
    ~ReusedCharts() {
        full.startOver();
        live.startOver();
    }
    ReusedCharts(const ReusedCharts&) = delete;
    ReusedCharts& operator=(const ReusedCharts&) = delete;

    StudyInstance& full;
    StudyInstance& live;

private:
    static StudyInstance& instance(Study study, int which) {
        static StudyInstance* const instances[2][2] = {
            {new StudyInstance(studyFunction(Study::SessionLevels), kStudyId, kChartId),
             new StudyInstance(studyFunction(Study::SessionLevels), kStudyId, kChartId)},
            {new StudyInstance(studyFunction(Study::AnchoredVwap), kStudyId, kChartId),
             new StudyInstance(studyFunction(Study::AnchoredVwap), kStudyId, kChartId)}};
        return *instances[study == Study::AnchoredVwap ? 1 : 0][which];
    }
};

}  // namespace

std::string checkLiveEqualsFull(const std::uint8_t* data, std::size_t size) {
    FuzzBytes in(data, size);
    const Study study = in.flag() ? Study::AnchoredVwap : Study::SessionLevels;
    const std::size_t warmup = in.u16() % 97;
    const std::size_t liveBars = 1 + in.u8() % 24;

    BarMaker maker;
    std::vector<Bar> bars;
    for (std::size_t k = 0; k < warmup + liveBars; ++k) {
        bars.push_back(wellFormedBar(in, maker));
    }

    const ReusedCharts charts(study);
    StudyInstance& full = charts.full;
    StudyInstance& live = charts.live;
    full.defaultsPass();
    live.defaultsPass();
    const std::vector<InputChoice> inputs = chooseInputs(in, full, bars);
    applyInputs(full, inputs);
    applyInputs(live, inputs);

    // Room for the whole feed up front, as keelmark-replay gives a live
    // replay: the columns then never move while the bars come in.
    live.reserveBars(bars.size());
    playLive(in, live, bars, warmup);
    full.setBars(bars);
    full.fullRecalculation();

    // Every committed bar: all but the last.
    std::string difference =
        firstDifference(full, live, static_cast<std::int32_t>(bars.size()) - 1);
    if (difference.empty()) {
        difference = drawingDifference(full, live);
    }
    full.finalCall();
    live.finalCall();
    return difference;
}

}  // namespace keelmark::fuzz
