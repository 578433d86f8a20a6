// `keelmark-replay stats` end to end in its own process, on ten years of
// 1-minute bars (3.6 million bars of the extended sample):
//   Stats/OneFile    one file: load the module, read the file, run Session
//                    Levels, measure every session, aggregate, print the
//                    table and write the CSV and the JSON
//   Stats/TenFiles   ten such files at once (ten names of the same bars), a
//                    file per core; bounded by the cores, it takes about ten
//                    files over the cores times one file
// With the tool's peak resident memory.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bar_csv.h"
#include "bench/child_process.h"
#include "bench/repetition_minimum.h"

namespace keelmark::bench {

namespace {

constexpr std::int64_t kTenYearsOfMinutes = 3'600'000;
constexpr int kFiles = 10;

// A folder beside the bar file for the outputs and the other names of it.
std::filesystem::path workFolder(const std::string& barFile) {
    const std::filesystem::path folder =
        std::filesystem::path(barFile).parent_path() / "stats_bench";
    std::filesystem::create_directories(folder);
    return folder;
}

// `count` names of the bar file: itself, then links to it.
std::vector<std::string> namesOf(const std::string& barFile, int count) {
    std::vector<std::string> names = {barFile};
    const std::filesystem::path folder = workFolder(barFile);
    for (int i = 1; i < count; ++i) {
        const std::filesystem::path link = folder / ("bars_" + std::to_string(i) + ".csv");
        if (!std::filesystem::exists(link)) {
            std::filesystem::create_symlink(barFile, link);
        }
        names.push_back(link.string());
    }
    return names;
}

void statsRun(benchmark::State& state, int files) {
    const std::string& path = sampleChartFile(static_cast<std::size_t>(state.range(0)));
    const std::filesystem::path folder = workFolder(path);
    std::vector<std::string> command = {replayToolPath(), "stats"};
    for (const std::string& name : namesOf(path, files)) {
        command.insert(command.end(), {"--bars", name});
    }
    command.insert(command.end(), {"--csv", (folder / "sessions.csv").string(), "--json",
                                   (folder / "sessions.json").string()});
    long peak = 0;
    for (auto _ : state) {
        const ChildRun run = runChild(command);
        if (!succeeded(run)) {
            state.SkipWithError("keelmark-replay stats failed");
            break;
        }
        state.SetIterationTime(run.seconds);
        peak = std::max(peak, run.peakResidentKilobytes);
    }
    state.counters["peak_rss_MB"] = static_cast<double>(peak) / 1024.0;
    state.SetItemsProcessed(state.iterations() * state.range(0) * files);
}

void statsOneFile(benchmark::State& state) { statsRun(state, 1); }
void statsTenFiles(benchmark::State& state) { statsRun(state, kFiles); }

}  // namespace

BENCHMARK(statsOneFile)
    ->Name("Stats/OneFile")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kTenYearsOfMinutes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(statsTenFiles)
    ->Name("Stats/TenFiles")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kTenYearsOfMinutes)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace keelmark::bench
