// Many requests at once on the loopback address, from several clients and
// several pages, good and bad mixed: every one is answered with the status
// it deserves, and the server answers normally afterwards. Bounded in count
// and by the clients' timeouts.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tests/serve/served_chart.h"

namespace keelmark::test {
namespace {

// Request `kind` of the storm, and the status it deserves.
httplib::Result stormRequest(httplib::Client& client, const std::string& base, int kind, int i,
                             int& expected) {
    expected = 200;
    switch (kind) {
        case 0:
            return client.Get(base + "/chart?from=" + std::to_string(i) +
                              "&to=" + std::to_string(i + 500));
        case 1:
            expected = 400;
            return client.Post(base + "/menu", "{\"study\": ", "application/json");
        case 2:
            return client.Post(
                base + "/menu",
                Json{{"study", "anchored-vwap"},
                     {"item", i % 2 == 0 ? "Anchor VWAP Here" : "Remove All Anchored VWAPs"},
                     {"bar", 100 + i}}
                    .dump(),
                "application/json");
        case 3:
            expected = 404;
            return client.Get("/no/such/file");
        case 4:
            return client.Post(base + "/inputs",
                               Json{{"study", "session-levels"},
                                    {"input", "Opening Range Minutes"},
                                    {"value", std::to_string(5 + i % 30)}}
                                   .dump(),
                               "application/json");
        default:
            expected = 413;
            return client.Post(base + "/menu", std::string(20000, 'x'), "application/json");
    }
}

TEST(RequestStorm, EveryRequestIsAnsweredAndTheServerStillServes) {
    ServedChart served("NQ_5min_sample.csv", 3);
    constexpr int kClients = 8;
    constexpr int kRequestsEach = 40;
    std::vector<std::string> sessions;
    for (int i = 0; i < 2; ++i) {
        sessions.push_back(served.newSession());
    }
    std::atomic<int> unexpected{0}, answered{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            httplib::Client client = served.client();
            client.set_connection_timeout(10, 0);
            const std::string base = "/api/sessions/" + sessions[c % 2];
            for (int i = 0; i < kRequestsEach; ++i) {
                int expected = 200;
                const httplib::Result r = stormRequest(client, base, (c + i) % 6, i, expected);
                if (r) {
                    ++answered;
                }
                if (!r || r->status != expected) {
                    ++unexpected;
                }
            }
        });
    }
    for (std::thread& t : clients) {
        t.join();
    }
    EXPECT_EQ(answered.load(), kClients * kRequestsEach);
    EXPECT_EQ(unexpected.load(), 0);

    // Afterwards: new pages open; with three sessions kept, the page used
    // longest ago is told to reload and the other still works.
    const std::string session = served.newSession();
    EXPECT_EQ(served.chart(session)["bars"], served.chart().bars.size());
    const auto page = served.client().Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    served.newSession();
    int dropped = 0;
    for (const std::string& s : sessions) {
        const Answer a = served.get("/api/sessions/" + s + "/chart?from=0&to=10");
        dropped += a.status == 404 ? 1 : 0;
        EXPECT_TRUE(a.status == 200 || a.status == 404) << a.status;
    }
    EXPECT_EQ(dropped, 1);
}

}  // namespace
}  // namespace keelmark::test
