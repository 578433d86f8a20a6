// A live feed ends with the committed outputs of one full recalculation (both studies).
#include <cstddef>
#include <cstdint>

#include "fuzz/harness/broken_invariant.h"
#include "fuzz/harness/fuzz_module.h"
#include "fuzz/harness/live_equals_full.h"

using namespace keelmark::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzModule();  // loaded before the first input, so its coverage counts from the start
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    stopOnBrokenInvariant(checkLiveEqualsFull(data, size));
    return 0;
}
