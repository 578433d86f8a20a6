#include "run_outputs/output_files.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace keelmark::replay {

namespace {

std::string temporaryPathFor(const std::string& path) { return path + ".partial"; }

}  // namespace

OutputFiles::~OutputFiles() {
    for (const Pending& p : pending_) {
        std::error_code ignored;
        std::filesystem::remove(p.temporary, ignored);
    }
}

void OutputFiles::write(const std::string& path, const std::function<void(std::ostream&)>& writer) {
    const std::string temporary = temporaryPathFor(path);
    pending_.push_back(Pending{path, temporary});
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
    writer(out);
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path + " (disk full?)");
    }
}

void OutputFiles::commit() {
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        const Pending& p = pending_[i];
        std::error_code error;
        std::filesystem::rename(p.temporary, p.path, error);
        if (error) {
            // Some platforms refuse to move over an existing file.
            std::filesystem::remove(p.path, error);
            std::filesystem::rename(p.temporary, p.path, error);
        }
        if (error) {
            throw std::runtime_error("cannot write " + p.path + ": " + error.message());
        }
    }
    pending_.clear();
}

}  // namespace keelmark::replay
