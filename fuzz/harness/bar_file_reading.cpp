#include "fuzz/harness/bar_file_reading.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <exception>
#include <string_view>

#include "standin_host/bar_file.h"

namespace keelmark::fuzz {

namespace {

constexpr ChartDateTime kHour = 3'600'000'000LL;

// The bytes as a file that the reader opens by name, kept in memory.
class MemoryFile {
public:
    MemoryFile(const std::uint8_t* data, std::size_t size)
        : fd_(memfd_create("bars.csv", MFD_CLOEXEC)) {
        std::size_t written = 0;
        while (fd_ >= 0 && written < size) {
            const ssize_t n = write(fd_, data + written, size - written);
            if (n <= 0) {
                break;
            }
            written += static_cast<std::size_t>(n);
        }
    }
    ~MemoryFile() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    bool ok() const { return fd_ >= 0; }
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};

std::string checkContents(const replay::BarFileContents& contents) {
    if (contents.bars.empty()) {
        return "a file was read without bars";
    }
    if (contents.priceDecimals < 0 || contents.priceDecimals > 9) {
        return "price decimals out of range: " + std::to_string(contents.priceDecimals);
    }
    for (std::size_t i = 0; i < contents.bars.size(); ++i) {
        const replay::Bar& b = contents.bars[i];
        if (!std::isfinite(b.open) || !std::isfinite(b.high) || !std::isfinite(b.low) ||
            !std::isfinite(b.close) || !std::isfinite(b.volume)) {
            return "bar " + std::to_string(i) +
                   " was read with a price or volume that is not finite";
        }
        if (i > 0 && b.start < contents.bars[i - 1].start - kHour) {
            return "bar " + std::to_string(i) + " starts more than an hour before the bar above it";
        }
    }
    return {};
}

}  // namespace

std::string readBarFileBytes(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    replay::Bar bar;
    (void)replay::parseBarLine(text, bar);
    ChartDateTime start = 0;
    (void)replay::parseTimestamp(text, start);

    MemoryFile file(data, size);
    if (!file.ok()) {
        return {};  // no file to read: nothing to learn from this input
    }
    const std::string path = file.path();
    try {
        return checkContents(replay::readBars(path));
    } catch (const replay::BarFileError& e) {
        const std::string_view message = e.what();
        if (message.find(path) == std::string_view::npos) {
            return "refused without naming the file: " + std::string(message);
        }
        return {};
    } catch (const std::exception& e) {
        return std::string("an exception other than BarFileError: ") + e.what();
    }
}

}  // namespace keelmark::fuzz
