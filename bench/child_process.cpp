#include "bench/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace keelmark::bench {

namespace {

// The peak resident memory of a process that has ended but is not yet
// reaped. The kernel's own count for the child (rusage) starts from what
// this program held when it started the child, which is hundreds of
// megabytes once the 10M-bar chart is made.
long peakResidentKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return 0;
}

}  // namespace

std::string replayToolPath() {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "keelmark-replay")
        .string();
}

ChildRun runChild(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& a : command) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    ChildRun run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) == 0) {
            run.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            run.peakResidentKilobytes = peakResidentKilobytes(pid);
        }
        rusage usage{};
        if (wait4(pid, &run.status, 0, &usage) == pid) {
            run.processorSeconds =
                static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

bool succeeded(const ChildRun& run) {
    return WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0;
}

}  // namespace keelmark::bench
