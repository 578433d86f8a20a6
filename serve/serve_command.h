// `keelmark-replay serve`: the studies live in the browser over a bar file,
// until the user stops the tool (Ctrl-C).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "serve/chart_session.h"

namespace keelmark::replay {

struct ServeRequest {
    const ModuleLibrary* module = nullptr;
    std::vector<Bar> bars;
    std::int32_t priceFormat = 2;
    std::vector<StudyKind> studies;
    std::string barsName;
    std::vector<StartingInput> inputs;  // every session starts with them
    std::string chartLibrary;           // the chart library's script text
    int port = 8080;                    // 0: a free port
};

// Serves the chart until SIGINT or SIGTERM; prints the address to open.
// Returns the exit status. Throws std::runtime_error when it cannot listen.
int serveChart(ServeRequest request, std::ostream& out);

}  // namespace keelmark::replay
