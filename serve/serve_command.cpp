#include "serve/serve_command.h"

#include <pthread.h>

#include <csignal>

#include "serve/chart_server.h"

namespace keelmark::replay {

int serveChart(ServeRequest request, std::ostream& out) {
    ServedChart chart;
    chart.module = request.module;
    chart.times = chartSeconds(request.bars);
    chart.bars = std::move(request.bars);
    chart.priceFormat = request.priceFormat;
    chart.studies = request.studies;
    chart.barsName = request.barsName;
    chart.inputs = std::move(request.inputs);

    // The signals that stop the server are waited for here; the server's
    // threads, started after, inherit them blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    struct SignalMask {
        sigset_t before;
        explicit SignalMask(const sigset_t& blocked) {
            pthread_sigmask(SIG_BLOCK, &blocked, &before);
        }
        ~SignalMask() { pthread_sigmask(SIG_SETMASK, &before, nullptr); }
    } mask(stopSignals);

    ChartServer server(chart, std::move(request.chartLibrary));
    const int port = server.start(request.port);
    server.waitUntilReady();
    out << "open http://127.0.0.1:" << port << "/"
        << (server.servesIpv6() ? " (also http://[::1]:" + std::to_string(port) + "/)" : "")
        << "\nserving " << chart.bars.size() << " bars of " << chart.barsName << "; Ctrl-C stops\n"
        << std::flush;
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
    out << "stopped\n";
    return 0;
}

}  // namespace keelmark::replay
