// JSON written straight to text, member by member, for the server's
// answers: a window of bars holds tens of thousands of numbers, and building
// them as a document first cost more than all the studies' work for the
// request (an allocation for nearly every member and string).
//
// The writer puts the commas; the caller opens and closes what it began.
// Strings that are not plain printable ASCII go through the JSON library,
// which escapes them and replaces bytes that are not UTF-8 as every other
// answer does.
#pragma once

#include <charconv>
#include <concepts>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace keelmark::replay {

class JsonText {
public:
    void object() { open('{'); }
    void endObject() { close('}'); }
    void array() { open('['); }
    void endArray() { close(']'); }

    // A member's name; its value follows.
    void key(std::string_view name);

    void value(std::string_view text);
    void value(const char* text) { value(std::string_view(text)); }
    void value(const std::string& text) { value(std::string_view(text)); }
    void value(bool yes);
    template <std::integral T>
    void value(T number) {
        separate();
        char digits[24];
        text_.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
    }
    // Nine significant digits, which read back to the same float; null
    // when it is not finite.
    void floatValue(float v);
    void null();
    // A document written by the JSON library.
    void value(const nlohmann::ordered_json& document);

    template <typename T>
    void member(std::string_view name, const T& v) {
        key(name);
        value(v);
    }

    const std::string& text() const { return text_; }
    std::string take() { return std::move(text_); }

private:
    void separate() {
        if (needsComma_) {
            text_ += ',';
        }
        needsComma_ = true;
    }
    void open(char bracket) {
        separate();
        text_ += bracket;
        needsComma_ = false;
    }
    void close(char bracket) {
        text_ += bracket;
        needsComma_ = true;
    }
    void appendString(std::string_view text);

    std::string text_;
    bool needsComma_ = false;
};

}  // namespace keelmark::replay
