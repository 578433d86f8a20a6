#include "host/process_heap.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include "host/process_heap_standin.h"
#endif

namespace keelmark {

#if defined(_WIN32)

void* processHeapAllocate(std::size_t byteCount) {
    if (byteCount == 0) {
        return nullptr;
    }
    return HeapAlloc(GetProcessHeap(), 0, byteCount);
}

void processHeapFree(void* block) {
    if (block != nullptr) {
        HeapFree(GetProcessHeap(), 0, block);
    }
}

#else

void* processHeapAllocate(std::size_t byteCount) {
    if (byteCount == 0) {
        return nullptr;
    }
    return keelmarkProcessHeapAlloc(byteCount);
}

void processHeapFree(void* block) {
    if (block != nullptr) {
        keelmarkProcessHeapFree(block);
    }
}

#endif

}  // namespace keelmark
