#include "fuzz/harness/bar_file_reading.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
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
        if (b.high < b.low || b.open < b.low || b.open > b.high || b.close < b.low ||
            b.close > b.high) {
            return "bar " + std::to_string(i) + " was read with prices outside its low to high";
        }
        if (b.start < 0) {
            return "bar " + std::to_string(i) + " starts before the chart's first day";
        }
        if (i > 0 && b.start < contents.bars[i - 1].start - kHour) {
            return "bar " + std::to_string(i) + " starts more than an hour before the bar above it";
        }
    }
    return {};
}

struct Reading {
    std::string refusal;  // empty when the file was read
    replay::BarFileContents contents;
};

Reading readOnce(const std::string& path, replay::BadRows badRows, std::size_t splitFrom,
                 replay::Halves halves) {
    Reading reading;
    try {
        reading.contents = replay::readBars(path, badRows, splitFrom, halves);
    } catch (const replay::BarFileError& e) {
        reading.refusal = e.what();
    }
    return reading;
}

template <typename Column>
bool sameBits(const Column& a, const Column& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0);
}

// Empty when the second reading gave what the first did.
std::string differences(const Reading& one, const Reading& two) {
    if (two.refusal != one.refusal) {
        return "refused as \"" + two.refusal + "\" where one thread gave \"" + one.refusal + "\"";
    }
    const replay::BarColumns& a = one.contents.bars;
    const replay::BarColumns& b = two.contents.bars;
    if (!sameBits(a.times, b.times) || !sameBits(a.open, b.open) || !sameBits(a.high, b.high) ||
        !sameBits(a.low, b.low) || !sameBits(a.close, b.close) || !sameBits(a.volume, b.volume)) {
        return "the bars differ from one thread's";
    }
    if (two.contents.priceDecimals != one.contents.priceDecimals ||
        two.contents.skippedRowCount != one.contents.skippedRowCount ||
        two.contents.skippedRows.size() != one.contents.skippedRows.size()) {
        return "the decimals or the rows left out differ from one thread's";
    }
    for (std::size_t i = 0; i < one.contents.skippedRows.size(); ++i) {
        const replay::SkippedRow& x = one.contents.skippedRows[i];
        const replay::SkippedRow& y = two.contents.skippedRows[i];
        if (x.lineNumber != y.lineNumber || x.reason != y.reason || x.text != y.text) {
            return "row left out " + std::to_string(i) + " differs from one thread's";
        }
    }
    return {};
}

}  // namespace

std::string readBarFileBytes(const std::uint8_t* data, std::size_t size, replay::Halves halves) {
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
    for (const replay::BadRows badRows : {replay::BadRows::Refuse, replay::BadRows::Skip}) {
        try {
            const Reading one = readOnce(path, badRows, replay::kNeverSplit, halves);
            if (!one.refusal.empty() && one.refusal.find(path) == std::string::npos) {
                return "refused without naming the file: " + one.refusal;
            }
            const std::string fault = one.refusal.empty() ? checkContents(one.contents) : "";
            if (!fault.empty()) {
                return fault;
            }
            // The same bytes with the rows split in two halves, in one of
            // the two ways with malformed rows (the input's length chooses):
            // a third reading rather than a fourth.
            const bool refuseSplit = size % 2 == 0;
            if ((badRows == replay::BadRows::Refuse) != refuseSplit) {
                continue;
            }
            const std::string split = differences(one, readOnce(path, badRows, 1, halves));
            if (!split.empty()) {
                return "read in two halves, " + split;
            }
        } catch (const std::exception& e) {
            return std::string("an exception other than BarFileError: ") + e.what();
        }
    }
    return {};
}

}  // namespace keelmark::fuzz
