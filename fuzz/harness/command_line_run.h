// keelmark-replay's command line under fuzzing: the input bytes are an
// argument vector (arguments separated by line breaks) run in-process
// through replay::runCommandLine, inside a scratch folder that holds a few
// bar files and an earlier output.
//
// Every path stays inside the scratch folder: an argument loses each "/"
// at its start or after a "=", and every "..", so relative names are all it
// can give; a --module value is made a relative path, so that nothing but a
// file of the scratch folder can be loaded. Past the fourth argument that
// names a file of the scratch folder, such arguments are dropped (a run of
// many copies of one bar file finds nothing a run of a few does not). An argument vector naming the
// `serve` subcommand is skipped (it would wait for requests).
//
// Invariants: no crash, no sanitizer report, no exception out of
// runCommandLine; the exit status is 0, 1 or 2, and 2 comes with a message;
// nothing is written beside the scratch folder; no temporary file is left
// behind; a run that fails (2) leaves every file as it was and writes none
// (but for a run of several bar files, which writes the outputs of those
// that did not fail into its --out-dir);
// a run that succeeds changes no file it was not asked to write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace keelmark::fuzz {

// Empty when the command line kept its promises; otherwise what it did.
std::string runCommandLineBytes(const std::uint8_t* data, std::size_t size);

// The argument vector the bytes stand for, confined to the scratch folder
// (empty when it names `serve`).
std::vector<std::string> confinedArguments(const std::uint8_t* data, std::size_t size);

}  // namespace keelmark::fuzz
