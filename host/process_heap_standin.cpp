// Process-heap stand-in: malloc and free with counters and an optional
// refusal, shared by everything in the process that links it.
//
// The counters are for tests, which call the studies from one thread at a
// time. They are bumped with a plain load and store rather than a locked
// read-modify-write: a study allocates a few dozen texts on every call, and
// the locked instructions cost more than the allocations themselves. Used
// from several threads at once they stay free of data races but may miss
// counts.
#include "host/process_heap_standin.h"

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<std::int64_t> gFailCountdown{0};
std::atomic<int> gFailSticky{0};
std::atomic<std::int64_t> gAllocations{0};
std::atomic<std::int64_t> gLiveBlocks{0};

void bump(std::atomic<std::int64_t>& counter, std::int64_t by) {
    counter.store(counter.load(std::memory_order_relaxed) + by, std::memory_order_relaxed);
}

bool refuseThisAllocation() {
    std::int64_t countdown = gFailCountdown.load(std::memory_order_relaxed);
    if (countdown <= 0) {
        return false;
    }
    if (countdown == 1) {
        if (gFailSticky.load(std::memory_order_relaxed) == 0) {
            gFailCountdown.store(0, std::memory_order_relaxed);
        }
        return true;
    }
    gFailCountdown.store(countdown - 1, std::memory_order_relaxed);
    return false;
}

}  // namespace

extern "C" {

void* keelmarkProcessHeapAlloc(std::size_t byteCount) {
    if (byteCount == 0 || refuseThisAllocation()) {
        return nullptr;
    }
    void* block = std::malloc(byteCount);
    if (block != nullptr) {
        bump(gAllocations, 1);
        bump(gLiveBlocks, 1);
    }
    return block;
}

void keelmarkProcessHeapFree(void* block) {
    if (block != nullptr) {
        bump(gLiveBlocks, -1);
        std::free(block);
    }
}

void keelmarkProcessHeapFailAfter(std::int64_t countdown, int sticky) {
    gFailSticky.store(sticky, std::memory_order_relaxed);
    gFailCountdown.store(countdown, std::memory_order_relaxed);
}

std::int64_t keelmarkProcessHeapAllocations() { return gAllocations.load(); }
std::int64_t keelmarkProcessHeapLiveBlocks() { return gLiveBlocks.load(); }
}
