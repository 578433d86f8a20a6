// The browser checks of the pages: each is a node program of web/ that opens
// a page in headless chromium and prints a JSON report of what it found.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace keelmark::test {

// Debian's chromium, or $CHROMIUM_PATH.
std::string chromiumPath();

// The web/ folder of the source tree.
std::string webFolder();

// Runs the shell command and reads its output as the JSON report; a failed
// run or an unreadable report is a test failure and gives an empty object.
nlohmann::json runPageCheck(const std::string& command);

// Runs web/`script` on the page, keeping a screenshot.
nlohmann::json checkPage(const std::string& script, const std::string& page,
                         const std::string& screenshot);

}  // namespace keelmark::test
