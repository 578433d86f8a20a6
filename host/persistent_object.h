// The study's state object, kept between calls in the host's persistent
// pointer slot 1. Created on the first update call that finds the slot empty,
// destroyed and cleared on the final call. Allocation never throws: a study
// that cannot get its state object skips the work of that call.
//
// The object lives on the process heap, like every block the module hands
// across, so that a refused allocation can be provoked in tests.
#pragma once

#include <new>

#include "host/process_heap.h"
#include "host/study_interface.h"

namespace keelmark {

inline constexpr int kStateObjectKey = 1;

template <typename T>
T* findStateObject(StudyInterface& sc) {
    void** slot = sc.persistentPointer(kStateObjectKey);
    return slot != nullptr ? static_cast<T*>(*slot) : nullptr;
}

// T must not need more than the heap's natural alignment (16 bytes).
template <typename T>
T* findOrCreateStateObject(StudyInterface& sc) {
    void** slot = sc.persistentPointer(kStateObjectKey);
    if (slot == nullptr) {
        return nullptr;  // the host keeps no slot: an object made now would be lost
    }
    if (*slot != nullptr) {
        return static_cast<T*>(*slot);
    }
    void* block = processHeapAllocate(sizeof(T));
    if (block == nullptr) {
        return nullptr;
    }
    T* created = new (block) T();
    sc.setPersistentPointer(kStateObjectKey, created);
    return created;
}

template <typename T>
void destroyStateObject(StudyInterface& sc) {
    if (T* existing = findStateObject<T>(sc)) {
        existing->~T();
        processHeapFree(existing);
        sc.setPersistentPointer(kStateObjectKey, nullptr);
    }
}

}  // namespace keelmark
