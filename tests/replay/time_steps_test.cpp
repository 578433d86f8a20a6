// Bar times that step back, as a local clock repeats an hour when daylight
// saving time ends: the host's date-time lookup gives the same bar for the
// same date-time as bars are appended, so that an anchor in or around the
// repeated hour never moves and verify passes; a live run whose committed
// bars change says so and fails; the status line read at the end counts
// the anchors drawn.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "standin_host/chart_host.h"
#include "standin_host/clock_text.h"
#include "tests/replay/replay_cli.h"
#include "tests/support/sample_bars.h"

namespace keelmark {
namespace {

using test::CliResult;
using test::runReplayCli;
using test::samplePath;
using test::ScratchFolder;

constexpr ChartDateTime kMinute = 60'000'000;

ChartDateTime at(std::int32_t month, std::int32_t day, std::int32_t hour, std::int32_t minute,
                 std::int32_t second = 0) {
    return replay::civilDateTime(2023, month, day, hour, minute, second);
}

// New York clock times of 1-minute bars: around the start of daylight
// saving time (02:00 to 02:59 never happen) and around its end (01:00 to
// 01:59 happen twice).
std::vector<ChartDateTime> localClockAcrossBothChanges() {
    std::vector<ChartDateTime> times;
    for (ChartDateTime t = at(3, 11, 22, 0); t < at(3, 12, 5, 0); t += kMinute) {
        if (t < at(3, 12, 2, 0) || t >= at(3, 12, 3, 0)) {
            times.push_back(t);
        }
    }
    for (ChartDateTime t = at(11, 4, 22, 0); t < at(11, 5, 2, 0); t += kMinute) {
        times.push_back(t);
    }
    for (ChartDateTime t = at(11, 5, 1, 0); t < at(11, 5, 5, 0); t += kMinute) {
        times.push_back(t);
    }
    return times;
}

std::size_t indexOf(const std::vector<ChartDateTime>& times, ChartDateTime t) {
    return static_cast<std::size_t>(std::find(times.begin(), times.end(), t) - times.begin());
}

TEST(TimeSteps, TheLookupGivesTheSameBarAsBarsAreAppended) {
    std::vector<ChartDateTime> times = localClockAcrossBothChanges();
    // Two bars that start at the same time share one span.
    times.insert(times.begin() + static_cast<std::ptrdiff_t>(indexOf(times, at(11, 5, 0, 30))),
                 at(11, 5, 0, 30));
    // The first of the two 01:31 bars.
    const std::size_t firstCopy = indexOf(times, at(11, 5, 1, 31));
    EXPECT_EQ(replay::barIndexForDateTime(times, at(11, 5, 1, 31)),
              static_cast<std::int32_t>(firstCopy));
    EXPECT_EQ(replay::barIndexForDateTime(times, at(11, 5, 1, 59, 30)),
              static_cast<std::int32_t>(indexOf(times, at(11, 5, 1, 59))));

    replay::StudyInstance host(nullptr);
    host.setBars({});
    std::vector<ChartDateTime> probes;
    for (ChartDateTime t = at(11, 4, 23, 59); t <= at(11, 5, 2, 2); t += kMinute / 2) {
        probes.push_back(t);
    }
    probes.push_back(at(3, 12, 2, 30));  // in the hour that never happens
    std::vector<std::int32_t> settled(probes.size(), -2);
    for (std::size_t n = 0; n < times.size(); ++n) {
        replay::Bar bar;
        bar.start = times[n];
        host.appendBar(bar);
        for (std::size_t p = 0; p < probes.size(); ++p) {
            const std::int32_t found = host.barIndexAtOrBefore(probes[p]);
            ASSERT_EQ(found, replay::barIndexForDateTime(
                                 std::span<const ChartDateTime>(times.data(), n + 1), probes[p]));
            if (found >= 0 && times[static_cast<std::size_t>(found)] != times[n]) {
                // Once the bar named is not among the last bars of the
                // chart, the answer never changes.
                if (settled[p] == -2) {
                    settled[p] = found;
                }
                ASSERT_EQ(found, settled[p])
                    << replay::formatDateTime(probes[p]) << " with " << n + 1 << " bars";
            }
        }
    }
    // Bar times in order: the last bar that starts at or before the time.
    const std::vector<ChartDateTime> inOrder = {at(1, 2, 9, 30), at(1, 2, 9, 35), at(1, 3, 9, 30)};
    EXPECT_EQ(replay::barIndexForDateTime(inOrder, at(1, 2, 9, 29)), -1);
    EXPECT_EQ(replay::barIndexForDateTime(inOrder, at(1, 2, 9, 30)), 0);
    EXPECT_EQ(replay::barIndexForDateTime(inOrder, at(1, 2, 23, 0)), 1);
    EXPECT_EQ(replay::barIndexForDateTime(inOrder, at(1, 9, 0, 0)), 2);
}

std::string barsText(const std::vector<ChartDateTime>& times) {
    std::string text = "timestamp,open,high,low,close,volume\n";
    float price = 15000;
    for (std::size_t i = 0; i < times.size(); ++i) {
        const float close = price + static_cast<float>(static_cast<int>(i * 7 % 5) - 2) * 0.25f;
        text += replay::formatDateTime(times[i]) + "," + std::to_string(price) + "," +
                std::to_string(std::max(price, close) + 0.5f) + "," +
                std::to_string(std::min(price, close) - 0.25f) + "," + std::to_string(close) + "," +
                std::to_string(100 + i % 13) + "\n";
        price = close;
    }
    return text;
}

TEST(TimeSteps, VerifyPassesWithAnchorsInAndAroundTheRepeatedHour) {
    ScratchFolder folder;
    const std::string bars = folder.write("new-york.csv", barsText(localClockAcrossBothChanges()));
    for (const char* anchor : {"2023-11-05 01:31", "2023-11-05 01:00", "2023-11-05 00:59:30",
                               "2023-11-05 01:59:30", "2023-11-05 02:00", "2023-03-12 02:30"}) {
        const CliResult r = runReplayCli({"verify", "--study", "anchored-vwap", "--bars", bars,
                                          "--anchor", "2023-11-04 23:00", "--anchor", anchor});
        EXPECT_EQ(r.status, 0) << anchor << "\n" << r.out << r.err;
        EXPECT_NE(r.out.find("  mismatches: 0\nverify: PASSED\n"), std::string::npos) << r.out;
    }
    const CliResult live =
        runReplayCli({"run", "--mode", "live", "--study", "anchored-vwap", "--bars", bars,
                      "--anchor", "2023-11-05 01:31", "--json", folder.file("live.json")});
    EXPECT_EQ(live.status, 0) << live.out << live.err;
    const auto json = nlohmann::json::parse(test::readText(folder.file("live.json")));
    EXPECT_TRUE(json["replay"]["barsChangedAfterCommit"].empty());
    // The anchor stands on the first of the two 01:31 bars.
    EXPECT_EQ(json["replay"]["anchorCommands"][0]["barIndex"],
              indexOf(localClockAcrossBothChanges(), at(11, 5, 1, 31)));
}

// A bar that starts 15 minutes before the one above it, inside the sample.
TEST(TimeSteps, VerifyPassesWithABarThatStepsBackAQuarterOfAnHour) {
    ScratchFolder folder;
    std::string text = test::readText(samplePath("NQ_5min_sample.csv"));
    const std::string row = "2023-11-23 08:15:00,";
    const std::size_t at815 = text.find(row);
    ASSERT_NE(at815, std::string::npos);
    const std::size_t next = text.find('\n', at815) + 1;
    std::string stepBack = text.substr(at815, next - at815);
    stepBack.replace(0, row.size(), "2023-11-23 08:00:00,");
    text.insert(next, stepBack);
    const std::string bars = folder.write("step-back.csv", text);
    for (const char* anchor : {"2023-11-23 08:00", "2023-11-23 08:02", "2023-11-23 08:15"}) {
        const CliResult r = runReplayCli(
            {"verify", "--study", "anchored-vwap", "--bars", bars, "--anchor", anchor});
        EXPECT_EQ(r.status, 0) << anchor << "\n" << r.out << r.err;
    }
}

// A study that repaints on purpose: the live run still writes its outputs,
// says what changed and exits 1; a full run has nothing to compare.
TEST(TimeSteps, ALiveRunWhoseCommittedBarsChangedExitsOneAndSaysSo) {
    ScratchFolder folder;
    const std::string bars = samplePath("NQ_1hour_sample.csv");
    const CliResult live =
        runReplayCli({"run", "--mode", "live", "--study", "session-levels", "--bars", bars,
                      "--module", KEELMARK_REPAINTING_MODULE, "--json", folder.file("live.json")});
    EXPECT_EQ(live.status, 1) << live.err;
    EXPECT_NE(live.out.find("  REPAINTED: 244 bars changed after being committed (the first: "
                            "bar 0, 2023-11-19 18:00:00); the live values differ from a full "
                            "recalculation\n"),
              std::string::npos)
        << live.out;
    const auto json = nlohmann::json::parse(test::readText(folder.file("live.json")));
    EXPECT_EQ(json["replay"]["barsChangedAfterCommit"].size(), 244u);
    const CliResult full = runReplayCli({"run", "--study", "session-levels", "--bars", bars,
                                         "--module", KEELMARK_REPAINTING_MODULE});
    EXPECT_EQ(full.status, 0) << full.err;
    EXPECT_EQ(full.out.find("REPAINTED"), std::string::npos);
}

// The status line is written by full recalculations; anchors set by menu
// commands are followed by one, so the last status line counts them.
TEST(TimeSteps, TheLastStatusLineCountsTheAnchorsOnTheChart) {
    for (const char* mode : {"full", "live"}) {
        ScratchFolder folder;
        const CliResult r = runReplayCli(
            {"run", "--mode", mode, "--study", "anchored-vwap", "--bars",
             samplePath("NQ_5min_sample.csv"), "--anchor", "2023-11-20 09:30", "--anchor",
             "2023-11-27 09:30", "--anchor", "2023-12-01 09:30", "--json", folder.file("r.json")});
        ASSERT_EQ(r.status, 0) << r.err;
        const auto json = nlohmann::json::parse(test::readText(folder.file("r.json")));
        const std::string last = json["log"].back()["text"];
        EXPECT_NE(last.find("| anchors on the chart 3 of 8 |"), std::string::npos)
            << mode << ": " << last;
        EXPECT_NE(r.out.find("anchors on the chart 3 of 8"), std::string::npos) << r.out;
    }
}

}  // namespace
}  // namespace keelmark
