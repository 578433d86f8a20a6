// The stand-in for the operating system's process heap where there is none:
// a shared library that the module and the stand-in host both load, so that
// a block allocated by one side can be freed by the other. Tests can make the
// heap refuse allocations to exercise the failure paths.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

__attribute__((visibility("default"))) void* keelmarkProcessHeapAlloc(std::size_t byteCount);
__attribute__((visibility("default"))) void keelmarkProcessHeapFree(void* block);

// Refuse the allocation that comes `countdown` allocations from now (1 = the
// next one) and every later one while `sticky` is nonzero; 0 turns refusal off.
__attribute__((visibility("default"))) void keelmarkProcessHeapFailAfter(std::int64_t countdown,
                                                                         int sticky);
// Allocations granted and blocks still live since the process started.
__attribute__((visibility("default"))) std::int64_t keelmarkProcessHeapAllocations();
__attribute__((visibility("default"))) std::int64_t keelmarkProcessHeapLiveBlocks();
}
