#include "tests/support/rounding_cases.h"

#include <bit>
#include <cstdint>
#include <limits>
#include <random>

namespace keelmark::test {

std::vector<double> roundingCases(std::size_t randomCount) {
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    std::vector<double> cases = {0.0,
                                 -0.0,
                                 0.5,
                                 1.5,
                                 2.5,
                                 0.005,
                                 0.015,
                                 0.125,
                                 0.375,
                                 1.005,
                                 1.125,
                                 2.675,
                                 0.995,
                                 9.995,
                                 99.995,
                                 -0.001,
                                 -0.004,
                                 -0.0049,
                                 -0.005,
                                 16074.25,
                                 1e15,
                                 1e22,
                                 1e300,
                                 -1e300,
                                 5e-324,
                                 1.7976931348623157e308,
                                 kInfinity,
                                 -kInfinity,
                                 std::numeric_limits<double>::quiet_NaN()};
    std::mt19937_64 random(20231204);
    for (std::size_t k = 0; k < randomCount; ++k) {
        cases.push_back(std::bit_cast<double>(random()));
    }
    return cases;
}

}  // namespace keelmark::test
