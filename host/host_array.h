// HostArray: the host's wrapper of one array, with a fetch callback that
// makes the data available on demand and a fallback element that stands in
// for every index while the array is empty or unavailable.
#pragma once

#include <cstdint>

namespace keelmark {

using HostFetch = void (*)(std::int32_t fetchToken);

template <typename T>
struct HostArray {
    T* data;
    std::uint64_t hostField;
    HostFetch fetch;
    std::int32_t fetchToken;
    std::int32_t count;
    T fallbackElement;
};

// Element access as the host defines it: fetch when the data is missing, use
// the fallback element when the array is still unavailable or empty, and
// clamp the index into 0 .. count - 1 otherwise.
template <typename T>
inline T& element(HostArray<T>& a, std::int32_t index) {
    if (a.data == nullptr && a.fetch != nullptr) {
        a.fetch(a.fetchToken);
    }
    if (a.data == nullptr || a.count <= 0) {
        return a.fallbackElement;
    }
    if (index < 0) {
        index = 0;
    } else if (index >= a.count) {
        index = a.count - 1;
    }
    return a.data[index];
}

// The same access resolved once per call: fetch at most once, then read and
// write through a plain pointer in the per-bar loops. The view must not
// outlive the call that made it.
template <typename T>
struct ArrayView {
    T* data;  // the elements, or the fallback element when count is 0
    std::int32_t count;

    T& operator[](std::int32_t index) const {
        if (count == 0) {
            return *data;
        }
        if (index < 0) {
            index = 0;
        } else if (index >= count) {
            index = count - 1;
        }
        return data[index];
    }
    // Unclamped access for loops that already know index is in range.
    T& atInRange(std::int32_t index) const { return count == 0 ? *data : data[index]; }
};

template <typename T>
inline ArrayView<T> resolve(HostArray<T>& a) {
    if (a.data == nullptr && a.fetch != nullptr) {
        a.fetch(a.fetchToken);
    }
    if (a.data == nullptr || a.count <= 0) {
        return ArrayView<T>{&a.fallbackElement, 0};
    }
    return ArrayView<T>{a.data, a.count};
}

}  // namespace keelmark
