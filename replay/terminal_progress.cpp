#include "replay/terminal_progress.h"

#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace keelmark::replay {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(200);

}  // namespace

bool standardErrorIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

void TerminalProgress::report(std::size_t done, std::size_t total) {
    if (!enabled_ || total == 0) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (shown_ && now - lastShown_ < kRedrawInterval && done < total) {
        return;
    }
    lastShown_ = now;
    shown_ = true;
    char line[160];
    std::snprintf(line, sizeof line, "\r%s: bar %zu of %zu (%zu%%)  ", what_.c_str(), done, total,
                  done * 100 / total);
    out_ << line << std::flush;
}

void TerminalProgress::finish() {
    if (shown_) {
        out_ << "\r\x1b[K" << std::flush;
        shown_ = false;
    }
}

}  // namespace keelmark::replay
