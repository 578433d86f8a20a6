// One page's chart in `keelmark-replay serve`: a stand-in host per study over
// the served bars, and what the page may do with them: read a window of bars
// and values, deliver a chart menu command at a bar, change an input (the
// study then recalculates in full), and replay the bars live from a chosen
// bar. Every request is checked before anything changes: a refused one
// leaves the chart as it was.
//
// A session is not thread-safe by itself: its owner serialises the calls
// (see SessionTable).
#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "replay_engine/replay_run.h"
#include "serve/json_text.h"
#include "standin_host/chart_host.h"
#include "standin_host/module_library.h"

namespace keelmark::replay {

// A setting every session starts with (`serve --input`): an input of one
// study and its value text, set as in the study's settings before the
// first recalculation.
struct StartingInput {
    StudyKind study = StudyKind::SessionLevels;
    std::int32_t slot = 0;
    std::string value;
};

// What every session of one server shares: the file's bars, read once.
struct ServedChart {
    const ModuleLibrary* module = nullptr;
    std::vector<Bar> bars;
    // The chart library's seconds of each bar (strictly rising).
    std::vector<std::int64_t> times;
    std::int32_t priceFormat = 2;
    std::vector<StudyKind> studies;
    std::string barsName;
    std::vector<StartingInput> inputs;
};

// The `--input` settings (`SLOT=VALUE`, as `run` takes them) addressed to the
// studies shown: a label sets the input of each study that declares it, a
// slot number needs a single study shown. Each value is checked against its
// input's declared type. Throws InputSettingError naming the setting.
std::vector<StartingInput> startingInputs(const ModuleLibrary& module, std::int32_t priceFormat,
                                          const std::vector<StudyKind>& studies,
                                          const std::vector<std::string>& settings);

// The chart library's seconds of each bar: the chart's clock shown as if it
// were UTC, a repeated second moved one on so that times strictly rise.
std::vector<std::int64_t> chartSeconds(const std::vector<Bar>& bars);

// A request the server refuses: an HTTP status (4xx) and a sentence saying why.
class RequestRefused : public std::runtime_error {
public:
    RequestRefused(int status, const std::string& sentence)
        : std::runtime_error(sentence), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

// The most bars one window request may ask for; with every series of both
// studies this keeps an answer to a few megabytes.
inline constexpr std::int32_t kMaxWindowBars = 5000;
// The most alerts and log lines (per study) an answer carries: the latest.
inline constexpr std::size_t kMaxAlertsSent = 200;
inline constexpr std::size_t kMaxLogLinesSent = 300;

class ChartSession {
public:
    explicit ChartSession(const ServedChart& chart);
    // Makes each study's final call.
    ~ChartSession();
    ChartSession(const ChartSession&) = delete;
    ChartSession& operator=(const ChartSession&) = delete;

    // As a JSON object: the studies (name, module, inputs as declared and
    // as set, menu items), the bars on the chart and the replay's state;
    // with the page's session id last when one is given.
    std::string description(std::string_view sessionId = {}) const;
    // As a JSON object: the description, bars [from, to) of the chart with
    // every study's values there, and the whole chart's drawings, latest
    // alerts and log lines.
    std::string window(std::int64_t from, std::int64_t to) const;

    // `item` is the menu item's text or id, as a JSON string or number.
    void menuCommand(const std::string& study, const nlohmann::json& item, std::int64_t bar);
    // `input` is the slot number or the exact label; `value` as `--input`
    // takes it.
    void setInput(const std::string& study, const nlohmann::json& input, const std::string& value);
    // Restarts every study on the first `from` bars (fully recalculated, with
    // the settings made and the menu commands given so far on those bars);
    // the bars after it are then fed live by advance(). `from` equal to the
    // file's bar count shows the whole chart and ends a replay.
    void startReplay(std::int64_t from);
    // Feeds the next stage of the replay (a bar opens, forms twice, and is
    // complete), or with `wholeBar` every stage up to the bar's completion.
    void advance(bool wholeBar);

    std::int32_t barsOnChart() const;

private:
    struct StudyHost {
        StudyKind kind = StudyKind::SessionLevels;
        std::unique_ptr<StudyInstance> instance;
        // The inputs as declared on the defaults pass.
        std::vector<StudyInput> defaults;
        // The inputs set through the settings, in order: set again on a
        // replay's fresh instance. (The anchors a menu command writes into
        // inputs come back with the command.)
        std::vector<std::pair<std::int32_t, std::string>> settings;
    };
    // A menu command as given: delivered again when a replay reaches its bar.
    struct GivenCommand {
        StudyKind study = StudyKind::SessionLevels;
        std::string item;
        std::int32_t bar = 0;
    };

    StudyHost& host(const std::string& study);
    void writeDescription(JsonText& w) const;
    std::unique_ptr<StudyInstance> freshInstance(StudyKind kind) const;
    void deliverDueCommands();

    const ServedChart& chart_;
    std::vector<StudyHost> hosts_;
    std::vector<GivenCommand> commands_;
    // Commands [0, delivered_) are on the chart; the rest wait for their bar.
    std::size_t delivered_ = 0;
    // The replay: the next bar to feed and its stage (0: it opens; 1 to 3:
    // its forming stages, the last one the full bar).
    bool replaying_ = false;
    std::size_t nextBar_ = 0;
    std::int32_t stage_ = 0;
};

}  // namespace keelmark::replay
