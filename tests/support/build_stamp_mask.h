// The module's build stamp in its log lines ("BUILD Mmm dd yyyy hh:mm:ss")
// is the time of its last build, which a test cannot know: tests compare
// the lines with the stamp masked.
#pragma once

#include <string>

namespace keelmark::test {

// The text with each well-formed " BUILD <date> <time>" turned into
// " BUILD <stamp>"; a malformed stamp is left as it is, so that a comparison
// with the masked form fails.
std::string withBuildStampMasked(const std::string& text);

}  // namespace keelmark::test
