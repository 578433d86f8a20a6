// The fastest of a case's repetitions, reported beside Google Benchmark's
// mean and median: on a machine shared with other work it is the figure that
// other work disturbs least, and the ratios against the targets use it.
#pragma once

#include <algorithm>
#include <vector>

namespace keelmark::bench {

inline double fastestRepetition(const std::vector<double>& values) {
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

}  // namespace keelmark::bench
