// Any bytes as a browser connection's requests to keelmark-replay serve.
#include <cstddef>
#include <cstdint>

#include "fuzz/harness/broken_invariant.h"
#include "fuzz/harness/server_requests.h"

using namespace keelmark::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    stopOnBrokenInvariant(answerRequestBytes(data, size));
    return 0;
}
