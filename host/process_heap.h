// The process heap: the one allocator that the module and the host share for
// texts that cross between them.
//
// On Windows it is the process heap of the operating system (GetProcessHeap,
// HeapAlloc, HeapFree, flags 0). Elsewhere it is a small stand-in library,
// libkeelmark_process_heap, that the module and the stand-in host both link
// dynamically, so that one side frees what the other allocated and tests can
// make an allocation fail.
#pragma once

#include <cstddef>

namespace keelmark {

// Null when the heap refuses (or the size is 0). The block is not zeroed.
void* processHeapAllocate(std::size_t byteCount);
void processHeapFree(void* block);

}  // namespace keelmark
