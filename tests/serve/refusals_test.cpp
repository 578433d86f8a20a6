// Every request the server refuses: a 4xx answer whose body is a sentence,
// and the chart exactly as it was. And the page's own files are all it
// serves.
#include <gtest/gtest.h>

#include "tests/serve/served_chart.h"

namespace keelmark::test {
namespace {

class Refusals : public ::testing::Test {
protected:
    void SetUp() override {
        session = served.newSession();
        base = "/api/sessions/" + session;
        before = served.chart(session);
    }

    void expectRefused(const Answer& a, int status, const std::string& words) {
        EXPECT_EQ(a.status, status) << a.body;
        ASSERT_TRUE(a.body.is_object()) << a.body;
        const std::string sentence = a.body.value("error", std::string());
        EXPECT_NE(sentence.find(words), std::string::npos) << sentence;
        EXPECT_EQ(sentence.back(), '.') << sentence;
    }

    void TearDown() override { EXPECT_EQ(served.chart(session), before); }

    ServedChart served;
    std::string session, base;
    Json before;
};

TEST_F(Refusals, UnknownStudyMenuItemOrInput) {
    expectRefused(
        served.post(base + "/menu",
                    Json{{"study", "volume-profile"}, {"item", "Anchor VWAP Here"}, {"bar", 10}}),
        404, "no study \"volume-profile\"");
    expectRefused(
        served.post(base + "/menu",
                    Json{{"study", "anchored-vwap"}, {"item", "Delete Chart"}, {"bar", 10}}),
        404, "it offers \"Anchor VWAP Here\"");
    expectRefused(
        served.post(base + "/menu", Json{{"study", "anchored-vwap"}, {"item", 999}, {"bar", 10}}),
        404, "no menu item 999");
    expectRefused(served.post(base + "/inputs", Json{{"study", "session-levels"},
                                                     {"input", "Colour of Nothing"},
                                                     {"value", "1"}}),
                  404, "no input");
    expectRefused(served.post(base + "/inputs",
                              Json{{"study", "session-levels"}, {"input", 64}, {"value", "1"}}),
                  404, "no input 64");
}

TEST_F(Refusals, BarsOffTheChart) {
    const int bars = before["bars"];
    for (const int bar : {-1, bars, 1 << 30}) {
        expectRefused(served.post(base + "/menu", Json{{"study", "anchored-vwap"},
                                                       {"item", "Anchor VWAP Here"},
                                                       {"bar", bar}}),
                      416, "not on the chart");
    }
    expectRefused(served.get(base + "/chart?from=-5&to=10"), 416, "not on the chart");
    expectRefused(served.get(base + "/chart?from=10&to=10"), 416, "not on the chart");
    expectRefused(served.get(base + "/chart?from=0&to=" + std::to_string(bars + 1)), 416,
                  "not on the chart");
    expectRefused(served.get(base + "/chart?from=0&to=ten"), 400, "takes a whole number");
    expectRefused(served.get(base + "/chart?from=0"), 400, "lacks the parameter \"to\"");
    expectRefused(served.post(base + "/replay", Json{{"from", 0}}), 416, "starts from a bar");
    expectRefused(served.post(base + "/replay", Json{{"from", bars + 1}}), 416,
                  "starts from a bar");
    expectRefused(served.post(base + "/replay/advance", Json::object()), 409, "No replay");
}

TEST_F(Refusals, ValuesThatDoNotFitTheInput) {
    const auto set = [&](const Json& input, const std::string& value) {
        return served.post(base + "/inputs",
                           Json{{"study", "session-levels"}, {"input", input}, {"value", value}});
    };
    expectRefused(set("Opening Range Minutes", "0"), 422, "takes a whole number from 1 to 600");
    expectRefused(set("Opening Range Minutes", "601"), 422, "from 1 to 600");
    expectRefused(set("Opening Range Minutes", "15.5"), 422, "whole number");
    expectRefused(set(0, "25:00"), 422, "takes a time of day");
    expectRefused(set("IB Extension 1 (x IB range, 0 = off)", "21"), 422, "from 0 to 20");
    expectRefused(set("Prior Day High/Low From", "9"), 422, "takes one of its options");
}

TEST_F(Refusals, MalformedRequests) {
    expectRefused(served.post(base + "/menu", std::string("{\"study\": ")), 400, "not valid JSON");
    expectRefused(served.post(base + "/menu", std::string("[1, 2]")), 400, "a JSON object");
    expectRefused(served.post(base + "/menu", Json{{"study", "anchored-vwap"}, {"bar", 3}}), 400,
                  "lacks the field \"item\"");
    expectRefused(
        served.post(base + "/menu",
                    Json{{"study", "anchored-vwap"}, {"item", "Anchor VWAP Here"}, {"bar", 3.5}}),
        400, "takes a whole number");
    expectRefused(served.post(base + "/inputs",
                              Json{{"study", "session-levels"}, {"input", 3}, {"value", 30}}),
                  400, "takes a string");
    expectRefused(served.post(base + "/replay/advance", Json{{"wholeBar", "yes"}}), 400,
                  "true or false");
    const auto plain = served.client().Post(base + "/menu", "{}", "text/plain");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->status, 415);
    expectRefused(served.post(base + "/menu", std::string(20000, ' ')), 413, "larger than");
    expectRefused(served.get("/api/sessions/0123456789abcdef/chart?from=0&to=1"), 404,
                  "reload the page");
}

TEST_F(Refusals, OnlyThePagesOwnFilesAreServed) {
    for (const char* path : {"/etc/passwd", "/../CMakeLists.txt", "/web/chart_page.js",
                             "/%2e%2e/%2e%2e/etc/passwd", "/serve_page.js/.."}) {
        const Answer a = served.get(path);
        EXPECT_EQ(a.status, 404) << path;
        EXPECT_TRUE(a.body.contains("error")) << path;
    }
    for (const char* path : {"/", "/serve_page.js", "/chart_drawing.js", "/settings_form.js",
                             "/chart_page.css", "/serve_page.css"}) {
        const auto r = served.client().Get(path);
        ASSERT_TRUE(r) << path;
        EXPECT_EQ(r->status, 200) << path;
        EXPECT_FALSE(r->body.empty()) << path;
    }
    expectRefused(served.post("/", std::string("{}")), 405, "takes no POST");
    const auto deleted = served.client().Delete(base);
    ASSERT_TRUE(deleted);
    EXPECT_EQ(deleted->status, 405);
}

// A Range header is ignored: a refusal is never cut to a range (its JSON
// would not parse), and a file is sent whole.
TEST_F(Refusals, AnswersAreWholeWhateverRangeIsAsked) {
    httplib::Client c = served.client();
    const auto refused = c.Get("/nothing-here", {{"Range", "bytes=0-10"}});
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 404);
    EXPECT_FALSE(refused->has_header("Content-Range"));
    EXPECT_FALSE(Json::parse(refused->body, nullptr, false).is_discarded()) << refused->body;
    const auto whole = c.Get("/chart_drawing.js");
    const auto ranged = c.Get("/chart_drawing.js", {{"Range", "bytes=0-10,20-30"}});
    ASSERT_TRUE(whole && ranged);
    EXPECT_EQ(ranged->status, 200);
    EXPECT_EQ(ranged->body, whole->body);
}

TEST_F(Refusals, PagesOfOtherSitesAndOtherHostNames) {
    httplib::Client c = served.client();
    const auto rebound =
        c.Get("/", {{"Host", "attacker.example:" + std::to_string(served.port())}});
    ASSERT_TRUE(rebound);
    EXPECT_EQ(rebound->status, 403);
    const auto foreign =
        c.Post(base + "/menu", {{"Origin", "http://attacker.example"}},
               Json{{"study", "anchored-vwap"}, {"item", "Anchor VWAP Here"}, {"bar", 3}}.dump(),
               "application/json");
    ASSERT_TRUE(foreign);
    EXPECT_EQ(foreign->status, 403);
    const auto own = c.Get("/", {{"Origin", "http://localhost:" + std::to_string(served.port())}});
    ASSERT_TRUE(own);
    EXPECT_EQ(own->status, 200);
}

}  // namespace
}  // namespace keelmark::test
