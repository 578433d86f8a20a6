#include "replay_engine/parallel_work.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/replay/replay_cli.h"

namespace keelmark::test {
namespace {

TEST(ParallelWork, EveryPieceRunsExactlyOnceWhateverTheWorkerCount) {
    for (const unsigned workers : {1u, 2u, 3u, 8u}) {
        std::vector<std::atomic<int>> runs(37);
        replay::runInParallel(runs.size(), workers, [&](std::size_t i) { ++runs[i]; });
        for (std::size_t i = 0; i < runs.size(); ++i) {
            EXPECT_EQ(runs[i].load(), 1) << "piece " << i << " with " << workers << " workers";
        }
    }
    int calls = 0;
    replay::runInParallel(0, 4, [&](std::size_t) { ++calls; });
    EXPECT_EQ(calls, 0);
}

TEST(ParallelWork, AFailingPieceStopsNoOtherAndIsRethrown) {
    std::atomic<int> finished{0};
    EXPECT_THROW(replay::runInParallel(10, 2,
                                       [&](std::size_t i) {
                                           if (i == 3) {
                                               throw std::runtime_error("piece 3");
                                           }
                                           ++finished;
                                       }),
                 std::runtime_error);
    EXPECT_EQ(finished.load(), 9);
}

// A number per thread, new for each thread started (thread ids of ended
// threads are handed out again).
int threadSerial() {
    static std::atomic<int> started{0};
    thread_local const int serial = ++started;
    return serial;
}

TEST(ParallelWork, PiecesRunAtOnceOnThreadsKeptFromOneCallToTheNext) {
    const int caller = threadSerial();
    constexpr int kCalls = 20;
    std::set<int> helpers;
    // Each piece waits for the other to start: a call ends only when two
    // threads work on it at once.
    for (int call = 0; call < kCalls; ++call) {
        std::mutex m;
        std::condition_variable started;
        int running = 0;
        replay::runInParallel(2, 2, [&](std::size_t) {
            std::unique_lock<std::mutex> lock(m);
            if (threadSerial() != caller) {
                helpers.insert(threadSerial());
            }
            ++running;
            started.notify_all();
            started.wait(lock, [&] { return running == 2; });
        });
    }
    EXPECT_GE(helpers.size(), 1u);
    EXPECT_LT(helpers.size(), static_cast<std::size_t>(kCalls))
        << "each call started a thread of its own";
}

TEST(ParallelWork, ACallFromInsideAPieceStillRunsEveryPiece) {
    std::vector<std::atomic<int>> runs(4 * 5);
    replay::runInParallel(4, 2, [&](std::size_t outer) {
        replay::runInParallel(5, 2, [&](std::size_t inner) { ++runs[outer * 5 + inner]; });
    });
    for (std::size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(runs[i].load(), 1) << "piece " << i;
    }
}

TEST(ParallelWork, NeverMoreWorkersThanPiecesNorThanTheFilesAreWorth) {
    EXPECT_EQ(replay::workersFor(1), 1u);
    EXPECT_GE(replay::workersFor(100), 1u);

    // Files of a few bars, or none at all, are worked through on one core;
    // two of a quarter MiB each may take two.
    const test::ScratchFolder folder;
    const auto sized = [&](const std::string& name, std::uintmax_t bytes) {
        const std::string path = folder.write(name, "");
        std::filesystem::resize_file(path, bytes);
        return path;
    };
    const std::string small = sized("small.csv", 2000);
    const std::string large = sized("large.csv", 1u << 18);
    EXPECT_EQ(replay::workersForFiles({small, small, small, small}), 1u);
    EXPECT_EQ(replay::workersForFiles({folder.file("missing.csv"), small}), 1u);
    EXPECT_EQ(replay::workersForFiles({large, large}), replay::workersFor(2));
    EXPECT_EQ(replay::workersForFiles({large}), 1u);
}

}  // namespace
}  // namespace keelmark::test
