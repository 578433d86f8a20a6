// `keelmark-replay serve` refuses what it cannot serve before it listens: a
// bar file it cannot read, a port out of range, a setting it cannot make, a
// port already taken.
#include <gtest/gtest.h>

#include <sstream>

#include "replay/command_line.h"
#include "tests/serve/served_chart.h"

namespace keelmark::test {
namespace {

struct ServeRun {
    int status = -1;
    std::string out, err;
};

ServeRun serve(const std::vector<std::string>& args) {
    std::vector<const char*> argv{"keelmark-replay", "serve"};
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    std::ostringstream out, err;
    ServeRun r;
    r.status = replay::runCommandLine(static_cast<int>(argv.size()), argv.data(), out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

TEST(ServeCommand, RefusesWhatItCannotServeBeforeListening) {
    if (chartLibraryText().empty()) {
        GTEST_SKIP() << "serve needs the chart library: run scripts/setup-web";
    }
    const std::string sample = std::string(KEELMARK_SAMPLE_DIR) + "/NQ_5min_sample.csv";
    const ServeRun missing = serve({"--bars", "/no/such/bars.csv", "--port", "0"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("/no/such/bars.csv"), std::string::npos) << missing.err;
    EXPECT_EQ(missing.out.find("open http"), std::string::npos);

    const ServeRun port = serve({"--bars", sample, "--port", "70000"});
    EXPECT_EQ(port.status, 2);
    EXPECT_NE(port.err.find("--port"), std::string::npos) << port.err;

    const ServeRun study = serve({"--bars", sample, "--study", "volume-profile"});
    EXPECT_EQ(study.status, 2);

    // Settings are checked before listening: a slot number is ambiguous
    // with both studies shown, a label must be one of theirs, a value must
    // fit its input.
    const ServeRun slot = serve({"--bars", sample, "--port", "0", "--input", "3=30"});
    EXPECT_EQ(slot.status, 2);
    EXPECT_NE(slot.err.find("name the input by its exact label"), std::string::npos) << slot.err;
    const ServeRun label = serve({"--bars", sample, "--port", "0", "--input", "Range=30"});
    EXPECT_EQ(label.status, 2);
    EXPECT_NE(label.err.find("neither study has an input"), std::string::npos) << label.err;
    const ServeRun value =
        serve({"--bars", sample, "--port", "0", "--input", "Opening Range Minutes=thirty"});
    EXPECT_EQ(value.status, 2);
    EXPECT_NE(value.err.find("Opening Range Minutes"), std::string::npos) << value.err;
    EXPECT_EQ(value.out.find("open http"), std::string::npos);

    ServedChart taken;
    const ServeRun busy = serve({"--bars", sample, "--port", std::to_string(taken.port())});
    EXPECT_EQ(busy.status, 2);
    EXPECT_NE(busy.err.find("cannot listen on 127.0.0.1 port " + std::to_string(taken.port())),
              std::string::npos)
        << busy.err;
    // The server that holds the port still answers.
    EXPECT_EQ(taken.get("/api/sessions/0/chart?from=0&to=1").status, 404);
}

}  // namespace
}  // namespace keelmark::test
