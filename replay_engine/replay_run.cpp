#include "replay_engine/replay_run.h"

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <span>
#include <stdexcept>

#include "replay_engine/input_setting.h"
#include "replay_engine/live_bar_stages.h"

namespace keelmark::replay {

namespace {

constexpr const char* kAnchorMenuItem = "Anchor VWAP Here";

StudyFunction studyFunction(const ModuleLibrary& module, StudyKind kind) {
    return kind == StudyKind::SessionLevels ? module.sessionLevels() : module.anchoredVwap();
}

// --- recording what the study declared and wrote ---

std::vector<InputRecord> declaredInputs(StudyInstance& study) {
    std::vector<InputRecord> inputs;
    for (std::int32_t slot = 0; slot < study.declaredInputCount(); ++slot) {
        const StudyInput& in = study.input(slot);
        InputRecord r;
        r.slot = slot;
        r.label = study.inputLabel(slot);
        r.declaredType = in.valueType;
        r.declared = in.value;
        r.minValue = in.minValue;
        r.maxValue = in.maxValue;
        r.options = optionsOf(study, slot);
        inputs.push_back(std::move(r));
    }
    return inputs;
}

void recordUsedInputs(StudyInstance& study, std::vector<InputRecord>& inputs) {
    for (InputRecord& r : inputs) {
        const StudyInput& in = study.input(r.slot);
        r.usedType = in.valueType;
        r.used = in.value;
    }
}

// Everything but the values, which stay in the host's arrays until the
// final call is made (takeColumns).
std::vector<SeriesRecord> writtenSeries(StudyInstance& study) {
    std::vector<SeriesRecord> series;
    for (std::int32_t slot = 0; slot < study.declaredOutputCount(); ++slot) {
        const OutputSeries& out = study.output(slot);
        SeriesRecord s;
        s.slot = slot;
        s.name = study.outputName(slot);
        s.colour = out.colour;
        s.drawStyle = out.drawStyle;
        s.lineWidth = out.lineWidth;
        s.labelFlags = out.labelFlags;
        series.push_back(std::move(s));
    }
    return series;
}

void recordChart(StudyInstance& study, RunRecord& record) {
    record.studyName = study.studyName();
    record.studyDescription = study.studyDescription();
    recordUsedInputs(study, record.inputs);
    record.series = writtenSeries(study);
    record.log = study.log();
    record.alerts = study.alerts();
    for (const auto& [number, drawing] : study.drawings()) {
        record.drawings.push_back(drawing);
    }
    record.menuItems = study.menuItems();
}

// The chart and every output array move from the host into the record, each
// sized to the chart (an array the study never got holds zeros). The final
// call leaves the outputs as they were.
void takeColumns(StudyInstance& study, StudyKind kind, RunRecord& record) {
    const std::size_t barCount = study.bars().size();
    auto sized = [barCount](HostColumn column) {
        if (column.size() > barCount) {
            std::fill(column.begin() + static_cast<std::ptrdiff_t>(barCount), column.end(), 0.0f);
        }
        column.resize(barCount);
        return column;
    };
    for (SeriesRecord& s : record.series) {
        s.values = sized(study.takeValues(s.slot));
    }
    if (kind == StudyKind::SessionLevels && study.declaredOutputCount() > 0) {
        record.sessionNumbers = sized(study.takeExtraValues(0));
    }
    record.bars = study.takeBars();
}

// --- watching committed bars for values that change later ---

// A fingerprint of every value a bar carries; cheaper to keep for every bar
// of a long file than the values themselves. It is a sum of one term a
// series, each the value's bits times an odd number of that series: a
// change to any one value changes the sum, and the terms do not wait on
// each other, so a bar costs a few cycles per series rather than a chain of
// dependent multiplications. The order of the terms does not matter, so the
// whole chart can be summed series by series (fingerprintAll).
constexpr std::uint64_t seriesFactor(std::size_t series) {
    return 0x9E3779B97F4A7C15ull * (2 * series + 1);
}

std::uint64_t fingerprintTerm(float v, std::size_t series) {
    return (static_cast<std::uint64_t>(std::bit_cast<std::uint32_t>(v)) + 1) * seriesFactor(series);
}

// The series a fingerprint covers, as the study holds them now: every
// output, and for Session Levels the session numbers after them. Refilled
// in place, so that a bar's fingerprint allocates nothing.
void fingerprintedSeries(const StudyInstance& study, bool withSessionNumber,
                         std::vector<std::span<const float>>& series) {
    series.clear();
    for (std::int32_t slot = 0; slot < study.declaredOutputCount(); ++slot) {
        series.push_back(study.values(slot));
    }
    if (withSessionNumber && study.declaredOutputCount() > 0) {
        series.push_back(study.extraValues(0, 0));
    }
}

float valueOrZero(std::span<const float> values, std::size_t bar) {
    return bar < values.size() ? values[bar] : 0.0f;
}

// The fingerprint of one bar over the series fingerprintedSeries gathers,
// read straight from the study's outputs: a live replay takes one a bar,
// and gathering the series first cost more than the sum itself.
std::uint64_t barFingerprint(const StudyInstance& study, bool withSessionNumber, std::size_t bar) {
    std::uint64_t h = 0;
    study.visitBarValues(bar, withSessionNumber,
                         [&h](std::size_t series, float v) { h += fingerprintTerm(v, series); });
    return h;
}

// A fingerprint per bar, in zeros from the system that take memory a large
// page at a time as they are written: 8 MB at 1M bars, which as 4 KiB pages
// would cost the kernel thousands of faults.
using Fingerprints = HostVector<std::uint64_t>;

// The fingerprints of bars 0 to count - 1, one series after another: each
// series is read front to back instead of a value from every series a bar.
Fingerprints fingerprintAll(const std::vector<std::span<const float>>& series, std::size_t count) {
    Fingerprints sums(count);  // zeros
    for (std::size_t s = 0; s < series.size(); ++s) {
        for (std::size_t bar = 0; bar < count; ++bar) {
            sums[bar] += fingerprintTerm(valueOrZero(series[s], bar), s);
        }
    }
    return sums;
}

bool barIsBlank(const StudyInstance& study, std::size_t bar) {
    for (std::int32_t slot = 0; slot < study.declaredOutputCount(); ++slot) {
        const std::span<const float> values = study.values(slot);
        if (bar < values.size() && values[bar] != 0.0f) {
            return false;
        }
    }
    return true;
}

class CommitWatch {
public:
    CommitWatch(const StudyInstance& study, bool withSessionNumber)
        : study_(study), withSessionNumber_(withSessionNumber) {}

    // Room for the fingerprints of this many bars, so that a long replay
    // does not copy them as they grow.
    void reserve(std::size_t bars) { fingerprints_.reserve(bars); }

    void committed(std::size_t bar) {
        fingerprints_.resize(std::max(fingerprints_.size(), bar + 1));
        fingerprints_[bar] = barFingerprint(study_, withSessionNumber_, bar);
    }

    // A menu command may rightly rewrite committed bars (an anchor moved):
    // what they hold afterwards is the new reference.
    void recommitAll() { fingerprints_ = fingerprintsNow(); }

    std::vector<std::int32_t> changedBars() {
        std::vector<std::int32_t> changed;
        const Fingerprints now = fingerprintsNow();
        for (std::size_t bar = 0; bar < fingerprints_.size(); ++bar) {
            if (fingerprints_[bar] != now[bar] && !barIsBlank(study_, bar)) {
                changed.push_back(static_cast<std::int32_t>(bar));
            }
        }
        return changed;
    }

private:
    // The fingerprints the committed bars have now.
    Fingerprints fingerprintsNow() {
        fingerprintedSeries(study_, withSessionNumber_, series_);
        return fingerprintAll(series_, fingerprints_.size());
    }

    const StudyInstance& study_;
    bool withSessionNumber_;
    Fingerprints fingerprints_;
    std::vector<std::span<const float>> series_;
};

// --- anchor menu commands ---

class AnchorQueue {
public:
    AnchorQueue(const BarColumns& bars, const std::vector<ChartDateTime>& anchors) {
        for (const ChartDateTime t : anchors) {
            pending_.push_back(AnchorCommand{t, anchorBarIndex(bars, t)});
        }
    }

    // Delivers, in the order given, every anchor whose bar is on the chart;
    // an anchor waits for its bar, and the ones after it wait with it.
    // Returns whether any was delivered.
    bool deliver(StudyInstance& study, std::vector<AnchorCommand>& delivered) {
        bool any = false;
        const auto barsOnChart = static_cast<std::int32_t>(study.bars().size());
        while (next_ < pending_.size() && pending_[next_].barIndex < barsOnChart) {
            const AnchorCommand& command = pending_[next_++];
            study.menuCommand(anchorMenuId(study), command.barIndex);
            delivered.push_back(command);
            any = true;
        }
        return any;
    }

private:
    static std::int32_t anchorMenuId(const StudyInstance& study) {
        for (const MenuItem& item : study.menuItems()) {
            if (item.text == kAnchorMenuItem) {
                return item.id;
            }
        }
        throw std::runtime_error(study.studyName() + " offers no \"" + kAnchorMenuItem +
                                 "\" menu item");
    }

    std::vector<AnchorCommand> pending_;
    std::size_t next_ = 0;
};

// Delivers the anchors due; a study whose anchors were set by menu commands
// is then recalculated in full, as a host recalculates a study whose inputs
// changed, so that what it reports (the status line) counts them.
bool deliverAnchors(StudyInstance& study, AnchorQueue& anchors, RunRecord& record) {
    if (!anchors.deliver(study, record.anchorCommands)) {
        return false;
    }
    study.fullRecalculation();
    return true;
}

void feedFull(StudyInstance& study, BarColumns bars, AnchorQueue& anchors, RunRecord& record) {
    study.setBarColumns(std::move(bars));
    study.fullRecalculation();
    deliverAnchors(study, anchors, record);
}

// Each bar opens, forms in three stages and closes; the host's chart holds
// room for every bar from the start, so its columns never move.
void feedLive(StudyInstance& study, const BarColumns& bars, std::size_t warmup,
              AnchorQueue& anchors, RunRecord& record, const ProgressReport& progress) {
    CommitWatch watch(study, record.study == StudyKind::SessionLevels);
    watch.reserve(bars.size());
    BarColumns first;
    for (std::size_t i = 0; i < warmup; ++i) {
        first.push_back(bars[i]);
    }
    study.setBarColumns(std::move(first));
    study.reserveBars(bars.size());
    study.fullRecalculation();
    for (std::size_t bar = 0; bar + 1 < warmup; ++bar) {
        watch.committed(bar);
    }
    if (deliverAnchors(study, anchors, record)) {
        watch.recommitAll();
    }
    for (std::size_t i = warmup; i < bars.size(); ++i) {
        const Bar full = bars[i];
        study.appendBar(openedBar(full));
        study.updateAfterAppend();
        if (i > 0) {
            watch.committed(i - 1);
        }
        if (deliverAnchors(study, anchors, record)) {
            watch.recommitAll();
        }
        for (const Bar& stage : formingStages(full)) {
            study.replaceLastBar(stage);
            study.updateFormingBar();
        }
        if (progress) {
            progress(i + 1, bars.size());
        }
    }
    record.repaintedBars = watch.changedBars();
}

}  // namespace

const char* studyKindName(StudyKind kind) {
    return kind == StudyKind::SessionLevels ? "session-levels" : "anchored-vwap";
}

const char* feedModeName(FeedMode mode) { return mode == FeedMode::Full ? "full" : "live"; }

std::int32_t anchorBarIndex(const BarColumns& bars, ChartDateTime t) {
    return barIndexForDateTime(bars.times, t);
}

RunRecord runStudy(const ModuleLibrary& module, BarColumns bars, const RunSettings& settings,
                   const ProgressReport& progress) {
    const auto started = std::chrono::steady_clock::now();
    RunRecord record;
    record.modulePath = module.path();
    record.moduleName = module.dllName();
    record.moduleVersion = module.dllVersion();
    record.study = settings.study;
    record.mode = settings.mode;
    record.priceFormat = settings.priceFormat;

    StudyInstance study(studyFunction(module, settings.study));
    study.setPriceFormat(settings.priceFormat);
    study.defaultsPass();
    record.inputs = declaredInputs(study);
    applyInputSettings(study, settings.inputs);

    AnchorQueue anchors(bars, settings.anchors);
    if (settings.mode == FeedMode::Full) {
        feedFull(study, std::move(bars), anchors, record);
    } else {
        const std::size_t warmup =
            std::min(bars.size(), static_cast<std::size_t>(std::max(settings.warmupBars, 0)));
        record.warmupBars = static_cast<std::int32_t>(warmup);
        feedLive(study, bars, warmup, anchors, record, progress);
    }
    recordChart(study, record);
    study.finalCall();
    takeColumns(study, settings.study, record);
    record.counts = study.counts();
    record.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return record;
}

float seriesValue(const SeriesRecord& series, std::size_t bar) {
    return bar < series.values.size() ? series.values[bar] : 0.0f;
}

}  // namespace keelmark::replay
