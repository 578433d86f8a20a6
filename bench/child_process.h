// The replay tool run in a process of its own, as a user runs it: its wall
// time, processor time and peak resident memory.
#pragma once

#include <string>
#include <vector>

namespace keelmark::bench {

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
