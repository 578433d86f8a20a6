// The live page of `keelmark-replay serve` on the 1-million-bar file:
//   Serve/FirstChart  from opening the page in headless Chromium to its first
//                     chart drawn, with the largest answer the page received.
//                     Each iteration starts the tool afresh and opens the
//                     page once it says "open" (the file read and the first
//                     page's session prepared).
// Needs Debian's chromium and web/node_modules (scripts/setup-web); skipped
// without them.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bench/bar_csv.h"
#include "bench/hosted_chart.h"
#include "bench/repetition_minimum.h"

extern char** environ;

namespace keelmark::bench {

namespace {

std::string webFolder() { return std::string(KEELMARK_SOURCE_DIR) + "/web"; }

// `keelmark-replay serve` in a process of its own, on a free port; stopped
// with SIGTERM when done.
class ServeProcess {
public:
    explicit ServeProcess(const std::string& bars) {
        const std::string tool =
            (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "keelmark-replay")
                .string();
        std::vector<std::string> command{tool, "serve", "--bars", bars, "--port", "0"};
        std::vector<char*> argv;
        for (std::string& a : command) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        // The first line names the address: "open http://127.0.0.1:PORT/ ...".
        std::string line;
        char c = 0;
        while (pid_ > 0 && read(out[0], &c, 1) == 1 && c != '\n') {
            line += c;
        }
        close(out[0]);
        const std::string prefix = "open ";
        if (line.rfind(prefix, 0) == 0) {
            url_ = line.substr(prefix.size(), line.find(' ', prefix.size()) - prefix.size());
        }
    }
    ~ServeProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    const std::string& url() const { return url_; }

private:
    pid_t pid_ = -1;
    std::string url_;
};

nlohmann::json measure(const std::string& url) {
    const std::string command =
        "node '" + webFolder() + "/measure_first_chart.mjs' '" + url + "' 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[4096];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    if (pipe != nullptr) {
        pclose(pipe);
    }
    return nlohmann::json::parse(output, nullptr, false);
}

void serveFirstChart(benchmark::State& state) {
    if (!std::filesystem::exists("/usr/bin/chromium") ||
        !std::filesystem::exists(webFolder() + "/node_modules/playwright-core")) {
        state.SkipWithError("needs chromium and web/node_modules (scripts/setup-web)");
        return;
    }
    const std::string& bars = sampleChartFile(static_cast<std::size_t>(state.range(0)));
    double largest = 0;
    for (auto _ : state) {
        const ServeProcess server(bars);
        if (server.url().empty()) {
            state.SkipWithError("keelmark-replay serve did not start");
            break;
        }
        const nlohmann::json m = measure(server.url());
        if (!m.is_object() || m.value("bars", 0) != state.range(0)) {
            state.SkipWithError("the page did not draw the chart");
            break;
        }
        state.SetIterationTime(m["seconds"].get<double>());
        largest = std::max(largest, m["largestResponseBytes"].get<double>());
    }
    state.counters["largest_answer_MB"] = largest / 1e6;
}

}  // namespace

BENCHMARK(serveFirstChart)
    ->Name("Serve/FirstChart")
    ->ComputeStatistics("min", fastestRepetition)
    ->Arg(kOneMillion)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace keelmark::bench
