// The replay tool's bar-file reader under fuzzing: any bytes as the contents
// of a bar file. A file is either read (at least one bar, finite prices,
// 0 to 9 price decimals, no bar more than an hour before the one above it)
// or refused with a BarFileError whose message names the file; never a
// crash, a hang or another exception. Read again with its rows split in two
// halves read at once (as a long file's are), it gives the same bars, rows
// left out and refusal. The one-line parsers get the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace keelmark::fuzz {

// Empty when the reader kept its promises; otherwise what it did instead.
std::string readBarFileBytes(const std::uint8_t* data, std::size_t size);

}  // namespace keelmark::fuzz
