#include "replay/command_line.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
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
    bool periodGiven = false;
    std::string badRows = "refuse";
    std::string csv, json, html;
};

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
    command
        .add_option("--bad-rows", o.badRows,
                    "refuse: a malformed row stops the run; skip: leave such rows out, "
                    "counted in the summary and the JSON")
        ->check(CLI::IsMember({"refuse", "skip"}))
        ->capture_default_str();
    command.add_option("--csv", o.csv, "Write every bar's values as CSV (- for standard output)");
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
    if (o.periodGiven && (o.period < 1 || o.period > kLongestPeriodMinutes)) {
        throw UsageError("--period takes minutes from 1 to 1440, not " + std::to_string(o.period));
    }
    if (o.priceFormatGiven && (o.priceFormat < 0 || o.priceFormat > 9)) {
        throw UsageError("--price-format takes decimals from 0 to 9, not " +
                         std::to_string(o.priceFormat));
    }
    if (o.tzFrom.empty() != o.tzTo.empty()) {
        throw UsageError("--tz-from and --tz-to go together");
    }
    if (!o.anchors.empty() && o.study != "anchored-vwap") {
        throw UsageError("--anchor applies to --study anchored-vwap only");
    }
}

// A plain file name is a file in the current directory, as for --bars, not
// a name for the loader to search for.
std::string modulePath(const Options& o) {
    if (o.module.empty()) {
        return ModuleLibrary::defaultPath();
    }
    return o.module.find_first_of("/\\") == std::string::npos ? "./" + o.module : o.module;
}

// Outputs that are an input, another output, a directory or read-only are
// refused before anything is read.
void checkOutputs(const Options& o, const std::string& module) {
    checkOutputPaths({o.csv, o.json, o.html}, {o.bars, module});
}

bool writesStandardOutput(const Options& o) {
    return o.csv == kStandardOutputPath || o.json == kStandardOutputPath ||
           o.html == kStandardOutputPath;
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
        throw UsageError("cannot read " + path + ": " + std::generic_category().message(errno));
    }
    return text.str();
}

struct Chart {
    std::vector<Bar> bars;
    std::int32_t priceDecimals = 0;
    std::int64_t skippedRowCount = 0;
    std::vector<SkippedRow> skippedRows;
};

Chart loadChart(const Options& o) {
    BarFileContents contents =
        readBars(o.bars, o.badRows == "skip" ? BadRows::Skip : BadRows::Refuse);
    if (!o.tzFrom.empty()) {
        convertBarTimes(contents.bars, o.tzFrom, o.tzTo);
    }
    if (o.period > 0) {
        contents.bars = aggregateBars(contents.bars, o.period);
    }
    return Chart{std::move(contents.bars), contents.priceDecimals, contents.skippedRowCount,
                 std::move(contents.skippedRows)};
}

void writeOutputs(const Options& o, const RunRecord& record, const std::string& chartLibrary,
                  std::ostream& standardOutput) {
    OutputFiles files(standardOutput);
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
        if (!path->empty() && *path != kStandardOutputPath) {
            text += "wrote " + *path + "\n";
        }
    }
    return text;
}

class Replay {
public:
    // With an output on standard output, the summary goes to standard error.
    Replay(const Options& o, std::ostream& out, std::ostream& err, bool showProgress)
        : o_(o),
          out_(out),
          err_(err),
          summary_(writesStandardOutput(o) ? err : out),
          showProgress_(showProgress) {}

    int run(bool verify) {
        checkOptions(o_);
        const std::string module = modulePath(o_);
        checkOutputs(o_, module);
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

        const ModuleLibrary library(module);
        const Chart chart = loadChart(o_);
        checkAnchorsOnChart(chart.bars, settings.anchors);
        settings.priceFormat = o_.priceFormatGiven ? o_.priceFormat : chart.priceDecimals;

        try {
            return verify ? verifyReplay(library, chart, settings, chartLibrary)
                          : runReplay(library, chart, settings, chartLibrary);
        } catch (const std::bad_alloc&) {
            throw std::runtime_error("not enough memory to hold " +
                                     std::to_string(chart.bars.size()) +
                                     " bars: the replay and its outputs need more memory than "
                                     "this machine can give; try a shorter file or --period");
        }
    }

private:
    RunRecord replay(const ModuleLibrary& module, const Chart& chart, const RunSettings& settings) {
        TerminalProgress progress(err_, showProgress_,
                                  std::string(feedModeName(settings.mode)) + " replay");
        RunRecord record = runStudy(
            module, chart.bars, settings,
            [&progress](std::size_t done, std::size_t total) { progress.report(done, total); });
        record.skippedRowCount = chart.skippedRowCount;
        record.skippedRows = chart.skippedRows;
        return record;
    }

    int runReplay(const ModuleLibrary& module, const Chart& chart, const RunSettings& settings,
                  const std::string& chartLibrary) {
        const RunRecord record = replay(module, chart, settings);
        writeOutputs(o_, record, chartLibrary, out_);
        summary_ << runSummary(record, fileNameOf(o_.bars)) << writtenFilesText(o_);
        return record.repaintedBars.empty() ? 0 : kExitMismatch;
    }

    int verifyReplay(const ModuleLibrary& module, const Chart& chart, RunSettings settings,
                     const std::string& chartLibrary) {
        const FeedMode outputMode = settings.mode;
        settings.mode = FeedMode::Live;
        const RunRecord live = replay(module, chart, settings);
        settings.mode = FeedMode::Full;
        const RunRecord full = replay(module, chart, settings);
        const Comparison comparison = compareRuns(live, full);
        writeOutputs(o_, outputMode == FeedMode::Live ? live : full, chartLibrary, out_);
        summary_ << comparisonReport(live, full, comparison)
                 << skippedRowsText(live, fileNameOf(o_.bars)) << writtenFilesText(o_);
        return comparison.mismatchCount == 0 ? 0 : kExitMismatch;
    }

    const Options& o_;
    std::ostream& out_;
    std::ostream& err_;
    std::ostream& summary_;
    bool showProgress_;
};

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
    try {
        app.parse(argc, argv);
        CLI::App* parsed = run->parsed() ? run : verify;
        options.priceFormatGiven = parsed->count("--price-format") > 0;
        options.periodGiven = parsed->count("--period") > 0;
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e, out, err);
        return status == 0 ? 0 : kExitError;
    }
    try {
        return Replay(options, out, err, showProgress).run(verify->parsed());
    } catch (const std::bad_alloc&) {
        err << "keelmark-replay: not enough memory for this run\n";
        return kExitError;
    } catch (const std::exception& e) {
        err << "keelmark-replay: " << e.what() << "\n";
        return kExitError;
    }
}

}  // namespace keelmark::replay
