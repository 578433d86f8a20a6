#include "run_outputs/output_files.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace keelmark::replay {

namespace {

bool pathTaken(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::symlink_status(path, error);
    return !error || status.type() != std::filesystem::file_type::not_found;
}

}  // namespace

// "<path>.partial", or with a number behind it when that name is taken: by
// a file already there (which may be the bar file, or any file the user
// keeps), or by another output of this run or its temporary file. A fixed
// name would truncate such a file and then move it into place as the output.
std::string OutputFiles::temporaryPathFor(const std::string& path) const {
    constexpr int kMostTries = 1000;
    for (int n = 0; n < kMostTries; ++n) {
        const std::string candidate = path + ".partial" + (n == 0 ? "" : std::to_string(n));
        bool taken = pathTaken(candidate);
        for (const Pending& p : pending_) {
            taken = taken || candidate == p.path || candidate == p.temporary;
        }
        if (!taken) {
            return candidate;
        }
    }
    throw std::runtime_error("cannot write " + path + ": no free name for its temporary file");
}

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
