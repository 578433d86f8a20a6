#include "replay_engine/parallel_work.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

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

TEST(ParallelWork, NeverMoreWorkersThanPieces) {
    EXPECT_EQ(replay::workersFor(1), 1u);
    EXPECT_GE(replay::workersFor(100), 1u);
}

}  // namespace
}  // namespace keelmark::test
