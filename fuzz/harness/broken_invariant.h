// How a fuzzer reports a broken invariant: the message, then an abort, which
// libFuzzer records as a crash and saves the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace keelmark::fuzz {

inline void stopOnBrokenInvariant(const std::string& broken) {
    if (!broken.empty()) {
        std::fprintf(stderr, "BROKEN INVARIANT: %s\n", broken.c_str());
        std::abort();
    }
}

}  // namespace keelmark::fuzz
