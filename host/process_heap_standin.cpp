// Process-heap stand-in: malloc and free with counters and an optional
// refusal, shared by everything in the process that links it.
#include "host/process_heap_standin.h"

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<std::int64_t> gFailCountdown{0};
std::atomic<int> gFailSticky{0};
std::atomic<std::int64_t> gAllocations{0};
std::atomic<std::int64_t> gLiveBlocks{0};

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
        gAllocations.fetch_add(1, std::memory_order_relaxed);
        gLiveBlocks.fetch_add(1, std::memory_order_relaxed);
    }
    return block;
}

void keelmarkProcessHeapFree(void* block) {
    if (block != nullptr) {
        gLiveBlocks.fetch_sub(1, std::memory_order_relaxed);
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
