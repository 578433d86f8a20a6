// The replay tool's bar-file reader under fuzzing: any bytes as the contents
// of a bar file. A file is either read (at least one bar, finite prices,
// 0 to 9 price decimals, no bar more than an hour before the one above it)
// or refused with a BarFileError whose message names the file; never a
// crash, a hang or another exception. Read again with its rows split in two
// halves (as a long file's are), it gives the same bars, rows left out and
// refusal: refusing malformed rows for an input of even length, skipping
// them for one of odd length. The one-line parsers get the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "standin_host/bar_file.h"

namespace keelmark::fuzz {

// Empty when the reader kept its promises; otherwise what it did instead.
// `halves`: how the second reading reads its two halves (the fuzzer's
// inputs, one after the other: a thread for each would cost more than the
// reading).
std::string readBarFileBytes(const std::uint8_t* data, std::size_t size,
                             replay::Halves halves = replay::Halves::OneAfterTheOther);

}  // namespace keelmark::fuzz
