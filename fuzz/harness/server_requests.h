// keelmark-replay serve's request handler under fuzzing: the input bytes are
// what a browser's connection sends (any methods, paths, headers and bodies,
// one request after another), answered from memory by the chart server of a
// small chart of both studies. Every "{id}" in the bytes stands for the id
// of a chart session that each input finds as a new page would (a session
// an input has changed, or may have let the server drop, is replaced before
// the input ends), so that the session's own addresses are within reach;
// the server is at port 8080 and keeps one session.
//
// Invariants: no crash, no sanitizer report, no exception out of the
// server; what it sends back is a sequence of well-formed HTTP answers, none
// of them 5xx; every JSON body parses, and every 4xx says why in
// {"error": sentence}.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace keelmark::fuzz {

inline constexpr int kServerPort = 8080;

// Empty when the server kept its promises; otherwise what it did.
std::string answerRequestBytes(const std::uint8_t* data, std::size_t size);

// Empty when `answer` (what the server sent back to one request: a status
// 100 and then the answer, or the answer alone) is well formed and keeps the
// invariants above; otherwise what is wrong with it. An answer to what may
// be a HEAD request (`toHead`) may carry its header alone.
std::string checkAnswer(std::string_view answer, bool toHead);

}  // namespace keelmark::fuzz
