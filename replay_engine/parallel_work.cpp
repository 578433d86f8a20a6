#include "replay_engine/parallel_work.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace keelmark::replay {

unsigned workersFor(std::size_t pieces) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<unsigned>(std::min<std::size_t>(cores, std::max<std::size_t>(pieces, 1)));
}

void runInParallel(std::size_t pieces, unsigned workers,
                   const std::function<void(std::size_t)>& work) {
    std::atomic<std::size_t> next{0};
    std::mutex failureLock;
    std::exception_ptr firstFailure;
    auto worker = [&] {
        for (std::size_t i = next++; i < pieces; i = next++) {
            try {
                work(i);
            } catch (...) {
                const std::lock_guard<std::mutex> lock(failureLock);
                if (!firstFailure) {
                    firstFailure = std::current_exception();
                }
            }
        }
    };
    workers = std::max(
        1u, std::min<unsigned>(workers, static_cast<unsigned>(std::max<std::size_t>(pieces, 1))));
    std::vector<std::thread> threads;
    threads.reserve(workers - 1);
    for (unsigned t = 1; t < workers; ++t) {
        threads.emplace_back(worker);
    }
    worker();
    for (std::thread& t : threads) {
        t.join();
    }
    if (firstFailure) {
        std::rethrow_exception(firstFailure);
    }
}

}  // namespace keelmark::replay
