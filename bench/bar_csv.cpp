#include "bench/bar_csv.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>

#include "bench/extended_bars.h"
#include "host/chart_date_time.h"

namespace keelmark::bench {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// A folder of this run under the system's temporary folder, removed at exit.
class RunFolder {
public:
    RunFolder()
        : path_(std::filesystem::temp_directory_path() /
                ("keelmark-bench-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ~RunFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace

void writeBarCsv(const std::string& path, const std::vector<replay::Bar>& bars) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        throw std::runtime_error("cannot write " + path);
    }
    std::fputs("timestamp,open,high,low,close,volume\n", file.get());
    for (const replay::Bar& b : bars) {
        const CalendarFields t = splitDateTime(b.start);
        std::fprintf(file.get(), "%04d-%02d-%02d %02d:%02d:%02d,%.2f,%.2f,%.2f,%.2f,%.0f\n", t.year,
                     t.month, t.day, t.hour, t.minute, t.second, double{b.open}, double{b.high},
                     double{b.low}, double{b.close}, double{b.volume});
    }
    if (std::fflush(file.get()) != 0 || std::ferror(file.get()) != 0) {
        throw std::runtime_error("cannot write " + path);
    }
}

const std::string& sampleChartFile(std::size_t count) {
    static RunFolder folder;
    static std::map<std::size_t, std::string> files;
    auto found = files.find(count);
    if (found == files.end()) {
        const std::string path =
            (folder.path() / ("bars_" + std::to_string(count) + ".csv")).string();
        writeBarCsv(path, sampleChart(count));
        found = files.emplace(count, path).first;
    }
    return found->second;
}

}  // namespace keelmark::bench
