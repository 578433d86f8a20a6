// Progress of a long replay on the terminal, redrawn in place a few times a
// second; silent when the terminal is not there (output redirected).
#pragma once

#include <chrono>
#include <cstddef>
#include <ostream>
#include <string>

namespace keelmark::replay {

// Whether standard error is a terminal.
bool standardErrorIsTerminal();

class TerminalProgress {
public:
    TerminalProgress(std::ostream& out, bool enabled, std::string what)
        : out_(out), enabled_(enabled), what_(std::move(what)) {}
    ~TerminalProgress() { finish(); }
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    void report(std::size_t done, std::size_t total);
    // Clears the progress line.
    void finish();

private:
    std::ostream& out_;
    bool enabled_;
    std::string what_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point lastShown_{};
};

}  // namespace keelmark::replay
