#include "stats/ladder.h"

#include <charconv>
#include <cmath>

namespace keelmark::stats {

namespace {

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::vector<LadderStep> parseLadder(const std::string& text) {
    std::vector<LadderStep> steps;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string step = trimmed(
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        double multiple = 0;
        const auto [end, error] = std::from_chars(step.data(), step.data() + step.size(), multiple);
        if (step.empty() || error != std::errc() || end != step.data() + step.size() ||
            !std::isfinite(multiple) || multiple < 0) {
            throw LadderError("--ladder: \"" + step +
                              "\" is not a multiple of the range (a number of 0 or more)");
        }
        for (const LadderStep& earlier : steps) {
            if (earlier.text == step || earlier.multiple == multiple) {
                throw LadderError("--ladder: " + step + " is given twice");
            }
        }
        steps.push_back(LadderStep{multiple, step});
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return steps;
}

}  // namespace keelmark::stats
