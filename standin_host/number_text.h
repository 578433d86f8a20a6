// Single-precision values as text with nine significant digits (as printf's
// "%.9g" writes them), which read back to the same float; zero of either
// sign prints as 0. The same text on every platform.
#pragma once

#include <charconv>
#include <string>

namespace keelmark::replay {

inline void appendFloatText(std::string& out, float v) {
    if (v == 0.0f) {
        out += '0';
        return;
    }
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, v, std::chars_format::general, 9);
    out.append(text, result.ptr);
}

inline std::string floatText(float v) {
    std::string out;
    appendFloatText(out, v);
    return out;
}

}  // namespace keelmark::replay
