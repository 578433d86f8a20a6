// Any bytes as a bar file for the replay tool's reader.
#include <cstddef>
#include <cstdint>

#include "fuzz/harness/broken_invariant.h"
#include "fuzz/harness/bar_file_reading.h"

using namespace keelmark::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    stopOnBrokenInvariant(readBarFileBytes(data, size));
    return 0;
}
