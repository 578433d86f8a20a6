#include "serve/chart_session.h"

#include <algorithm>
#include <cmath>

#include "host/study_input.h"
#include "replay_engine/input_setting.h"
#include "replay_engine/live_bar_stages.h"
#include "run_outputs/html_output.h"
#include "run_outputs/json_output.h"
#include "standin_host/clock_text.h"

namespace keelmark::replay {

namespace {

using Json = nlohmann::ordered_json;

// Forming stages of a bar after it opens (the last is the full bar).
constexpr std::int32_t kFormingStages = 3;

StudyFunction studyFunction(const ModuleLibrary& module, StudyKind kind) {
    return kind == StudyKind::SessionLevels ? module.sessionLevels() : module.anchoredVwap();
}

Json valueJson(float v) { return v != 0.0f && std::isfinite(v) ? floatJson(v) : Json(nullptr); }

Json inputsJson(const StudyInstance& study, const std::vector<StudyInput>& defaults) {
    Json inputs = Json::array();
    for (std::int32_t slot = 0; slot < study.declaredInputCount(); ++slot) {
        const StudyInput& in = study.input(slot);
        const StudyInput& declared = defaults.at(static_cast<std::size_t>(slot));
        // Only a custom list's texts name its entries.
        const std::vector<std::string> options =
            in.valueType == kInputCustomList || declared.valueType == kInputCustomList
                ? optionsOf(study, slot)
                : std::vector<std::string>{};
        Json j{{"slot", slot},
               {"label", study.inputLabel(slot)},
               {"type", declared.valueType},
               {"text", inputValueText(in.valueType, in.value, options)},
               {"default", inputValueText(declared.valueType, declared.value, options)}};
        if (declared.valueType == kInputFloat &&
            cellFloat(declared.minValue) < cellFloat(declared.maxValue)) {
            j["min"] = floatJson(cellFloat(declared.minValue));
            j["max"] = floatJson(cellFloat(declared.maxValue));
        } else if (declared.valueType == kInputInteger &&
                   cellInt(declared.minValue) < cellInt(declared.maxValue)) {
            j["min"] = cellInt(declared.minValue);
            j["max"] = cellInt(declared.maxValue);
        }
        if (declared.valueType == kInputCustomList) {
            j["options"] = options;
        }
        inputs.push_back(std::move(j));
    }
    return inputs;
}

Json menuJson(const StudyInstance& study) {
    Json items = Json::array();
    for (const MenuItem& item : study.menuItems()) {
        items.push_back(Json{{"id", item.id}, {"text", item.text}});
    }
    return items;
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

Json ChartSession::description() const {
    Json studies = Json::array();
    for (const StudyHost& h : hosts_) {
        studies.push_back(Json{{"study", studyKindName(h.kind)},
                               {"name", h.instance->studyName()},
                               {"inputs", inputsJson(*h.instance, h.defaults)},
                               {"menu", menuJson(*h.instance)}});
    }
    const std::int32_t onChart = barsOnChart();
    return Json{{"module", chart_.module->dllName()},
                {"version", chart_.module->dllVersion()},
                {"barsFile", chart_.barsName},
                {"fileBars", chart_.bars.size()},
                {"bars", onChart},
                {"replay", Json{{"active", replaying_}, {"nextBar", nextBar_}, {"stage", stage_}}},
                {"studies", studies}};
}

Json ChartSession::window(std::int64_t from, std::int64_t to) const {
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
    Json times = Json::array(), open = Json::array(), high = Json::array(), low = Json::array(),
         close = Json::array();
    for (std::size_t i = first; i < last; ++i) {
        times.push_back(chart_.times[i]);
        open.push_back(floatJson(bars[i].open));
        high.push_back(floatJson(bars[i].high));
        low.push_back(floatJson(bars[i].low));
        close.push_back(floatJson(bars[i].close));
    }
    Json series = Json::array(), panels = Json::array(), markers = Json::array(),
         alerts = Json::array(), log = Json::array();
    std::size_t alertCount = 0;
    for (const StudyHost& h : hosts_) {
        StudyInstance& s = *h.instance;
        const char* study = studyKindName(h.kind);
        for (std::int32_t slot = 0; slot < s.declaredOutputCount(); ++slot) {
            const std::span<const float> values = s.values(slot);
            Json column = Json::array();
            bool holds = false;
            for (std::size_t i = first; i < last; ++i) {
                const float v = i < values.size() ? values[i] : 0.0f;
                holds = holds || (v != 0.0f && std::isfinite(v));
                column.push_back(valueJson(v));
            }
            if (!holds) {
                continue;
            }
            const OutputSeries& out = s.output(slot);
            series.push_back(Json{{"key", std::string(study) + ":" + std::to_string(slot)},
                                  {"study", study},
                                  {"slot", slot},
                                  {"name", s.outputName(slot)},
                                  {"colour", colourText(out.colour)},
                                  {"width", out.lineWidth},
                                  {"kind", out.drawStyle & 0xFFFF},
                                  {"pattern", (out.drawStyle >> 16) & 0xFFFF},
                                  {"label", out.labelFlags != 0},
                                  {"values", std::move(column)}});
        }
        for (const auto& [number, d] : s.drawings()) {
            if (d.relativePlacement == 1) {
                panels.push_back(panelJson(d));
            } else if (d.barIndex >= 0 && d.barIndex < onChart) {
                Json m = markerJson(d, d.barIndex);
                m["study"] = study;
                markers.push_back(std::move(m));
            }
        }
        alertCount += s.alerts().size();
        const std::size_t firstAlert =
            s.alerts().size() > kMaxAlertsSent ? s.alerts().size() - kMaxAlertsSent : 0;
        for (std::size_t i = firstAlert; i < s.alerts().size(); ++i) {
            const RaisedAlert& a = s.alerts()[i];
            const bool onBar = a.barIndex >= 0 && a.barIndex < onChart;
            alerts.push_back(Json{
                {"study", study},
                {"number", a.number},
                {"bar", a.barIndex},
                {"time", onBar ? formatDateTime(bars[static_cast<std::size_t>(a.barIndex)].start)
                               : std::string()},
                {"message", a.message}});
        }
        const std::size_t firstLine =
            s.log().size() > kMaxLogLinesSent ? s.log().size() - kMaxLogLinesSent : 0;
        for (std::size_t i = firstLine; i < s.log().size(); ++i) {
            log.push_back(Json{{"text", s.log()[i].text}, {"flag", s.log()[i].flag}});
        }
    }
    if (alerts.size() > kMaxAlertsSent) {
        alerts.erase(alerts.begin(),
                     alerts.begin() + static_cast<std::ptrdiff_t>(alerts.size() - kMaxAlertsSent));
    }
    Json data = description();
    data["firstBar"] = from;
    data["times"] = std::move(times);
    data["open"] = std::move(open);
    data["high"] = std::move(high);
    data["low"] = std::move(low);
    data["close"] = std::move(close);
    data["series"] = std::move(series);
    data["panels"] = std::move(panels);
    data["markers"] = std::move(markers);
    data["alerts"] = std::move(alerts);
    data["alertCount"] = alertCount;
    data["log"] = std::move(log);
    return data;
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
