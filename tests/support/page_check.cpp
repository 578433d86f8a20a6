#include "tests/support/page_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace keelmark::test {

std::string chromiumPath() {
    const char* configured = std::getenv("CHROMIUM_PATH");
    return configured != nullptr && configured[0] != '\0' ? configured : "/usr/bin/chromium";
}

std::string webFolder() { return std::string(KEELMARK_SOURCE_DIR) + "/web"; }

#if !defined(_WIN32)
nlohmann::json runPageCheck(const std::string& command) {
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return nlohmann::json::object();
    }
    std::string output;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
        output.append(buffer, n);
    }
    const int status = pclose(pipe);
    nlohmann::json report = nlohmann::json::parse(output, nullptr, false);
    if (status != 0 || report.is_discarded()) {
        ADD_FAILURE() << "the page check failed (status " << status << "):\n" << output;
        return nlohmann::json::object();
    }
    return report;
}
#else
nlohmann::json runPageCheck(const std::string& command) {
    ADD_FAILURE() << "page checks run on Linux only: " << command;
    return nlohmann::json::object();
}
#endif

std::filesystem::path artifactsFolder() {
    const std::filesystem::path folder = std::filesystem::current_path() / "artifacts";
    std::filesystem::create_directories(folder);
    return folder;
}

std::string artifactFile(const std::string& name) { return (artifactsFolder() / name).string(); }

nlohmann::json checkPage(const std::string& script, const std::string& page,
                         const std::string& screenshot) {
    return runPageCheck("node '" + webFolder() + "/" + script + "' '" + page + "' '" + screenshot +
                        "' 2>&1");
}

}  // namespace keelmark::test
