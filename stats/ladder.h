// The extension ladder of the statistics: multiples k of a range's height
// above its high and below its low, each named by its text as the user
// typed it ("1.5" gives the columns ib_up_1.5 and ib_down_1.5).
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace keelmark::stats {

struct LadderStep {
    double multiple = 0;
    std::string text;
};

inline constexpr const char* kDefaultLadder = "0.25,0.5,0.75,1,1.5,2,3";

class LadderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Comma-separated multiples, each a finite number of 0 or more, none given
// twice. Throws LadderError naming the step it refuses.
std::vector<LadderStep> parseLadder(const std::string& text);

}  // namespace keelmark::stats
