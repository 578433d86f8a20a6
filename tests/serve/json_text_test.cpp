// The server's answers are written as JSON text directly; what the page
// parses must be the document the JSON library would have built.
#include "serve/json_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace keelmark::replay {
namespace {

using Json = nlohmann::ordered_json;

TEST(JsonText, NestedMembersAndArraysParseToTheSameDocument) {
    JsonText w;
    w.object();
    w.member("name", "Keelmark Session Levels");
    w.member("count", std::int32_t{-3});
    w.member("size", std::size_t{18446744073709551615u});
    w.member("active", false);
    w.key("empty");
    w.array();
    w.endArray();
    w.key("rows");
    w.array();
    for (int i = 0; i < 2; ++i) {
        w.object();
        w.member("slot", i);
        w.key("none");
        w.null();
        w.endObject();
    }
    w.value(Json{{"drawn", true}});
    w.endArray();
    w.endObject();

    const Json expected = {
        {"name", "Keelmark Session Levels"},
        {"count", -3},
        {"size", 18446744073709551615u},
        {"active", false},
        {"empty", Json::array()},
        {"rows", Json::array({Json{{"slot", 0}, {"none", nullptr}},
                              Json{{"slot", 1}, {"none", nullptr}}, Json{{"drawn", true}}})}};
    EXPECT_EQ(Json::parse(w.text()), expected) << w.text();
}

TEST(JsonText, StringsAreEscapedAndBytesThatAreNotUtf8Replaced) {
    const std::string texts[] = {"plain text",
                                 "quote \" and backslash \\",
                                 "line\nbreak\ttab\x01",
                                 "caf\xc3\xa9 \xe2\x86\x91",
                                 "cut \xc3",
                                 "stray \xff byte",
                                 ""};
    for (const std::string& text : texts) {
        JsonText w;
        w.array();
        w.value(text);
        w.endArray();
        ASSERT_TRUE(Json::accept(w.text())) << w.text();
        const std::string read = Json::parse(w.text())[0].get<std::string>();
        EXPECT_EQ(read, Json::parse(Json::array({text}).dump(-1, ' ', false,
                                                             Json::error_handler_t::replace))[0]
                            .get<std::string>());
    }
}

TEST(JsonText, FloatsReadBackExactlyAndOnlyFiniteOnesAreNumbers) {
    const float values[] = {15900.25f, 0.1f,          -0.0f,
                            1e-30f,    3.4028235e38f, std::numeric_limits<float>::denorm_min(),
                            -4270.75f};
    JsonText w;
    w.array();
    for (const float v : values) {
        w.floatValue(v);
    }
    w.floatValue(std::numeric_limits<float>::quiet_NaN());
    w.floatValue(-std::numeric_limits<float>::infinity());
    w.endArray();
    const Json read = Json::parse(w.text());
    ASSERT_EQ(read.size(), std::size(values) + 2);
    for (std::size_t i = 0; i < std::size(values); ++i) {
        EXPECT_EQ(static_cast<float>(read[i].get<double>()), values[i] == 0 ? 0.0f : values[i])
            << w.text();
    }
    EXPECT_TRUE(read[std::size(values)].is_null());
    EXPECT_TRUE(read[std::size(values) + 1].is_null());
}

}  // namespace
}  // namespace keelmark::replay
