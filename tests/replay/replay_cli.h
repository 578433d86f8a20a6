// Running keelmark-replay's command line inside the test program, and the
// files it reads and writes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace keelmark::test {

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

// keelmark-replay with these arguments (the program name is added).
CliResult runReplayCli(const std::vector<std::string>& args);

std::string samplePath(const std::string& fileName);

// A fresh folder for one test's files, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Writes `text` into the named file and returns its path.
    std::string write(const std::string& name, const std::string& text) const;
    // Names of the files in the folder, sorted.
    std::vector<std::string> fileNames() const;

private:
    std::filesystem::path path_;
};

std::string readText(const std::string& path);

// Rows of a CSV file without quoted fields, split at commas.
std::vector<std::vector<std::string>> readCsvRows(const std::string& path);

}  // namespace keelmark::test
