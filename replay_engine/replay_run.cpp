#include "replay_engine/replay_run.h"

#include <algorithm>
#include <bit>
#include <chrono>
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
        const std::span<const float> values = study.values(slot);
        s.values.assign(values.begin(), values.end());
        s.values.resize(study.bars().size());
        series.push_back(std::move(s));
    }
    return series;
}

void recordChart(StudyInstance& study, StudyKind kind, RunRecord& record) {
    record.studyName = study.studyName();
    record.studyDescription = study.studyDescription();
    record.bars = study.bars();
    recordUsedInputs(study, record.inputs);
    record.series = writtenSeries(study);
    if (kind == StudyKind::SessionLevels && study.declaredOutputCount() > 0) {
        const std::span<const float> numbers = study.extraValues(0, 0);
        record.sessionNumbers.assign(numbers.begin(), numbers.end());
        record.sessionNumbers.resize(record.bars.size());
    }
    record.log = study.log();
    record.alerts = study.alerts();
    for (const auto& [number, drawing] : study.drawings()) {
        record.drawings.push_back(drawing);
    }
    record.menuItems = study.menuItems();
}

// --- watching committed bars for values that change later ---

// A fingerprint of every value a bar carries; cheaper to keep for every bar
// of a long file than the values themselves.
std::uint64_t barFingerprint(const StudyInstance& study, std::size_t bar, bool withSessionNumber) {
    std::uint64_t h = 1469598103934665603ull;
    auto mix = [&h](float v) {
        h ^= std::bit_cast<std::uint32_t>(v);
        h *= 1099511628211ull;
    };
    for (std::int32_t slot = 0; slot < study.declaredOutputCount(); ++slot) {
        const std::span<const float> values = study.values(slot);
        mix(bar < values.size() ? values[bar] : 0.0f);
    }
    if (withSessionNumber && study.declaredOutputCount() > 0) {
        const std::span<const float> numbers = study.extraValues(0, 0);
        mix(bar < numbers.size() ? numbers[bar] : 0.0f);
    }
    return h;
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

    void committed(std::size_t bar) {
        fingerprints_.resize(std::max(fingerprints_.size(), bar + 1));
        fingerprints_[bar] = barFingerprint(study_, bar, withSessionNumber_);
    }

    // A menu command may rightly rewrite committed bars (an anchor moved):
    // what they hold afterwards is the new reference.
    void recommitAll() {
        for (std::size_t bar = 0; bar < fingerprints_.size(); ++bar) {
            committed(bar);
        }
    }

    std::vector<std::int32_t> changedBars() const {
        std::vector<std::int32_t> changed;
        for (std::size_t bar = 0; bar < fingerprints_.size(); ++bar) {
            if (fingerprints_[bar] != barFingerprint(study_, bar, withSessionNumber_) &&
                !barIsBlank(study_, bar)) {
                changed.push_back(static_cast<std::int32_t>(bar));
            }
        }
        return changed;
    }

private:
    const StudyInstance& study_;
    bool withSessionNumber_;
    std::vector<std::uint64_t> fingerprints_;
};

// --- anchor menu commands ---

class AnchorQueue {
public:
    AnchorQueue(const std::vector<Bar>& bars, const std::vector<ChartDateTime>& anchors) {
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

void feedFull(StudyInstance& study, const std::vector<Bar>& bars, AnchorQueue& anchors,
              RunRecord& record) {
    study.setBars(bars);
    study.fullRecalculation();
    anchors.deliver(study, record.anchorCommands);
}

void feedLive(StudyInstance& study, const std::vector<Bar>& bars, std::size_t warmup,
              AnchorQueue& anchors, RunRecord& record, const ProgressReport& progress) {
    CommitWatch watch(study, record.study == StudyKind::SessionLevels);
    study.setBars(
        std::vector<Bar>(bars.begin(), bars.begin() + static_cast<std::ptrdiff_t>(warmup)));
    study.fullRecalculation();
    for (std::size_t bar = 0; bar + 1 < warmup; ++bar) {
        watch.committed(bar);
    }
    if (anchors.deliver(study, record.anchorCommands)) {
        watch.recommitAll();
    }
    for (std::size_t i = warmup; i < bars.size(); ++i) {
        study.appendBar(openedBar(bars[i]));
        study.updateAfterAppend();
        if (i > 0) {
            watch.committed(i - 1);
        }
        if (anchors.deliver(study, record.anchorCommands)) {
            watch.recommitAll();
        }
        for (const Bar& stage : formingStages(bars[i])) {
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

std::int32_t anchorBarIndex(const std::vector<Bar>& bars, ChartDateTime t) {
    const auto after = std::upper_bound(bars.begin(), bars.end(), t,
                                        [](ChartDateTime v, const Bar& b) { return v < b.start; });
    return static_cast<std::int32_t>(after - bars.begin()) - 1;
}

RunRecord runStudy(const ModuleLibrary& module, const std::vector<Bar>& bars,
                   const RunSettings& settings, const ProgressReport& progress) {
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
        feedFull(study, bars, anchors, record);
    } else {
        const std::size_t warmup =
            std::min(bars.size(), static_cast<std::size_t>(std::max(settings.warmupBars, 0)));
        record.warmupBars = static_cast<std::int32_t>(warmup);
        feedLive(study, bars, warmup, anchors, record, progress);
    }
    recordChart(study, settings.study, record);
    study.finalCall();
    record.counts = study.counts();
    record.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return record;
}

float seriesValue(const SeriesRecord& series, std::size_t bar) {
    return bar < series.values.size() ? series.values[bar] : 0.0f;
}

}  // namespace keelmark::replay
