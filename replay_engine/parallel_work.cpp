#include "replay_engine/parallel_work.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace keelmark::replay {

unsigned workersFor(std::size_t pieces) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<unsigned>(std::min<std::size_t>(cores, std::max<std::size_t>(pieces, 1)));
}

unsigned workersForFiles(const std::vector<std::string>& paths) {
    constexpr std::uintmax_t kLeastBytesPerWorker = 1u << 18;
    std::uintmax_t bytes = 0;
    for (const std::string& path : paths) {
        std::error_code unsized;
        const std::uintmax_t size = std::filesystem::file_size(path, unsized);
        bytes += unsized ? 0 : size;
    }
    const std::uintmax_t byBytes = std::max<std::uintmax_t>(bytes / kLeastBytesPerWorker, 1);
    return static_cast<unsigned>(std::min<std::uintmax_t>(workersFor(paths.size()), byBytes));
}

namespace {

// One call of runInParallel: its pieces are handed out by `next`; the
// caller works on them too, and waits for the pieces others took.
struct Job {
    std::size_t pieces = 0;
    const std::function<void(std::size_t)>* work = nullptr;
    std::atomic<std::size_t> next{0};
    unsigned helpersWanted = 0;
    unsigned helpersWorking = 0;  // under the pool's lock
    std::mutex failureLock;
    std::exception_ptr firstFailure;

    void workOnPieces() {
        for (std::size_t i = next++; i < pieces; i = next++) {
            try {
                (*work)(i);
            } catch (...) {
                const std::lock_guard<std::mutex> lock(failureLock);
                if (!firstFailure) {
                    firstFailure = std::current_exception();
                }
            }
        }
    }
};

// Threads kept for the whole run of the program, so that a run of several
// files (the server's, a test's or a fuzzer's, again and again) does not
// start and end threads each time. One job at a time borrows them; a caller
// that finds them busy works through its pieces with threads of its own.
class WorkerPool {
public:
    WorkerPool() = default;
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    ~WorkerPool() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : threads_) {
            t.join();
        }
    }

    // False when another job holds the threads.
    bool run(Job& job) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (job_ != nullptr || stopping_) {
                return false;
            }
            while (threads_.size() < job.helpersWanted) {
                threads_.emplace_back([this] { helperLoop(); });
            }
            job_ = &job;
        }
        wake_.notify_all();
        job.workOnPieces();
        std::unique_lock<std::mutex> lock(mutex_);
        job_ = nullptr;  // no helper joins from now on
        done_.wait(lock, [&] { return job.helpersWorking == 0; });
        return true;
    }

private:
    void helperLoop() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] {
                return stopping_ ||
                       (job_ != nullptr && job_->helpersWorking < job_->helpersWanted &&
                        job_->next.load() < job_->pieces);
            });
            if (stopping_) {
                return;
            }
            Job& job = *job_;
            ++job.helpersWorking;
            lock.unlock();
            job.workOnPieces();
            lock.lock();
            if (--job.helpersWorking == 0) {
                done_.notify_all();
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::vector<std::thread> threads_;
    Job* job_ = nullptr;
    bool stopping_ = false;
};

WorkerPool& workerPool() {
    static WorkerPool pool;
    return pool;
}

// The pool is busy: threads for this job alone.
void runOnOwnThreads(Job& job) {
    std::vector<std::thread> threads;
    threads.reserve(job.helpersWanted);
    for (unsigned t = 0; t < job.helpersWanted; ++t) {
        threads.emplace_back([&job] { job.workOnPieces(); });
    }
    job.workOnPieces();
    for (std::thread& t : threads) {
        t.join();
    }
}

}  // namespace

void runInParallel(std::size_t pieces, unsigned workers,
                   const std::function<void(std::size_t)>& work) {
    Job job;
    job.pieces = pieces;
    job.work = &work;
    workers = std::max(
        1u, std::min<unsigned>(workers, static_cast<unsigned>(std::max<std::size_t>(pieces, 1))));
    job.helpersWanted = workers - 1;
    if (job.helpersWanted == 0) {
        job.workOnPieces();
    } else if (!workerPool().run(job)) {
        runOnOwnThreads(job);
    }
    if (job.firstFailure) {
        std::rethrow_exception(job.firstFailure);
    }
}

}  // namespace keelmark::replay
