#include "serve/chart_session.h"

#include <algorithm>
#include <cmath>

#include "host/study_input.h"
#include "replay_engine/input_setting.h"
#include "replay_engine/live_bar_stages.h"
#include "run_outputs/html_output.h"
#include "run_outputs/json_output.h"
#include "serve/json_text.h"
#include "standin_host/clock_text.h"

namespace keelmark::replay {

namespace {

// Forming stages of a bar after it opens (the last is the full bar).
constexpr std::int32_t kFormingStages = 3;

StudyFunction studyFunction(const ModuleLibrary& module, StudyKind kind) {
    return kind == StudyKind::SessionLevels ? module.sessionLevels() : module.anchoredVwap();
}

void writeInputs(JsonText& w, const StudyInstance& study, const std::vector<StudyInput>& defaults) {
    w.array();
    for (std::int32_t slot = 0; slot < study.declaredInputCount(); ++slot) {
        const StudyInput& in = study.input(slot);
        const StudyInput& declared = defaults.at(static_cast<std::size_t>(slot));
        // Only a custom list's texts name its entries.
        const std::vector<std::string> options =
            in.valueType == kInputCustomList || declared.valueType == kInputCustomList
                ? optionsOf(study, slot)
                : std::vector<std::string>{};
        w.object();
        w.member("slot", slot);
        w.member("label", study.inputLabel(slot));
        w.member("type", std::int32_t{declared.valueType});
        w.member("text", inputValueText(in.valueType, in.value, options));
        w.member("default", inputValueText(declared.valueType, declared.value, options));
        if (declared.valueType == kInputFloat &&
            cellFloat(declared.minValue) < cellFloat(declared.maxValue)) {
            w.key("min");
            w.floatValue(cellFloat(declared.minValue));
            w.key("max");
            w.floatValue(cellFloat(declared.maxValue));
        } else if (declared.valueType == kInputInteger &&
                   cellInt(declared.minValue) < cellInt(declared.maxValue)) {
            w.member("min", cellInt(declared.minValue));
            w.member("max", cellInt(declared.maxValue));
        }
        if (declared.valueType == kInputCustomList) {
            w.key("options");
            w.array();
            for (const std::string& option : options) {
                w.value(option);
            }
            w.endArray();
        }
        w.endObject();
    }
    w.endArray();
}

void writeMenu(JsonText& w, const StudyInstance& study) {
    w.array();
    for (const MenuItem& item : study.menuItems()) {
        w.object();
        w.member("id", item.id);
        w.member("text", item.text);
        w.endObject();
    }
    w.endArray();
}

std::int32_t menuIdOf(const StudyInstance& study, const std::string& text) {
    for (const MenuItem& item : study.menuItems()) {
        if (item.text == text) {
            return item.id;
        }
    }
    return -1;
}

}  // namespace

std::vector<std::int64_t> chartSeconds(const std::vector<Bar>& bars) { return pageTimes(bars); }

ChartSession::ChartSession(const ServedChart& chart) : chart_(chart) {
    for (const StudyKind kind : chart.studies) {
        StudyHost h;
        h.kind = kind;
        h.instance = freshInstance(kind);
        for (std::int32_t slot = 0; slot < h.instance->declaredInputCount(); ++slot) {
            h.defaults.push_back(h.instance->input(slot));
        }
        for (const StartingInput& given : chart.inputs) {
            if (given.study == kind) {
                setInputFromText(*h.instance, given.slot, given.value);
                h.settings.emplace_back(given.slot, given.value);
            }
        }
        h.instance->setBars(chart.bars);
        h.instance->fullRecalculation();
        hosts_.push_back(std::move(h));
    }
}

ChartSession::~ChartSession() {
    for (StudyHost& h : hosts_) {
        h.instance->finalCall();
    }
}

std::vector<StartingInput> startingInputs(const ModuleLibrary& module, std::int32_t priceFormat,
                                          const std::vector<StudyKind>& studies,
                                          const std::vector<std::string>& settings) {
    std::vector<std::unique_ptr<StudyInstance>> declared;
    for (const StudyKind kind : studies) {
        declared.push_back(std::make_unique<StudyInstance>(studyFunction(module, kind)));
        declared.back()->setPriceFormat(priceFormat);
        declared.back()->defaultsPass();
    }
    std::vector<StartingInput> inputs;
    for (const std::string& setting : settings) {
        std::string firstRefusal;
        std::size_t found = 0;
        for (std::size_t i = 0; i < studies.size(); ++i) {
            StudyInstance& study = *declared[i];
            AddressedInput addressed;
            try {
                addressed = addressInput(study, setting);
            } catch (const InputSettingError& e) {
                if (firstRefusal.empty()) {
                    firstRefusal = e.what();
                }
                continue;
            }
            const std::string label = study.inputLabel(addressed.slot) + "=";
            if (studies.size() > 1 && setting.compare(0, label.size(), label) != 0) {
                throw InputSettingError("--input \"" + setting +
                                        "\": with both studies shown, name the input by its "
                                        "exact label (or show one study with --study)");
            }
            setInputFromText(study, addressed.slot, addressed.value);
            inputs.push_back(StartingInput{studies[i], addressed.slot, addressed.value});
            ++found;
        }
        if (found == 0) {
            throw InputSettingError(studies.size() > 1
                                        ? "--input \"" + setting +
                                              "\": neither study has an input with that label"
                                        : firstRefusal);
        }
    }
    return inputs;
}

std::unique_ptr<StudyInstance> ChartSession::freshInstance(StudyKind kind) const {
    auto instance = std::make_unique<StudyInstance>(studyFunction(*chart_.module, kind));
    instance->setPriceFormat(chart_.priceFormat);
    instance->defaultsPass();
    return instance;
}

std::int32_t ChartSession::barsOnChart() const {
    return hosts_.empty() ? 0 : static_cast<std::int32_t>(hosts_.front().instance->bars().size());
}

ChartSession::StudyHost& ChartSession::host(const std::string& study) {
    for (StudyHost& h : hosts_) {
        if (study == studyKindName(h.kind)) {
            return h;
        }
    }
    std::string shown;
    for (const StudyHost& h : hosts_) {
        shown += std::string(shown.empty() ? "" : " and ") + studyKindName(h.kind);
    }
    throw RequestRefused(404,
                         "This chart shows no study \"" + study + "\"; it shows " + shown + ".");
}

void ChartSession::writeDescription(JsonText& w) const {
    w.member("module", chart_.module->dllName());
    w.member("version", chart_.module->dllVersion());
    w.member("barsFile", chart_.barsName);
    w.member("fileBars", chart_.bars.size());
    w.member("bars", barsOnChart());
    w.key("replay");
    w.object();
    w.member("active", replaying_);
    w.member("nextBar", nextBar_);
    w.member("stage", stage_);
    w.endObject();
    w.key("studies");
    w.array();
    for (const StudyHost& h : hosts_) {
        w.object();
        w.member("study", studyKindName(h.kind));
        w.member("name", h.instance->studyName());
        w.key("inputs");
        writeInputs(w, *h.instance, h.defaults);
        w.key("menu");
        writeMenu(w, *h.instance);
        w.endObject();
    }
    w.endArray();
}

std::string ChartSession::description(std::string_view sessionId) const {
    JsonText w;
    w.object();
    writeDescription(w);
    if (!sessionId.empty()) {
        w.member("session", sessionId);
    }
    w.endObject();
    return w.take();
}

std::string ChartSession::window(std::int64_t from, std::int64_t to) const {
    const std::int64_t onChart = barsOnChart();
    if (from < 0 || to > onChart || from >= to) {
        throw RequestRefused(416, "Bars " + std::to_string(from) + " to " + std::to_string(to) +
                                      " are not on the chart, which holds bars 0 to " +
                                      std::to_string(onChart) + ".");
    }
    if (to - from > kMaxWindowBars) {
        throw RequestRefused(413, "A request may ask for at most " +
                                      std::to_string(kMaxWindowBars) + " bars, not " +
                                      std::to_string(to - from) + ".");
    }
    const auto first = static_cast<std::size_t>(from);
    const auto last = static_cast<std::size_t>(to);
    const BarColumns& bars = hosts_.front().instance->bars();
    JsonText w;
    w.object();
    writeDescription(w);
    w.member("firstBar", from);
    w.key("times");
    w.array();
    for (std::size_t i = first; i < last; ++i) {
        w.value(chart_.times[i]);
    }
    w.endArray();
    const auto priceColumn = [&](const char* name, const HostVector<float>& prices) {
        w.key(name);
        w.array();
        for (std::size_t i = first; i < last; ++i) {
            w.floatValue(prices[i]);
        }
        w.endArray();
    };
    priceColumn("open", bars.open);
    priceColumn("high", bars.high);
    priceColumn("low", bars.low);
    priceColumn("close", bars.close);

    // A series is sent when it holds a value in the window; zero and values
    // that are not finite are gaps (null).
    const auto holds = [](float v) { return v != 0.0f && std::isfinite(v); };
    w.key("series");
    w.array();
    for (const StudyHost& h : hosts_) {
        StudyInstance& s = *h.instance;
        const char* study = studyKindName(h.kind);
        for (std::int32_t slot = 0; slot < s.declaredOutputCount(); ++slot) {
            const std::span<const float> values = s.values(slot);
            const std::size_t end = std::min(last, values.size());
            bool any = false;
            for (std::size_t i = first; i < end && !any; ++i) {
                any = holds(values[i]);
            }
            if (!any) {
                continue;
            }
            const OutputSeries& out = s.output(slot);
            w.object();
            w.member("key", std::string(study) + ":" + std::to_string(slot));
            w.member("study", study);
            w.member("slot", slot);
            w.member("name", s.outputName(slot));
            w.member("colour", colourText(out.colour));
            w.member("width", out.lineWidth);
            w.member("kind", out.drawStyle & 0xFFFF);
            w.member("pattern", (out.drawStyle >> 16) & 0xFFFF);
            w.member("label", out.labelFlags != 0);
            w.key("values");
            w.array();
            for (std::size_t i = first; i < last; ++i) {
                const float v = i < values.size() ? values[i] : 0.0f;
                if (holds(v)) {
                    w.floatValue(v);
                } else {
                    w.null();
                }
            }
            w.endArray();
            w.endObject();
        }
    }
    w.endArray();

    w.key("panels");
    w.array();
    for (const StudyHost& h : hosts_) {
        for (const auto& [number, d] : h.instance->drawings()) {
            if (d.relativePlacement == 1) {
                w.value(panelJson(d));
            }
        }
    }
    w.endArray();
    w.key("markers");
    w.array();
    for (const StudyHost& h : hosts_) {
        for (const auto& [number, d] : h.instance->drawings()) {
            if (d.relativePlacement != 1 && d.barIndex >= 0 && d.barIndex < onChart) {
                nlohmann::ordered_json m = markerJson(d, d.barIndex);
                m["study"] = studyKindName(h.kind);
                w.value(m);
            }
        }
    }
    w.endArray();

    // The latest alerts of the whole chart: each study's latest, then the
    // latest of those.
    std::size_t alertCount = 0, alertsListed = 0;
    for (const StudyHost& h : hosts_) {
        alertCount += h.instance->alerts().size();
        alertsListed += std::min(h.instance->alerts().size(), kMaxAlertsSent);
    }
    std::size_t alertsLeftOut = alertsListed > kMaxAlertsSent ? alertsListed - kMaxAlertsSent : 0;
    w.key("alerts");
    w.array();
    for (const StudyHost& h : hosts_) {
        const std::vector<RaisedAlert>& alerts = h.instance->alerts();
        std::size_t firstAlert =
            alerts.size() > kMaxAlertsSent ? alerts.size() - kMaxAlertsSent : 0;
        const std::size_t skipped = std::min(alertsLeftOut, alerts.size() - firstAlert);
        firstAlert += skipped;
        alertsLeftOut -= skipped;
        for (std::size_t i = firstAlert; i < alerts.size(); ++i) {
            const RaisedAlert& a = alerts[i];
            const bool onBar = a.barIndex >= 0 && a.barIndex < onChart;
            w.object();
            w.member("study", studyKindName(h.kind));
            w.member("number", a.number);
            w.member("bar", a.barIndex);
            w.member("time", onBar
                                 ? formatDateTime(bars.times[static_cast<std::size_t>(a.barIndex)])
                                 : std::string());
            w.member("message", a.message);
            w.endObject();
        }
    }
    w.endArray();
    w.member("alertCount", alertCount);
    w.key("log");
    w.array();
    for (const StudyHost& h : hosts_) {
        const auto& log = h.instance->log();
        const std::size_t firstLine =
            log.size() > kMaxLogLinesSent ? log.size() - kMaxLogLinesSent : 0;
        for (std::size_t i = firstLine; i < log.size(); ++i) {
            w.object();
            w.member("text", log[i].text);
            w.member("flag", log[i].flag);
            w.endObject();
        }
    }
    w.endArray();
    w.endObject();
    return w.take();
}

void ChartSession::menuCommand(const std::string& study, const nlohmann::json& item,
                               std::int64_t bar) {
    StudyHost& h = host(study);
    std::int32_t id = -1;
    std::string text;
    for (const MenuItem& m : h.instance->menuItems()) {
        if ((item.is_string() && item.get<std::string>() == m.text) ||
            (item.is_number_integer() && item.get<std::int64_t>() == m.id)) {
            id = m.id;
            text = m.text;
        }
    }
    if (id < 0) {
        std::string offered;
        for (const MenuItem& m : h.instance->menuItems()) {
            offered += std::string(offered.empty() ? "" : ", ") + "\"" + m.text + "\"";
        }
        throw RequestRefused(
            404, h.instance->studyName() + " has no menu item " + item.dump() +
                     (offered.empty() ? "; it offers none." : "; it offers " + offered + "."));
    }
    const std::int64_t onChart = barsOnChart();
    if (bar < 0 || bar >= onChart) {
        throw RequestRefused(416, "Bar " + std::to_string(bar) +
                                      " is not on the chart, which holds bars 0 to " +
                                      std::to_string(onChart - 1) + ".");
    }
    h.instance->menuCommand(id, static_cast<std::int32_t>(bar));
    // Commands waiting for later bars of a replay stay after this one.
    commands_.insert(commands_.begin() + static_cast<std::ptrdiff_t>(delivered_),
                     GivenCommand{h.kind, text, static_cast<std::int32_t>(bar)});
    ++delivered_;
}

void ChartSession::setInput(const std::string& study, const nlohmann::json& input,
                            const std::string& value) {
    StudyHost& h = host(study);
    StudyInstance& s = *h.instance;
    std::int32_t slot = -1;
    for (std::int32_t i = 0; i < s.declaredInputCount(); ++i) {
        if ((input.is_string() && input.get<std::string>() == s.inputLabel(i)) ||
            (input.is_number_integer() && input.get<std::int64_t>() == i)) {
            slot = i;
        }
    }
    if (slot < 0) {
        throw RequestRefused(404, s.studyName() + " has no input " + input.dump() + ".");
    }
    try {
        setInputFromText(s, slot, value);
    } catch (const InputSettingError& e) {
        std::string why = e.what();
        constexpr std::string_view kCommandLinePrefix = "--input: ";
        if (why.rfind(kCommandLinePrefix, 0) == 0) {
            why.erase(0, kCommandLinePrefix.size());
        }
        throw RequestRefused(422, why + ".");
    }
    h.settings.emplace_back(slot, value);
    s.fullRecalculation();
}

void ChartSession::startReplay(std::int64_t from) {
    const auto fileBars = static_cast<std::int64_t>(chart_.bars.size());
    if (from < 1 || from > fileBars) {
        throw RequestRefused(416, "A replay starts from a bar from 1 to " +
                                      std::to_string(fileBars) + ", not " + std::to_string(from) +
                                      ".");
    }
    const auto start = static_cast<std::size_t>(from);
    std::vector<Bar> warmup(chart_.bars.begin(),
                            chart_.bars.begin() + static_cast<std::ptrdiff_t>(start));
    for (StudyHost& h : hosts_) {
        std::unique_ptr<StudyInstance> fresh = freshInstance(h.kind);
        for (const auto& [slot, value] : h.settings) {
            setInputFromText(*fresh, slot, value);
        }
        fresh->setBars(warmup);
        fresh->fullRecalculation();
        h.instance->finalCall();
        h.instance = std::move(fresh);
    }
    // Commands are delivered again in the order given, each once its bar is
    // on the chart; the ones after a waiting command wait with it.
    delivered_ = 0;
    deliverDueCommands();
    replaying_ = start < chart_.bars.size();
    nextBar_ = start;
    stage_ = 0;
}

void ChartSession::deliverDueCommands() {
    const std::int32_t onChart = barsOnChart();
    while (delivered_ < commands_.size() && commands_[delivered_].bar < onChart) {
        const GivenCommand& c = commands_[delivered_++];
        for (StudyHost& h : hosts_) {
            const std::int32_t id = h.kind == c.study ? menuIdOf(*h.instance, c.item) : -1;
            if (id >= 0) {
                h.instance->menuCommand(id, c.bar);
            }
        }
    }
}

void ChartSession::advance(bool wholeBar) {
    if (!replaying_) {
        throw RequestRefused(409, "No replay is running: start one from a bar first.");
    }
    do {
        const Bar& full = chart_.bars[nextBar_];
        for (StudyHost& h : hosts_) {
            if (stage_ == 0) {
                h.instance->appendBar(openedBar(full));
                h.instance->updateAfterAppend();
            } else {
                h.instance->replaceLastBar(
                    formingStages(full)[static_cast<std::size_t>(stage_ - 1)]);
                h.instance->updateFormingBar();
            }
        }
        if (stage_ == 0) {
            deliverDueCommands();
        }
        if (++stage_ > kFormingStages) {
            stage_ = 0;
            ++nextBar_;
        }
    } while (wholeBar && stage_ != 0);
    if (nextBar_ >= chart_.bars.size()) {
        replaying_ = false;
    }
}

}  // namespace keelmark::replay
