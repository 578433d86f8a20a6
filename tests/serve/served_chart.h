// A chart server running inside the test program on a free loopback port,
// over a sample bar file with both studies, and a client that talks to it.
#pragma once

#include <httplib.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "serve/chart_server.h"

namespace keelmark::test {

using Json = nlohmann::json;

struct Answer {
    int status = 0;
    Json body;
};

class ServedChart {
public:
    // `barsFile` in the sample folder.
    explicit ServedChart(const std::string& barsFile = "NQ_5min_sample.csv",
                         std::size_t maxSessions = 4);
    ~ServedChart();

    int port() const { return port_; }
    const replay::ServedChart& chart() const { return chart_; }
    httplib::Client client() const;

    Answer get(const std::string& path) const;
    Answer post(const std::string& path, const std::string& body) const;
    Answer post(const std::string& path, const Json& body) const { return post(path, body.dump()); }

    // A new page session's id.
    std::string newSession() const;
    // The whole chart of a session (bars [0, bars on chart)).
    Json chart(const std::string& session) const;

private:
    replay::ServedChart chart_;
    std::unique_ptr<replay::ChartServer> server_;
    int port_ = 0;
};

// The chart library's text, or empty when web/node_modules lacks it.
std::string chartLibraryText();

}  // namespace keelmark::test
