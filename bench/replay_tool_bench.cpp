// The replay tool on a 1-million-bar file of the sample chart:
//   BarFile/ReadBytes     the file's bytes read into memory, nothing parsed:
//                         the floor of the reader
//   BarFile/ReadAndParse  the stand-in host's bar file reader (MB/s)
//   ReplayTool/Run        `keelmark-replay run` end to end in its own
//                         process: load the module, read the file, replay
//                         Session Levels in full, print the summary; with the
//                         tool's peak resident memory
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bar_csv.h"
#include "bench/child_process.h"
#include "bench/hosted_chart.h"
#include "bench/repetition_minimum.h"
#include "standin_host/bar_file.h"

namespace keelmark::bench {

namespace {

std::int64_t fileSize(const std::string& path) {
    return static_cast<std::int64_t>(std::filesystem::file_size(path));
}

void readBytes(benchmark::State& state) {
    const std::string& path = sampleChartFile(static_cast<std::size_t>(state.range(0)));
    std::vector<char> buffer(static_cast<std::size_t>(fileSize(path)));
    for (auto _ : state) {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             std::fclose);
        const std::size_t got = file ? std::fread(buffer.data(), 1, buffer.size(), file.get()) : 0;
        if (got != buffer.size()) {
            state.SkipWithError("cannot read the bar file");
            break;
        }
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * fileSize(path));
}

void readAndParse(benchmark::State& state) {
    const std::string& path = sampleChartFile(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::vector<replay::Bar> bars = replay::readBarFile(path);
        benchmark::DoNotOptimize(bars.data());
    }
    state.SetBytesProcessed(state.iterations() * fileSize(path));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void replayToolRun(benchmark::State& state) {
    const std::string& path = sampleChartFile(static_cast<std::size_t>(state.range(0)));
    const std::vector<std::string> command{replayToolPath(), "run",    "--study",
                                           "session-levels", "--bars", path};
    long peak = 0;
    for (auto _ : state) {
        const ChildRun run = runChild(command);
        if (!succeeded(run)) {
            state.SkipWithError("keelmark-replay run failed");
            break;
        }
        state.SetIterationTime(run.seconds);
        peak = std::max(peak, run.peakResidentKilobytes);
    }
    state.counters["peak_rss_MB"] = static_cast<double>(peak) / 1024.0;
    state.SetBytesProcessed(state.iterations() * fileSize(path));
}

}  // namespace

BENCHMARK(readBytes)
    ->Name("BarFile/ReadBytes")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kOneMillion)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(readAndParse)
    ->Name("BarFile/ReadAndParse")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kOneMillion)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(replayToolRun)
    ->Name("ReplayTool/Run")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kOneMillion)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace keelmark::bench
