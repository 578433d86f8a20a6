#include "replay/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "replay/summary_output.h"
#include "replay/terminal_progress.h"
#include "replay_engine/bar_aggregation.h"
#include "replay_engine/chart_loading.h"
#include "replay_engine/input_setting.h"
#include "replay_engine/parallel_work.h"
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
    std::vector<std::string> barFiles;
    std::string bars;  // the bar file of the run under way
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
    std::string htmlBars = std::to_string(kChartPageBars);
    std::size_t pageBars = kChartPageBars;  // 0: all
    std::string outDir;
    std::vector<std::string> outputs{"csv", "json"};
    // stats
    std::string ladder = stats::kDefaultLadder;
    // serve
    std::vector<std::string> studies;
    int port = 8080;
};

// The options that make the chart and set the study's inputs, shared by
// every command that runs a study over bar files.
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
    command
        .add_option("--bad-rows", o.badRows,
                    "refuse: a malformed row stops the run; skip: leave such rows out, "
                    "counted in the summary and the JSON")
        ->check(CLI::IsMember({"refuse", "skip"}))
        ->capture_default_str();
}

void addCommonOptions(CLI::App& command, Options& o) {
    command.add_option("--study", o.study, "The study to replay")
        ->required()
        ->check(CLI::IsMember({"session-levels", "anchored-vwap"}));
    command
        .add_option("--bars", o.barFiles,
                    "Bar file: timestamp,open,high,low,close,volume or "
                    "Date, Time, Open, High, Low, Last, Volume[, ...]; several files are "
                    "replayed on all cores, each on its own (see --out-dir)")
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
    command.add_option("--csv", o.csv, "Write every bar's values as CSV (- for standard output)");
    command.add_option("--json", o.json,
                       "Write the inputs, series, log, alerts, drawings, "
                       "menu items and call counts as JSON");
    command.add_option("--html", o.html, "Write the chart as a self-contained web page");
    command
        .add_option("--html-bars", o.htmlBars,
                    "Bars the web page shows: the last N, or all (a page of every bar of a long "
                    "file is hundreds of megabytes)")
        ->capture_default_str();
    command.add_option("--out-dir", o.outDir,
                       "Write each bar file's outputs into DIR, named after the file "
                       "(NAME.csv, NAME.json, NAME.html for bar file NAME.*); one summary line "
                       "per file and a total");
    command
        .add_option("--outputs", o.outputs,
                    "With --out-dir: the outputs to write for each file (csv, json, html)")
        ->delimiter(',')
        ->check(CLI::IsMember({"csv", "json", "html"}))
        ->capture_default_str();
}

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
    addChartOptions(command, o);
    command.add_option("--port", o.port, "Port on 127.0.0.1 and ::1 (0: any free port)")
        ->check(CLI::Range(0, 65535))
        ->capture_default_str();
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

std::size_t pageBarsOf(const std::string& text) {
    if (text == "all") {
        return 0;
    }
    std::size_t used = 0;
    long long n = 0;
    try {
        n = std::stoll(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || text.empty() || n < 1) {
        throw UsageError("--html-bars takes a number of bars (at least 1) or all, not \"" + text +
                         "\"");
    }
    return static_cast<std::size_t>(n);
}

void checkChartOptions(const Options& o) {
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
}

void checkOptions(const Options& o) {
    checkChartOptions(o);
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

// An input named "-" is the file of that name, not standard output (which
// "-" stands for among the outputs).
std::string inputPath(const std::string& path) {
    return path == kStandardOutputPath ? "./" + path : path;
}

// Outputs that are an input, another output, a directory or read-only are
// refused before anything is read.
void checkOutputs(const Options& o, const std::string& module) {
    checkOutputPaths({o.csv, o.json, o.html}, {inputPath(o.bars), module});
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

void checkAnchorsOnChart(const BarColumns& bars, const std::vector<ChartDateTime>& anchors) {
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

ChartLoading chartLoading(const Options& o) {
    return ChartLoading{o.period, o.tzFrom, o.tzTo,
                        o.badRows == "skip" ? BadRows::Skip : BadRows::Refuse};
}

// The chart of one bar file, as the options make it.
LoadedChart loadChart(const Options& o) { return loadChart(o.bars, chartLoading(o)); }

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
        files.write(o.html, [&](std::ostream& out) {
            writeHtml(record, barsName, chartLibrary, out, o.pageBars);
        });
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

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", seconds);
    return text;
}

// The name of a bar file without its folder and its last extension: the
// name of its outputs in --out-dir.
std::string outputStem(const std::string& barsPath) {
    const std::string name = fileNameOf(barsPath);
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// What one bar file of several came to.
struct FileResult {
    std::string line;
    int status = 0;
    std::size_t bars = 0;
};

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
        o_.pageBars = pageBarsOf(o_.htmlBars);
        const bool batch = o_.barFiles.size() > 1 || !o_.outDir.empty();
        const std::string module = modulePath(o_);
        if (batch) {
            prepareBatch(module);
        } else {
            o_.bars = o_.barFiles.front();
            checkOptions(o_);
            checkOutputs(o_, module);
        }
        const bool html = !o_.html.empty() || (batch && wants("html"));
        if (html) {
            const std::string path = findChartLibrary();
            if (path.empty()) {
                throw UsageError(std::string("--html needs the chart library ") +
                                 kChartLibraryFile +
                                 ": run scripts/setup-web, or put it beside keelmark-replay");
            }
            chartLibrary_ = readWholeFile(path);
        }
        settings_.study =
            o_.study == "anchored-vwap" ? StudyKind::AnchoredVwap : StudyKind::SessionLevels;
        settings_.mode = o_.mode == "live" ? FeedMode::Live : FeedMode::Full;
        settings_.warmupBars = o_.warmup;
        settings_.inputs = o_.inputs;
        settings_.anchors = anchorTimes(o_.anchors);

        const ModuleLibrary library(module);
        if (batch) {
            return runBatch(library, verify);
        }
        LoadedChart chart = loadChart(o_);
        const RunSettings settings = settingsFor(chart);
        const std::size_t barCount = chart.bars.size();
        try {
            return verify ? verifyReplay(library, std::move(chart), settings, o_, true).status
                          : runReplay(library, std::move(chart), settings, o_, true).status;
        } catch (const std::bad_alloc&) {
            throw std::runtime_error("not enough memory to hold " + std::to_string(barCount) +
                                     " bars: the replay and its outputs need more memory than "
                                     "this machine can give; try a shorter file or --period");
        }
    }

private:
    bool wants(const char* output) const {
        return std::find(o_.outputs.begin(), o_.outputs.end(), output) != o_.outputs.end();
    }

    // Several bar files, or outputs named from them: the options that name
    // one file's outputs are refused, and no two files may share outputs or
    // have an output that is one of the bar files.
    void prepareBatch(const std::string& module) {
        if (!o_.csv.empty() || !o_.json.empty() || !o_.html.empty()) {
            throw UsageError(
                "with several bar files or --out-dir, each file's outputs are named after it: "
                "use --out-dir DIR [--outputs csv,json,html] instead of --csv, --json, --html");
        }
        Options check = o_;
        check.bars = o_.barFiles.front();
        checkOptions(check);
        if (o_.outDir.empty()) {
            return;
        }
        // Each path is looked up once: every output is compared with every
        // bar file.
        std::vector<FileIdentity> barFiles;
        for (const std::string& bars : o_.barFiles) {
            barFiles.push_back(fileIdentity(inputPath(bars)));
        }
        std::map<std::string, std::string> stems;
        for (const std::string& bars : o_.barFiles) {
            const auto [at, added] = stems.emplace(outputStem(bars), bars);
            if (!added) {
                throw UsageError("bar files " + at->second + " and " + bars +
                                 " would write the same outputs in " + o_.outDir);
            }
            for (const std::string& output : outputsOf(bars)) {
                const FileIdentity written = fileIdentity(output);
                for (std::size_t i = 0; i < barFiles.size(); ++i) {
                    if (sameFile(written, barFiles[i])) {
                        throw UsageError("an output would overwrite the bar file " +
                                         o_.barFiles[i]);
                    }
                }
            }
        }
        std::error_code error;
        std::filesystem::create_directories(o_.outDir, error);
        if (error || !std::filesystem::is_directory(o_.outDir)) {
            throw UsageError("cannot make the output folder " + o_.outDir);
        }
        for (const std::string& bars : o_.barFiles) {
            checkOutputs(fileOptions(bars), module);
        }
    }

    std::vector<std::string> outputsOf(const std::string& bars) const {
        std::vector<std::string> paths;
        if (o_.outDir.empty()) {
            return paths;
        }
        const std::filesystem::path stem = std::filesystem::path(o_.outDir) / outputStem(bars);
        for (const char* ext : {"csv", "json", "html"}) {
            if (wants(ext)) {
                paths.push_back(stem.string() + "." + ext);
            }
        }
        return paths;
    }

    // The options of one bar file of several.
    Options fileOptions(const std::string& bars) const {
        Options o = o_;
        o.bars = bars;
        if (!o_.outDir.empty()) {
            const std::string stem = (std::filesystem::path(o_.outDir) / outputStem(bars)).string();
            o.csv = wants("csv") ? stem + ".csv" : "";
            o.json = wants("json") ? stem + ".json" : "";
            o.html = wants("html") ? stem + ".html" : "";
        }
        return o;
    }

    RunSettings settingsFor(const LoadedChart& chart) const {
        checkAnchorsOnChart(chart.bars, settings_.anchors);
        RunSettings settings = settings_;
        settings.priceFormat = o_.priceFormatGiven ? o_.priceFormat : chart.priceDecimals;
        return settings;
    }

    RunRecord replay(const ModuleLibrary& module, BarColumns bars, const RunSettings& settings,
                     bool showProgress) {
        TerminalProgress progress(err_, showProgress,
                                  std::string(feedModeName(settings.mode)) + " replay");
        return runStudy(
            module, std::move(bars), settings,
            [&progress](std::size_t done, std::size_t total) { progress.report(done, total); });
    }

    static void noteSkippedRows(RunRecord& record, const LoadedChart& chart) {
        record.skippedRowCount = chart.skippedRowCount;
        record.skippedRows = chart.skippedRows;
    }

    FileResult runReplay(const ModuleLibrary& module, LoadedChart chart,
                         const RunSettings& settings, const Options& o, bool single) {
        RunRecord record = replay(module, std::move(chart.bars), settings, single && showProgress_);
        noteSkippedRows(record, chart);
        writeOutputs(o, record, chartLibrary_, out_);
        FileResult result;
        result.bars = record.bars.size();
        result.status = record.repaintedBars.empty() ? 0 : kExitMismatch;
        if (single) {
            summary_ << runSummary(record, fileNameOf(o.bars)) << writtenFilesText(o);
            return result;
        }
        result.line = fileNameOf(o.bars) + ": " + std::to_string(record.bars.size()) + " bars";
        if (!record.bars.empty()) {
            result.line += " from " + formatDateTime(record.bars.front().start) + " to " +
                           formatDateTime(record.bars.back().start);
        }
        result.line += ", " + std::string(feedModeName(record.mode)) + " replay in " +
                       secondsText(record.seconds);
        if (!record.repaintedBars.empty()) {
            result.line += ", values of " + std::to_string(record.repaintedBars.size()) +
                           " committed bars changed";
        }
        result.line += writtenList(o);
        return result;
    }

    FileResult verifyReplay(const ModuleLibrary& module, LoadedChart chart, RunSettings settings,
                            const Options& o, bool single) {
        const FeedMode outputMode = settings.mode;
        settings.mode = FeedMode::Live;
        RunRecord live = replay(module, chart.bars, settings, single && showProgress_);
        settings.mode = FeedMode::Full;
        RunRecord full = replay(module, std::move(chart.bars), settings, single && showProgress_);
        noteSkippedRows(live, chart);
        noteSkippedRows(full, chart);
        const Comparison comparison = compareRuns(live, full);
        writeOutputs(o, outputMode == FeedMode::Live ? live : full, chartLibrary_, out_);
        FileResult result;
        result.bars = full.bars.size();
        result.status = comparison.mismatchCount == 0 ? 0 : kExitMismatch;
        if (single) {
            summary_ << comparisonReport(live, full, comparison)
                     << skippedRowsText(live, fileNameOf(o.bars)) << writtenFilesText(o);
            return result;
        }
        result.line =
            fileNameOf(o.bars) + ": " + std::to_string(full.bars.size()) + " bars, " +
            (comparison.mismatchCount == 0
                 ? "live and full agree on " + std::to_string(comparison.valuesCompared) + " values"
                 : std::to_string(comparison.mismatchCount) + " values differ") +
            writtenList(o);
        return result;
    }

    static std::string writtenList(const Options& o) {
        std::string text;
        for (const std::string* path : {&o.csv, &o.json, &o.html}) {
            if (!path->empty()) {
                text += (text.empty() ? "; wrote " : ", ") + *path;
            }
        }
        return text;
    }

    // Every file on its own, on all cores; a file that fails is reported
    // and the others go on. The lines come in the order the files were
    // given, then the total.
    int runBatch(const ModuleLibrary& module, bool verify) {
        const auto started = std::chrono::steady_clock::now();
        const std::size_t count = o_.barFiles.size();
        std::vector<FileResult> results(count);
        const unsigned workers = workersForFiles(o_.barFiles);
        runInParallel(count, workers, [&](std::size_t i) {
            const Options o = fileOptions(o_.barFiles[i]);
            try {
                LoadedChart chart = loadChart(o);
                const RunSettings settings = settingsFor(chart);
                results[i] = verify ? verifyReplay(module, std::move(chart), settings, o, false)
                                    : runReplay(module, std::move(chart), settings, o, false);
            } catch (const std::exception& e) {
                results[i].line = fileNameOf(o.bars) + ": " + e.what();
                results[i].status = kExitError;
            }
        });
        int status = 0;
        std::size_t bars = 0, failed = 0, differing = 0;
        for (const FileResult& r : results) {
            out_ << r.line << "\n";
            if (r.status == kExitError) {
                err_ << "keelmark-replay: " << r.line << "\n";
            }
            bars += r.bars;
            failed += r.status == kExitError ? 1 : 0;
            differing += r.status == kExitMismatch ? 1 : 0;
            status = std::max(status, r.status);
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        out_ << count << (count == 1 ? " file, " : " files, ") << bars << " bars in "
             << secondsText(seconds) << " on " << workers << (workers == 1 ? " core" : " cores");
        if (differing > 0) {
            out_ << ", " << differing << " with values that differ";
        }
        if (failed > 0) {
            out_ << ", " << failed << " failed";
        }
        out_ << "\n";
        return status;
    }

    Options o_;
    std::ostream& out_;
    std::ostream& err_;
    std::ostream& summary_;
    bool showProgress_;
    std::string chartLibrary_;
    RunSettings settings_;
};

// Serves the chart in the browser until Ctrl-C.
int serveBars(const Options& o, std::ostream& out) {
    checkChartOptions(o);
#if KEELMARK_HAVE_SERVE
    const std::string libraryPath = findChartLibrary();
    if (libraryPath.empty()) {
        throw UsageError(std::string("serve needs the chart library ") + kChartLibraryFile +
                         ": run scripts/setup-web, or put it beside keelmark-replay");
    }
    const ModuleLibrary module(modulePath(o));
    LoadedChart chart = loadChart(o);
    ServeRequest request;
    request.module = &module;
    request.bars = barListOf(chart.bars);
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
    request.inputs = startingInputs(module, request.priceFormat, request.studies, o.inputs);
    request.chartLibrary = readWholeFile(libraryPath);
    request.port = o.port;
    return serveChart(std::move(request), out);
#else
    (void)out;
    throw UsageError("serve is unavailable in this build (it needs the Linux build)");
#endif
}

int runStatsCommand(const Options& o, std::ostream& out) {
    checkChartOptions(o);
    checkOutputPaths({o.csv, o.json, o.html}, [&o] {
        std::vector<std::string> inputs;
        for (const std::string& bars : o.barFiles) {
            inputs.push_back(inputPath(bars));
        }
        inputs.push_back(modulePath(o));
        return inputs;
    }());
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
    const ModuleLibrary module(modulePath(o));
    stats::runStats(module, request, out);
    return 0;
}

}  // namespace

namespace {

// The command line's option tables with the options they fill in. Building
// them (CLI11 checks each new option against every earlier one of its
// command) costs far more than parsing, so each thread builds them once and
// every run after that starts from cleared results and default options.
struct CommandLineTables {
    CLI::App app{
        "Runs the Keelmark studies on a bar file through the stand-in host, exports "
        "their values, checks that they never repaint and draws the chart.",
        "keelmark-replay"};
    Options options;
    Options statsOptions;
    Options serveOptions;
    CLI::App* run = nullptr;
    CLI::App* verify = nullptr;
    CLI::App* stats = nullptr;
    CLI::App* serve = nullptr;

    CommandLineTables() {
        app.require_subcommand(1);
        run = app.add_subcommand("run", "Replay a study over the bars and write its outputs");
        verify = app.add_subcommand(
            "verify", "Replay the bars live and as one full recalculation and compare every bar");
        for (CLI::App* command : {run, verify}) {
            addCommonOptions(*command, options);
        }
        stats = app.add_subcommand(
            "stats",
            "How often price reaches each Session Levels level: one row per RTH session of the "
            "bar files and the percentages over them");
        addStatsOptions(*stats, statsOptions);
        serve = app.add_subcommand(
            "serve",
            "Show the studies on a live chart in the browser, with right-click menu, "
            "settings and replay, until Ctrl-C");
        addServeOptions(*serve, serveOptions);
    }
    CommandLineTables(const CommandLineTables&) = delete;
    CommandLineTables& operator=(const CommandLineTables&) = delete;

    // Nothing of an earlier run is left: CLI11 writes only the options a
    // command line gives, so every other one must hold its default again.
    // The options are assigned in place: the tables point at them.
    void reset() {
        app.clear();
        options = Options{};
        statsOptions = Options{};
        serveOptions = Options{};
    }
};

}  // namespace

int runCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                   bool showProgress) {
    thread_local CommandLineTables tables;
    // Emptied on the way out, whatever way that is, so that each run starts
    // from defaults and keeps nothing of its command line until the next one
    // (a run then frees all it allocated).
    struct ResetOnReturn {
        CommandLineTables& tables;
        ~ResetOnReturn() { tables.reset(); }
    } const resetOnReturn{tables};
    CLI::App& app = tables.app;
    Options& options = tables.options;
    Options& statsOptions = tables.statsOptions;
    Options& serveOptions = tables.serveOptions;
    CLI::App* const run = tables.run;
    CLI::App* const verify = tables.verify;
    CLI::App* const stats = tables.stats;
    CLI::App* const serve = tables.serve;
    try {
        app.parse(argc, argv);
        if (stats->parsed()) {
            statsOptions.periodGiven = stats->count("--period") > 0;
        } else if (serve->parsed()) {
            serveOptions.periodGiven = serve->count("--period") > 0;
        } else {
            CLI::App* parsed = run->parsed() ? run : verify;
            options.priceFormatGiven = parsed->count("--price-format") > 0;
            options.periodGiven = parsed->count("--period") > 0;
        }
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e, out, err);
        return status == 0 ? 0 : kExitError;
    }
    try {
        if (stats->parsed()) {
            return runStatsCommand(statsOptions, out);
        }
        if (serve->parsed()) {
            return serveBars(serveOptions, out);
        }
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
