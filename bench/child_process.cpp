#include "bench/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

extern char** environ;

namespace keelmark::bench {

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
        rusage usage{};
        if (wait4(pid, &run.status, 0, &usage) == pid) {
            run.peakResidentKilobytes = usage.ru_maxrss;
        }
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

bool succeeded(const ChildRun& run) {
    return WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0;
}

}  // namespace keelmark::bench
