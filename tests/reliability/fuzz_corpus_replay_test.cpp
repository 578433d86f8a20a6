// The fuzzers' committed inputs, replayed as ordinary tests in every build
// that has the stand-in host: the seed corpus and every input that once
// broke something stay green.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/harness/bar_file_reading.h"
#include "fuzz/harness/command_line_run.h"
#include "fuzz/harness/host_call_scenario.h"
#include "fuzz/harness/live_equals_full.h"

namespace keelmark::test {
namespace {

using Scenario = std::string (*)(const std::uint8_t*, std::size_t);

std::string sessionLevelsHostCalls(const std::uint8_t* data, std::size_t size) {
    return fuzz::runHostCallScenario(fuzz::Study::SessionLevels, data, size);
}

std::string anchoredVwapHostCalls(const std::uint8_t* data, std::size_t size) {
    return fuzz::runHostCallScenario(fuzz::Study::AnchoredVwap, data, size);
}

void replayCorpus(const char* fuzzer, Scenario scenario) {
    const std::filesystem::path folder =
        std::filesystem::path(KEELMARK_SOURCE_DIR) / "fuzz" / "corpus" / fuzzer;
    std::size_t replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
        const std::string broken =
            scenario(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        EXPECT_EQ(broken, "") << entry.path().filename();
        ++replayed;
    }
    EXPECT_GT(replayed, 0u) << "no committed inputs in " << folder;
}

TEST(FuzzCorpus, HostCallsOnSessionLevelsKeepEveryInvariant) {
    replayCorpus("session_levels_host_calls", sessionLevelsHostCalls);
}

TEST(FuzzCorpus, HostCallsOnAnchoredVwapKeepEveryInvariant) {
    replayCorpus("anchored_vwap_host_calls", anchoredVwapHostCalls);
}

TEST(FuzzCorpus, LiveFeedsEqualOneFullRecalculation) {
    replayCorpus("live_equals_full", fuzz::checkLiveEqualsFull);
}

TEST(FuzzCorpus, BarFilesAreReadOrRefusedWithAMessage) {
    replayCorpus("bar_file", fuzz::readBarFileBytes);
}

TEST(FuzzCorpus, CommandLinesStayInTheScratchFolderAndKeepEveryFile) {
    replayCorpus("replay_command_line", fuzz::runCommandLineBytes);
}

// The confinement the command-line fuzzer relies on: no way out of the
// scratch folder, no module from the library path, no `serve`.
TEST(FuzzCorpus, CommandLineArgumentsAreConfinedToTheScratchFolder) {
    const auto args = [](const std::string& text) {
        return fuzz::confinedArguments(reinterpret_cast<const std::uint8_t*>(text.data()),
                                       text.size());
    };
    EXPECT_EQ(args("run\n--csv\n/etc/x.csv\n--json=//tmp/../y\n../../z\n..."),
              (std::vector<std::string>{"run", "--csv", "etc/x.csv", "--json=tmp/_./y", "_./_./z",
                                        "__."}));
    EXPECT_EQ(args("run\n--module\nlibc.so.6\n--module=/lib/x.so"),
              (std::vector<std::string>{"run", "--module", "./libc.so.6", "--module=./lib/x.so"}));
    EXPECT_TRUE(args("SERVE\n--port\n1").empty());
    EXPECT_TRUE(args("run\n--bars\nx\nserve").empty());
}

}  // namespace
}  // namespace keelmark::test
