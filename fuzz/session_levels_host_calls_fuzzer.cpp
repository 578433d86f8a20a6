// Host calls of every kind on one Session Levels instance under the stand-in host.
#include <cstddef>
#include <cstdint>

#include "fuzz/harness/broken_invariant.h"
#include "fuzz/harness/fuzz_module.h"
#include "fuzz/harness/host_call_scenario.h"

using namespace keelmark::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzModule();  // loaded before the first input, so its coverage counts from the start
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    stopOnBrokenInvariant(runHostCallScenario(Study::SessionLevels, data, size));
    return 0;
}
