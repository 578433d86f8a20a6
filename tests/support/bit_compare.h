// Exact comparison of single-precision output series, bit for bit: the
// outputs of one full pass and of a live feed must be identical, not close.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "standin_host/chart_host.h"

namespace keelmark::test {

// Values the stand-in host holds, copied for comparison with a vector.
inline std::vector<float> asVector(std::span<const float> values) {
    return std::vector<float>(values.begin(), values.end());
}

inline std::uint32_t bitsOf(float v) { return std::bit_cast<std::uint32_t>(v); }

std::vector<std::uint32_t> bitPatterns(const std::vector<float>& values);

// Bars 0 .. count - 1 of one output slot.
std::vector<float> committedOutputs(const replay::StudyInstance& study, std::int32_t slot,
                                    std::int32_t count);

// Success when the first `count` values agree bit for bit; otherwise the
// message names `what`, the first differing bar and both values.
::testing::AssertionResult sameBits(const std::string& what, std::span<const float> expected,
                                    std::span<const float> actual, std::size_t count);
// Every declared output slot over bars 0 .. count - 1.
::testing::AssertionResult sameOutputBits(const replay::StudyInstance& expected,
                                          const replay::StudyInstance& actual, std::int32_t count);

}  // namespace keelmark::test
