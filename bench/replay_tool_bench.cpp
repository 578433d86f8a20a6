// The replay tool on a 1-million-bar file of the sample chart:
//   BarFile/ReadBytes     the file's bytes read into memory, nothing parsed:
//                         the floor of the reader
//   BarFile/ReadAndParse  the stand-in host's bar file reader into the chart's
//                         columns (MB/s of the time that passed, the reader
//                         working on several cores)
//   BarFile/ReadAndParseOnOneThread  the same with every line read on the
//                         calling thread
//   ReplayTool/Run/<study>/N   `keelmark-replay run` end to end in its own
//                         process on an N-bar file: load the module, read the
//                         file, replay in full, print the summary; with the
//                         tool's peak resident memory and its bytes per bar
//   ReplayTool/Live/<study>/N  the same with `--mode live`: a full
//                         recalculation of the first bar, then every bar
//                         fed as it forms (four host calls a bar)
//   ReplayTool/TenFiles/SessionLevels/N  one `run` over ten N-bar files,
//                         worked through on all cores
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

// How the reader's benchmark reads: as the tool does (the halves of a long
// file at once on a machine of several cores), or every line on one thread.
enum class Reading { AsTheToolReads, OnOneThread };

void readAndParse(benchmark::State& state, Reading reading) {
    const std::string& path = sampleChartFile(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        replay::BarFileContents contents =
            reading == Reading::AsTheToolReads
                ? replay::readBars(path)
                : replay::readBars(path, replay::BadRows::Refuse, replay::kNeverSplit);
        benchmark::DoNotOptimize(contents.bars.times.data());
    }
    state.SetBytesProcessed(state.iterations() * fileSize(path));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Ten names for the same file, beside it, so that one run reads ten files.
std::vector<std::string> tenFiles(const std::string& path) {
    std::vector<std::string> files;
    for (int i = 0; i < 10; ++i) {
        const std::string link = path + "." + std::to_string(i) + ".csv";
        std::error_code ignored;
        if (!std::filesystem::exists(link, ignored)) {
            std::filesystem::create_symlink(path, link, ignored);
        }
        files.push_back(link);
    }
    return files;
}

void replayTool(benchmark::State& state, const char* study, const char* mode, bool tenFilesAtOnce) {
    const auto barCount = static_cast<std::size_t>(state.range(0));
    const std::string& path = sampleChartFile(barCount);
    std::vector<std::string> command{replayToolPath(), "run", "--study", study,
                                     "--mode",         mode,  "--bars"};
    const std::vector<std::string> files =
        tenFilesAtOnce ? tenFiles(path) : std::vector<std::string>{path};
    command.insert(command.end(), files.begin(), files.end());
    long peak = 0;
    double processor = 0;
    for (auto _ : state) {
        const ChildRun run = runChild(command);
        if (!succeeded(run)) {
            state.SkipWithError("keelmark-replay run failed");
            break;
        }
        state.SetIterationTime(run.seconds);
        peak = std::max(peak, run.peakResidentKilobytes);
        processor += run.processorSeconds;
    }
    state.counters["peak_rss_MB"] = static_cast<double>(peak) / 1024.0;
    state.counters["cpu_s"] =
        processor / static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["bytes_per_bar"] =
        static_cast<double>(peak) * 1024.0 / static_cast<double>(barCount);
    state.SetBytesProcessed(state.iterations() * fileSize(path) *
                            static_cast<std::int64_t>(files.size()));
}

}  // namespace

// The kernel counts a started program's peak memory from what its parent
// held when it started it, which is hundreds of megabytes in this program
// once the large charts are made. So the tool is started by a fresh process
// of this program, which holds next to nothing, and that process reports.

BENCHMARK(readBytes)
    ->Name("BarFile/ReadBytes")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kOneMillion)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readAndParse, asTheToolReads, Reading::AsTheToolReads)
    ->Name("BarFile/ReadAndParse")
    ->UseRealTime()  // a long file's halves are read on two threads
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kOneMillion)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readAndParse, onOneThread, Reading::OnOneThread)
    ->Name("BarFile/ReadAndParseOnOneThread")
    ->UseRealTime()
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kOneMillion)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(replayTool, runSessionLevels, "session-levels", "full", false)
    ->Name("ReplayTool/Run/SessionLevels")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kOneMillion)
    ->Arg(kTenMillion)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(replayTool, runAnchoredVwap, "anchored-vwap", "full", false)
    ->Name("ReplayTool/Run/AnchoredVwap")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kOneMillion)
    ->Arg(kTenMillion)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(replayTool, liveSessionLevels, "session-levels", "live", false)
    ->Name("ReplayTool/Live/SessionLevels")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kOneMillion)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(replayTool, liveAnchoredVwap, "anchored-vwap", "live", false)
    ->Name("ReplayTool/Live/AnchoredVwap")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kOneMillion)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(replayTool, tenFiles, "session-levels", "full", true)
    ->Name("ReplayTool/TenFiles/SessionLevels")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kOneMillion)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace keelmark::bench
