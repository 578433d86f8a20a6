// keelmark-replay stats on the command line: the terminal table, the CSV and
// JSON it writes (the JSON's aggregates recomputed from the CSV), and the
// refusals, which name what they refuse and leave earlier outputs alone.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/replay/replay_cli.h"

namespace keelmark {
namespace {

using Json = nlohmann::json;
using test::runReplayCli;
using test::samplePath;

// Rows of a CSV without quoted fields, keeping empty fields at the end.
std::vector<std::vector<std::string>> csvRows(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(test::readText(path));
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields(1);
        for (const char c : line) {
            if (c == ',') {
                fields.emplace_back();
            } else {
                fields.back() += c;
            }
        }
        rows.push_back(std::move(fields));
    }
    return rows;
}

TEST(StatsCommand, PrintsTheLadderAndWritesCsvAndJsonWhoseAggregatesFollowFromTheCsv) {
    test::ScratchFolder folder;
    const test::CliResult r =
        runReplayCli({"stats", "--bars", samplePath("NQ_1min_sample.csv"), "--bars",
                      samplePath("NQ_5min_sample.csv"), "--ladder", "0.5,1", "--csv",
                      folder.file("s.csv"), "--json", folder.file("s.json")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("22 RTH sessions from 2 files, 22 complete\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("IB extensions, % of sessions with a complete IB (22)"),
              std::string::npos);
    EXPECT_NE(r.out.find("wrote " + folder.file("s.json")), std::string::npos);

    const auto rows = csvRows(folder.file("s.csv"));
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), rows[0].size());
    }
    ASSERT_EQ(rows.size(), 23u);
    const Json j = Json::parse(test::readText(folder.file("s.json")));
    ASSERT_EQ(j["sessions"].size(), 22u);
    const auto& header = rows[0];
    std::size_t complete = 0;
    for (std::size_t c = 0; c < header.size(); ++c) {
        if (header[c] == "complete") {
            complete = c;
        }
    }
    for (const auto& [column, rate] : j["aggregates"]["rates"].items()) {
        std::size_t c = 0;
        while (c < header.size() && header[c] != column) {
            ++c;
        }
        ASSERT_LT(c, header.size()) << column;
        std::int64_t sessions = 0, holds = 0;
        for (std::size_t row = 1; row < rows.size(); ++row) {
            if (rows[row][complete] == "1" && !rows[row][c].empty()) {
                ++sessions;
                holds += rows[row][c] == "1";
            }
        }
        EXPECT_EQ(rate["sessions"], sessions) << column;
        EXPECT_EQ(rate["holds"], holds) << column;
        if (sessions > 0) {
            EXPECT_DOUBLE_EQ(rate["percent"].get<double>(), 100.0 * holds / sessions) << column;
        }
        // Every CSV cell is the JSON session's value.
        for (std::size_t row = 1; row < rows.size(); ++row) {
            const Json& v = j["sessions"][row - 1][column];
            EXPECT_EQ(rows[row][c], v.is_null() ? "" : std::to_string(v.get<int>())) << column;
        }
    }
    EXPECT_EQ(j["sessions"][0]["file"], samplePath("NQ_1min_sample.csv"));
    EXPECT_EQ(j["sessions"][11]["file"], samplePath("NQ_5min_sample.csv"));
}

TEST(StatsCommand, PeriodAggregatesTheBarsAsRunDoes) {
    // The 1-minute sample in 30-minute bars is the 30-minute sample.
    test::ScratchFolder folder;
    ASSERT_EQ(runReplayCli({"stats", "--bars", samplePath("NQ_1min_sample.csv"), "--period", "30",
                            "--csv", folder.file("aggregated.csv")})
                  .status,
              0);
    ASSERT_EQ(runReplayCli({"stats", "--bars", samplePath("NQ_30min_sample.csv"), "--csv",
                            folder.file("thirty.csv")})
                  .status,
              0);
    auto withoutFile = [](std::vector<std::vector<std::string>> rows) {
        for (auto& row : rows) {
            row.erase(row.begin());
        }
        return rows;
    };
    const auto aggregated = withoutFile(csvRows(folder.file("aggregated.csv")));
    EXPECT_EQ(aggregated.size(), 12u);
    EXPECT_EQ(aggregated, withoutFile(csvRows(folder.file("thirty.csv"))));
}

TEST(StatsCommand, RefusalsNameWhatIsWrongAndLeaveEarlierOutputsAlone) {
    test::ScratchFolder folder;
    const std::string csv = folder.write("kept.csv", "earlier run\n");
    const std::string json = folder.write("kept.json", "{}\n");
    const std::string bad = folder.write("bad.csv",
                                         "timestamp,open,high,low,close,volume\n"
                                         "2024-01-08 09:30:00,1,2,0.5,1.5,10\n"
                                         "2024-01-08 09:31:00,1,2,zero,1.5,10\n");
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::string sample = samplePath("NQ_5min_sample.csv");
    const Case cases[] = {
        {{"--bars", sample, "--ladder", "1,two"},
         "--ladder: \"two\" is not a multiple of the range (a number of 0 or more)"},
        {{"--bars", sample, "--bars", csv},
         "output " + csv + " is the input file " + csv + ", which is never overwritten"},
        {{"--bars", sample, "--period", "1441"}, "--period takes minutes from 1 to 1440, not 1441"},
        {{"--bars", sample, "--tz-from", "America/New_York"}, "--tz-from and --tz-to go together"},
        {{"--bars", sample, "--input", "Initial Balance Minutes=0"},
         "keelmark-replay: --input: \"Initial Balance Minutes\" (input 4) takes a whole number "
         "from "
         "1 to 600, not \"0\"\n"},
        {{"--bars", sample, "--bars", bad},
         "keelmark-replay: " + bad + ", line 3: the low is not a number: \"zero\"\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"stats"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.insert(args.end(), {"--csv", csv, "--json", json});
        const test::CliResult r = runReplayCli(args);
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(test::readText(csv).substr(0, 50), "earlier run\n");
        EXPECT_EQ(test::readText(json).substr(0, 50), "{}\n");
    }
    EXPECT_EQ(folder.fileNames(), (std::vector<std::string>{"bad.csv", "kept.csv", "kept.json"}));
}

}  // namespace
}  // namespace keelmark
