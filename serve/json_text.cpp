#include "serve/json_text.h"

#include <algorithm>
#include <cmath>

#include "standin_host/number_text.h"

namespace keelmark::replay {

void JsonText::key(std::string_view name) {
    separate();
    appendString(name);
    text_ += ':';
    needsComma_ = false;
}

void JsonText::value(std::string_view text) {
    separate();
    appendString(text);
}

void JsonText::value(bool yes) {
    separate();
    text_ += yes ? "true" : "false";
}

void JsonText::floatValue(float v) {
    if (!std::isfinite(v)) {
        null();
        return;
    }
    separate();
    appendFloatText(text_, v);
}

void JsonText::null() {
    separate();
    text_ += "null";
}

void JsonText::value(const nlohmann::ordered_json& document) {
    separate();
    text_ += document.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void JsonText::appendString(std::string_view text) {
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte < 0x80 && c != '"' && c != '\\';
    });
    if (!plain) {
        text_ += nlohmann::ordered_json(std::string(text))
                     .dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
        return;
    }
    text_ += '"';
    text_ += text;
    text_ += '"';
}

}  // namespace keelmark::replay
