#include "tests/support/build_stamp_mask.h"

#include <regex>

namespace keelmark::test {

std::string withBuildStampMasked(const std::string& text) {
    static const std::regex stamp(
        " BUILD (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) ( [1-9]|[12][0-9]|3[01]) "
        "[0-9]{4} ([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]");
    return std::regex_replace(text, stamp, " BUILD <stamp>");
}

}  // namespace keelmark::test
