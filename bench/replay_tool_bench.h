// The replay tool's benchmarks start the tool through a fresh process of the
// benchmark program, which measures it (see replay_tool_bench.cpp).
#pragma once

namespace keelmark::bench {

// As the first argument: run the command that follows, then print its exit
// status, peak resident memory (KiB), wall time and processor time (s).
inline constexpr const char* kMeasureChildOption = "--measure-child";

// The program's work when started with kMeasureChildOption; `argv` is the
// command.
int measureChild(int argc, char** argv);

}  // namespace keelmark::bench
