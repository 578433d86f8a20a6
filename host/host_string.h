// HostString: the text value shared with the charting host.
//
// The text lives in a block of the process heap so that either side may free
// what the other allocated (the host frees our names, we free the text that
// formatPrice hands back). A value never holds a null `text` after any of our
// operations; a value that came from the host may, and readers treat null as
// the empty text.
#pragma once

#include <cstdarg>
#include <cstdint>

namespace keelmark {

struct HostString {
    char* text;
    std::int32_t ownsText;
    std::int32_t isSet;
    const char* emptyText;
};

// Longest text a HostString may hold: one less than INT32_MAX.
inline constexpr std::int32_t kMaxTextLength = 0x7FFFFFFE;

// The shared static empty text that fresh values point at.
inline constexpr char kStaticEmptyText[] = "";
const char* staticEmptyText();

// A fresh value for our own use: both pointers at the static empty text.
constexpr HostString emptyHostString() {
    return HostString{const_cast<char*>(kStaticEmptyText), 0, 0, kStaticEmptyText};
}
HostString makeHostString();

// A value that shows `text` without owning it, marked set: for a record
// handed to the host for the length of one call, while `text` stays alive.
// Releasing it frees nothing.
constexpr HostString lentHostString(const char* text) {
    return HostString{const_cast<char*>(text), 0, 1, kStaticEmptyText};
}

// Free the owned block, fall back to emptyText, clear ownsText and isSet.
void reset(HostString& s);
// Free the owned block (if any) and clear text, ownsText and isSet; a value
// that owns nothing is left untouched.
void release(HostString& s);
// Copy at most `length` characters of `text` (stopping at its NUL).
void assign(HostString& s, const char* text, std::int32_t length);
// Assign a NUL-terminated text with its own length.
void assign(HostString& s, const char* text);
HostString& format(HostString& s, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
HostString& appendFormat(HostString& s, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
HostString& appendFormatV(HostString& s, const char* fmt, std::va_list args);
void copyFrom(HostString& s, const HostString& source);

// A piece of text to join: `length` characters at `text`, without a NUL
// among them.
struct TextPiece {
    const char* text;
    std::int32_t length;
};
// Assign the pieces one after another, in one process-heap block of the
// exact size: a text made of many pieces costs one allocation instead of a
// new block of the whole text for each piece. A piece that would take the
// text past kMaxTextLength is left out, as are those after it. A refused
// allocation leaves the empty text.
void assignJoined(HostString& s, const TextPiece* pieces, std::int32_t count);
// A zero-filled process-heap block, or null for counts of 0 or below and when
// the heap refuses.
char* allocateText(std::int32_t byteCount);

// The text to read for output: the empty text where `text` is null.
inline const char* textOf(const HostString& s) { return s.text != nullptr ? s.text : ""; }

}  // namespace keelmark
