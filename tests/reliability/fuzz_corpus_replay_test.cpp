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
#if KEELMARK_SERVE
#include "fuzz/harness/server_requests.h"
#endif

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
    replayCorpus("bar_file", [](const std::uint8_t* data, std::size_t size) {
        return fuzz::readBarFileBytes(data, size);
    });
}

TEST(FuzzCorpus, CommandLinesStayInTheScratchFolderAndKeepEveryFile) {
    replayCorpus("replay_command_line", fuzz::runCommandLineBytes);
}

#if KEELMARK_SERVE
TEST(FuzzCorpus, ServerRequestsGetWellFormedAnswersAndNoServerFailure) {
    replayCorpus("server_requests", fuzz::answerRequestBytes);
}

// The answer check the server fuzzer relies on: it finds a server failure
// or a malformed answer, and passes refusals that say why.
TEST(FuzzCorpus, ServerAnswerCheckTellsFailuresFromRefusals) {
    const auto answer = [](int status, const std::string& body) {
        return "HTTP/1.1 " + std::to_string(status) +
               " X\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\n\r\n" + body;
    };
    EXPECT_EQ(fuzz::checkAnswer(answer(200, "{\"a\":1}"), false), "");
    EXPECT_EQ(fuzz::checkAnswer(answer(404, "{\"error\":\"No.\"}"), false), "");
    EXPECT_EQ(fuzz::checkAnswer("HTTP/1.1 100 Continue\r\n\r\n" + answer(201, "{}"), false), "");
    EXPECT_EQ(fuzz::checkAnswer(answer(500, "{\"error\":\"failed\"}"), false), "status 500");
    EXPECT_NE(fuzz::checkAnswer(answer(400, "{}"), false), "");
    // Bodies that passed are remembered: a body that passed as an answer
    // is still checked again as a refusal, and a refusal again as one.
    EXPECT_EQ(fuzz::checkAnswer(answer(201, "{}"), false), "");
    EXPECT_NE(fuzz::checkAnswer(answer(409, "{}"), false), "");
    EXPECT_EQ(fuzz::checkAnswer(answer(404, "{\"error\":\"No.\"}"), false), "");
    EXPECT_NE(fuzz::checkAnswer(answer(404, "{\"error\":\"No.\""), false), "");
    EXPECT_NE(fuzz::checkAnswer(answer(200, "{\"a\":"), false), "");
    const std::string full = answer(200, "{\"a\":1}");
    EXPECT_NE(fuzz::checkAnswer(full.substr(0, full.size() - 1), false), "");
    EXPECT_EQ(fuzz::checkAnswer(full.substr(0, full.size() - 7), true), "");
    EXPECT_EQ(fuzz::checkAnswer(full, true), "");
    EXPECT_NE(fuzz::checkAnswer("HTTP/1.1 200 OK\r\n", false), "");
}
#endif

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
    // Past the fourth, an argument naming a file of the scratch folder is
    // dropped, however it spells the name.
    EXPECT_EQ(args("run\n--bars\nbars.csv\n./bars.csv\n--csv=dated.csv\nbroken.csv\n.//"
                   "bars.csv\nx.csv\n--json=earlier.csv"),
              (std::vector<std::string>{"run", "--bars", "bars.csv", "./bars.csv",
                                        "--csv=dated.csv", "broken.csv", "x.csv"}));
    EXPECT_TRUE(args("SERVE\n--port\n1").empty());
    EXPECT_TRUE(args("run\n--bars\nx\nserve").empty());
}

}  // namespace
}  // namespace keelmark::test
