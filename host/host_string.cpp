// HostString operations. Every assign or format makes exactly one process-heap
// allocation of the exact size needed; failures leave the empty text.
#include "host/host_string.h"

#include <cstdio>
#include <cstring>

#include "host/process_heap.h"

namespace keelmark {

namespace {

constexpr const char* kEmptyText = kStaticEmptyText;

void freeOwnedBlock(HostString& s) {
    if (s.ownsText != 0 && s.text != nullptr) {
        processHeapFree(s.text);
    }
}

// Length of a text, stopping at `limit` characters.
std::int32_t boundedLength(const char* text, std::int32_t limit) {
    const void* end = std::memchr(text, '\0', static_cast<std::size_t>(limit));
    return end != nullptr ? static_cast<std::int32_t>(static_cast<const char*>(end) - text) : limit;
}

}  // namespace

const char* staticEmptyText() { return kEmptyText; }

HostString makeHostString() { return emptyHostString(); }

void reset(HostString& s) {
    freeOwnedBlock(s);
    s.text = const_cast<char*>(s.emptyText != nullptr ? s.emptyText : kEmptyText);
    s.ownsText = 0;
    s.isSet = 0;
}

void release(HostString& s) {
    if (s.ownsText != 0 && s.text != nullptr) {
        processHeapFree(s.text);
        s.text = nullptr;
        s.ownsText = 0;
        s.isSet = 0;
    }
}

char* allocateText(std::int32_t byteCount) {
    if (byteCount <= 0) {
        return nullptr;
    }
    void* block = processHeapAllocate(static_cast<std::size_t>(byteCount));
    if (block != nullptr) {
        std::memset(block, 0, static_cast<std::size_t>(byteCount));
    }
    return static_cast<char*>(block);
}

void assign(HostString& s, const char* text, std::int32_t length) {
    reset(s);
    if (text != nullptr && length != 0) {
        const std::int32_t n = length > kMaxTextLength ? kMaxTextLength : length;
        if (n > 0) {
            // One block of the exact size; a copy that stops at the text's NUL.
            char* block = static_cast<char*>(processHeapAllocate(static_cast<std::size_t>(n) + 1));
            if (block != nullptr) {
                // Copied up to the text's NUL; the rest of the block is zero.
                const std::int32_t copied = boundedLength(text, n);
                std::memcpy(block, text, static_cast<std::size_t>(copied));
                std::memset(block + copied, 0, static_cast<std::size_t>(n - copied) + 1);
                s.text = block;
                s.ownsText = 1;
            }
        }
    }
    s.isSet = 1;
}

namespace {

// assign() for a text known to have no NUL in its first `length` characters:
// the copy needs no second look for the end.
void assignMeasured(HostString& s, const char* text, std::int32_t length) {
    const TextPiece whole{text, length};
    assignJoined(s, &whole, 1);
}

}  // namespace

void assign(HostString& s, const char* text) {
    const std::int32_t length = text != nullptr ? boundedLength(text, kMaxTextLength) : 0;
    assignMeasured(s, text, length);
}

HostString& appendFormatV(HostString& s, const char* fmt, std::va_list args) {
    if (fmt == nullptr) {
        return s;
    }
    const std::int32_t p = s.text != nullptr ? boundedLength(s.text, kMaxTextLength) : 0;

    // Short pieces (every panel line, every name) are formatted once, into a
    // buffer on the stack, and copied; only longer ones are measured first
    // and formatted a second time into their block.
    char shortPiece[256];
    std::va_list firstArgs;
    va_copy(firstArgs, args);
    const int needed = std::vsnprintf(shortPiece, sizeof shortPiece, fmt, firstArgs);
    va_end(firstArgs);
    if (needed < 0 || needed > kMaxTextLength - p) {
        return s;
    }
    const std::int32_t n = needed;
    char* block = allocateText(p + n + 1);
    if (block == nullptr) {
        return s;
    }
    if (p > 0) {
        std::memcpy(block, s.text, static_cast<std::size_t>(p));
    }
    if (n < static_cast<std::int32_t>(sizeof shortPiece)) {
        std::memcpy(block + p, shortPiece, static_cast<std::size_t>(n) + 1);
    } else {
        std::vsnprintf(block + p, static_cast<std::size_t>(n) + 1, fmt, args);
    }
    reset(s);
    s.text = block;
    s.ownsText = 1;
    s.isSet = 1;
    return s;
}

HostString& appendFormat(HostString& s, const char* fmt, ...) {
    std::va_list args;
    va_start(args, fmt);
    appendFormatV(s, fmt, args);
    va_end(args);
    return s;
}

HostString& format(HostString& s, const char* fmt, ...) {
    reset(s);
    std::va_list args;
    va_start(args, fmt);
    appendFormatV(s, fmt, args);
    va_end(args);
    return s;
}

void assignJoined(HostString& s, const TextPiece* pieces, std::int32_t count) {
    std::int32_t joined = 0;  // pieces that fit
    std::int64_t length = 0;
    for (; joined < count; ++joined) {
        const std::int32_t n = pieces[joined].text != nullptr ? pieces[joined].length : 0;
        if (n < 0 || length + n > kMaxTextLength) {
            break;
        }
        length += n;
    }
    reset(s);
    s.isSet = 1;
    if (length == 0) {
        return;
    }
    char* block = static_cast<char*>(processHeapAllocate(static_cast<std::size_t>(length) + 1));
    if (block == nullptr) {
        return;
    }
    char* end = block;
    for (std::int32_t i = 0; i < joined; ++i) {
        if (pieces[i].text != nullptr && pieces[i].length > 0) {
            std::memcpy(end, pieces[i].text, static_cast<std::size_t>(pieces[i].length));
            end += pieces[i].length;
        }
    }
    *end = '\0';
    s.text = block;
    s.ownsText = 1;
}

void copyFrom(HostString& s, const HostString& source) {
    if (&source == &s) {
        return;
    }
    const bool sourceHasText = source.text != nullptr && source.text[0] != '\0';
    if (sourceHasText) {
        assignMeasured(s, source.text, boundedLength(source.text, kMaxTextLength));
        return;
    }
    const bool ownHasText = s.text != nullptr && s.text[0] != '\0';
    if (ownHasText) {
        if (source.text != nullptr) {
            assign(s, source.text, 0);
        } else {
            freeOwnedBlock(s);
            s.text = const_cast<char*>(s.emptyText != nullptr ? s.emptyText : kEmptyText);
            s.ownsText = 0;
        }
        s.isSet = 1;
    }
}

}  // namespace keelmark
