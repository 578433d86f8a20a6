// The browser checks of the pages: each is a node program of web/ that opens
// a page in headless chromium and prints a JSON report of what it found.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
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

// The artifacts/ folder beside the tests (made on first need), where the
// checks keep their screenshots for a reader to look at, and a file in it.
std::filesystem::path artifactsFolder();
std::string artifactFile(const std::string& name);

// Runs web/`script` on the page, keeping a screenshot.
nlohmann::json checkPage(const std::string& script, const std::string& page,
                         const std::string& screenshot);

}  // namespace keelmark::test

// Opens a test that drives a page in the browser: skipped in the Windows
// build and where chromium is missing; a failure where web/node_modules is
// missing, since the test command installs it.
#if defined(_WIN32)
#define KEELMARK_NEED_BROWSER() GTEST_SKIP() << "the browser checks run with the Linux build"
#else
#define KEELMARK_NEED_BROWSER()                                                               \
    do {                                                                                      \
        if (!std::filesystem::exists(::keelmark::test::chromiumPath())) {                     \
            GTEST_SKIP() << "chromium is not installed (" << ::keelmark::test::chromiumPath() \
                         << ")";                                                              \
        }                                                                                     \
        ASSERT_TRUE(std::filesystem::exists(::keelmark::test::webFolder() +                   \
                                            "/node_modules/playwright-core"))                 \
            << "the browser check needs web/node_modules: run scripts/setup-web";             \
    } while (false)
#endif
