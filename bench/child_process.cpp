#include "bench/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

extern char** environ;

namespace keelmark::bench {

namespace {

double processorSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Starts the command with its output going to `outputFd` (-1: thrown away)
// and waits for it.
ChildRun spawnAndWait(char* const* argv, int outputFd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    ChildRun run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ) == 0) {
        rusage usage{};
        if (wait4(pid, &run.status, 0, &usage) == pid) {
            run.processorSeconds = processorSeconds(usage);
            run.peakResidentKilobytes = usage.ru_maxrss;
        }
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

}  // namespace

// Runs the command with its output thrown away; its time from start to exit,
// its processor time and its peak resident memory, as measureChild reports
// them from a fresh process of this program.
ChildRun runChild(const std::vector<std::string>& command) {
    std::vector<std::string> measured{std::filesystem::read_symlink("/proc/self/exe").string(),
                                      kMeasureChildOption};
    measured.insert(measured.end(), command.begin(), command.end());
    std::vector<char*> argv;
    for (const std::string& a : measured) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    ChildRun run;
    int fds[2];
    if (pipe(fds) != 0) {
        return run;
    }
    const ChildRun helper = spawnAndWait(argv.data(), fds[1]);
    close(fds[1]);
    char text[256] = {};
    const ssize_t got = read(fds[0], text, sizeof text - 1);
    close(fds[0]);
    if (helper.status != 0 || got <= 0 ||
        std::sscanf(text, "%d %ld %lf %lf", &run.status, &run.peakResidentKilobytes, &run.seconds,
                    &run.processorSeconds) != 4) {
        run.status = -1;
    }
    return run;
}

std::string replayToolPath() {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "keelmark-replay")
        .string();
}

int measureChild(int argc, char** argv) {
    std::vector<char*> command(argv, argv + argc);
    command.push_back(nullptr);
    const ChildRun run = spawnAndWait(command.data(), -1);
    std::printf("%d %ld %.6f %.6f\n", run.status, run.peakResidentKilobytes, run.seconds,
                run.processorSeconds);
    return 0;
}

bool succeeded(const ChildRun& run) {
    return WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0;
}

}  // namespace keelmark::bench
