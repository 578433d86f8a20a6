// keelmark-replay's command line, run in-process in a scratch folder.
#include <cstddef>
#include <cstdint>

#include "fuzz/harness/broken_invariant.h"
#include "fuzz/harness/command_line_run.h"
#include "fuzz/harness/fuzz_module.h"

using namespace keelmark::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzModule();  // loaded before the first input, so its coverage counts from the start
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    stopOnBrokenInvariant(runCommandLineBytes(data, size));
    return 0;
}
