// Doubles that catch a number formatter that does not round exactly as
// printf does: ties at two decimals, values just below them, both zeros,
// the extremes, the infinities and NaN, and random bit patterns.
#pragma once

#include <cstddef>
#include <vector>

namespace keelmark::test {

std::vector<double> roundingCases(std::size_t randomCount);

}  // namespace keelmark::test
