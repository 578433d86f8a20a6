#include "tests/serve/served_chart.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "run_outputs/html_output.h"
#include "standin_host/bar_file.h"
#include "tests/support/module_fixture.h"

namespace keelmark::test {

std::string chartLibraryText() {
    const std::string path = replay::findChartLibrary();
    if (path.empty()) {
        return {};
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

ServedChart::ServedChart(const std::string& barsFile, std::size_t maxSessions) {
    replay::BarFileContents contents =
        replay::readBars(std::string(KEELMARK_SAMPLE_DIR) + "/" + barsFile);
    chart_.module = &testModule();
    chart_.bars = replay::barListOf(contents.bars);
    chart_.times = replay::chartSeconds(chart_.bars);
    chart_.priceFormat = contents.priceDecimals;
    chart_.studies = {replay::StudyKind::SessionLevels, replay::StudyKind::AnchoredVwap};
    chart_.barsName = barsFile;
    server_ = std::make_unique<replay::ChartServer>(chart_, chartLibraryText(), maxSessions);
    port_ = server_->start(0);
}

ServedChart::~ServedChart() { server_->stop(); }

httplib::Client ServedChart::client() const {
    httplib::Client c("127.0.0.1", port_);
    c.set_read_timeout(60, 0);
    return c;
}

namespace {
Answer answerOf(const httplib::Result& r) {
    if (!r) {
        ADD_FAILURE() << "no answer: " << httplib::to_string(r.error());
        return {};
    }
    return Answer{r->status, Json::parse(r->body, nullptr, false)};
}
}  // namespace

Answer ServedChart::get(const std::string& path) const { return answerOf(client().Get(path)); }

Answer ServedChart::post(const std::string& path, const std::string& body) const {
    return answerOf(client().Post(path, body, "application/json"));
}

std::string ServedChart::newSession() const {
    const Answer a = post("/api/sessions", std::string());
    EXPECT_EQ(a.status, 201);
    return a.body.value("session", std::string());
}

Json ServedChart::chart(const std::string& session) const {
    const Answer described = get("/api/sessions/" + session + "/chart?from=0&to=1");
    const int bars = described.body.value("bars", 0);
    const Answer a = get("/api/sessions/" + session + "/chart?from=0&to=" + std::to_string(bars));
    EXPECT_EQ(a.status, 200) << a.body;
    return a.body;
}

}  // namespace keelmark::test
