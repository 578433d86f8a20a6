#include "replay/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "replay/summary_output.h"
#include "replay/terminal_progress.h"
#include "replay_engine/bar_aggregation.h"
#include "replay_engine/input_setting.h"
#include "replay_engine/replay_run.h"
#include "replay_engine/run_comparison.h"
#include "replay_engine/time_zone_conversion.h"
#include "run_outputs/csv_output.h"
#include "run_outputs/html_output.h"
#include "run_outputs/json_output.h"
#include "run_outputs/output_files.h"
#include "standin_host/bar_file.h"
#include "standin_host/clock_text.h"
#include "standin_host/module_library.h"
#if KEELMARK_HAVE_SERVE
#include "serve/serve_command.h"
#endif

namespace keelmark::replay {

namespace {

// A refusal of what the user gave: reported in one line, exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Options {
    std::string study;
    std::string bars;
    std::string module;
    std::int32_t period = 0;
    std::string tzFrom, tzTo;
    std::vector<std::string> inputs;
    std::vector<std::string> anchors;
    std::string mode = "full";
    std::int32_t warmup = 1;
    std::int32_t priceFormat = 0;
    bool priceFormatGiven = false;
    std::string csv, json, html;
    // serve
    std::vector<std::string> studies;
    int port = 8080;
};

void addServeOptions(CLI::App& command, Options& o) {
    command
        .add_option("--study", o.studies,
                    "A study to show (session-levels, anchored-vwap); repeatable; default both")
        ->check(CLI::IsMember({"session-levels", "anchored-vwap"}))
        ->allow_extra_args(false);
    command
        .add_option("--bars", o.bars,
                    "Bar file: timestamp,open,high,low,close,volume or "
                    "Date, Time, Open, High, Low, Last, Volume[, ...]")
        ->required();
    command.add_option("--module", o.module,
                       "The module to load (default: the one beside this tool)");
    command.add_option("--period", o.period,
                       "Aggregate into N-minute bars aligned to the clock (1 to 1440)");
    command.add_option("--tz-from", o.tzFrom, "IANA time zone of the file's times");
    command.add_option("--tz-to", o.tzTo, "IANA time zone of the chart");
    command.add_option("--port", o.port, "Port on 127.0.0.1 and ::1 (0: any free port)")
        ->check(CLI::Range(0, 65535))
        ->capture_default_str();
}

void addCommonOptions(CLI::App& command, Options& o) {
    command.add_option("--study", o.study, "The study to replay")
        ->required()
        ->check(CLI::IsMember({"session-levels", "anchored-vwap"}));
    command
        .add_option("--bars", o.bars,
                    "Bar file: timestamp,open,high,low,close,volume or "
                    "Date, Time, Open, High, Low, Last, Volume[, ...]")
        ->required();
    command.add_option("--module", o.module,
                       "The module to load (default: the one beside this tool)");
    command.add_option("--period", o.period,
                       "Aggregate into N-minute bars aligned to the clock (1 to 1440)");
    command.add_option("--tz-from", o.tzFrom, "IANA time zone of the file's times");
    command.add_option("--tz-to", o.tzTo, "IANA time zone of the chart");
    command
        .add_option("--input", o.inputs,
                    "SLOT=VALUE: set a study input (slot number or exact label); repeatable")
        ->allow_extra_args(false);
    command
        .add_option("--anchor", o.anchors,
                    "\"YYYY-MM-DD HH:MM[:SS]\": Anchor VWAP Here on the bar at or before it "
                    "(anchored-vwap); repeatable")
        ->allow_extra_args(false);
    command
        .add_option("--mode", o.mode,
                    "full: one full recalculation; live: warm-up, then each bar fed live (verify "
                    "runs both and writes the outputs of this one)")
        ->check(CLI::IsMember({"full", "live"}))
        ->capture_default_str();
    command.add_option("--warmup", o.warmup, "Live mode: bars in the first full recalculation")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    command.add_option("--price-format", o.priceFormat,
                       "Price format passed to formatPrice: decimals 0 to 9 (default: as the "
                       "file's prices)");
    command.add_option("--csv", o.csv, "Write every bar's values as CSV");
    command.add_option("--json", o.json,
                       "Write the inputs, series, log, alerts, drawings, "
                       "menu items and call counts as JSON");
    command.add_option("--html", o.html, "Write the chart as a self-contained web page");
}

std::string fileNameOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

void checkOptions(const Options& o) {
    if (o.period != 0 && (o.period < 1 || o.period > kLongestPeriodMinutes)) {
        throw UsageError("--period takes minutes from 1 to 1440, not " + std::to_string(o.period));
    }
    if (o.tzFrom.empty() != o.tzTo.empty()) {
        throw UsageError("--tz-from and --tz-to go together");
    }
    if (!o.anchors.empty() && o.study != "anchored-vwap") {
        throw UsageError("--anchor applies to --study anchored-vwap only");
    }
    const std::string* outputs[] = {&o.csv, &o.json, &o.html};
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = i + 1; j < 3; ++j) {
            if (!outputs[i]->empty() && *outputs[i] == *outputs[j]) {
                throw UsageError("two outputs name the same file " + *outputs[i]);
            }
        }
        if (!outputs[i]->empty() && *outputs[i] == o.bars) {
            throw UsageError("an output would overwrite the bar file " + o.bars);
        }
    }
}

std::vector<ChartDateTime> anchorTimes(const std::vector<std::string>& anchors) {
    std::vector<ChartDateTime> times;
    for (const std::string& text : anchors) {
        ChartDateTime t = 0;
        if (!parseDateTime(text, t)) {
            throw UsageError("--anchor \"" + text + "\": expected YYYY-MM-DD HH:MM[:SS]");
        }
        times.push_back(t);
    }
    return times;
}

void checkAnchorsOnChart(const std::vector<Bar>& bars, const std::vector<ChartDateTime>& anchors) {
    for (const ChartDateTime t : anchors) {
        if (anchorBarIndex(bars, t) < 0) {
            throw UsageError("--anchor " + formatDateTime(t) + " lies before the first bar (" +
                             formatDateTime(bars.front().start) + ")");
        }
    }
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        throw UsageError("cannot read " + path);
    }
    return text.str();
}

struct Chart {
    std::vector<Bar> bars;
    std::int32_t priceDecimals = 0;
};

Chart loadChart(const Options& o) {
    BarFileContents contents = readBars(o.bars);
    if (!o.tzFrom.empty()) {
        convertBarTimes(contents.bars, o.tzFrom, o.tzTo);
    }
    if (o.period > 0) {
        contents.bars = aggregateBars(contents.bars, o.period);
    }
    return Chart{std::move(contents.bars), contents.priceDecimals};
}

void writeOutputs(const Options& o, const RunRecord& record, const std::string& chartLibrary) {
    OutputFiles files;
    if (!o.csv.empty()) {
        files.write(o.csv, [&record](std::ostream& out) { writeCsv(record, out); });
    }
    if (!o.json.empty()) {
        files.write(o.json, [&record](std::ostream& out) { writeJson(record, out); });
    }
    if (!o.html.empty()) {
        const std::string barsName = fileNameOf(o.bars);
        files.write(o.html,
                    [&](std::ostream& out) { writeHtml(record, barsName, chartLibrary, out); });
    }
    files.commit();
}

std::string writtenFilesText(const Options& o) {
    std::string text;
    for (const std::string* path : {&o.csv, &o.json, &o.html}) {
        if (!path->empty()) {
            text += "wrote " + *path + "\n";
        }
    }
    return text;
}

class Replay {
public:
    Replay(const Options& o, std::ostream& out, std::ostream& err, bool showProgress)
        : o_(o), out_(out), err_(err), showProgress_(showProgress) {}

    int run(bool verify) {
        checkOptions(o_);
        std::string chartLibrary;
        if (!o_.html.empty()) {
            const std::string path = findChartLibrary();
            if (path.empty()) {
                throw UsageError(std::string("--html needs the chart library ") +
                                 kChartLibraryFile +
                                 ": run scripts/setup-web, or put it beside keelmark-replay");
            }
            chartLibrary = readWholeFile(path);
        }
        RunSettings settings;
        settings.study =
            o_.study == "anchored-vwap" ? StudyKind::AnchoredVwap : StudyKind::SessionLevels;
        settings.mode = o_.mode == "live" ? FeedMode::Live : FeedMode::Full;
        settings.warmupBars = o_.warmup;
        settings.inputs = o_.inputs;
        settings.anchors = anchorTimes(o_.anchors);

        const ModuleLibrary module(o_.module.empty() ? ModuleLibrary::defaultPath() : o_.module);
        const Chart chart = loadChart(o_);
        checkAnchorsOnChart(chart.bars, settings.anchors);
        settings.priceFormat = o_.priceFormatGiven ? o_.priceFormat : chart.priceDecimals;

        return verify ? verifyReplay(module, chart, settings, chartLibrary)
                      : runReplay(module, chart, settings, chartLibrary);
    }

private:
    RunRecord replay(const ModuleLibrary& module, const Chart& chart, const RunSettings& settings) {
        TerminalProgress progress(err_, showProgress_,
                                  std::string(feedModeName(settings.mode)) + " replay");
        return runStudy(
            module, chart.bars, settings,
            [&progress](std::size_t done, std::size_t total) { progress.report(done, total); });
    }

    int runReplay(const ModuleLibrary& module, const Chart& chart, const RunSettings& settings,
                  const std::string& chartLibrary) {
        const RunRecord record = replay(module, chart, settings);
        writeOutputs(o_, record, chartLibrary);
        out_ << runSummary(record, fileNameOf(o_.bars)) << writtenFilesText(o_);
        return 0;
    }

    int verifyReplay(const ModuleLibrary& module, const Chart& chart, RunSettings settings,
                     const std::string& chartLibrary) {
        const FeedMode outputMode = settings.mode;
        settings.mode = FeedMode::Live;
        const RunRecord live = replay(module, chart, settings);
        settings.mode = FeedMode::Full;
        const RunRecord full = replay(module, chart, settings);
        const Comparison comparison = compareRuns(live, full);
        writeOutputs(o_, outputMode == FeedMode::Live ? live : full, chartLibrary);
        out_ << comparisonReport(live, full, comparison) << writtenFilesText(o_);
        return comparison.mismatchCount == 0 ? 0 : kExitMismatch;
    }

    const Options& o_;
    std::ostream& out_;
    std::ostream& err_;
    bool showProgress_;
};

// Serves the chart in the browser until Ctrl-C.
int serveBars(const Options& o, std::ostream& out) {
    checkOptions(o);
#if KEELMARK_HAVE_SERVE
    const std::string libraryPath = findChartLibrary();
    if (libraryPath.empty()) {
        throw UsageError(std::string("serve needs the chart library ") + kChartLibraryFile +
                         ": run scripts/setup-web, or put it beside keelmark-replay");
    }
    const ModuleLibrary module(o.module.empty() ? ModuleLibrary::defaultPath() : o.module);
    Chart chart = loadChart(o);
    ServeRequest request;
    request.module = &module;
    request.bars = std::move(chart.bars);
    request.priceFormat = chart.priceDecimals;
    for (const std::string& study : o.studies) {
        const StudyKind kind =
            study == "anchored-vwap" ? StudyKind::AnchoredVwap : StudyKind::SessionLevels;
        if (std::find(request.studies.begin(), request.studies.end(), kind) ==
            request.studies.end()) {
            request.studies.push_back(kind);
        }
    }
    if (request.studies.empty()) {
        request.studies = {StudyKind::SessionLevels, StudyKind::AnchoredVwap};
    }
    request.barsName = fileNameOf(o.bars);
    request.chartLibrary = readWholeFile(libraryPath);
    request.port = o.port;
    return serveChart(std::move(request), out);
#else
    (void)out;
    throw UsageError("serve is unavailable in this build (it needs the Linux build)");
#endif
}

}  // namespace

int runCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                   bool showProgress) {
    CLI::App app{
        "Runs the Keelmark studies on a bar file through the stand-in host, exports "
        "their values, checks that they never repaint and draws the chart.",
        "keelmark-replay"};
    app.require_subcommand(1);
    Options options;
    CLI::App* run = app.add_subcommand("run", "Replay a study over the bars and write its outputs");
    CLI::App* verify = app.add_subcommand(
        "verify", "Replay the bars live and as one full recalculation and compare every bar");
    for (CLI::App* command : {run, verify}) {
        addCommonOptions(*command, options);
    }
    CLI::App* serve = app.add_subcommand(
        "serve",
        "Show the studies on a live chart in the browser, with right-click menu, "
        "settings and replay, until Ctrl-C");
    addServeOptions(*serve, options);
    try {
        app.parse(argc, argv);
        options.priceFormatGiven =
            !serve->parsed() && (run->parsed() ? run : verify)->count("--price-format") > 0;
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e, out, err);
        return status == 0 ? 0 : kExitError;
    }
    try {
        if (serve->parsed()) {
            return serveBars(options, out);
        }
        return Replay(options, out, err, showProgress).run(verify->parsed());
    } catch (const std::exception& e) {
        err << "keelmark-replay: " << e.what() << "\n";
        return kExitError;
    }
}

}  // namespace keelmark::replay
