// The replay tool run in a process of its own, as a user runs it: its wall
// time, processor time and peak resident memory. The tool is started through
// a fresh process of the benchmark program (kMeasureChildOption), so that the
// memory this program holds for its own charts does not count as the tool's.
#pragma once

#include <string>
#include <vector>

namespace keelmark::bench {

// As the first argument: run the command that follows, then print its exit
// status, peak resident memory (KiB), wall time and processor time (s).
inline constexpr const char* kMeasureChildOption = "--measure-child";

// The program's work when started with kMeasureChildOption; `argv` is the
// command.
int measureChild(int argc, char** argv);

// keelmark-replay beside this benchmark program.
std::string replayToolPath();

struct ChildRun {
    int status = -1;  // as wait reports it
    double seconds = 0;
    double processorSeconds = 0;  // user and system time of the child
    long peakResidentKilobytes = 0;
};

// Runs the command with its output thrown away; its time from start to exit,
// its processor time and its peak resident memory.
ChildRun runChild(const std::vector<std::string>& command);

// Whether the run exited normally with status 0.
bool succeeded(const ChildRun& run);

}  // namespace keelmark::bench
