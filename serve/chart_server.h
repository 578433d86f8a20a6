// The HTTP server of `keelmark-replay serve`: the live chart page (only the
// page's own files, embedded in the tool, and the chart library read at
// start) and its JSON requests, on the loopback addresses only (127.0.0.1,
// and ::1 on the same port when the machine has it).
//
//   GET  /                                  the page; its scripts and style
//   POST /api/sessions                      a chart session for a new page
//   GET  /api/sessions/ID/chart?from=&to=   bars [from, to) with every value
//   POST /api/sessions/ID/menu              {"study", "item", "bar"}
//   POST /api/sessions/ID/inputs            {"study", "input", "value"}
//   POST /api/sessions/ID/replay            {"from"}
//   POST /api/sessions/ID/replay/advance    {"wholeBar"}
//
// Every refusal is a 4xx answer {"error": sentence}; the chart is then as it
// was.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "serve/chart_session.h"

namespace keelmark::replay {

// Request bodies larger than this are refused.
inline constexpr std::size_t kMaxRequestBody = 16 * 1024;

class ChartServer {
public:
    // `chartLibrary` is the chart library's script text. `maxSessions`: the
    // pages' sessions kept (0: by the chart's size).
    ChartServer(const ServedChart& chart, std::string chartLibrary, std::size_t maxSessions = 0);
    // Stops serving.
    ~ChartServer();
    ChartServer(const ChartServer&) = delete;
    ChartServer& operator=(const ChartServer&) = delete;

    // Binds the loopback addresses at `port` (0: a free port) and serves in
    // threads of its own; returns the port. Throws std::runtime_error when
    // 127.0.0.1 cannot be bound at that port.
    int start(int port);
    // Waits until a page opened now is answered at once (the first page's
    // session is prepared).
    void waitUntilReady();
    // What the server sends back to one request of a connection.
    struct ConnectionAnswer {
        std::string bytes;
        // The first line of the request it answers, as sent (an answer to
        // HEAD is its header without the body).
        std::string requestLine;
    };
    // Answers the bytes of one connection (requests one after another, as
    // a browser sends them) as the server at `port` would, from memory
    // rather than a socket: the request-handler fuzzer's way in. Only for a
    // server that is not serving (start() not called).
    std::vector<ConnectionAnswer> answerConnection(std::string_view bytes, int port);
    // Whether ::1 is served too.
    bool servesIpv6() const;
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace keelmark::replay
