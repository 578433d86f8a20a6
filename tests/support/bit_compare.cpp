#include "tests/support/bit_compare.h"

#include <algorithm>
#include <sstream>

namespace keelmark::test {

std::vector<std::uint32_t> bitPatterns(const std::vector<float>& values) {
    std::vector<std::uint32_t> bits(values.size());
    std::transform(values.begin(), values.end(), bits.begin(), bitsOf);
    return bits;
}

std::vector<float> committedOutputs(const replay::StudyInstance& study, std::int32_t slot,
                                    std::int32_t count) {
    const std::span<const float> all = study.values(slot);
    const std::size_t n = std::min(all.size(), static_cast<std::size_t>(std::max(count, 0)));
    return std::vector<float>(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n));
}

::testing::AssertionResult sameBits(const std::string& what, std::span<const float> expected,
                                    std::span<const float> actual, std::size_t count) {
    if (expected.size() < count || actual.size() < count) {
        return ::testing::AssertionFailure() << what << ": expected " << count << " values, have "
                                             << expected.size() << " and " << actual.size();
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (bitsOf(expected[i]) != bitsOf(actual[i])) {
            std::ostringstream out;
            out.precision(9);
            out << what << ": bar " << i << " differs: expected " << expected[i] << " (0x"
                << std::hex << bitsOf(expected[i]) << std::dec << "), got " << actual[i] << " (0x"
                << std::hex << bitsOf(actual[i]) << ")";
            return ::testing::AssertionFailure() << out.str();
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult sameOutputBits(const replay::StudyInstance& expected,
                                          const replay::StudyInstance& actual, std::int32_t count) {
    if (expected.declaredOutputCount() != actual.declaredOutputCount()) {
        return ::testing::AssertionFailure()
               << "declared outputs differ: " << expected.declaredOutputCount() << " and "
               << actual.declaredOutputCount();
    }
    for (std::int32_t slot = 0; slot < expected.declaredOutputCount(); ++slot) {
        const std::string what =
            "output " + std::to_string(slot) + " (" + expected.outputName(slot) + ")";
        auto result = sameBits(what, expected.values(slot), actual.values(slot),
                               static_cast<std::size_t>(std::max(count, 0)));
        if (!result) {
            return result;
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace keelmark::test
