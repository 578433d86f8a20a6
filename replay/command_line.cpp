#include "replay/command_line.h"

#include <CLI/CLI.hpp>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "replay/summary_output.h"
#include "replay/terminal_progress.h"
#include "replay_engine/bar_aggregation.h"
#include "replay_engine/chart_loading.h"
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
#include "stats/ladder.h"
#include "stats/stats_run.h"

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
    // stats
    std::vector<std::string> barFiles;
    std::string ladder = stats::kDefaultLadder;
};

// The options that make the chart and set the study's inputs, shared by
// every command that runs Session Levels over bar files.
void addChartOptions(CLI::App& command, Options& o) {
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
    addChartOptions(command, o);
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

void addStatsOptions(CLI::App& command, Options& o) {
    command
        .add_option("--bars", o.barFiles,
                    "Bar file (repeatable: the files are measured in parallel and pooled)")
        ->required()
        ->allow_extra_args(false);
    addChartOptions(command, o);
    command
        .add_option("--ladder", o.ladder,
                    "Multiples of the IB and OR range above the high and below the low")
        ->capture_default_str();
    command.add_option("--csv", o.csv, "Write one row per RTH session as CSV");
    command.add_option("--json", o.json, "Write the sessions and the aggregates as JSON");
    command.add_option("--html", o.html, "Write the statistics as a self-contained web page");
}

std::string fileNameOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

void checkChartOptions(const Options& o) {
    if (o.period != 0 && (o.period < 1 || o.period > kLongestPeriodMinutes)) {
        throw UsageError("--period takes minutes from 1 to 1440, not " + std::to_string(o.period));
    }
    if (o.tzFrom.empty() != o.tzTo.empty()) {
        throw UsageError("--tz-from and --tz-to go together");
    }
}

// No two outputs name the same file, and none names a bar file.
void checkOutputs(const Options& o, const std::vector<std::string>& barFiles) {
    const std::string* outputs[] = {&o.csv, &o.json, &o.html};
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = i + 1; j < 3; ++j) {
            if (!outputs[i]->empty() && *outputs[i] == *outputs[j]) {
                throw UsageError("two outputs name the same file " + *outputs[i]);
            }
        }
        for (const std::string& bars : barFiles) {
            if (!outputs[i]->empty() && *outputs[i] == bars) {
                throw UsageError("an output would overwrite the bar file " + bars);
            }
        }
    }
}

void checkOptions(const Options& o) {
    checkChartOptions(o);
    if (!o.anchors.empty() && o.study != "anchored-vwap") {
        throw UsageError("--anchor applies to --study anchored-vwap only");
    }
    checkOutputs(o, {o.bars});
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

ChartLoading chartLoading(const Options& o) { return ChartLoading{o.period, o.tzFrom, o.tzTo}; }

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
        const LoadedChart chart = loadChart(o_.bars, chartLoading(o_));
        checkAnchorsOnChart(chart.bars, settings.anchors);
        settings.priceFormat = o_.priceFormatGiven ? o_.priceFormat : chart.priceDecimals;

        return verify ? verifyReplay(module, chart, settings, chartLibrary)
                      : runReplay(module, chart, settings, chartLibrary);
    }

private:
    RunRecord replay(const ModuleLibrary& module, const LoadedChart& chart,
                     const RunSettings& settings) {
        TerminalProgress progress(err_, showProgress_,
                                  std::string(feedModeName(settings.mode)) + " replay");
        return runStudy(
            module, chart.bars, settings,
            [&progress](std::size_t done, std::size_t total) { progress.report(done, total); });
    }

    int runReplay(const ModuleLibrary& module, const LoadedChart& chart,
                  const RunSettings& settings, const std::string& chartLibrary) {
        const RunRecord record = replay(module, chart, settings);
        writeOutputs(o_, record, chartLibrary);
        out_ << runSummary(record, fileNameOf(o_.bars)) << writtenFilesText(o_);
        return 0;
    }

    int verifyReplay(const ModuleLibrary& module, const LoadedChart& chart, RunSettings settings,
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

int runStatsCommand(const Options& o, std::ostream& out) {
    checkChartOptions(o);
    checkOutputs(o, o.barFiles);
    stats::StatsRequest request;
    try {
        request.ladder = stats::parseLadder(o.ladder);
    } catch (const stats::LadderError& e) {
        throw UsageError(e.what());
    }
    request.barFiles = o.barFiles;
    request.loading = chartLoading(o);
    request.inputs = o.inputs;
    request.csv = o.csv;
    request.json = o.json;
    request.html = o.html;
    const ModuleLibrary module(o.module.empty() ? ModuleLibrary::defaultPath() : o.module);
    stats::runStats(module, request, out);
    return 0;
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
    Options statsOptions;
    CLI::App* stats = app.add_subcommand(
        "stats",
        "How often price reaches each Session Levels level: one row per RTH session of the bar "
        "files and the percentages over them");
    addStatsOptions(*stats, statsOptions);
    try {
        app.parse(argc, argv);
        if (!stats->parsed()) {
            options.priceFormatGiven = (run->parsed() ? run : verify)->count("--price-format") > 0;
        }
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e, out, err);
        return status == 0 ? 0 : kExitError;
    }
    try {
        if (stats->parsed()) {
            return runStatsCommand(statsOptions, out);
        }
        return Replay(options, out, err, showProgress).run(verify->parsed());
    } catch (const std::exception& e) {
        err << "keelmark-replay: " << e.what() << "\n";
        return kExitError;
    }
}

}  // namespace keelmark::replay
