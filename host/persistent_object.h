// The study's state object, kept between calls in the host's persistent
// pointer slot 1. Created on the first update call that finds the slot empty,
// destroyed and cleared on the final call. Allocation never throws: a study
// that cannot get its state object skips the work of that call.
#pragma once

#include <new>

#include "host/study_interface.h"

namespace keelmark {

inline constexpr int kStateObjectKey = 1;

template <typename T>
T* findStateObject(StudyInterface& sc) {
    void** slot = sc.persistentPointer(kStateObjectKey);
    return slot != nullptr ? static_cast<T*>(*slot) : nullptr;
}

template <typename T>
T* findOrCreateStateObject(StudyInterface& sc) {
    if (T* existing = findStateObject<T>(sc)) {
        return existing;
    }
    T* created = new (std::nothrow) T();
    if (created != nullptr) {
        sc.setPersistentPointer(kStateObjectKey, created);
    }
    return created;
}

template <typename T>
void destroyStateObject(StudyInterface& sc) {
    if (T* existing = findStateObject<T>(sc)) {
        delete existing;
        sc.setPersistentPointer(kStateObjectKey, nullptr);
    }
}

}  // namespace keelmark
