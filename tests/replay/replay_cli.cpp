#include "tests/replay/replay_cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>

#include "replay/command_line.h"

namespace keelmark::test {

CliResult runReplayCli(const std::vector<std::string>& args) {
    std::vector<const char*> argv{"keelmark-replay"};
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    std::ostringstream out, err;
    CliResult result;
    result.status = replay::runCommandLine(static_cast<int>(argv.size()), argv.data(), out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

std::string samplePath(const std::string& fileName) {
    return std::string(KEELMARK_SAMPLE_DIR) + "/" + fileName;
}

ScratchFolder::ScratchFolder() {
    static std::atomic<int> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = info != nullptr
                                 ? std::string(info->test_suite_name()) + "." + info->name()
                                 : std::string("replay");
    path_ = std::filesystem::temp_directory_path() /
            ("keelmark-replay-test-" + name + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchFolder::write(const std::string& name, const std::string& text) const {
    const std::string path = file(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::vector<std::string> ScratchFolder::fileNames() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::vector<std::string>> readCsvRows(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        std::string field;
        while (std::getline(split, field, ',')) {
            fields.push_back(field);
        }
        rows.push_back(std::move(fields));
    }
    return rows;
}

}  // namespace keelmark::test
