// keelmark-replay end to end on the bundled sample: both studies, both
// modes, the CSV read back against a study instance driven directly,
// verify, inputs, anchors, period and time-zone options, and the refusals.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "replay_engine/time_zone_conversion.h"
#include "standin_host/chart_host.h"
#include "standin_host/clock_text.h"
#include "tests/replay/replay_cli.h"
#include "tests/support/module_fixture.h"
#include "tests/support/sample_bars.h"

namespace keelmark {
namespace {

using replay::StudyInstance;
using test::CliResult;
using test::runReplayCli;
using test::samplePath;
using test::ScratchFolder;

float parsedFloat(const std::string& text) {
    float v = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), v);
    EXPECT_TRUE(result.ec == std::errc() && result.ptr == text.data() + text.size()) << text;
    return v;
}

// Every cell of the CSV equals, bit for bit, what the host holds for the
// study instance: bars, series values under their run-time names and, for
// Session Levels, the session number.
void expectCsvHoldsTheHostValues(const std::string& csvPath, const StudyInstance& study,
                                 bool sessionNumbers) {
    const auto rows = test::readCsvRows(csvPath);
    const std::size_t bars = study.bars().size();
    ASSERT_EQ(rows.size(), bars + 1);
    std::vector<std::string> header = {"DateTime", "Open", "High", "Low", "Close", "Volume"};
    for (std::int32_t slot = 0; slot < study.declaredOutputCount(); ++slot) {
        header.push_back(study.outputName(slot));
    }
    if (sessionNumbers) {
        header.push_back("SessionNumber");
    }
    ASSERT_EQ(rows[0], header);
    for (std::size_t bar = 0; bar < bars; ++bar) {
        const auto& row = rows[bar + 1];
        ASSERT_EQ(row.size(), header.size()) << "bar " << bar;
        const replay::Bar& b = study.bars()[bar];
        ASSERT_EQ(row[0], replay::formatDateTime(b.start));
        const float prices[] = {b.open, b.high, b.low, b.close, b.volume};
        for (std::size_t i = 0; i < 5; ++i) {
            ASSERT_EQ(parsedFloat(row[1 + i]), prices[i]) << "bar " << bar << " " << header[1 + i];
        }
        for (std::int32_t slot = 0; slot < study.declaredOutputCount(); ++slot) {
            const std::string& cell = row[6 + static_cast<std::size_t>(slot)];
            ASSERT_EQ(
                std::bit_cast<std::uint32_t>(parsedFloat(cell)),
                std::bit_cast<std::uint32_t>(study.value(slot, static_cast<std::int32_t>(bar))))
                << "bar " << bar << " " << header[6 + static_cast<std::size_t>(slot)] << " "
                << cell;
        }
        if (sessionNumbers) {
            ASSERT_EQ(parsedFloat(row.back()),
                      study.extraValue(0, 0, static_cast<std::int32_t>(bar)));
        }
    }
}

std::int32_t anchorMenuId(const StudyInstance& study) {
    for (const replay::MenuItem& item : study.menuItems()) {
        if (item.text == "Anchor VWAP Here") {
            return item.id;
        }
    }
    return -1;
}

TEST(CommandLine, SessionLevelsCsvHoldsTheValuesTheHostHolds) {
    ScratchFolder folder;
    const CliResult r = runReplayCli(
        {"run", "--study", "session-levels", "--bars", samplePath("NQ_1min_sample.csv"), "--input",
         "Show OR Extensions=yes", "--input", "IB Extension 2 (x IB range, 0 = off)=0.25", "--csv",
         folder.file("levels.csv")});
    ASSERT_EQ(r.status, 0) << r.err;

    StudyInstance study(test::testModule().sessionLevels());
    study.setPriceFormat(2);
    study.defaultsPass();
    study.setIntInput(15, 1);
    study.setFloatInput(6, 0.25f);
    study.setBars(test::loadSampleBars("NQ_1min_sample.csv"));
    study.fullRecalculation();
    EXPECT_EQ(study.outputName(8), "IB +0.25x");
    expectCsvHoldsTheHostValues(folder.file("levels.csv"), study, true);
    study.finalCall();
}

// The live replay's CSV against a plain full recalculation followed by the
// same menu commands: the feed must not change a single committed value.
TEST(CommandLine, AnchoredVwapLiveCsvEqualsFullRecalculationWithTheSameAnchors) {
    ScratchFolder folder;
    const CliResult r = runReplayCli(
        {"run", "--study", "anchored-vwap", "--bars", samplePath("NQ_5min_sample.csv"), "--mode",
         "live", "--warmup", "100", "--anchor", "2023-11-27 09:32:30", "--anchor",
         "2023-11-20 09:30", "--input", "Show Standard Deviation Bands=yes", "--csv",
         folder.file("vwap.csv"), "--json", folder.file("vwap.json")});
    ASSERT_EQ(r.status, 0) << r.err;

    StudyInstance study(test::testModule().anchoredVwap());
    study.defaultsPass();
    study.setIntInput(9, 1);
    const std::vector<replay::Bar> bars = test::loadSampleBars("NQ_5min_sample.csv");
    study.setBars(bars);
    study.fullRecalculation();
    const std::int32_t monday = study.barIndexAtOrBefore(test::chartTime(2023, 11, 27, 9, 30));
    const std::int32_t firstMonday = study.barIndexAtOrBefore(test::chartTime(2023, 11, 20, 9, 30));
    study.menuCommand(anchorMenuId(study), monday);
    study.menuCommand(anchorMenuId(study), firstMonday);
    expectCsvHoldsTheHostValues(folder.file("vwap.csv"), study, false);

    // The anchors fell on the bars at or before their times, in the order
    // given, and each left its marker.
    const auto json = nlohmann::json::parse(test::readText(folder.file("vwap.json")));
    EXPECT_EQ(json["replay"]["anchorCommands"][0]["barIndex"], monday);
    EXPECT_EQ(json["replay"]["anchorCommands"][0]["barTime"], "2023-11-27 09:30:00");
    EXPECT_EQ(json["replay"]["anchorCommands"][1]["barIndex"], firstMonday);
    EXPECT_EQ(json["inputs"][0]["used"]["text"], "2023-11-27 09:30:00");
    EXPECT_EQ(json["inputs"][1]["used"]["text"], "2023-11-20 09:30:00");
    ASSERT_EQ(json["drawings"].size(), 2u);
    EXPECT_EQ(json["drawings"][0]["text"], "^ AVWAP 1  11-27 09:30");
    EXPECT_EQ(json["drawings"][0]["barIndex"], monday);
    EXPECT_EQ(json["drawings"][1]["text"], "^ AVWAP 2  11-20 09:30");
    EXPECT_EQ(json["replay"]["barsChangedAfterCommit"].size(), 0u);
    EXPECT_EQ(json["calls"]["menuCommands"], 2);
    EXPECT_EQ(json["calls"]["incrementalUpdates"], 4 * (bars.size() - 100));
    EXPECT_EQ(json["menuItems"].size(), 3u);
    study.finalCall();
}

// The CSV a successful run writes to `name` in `folder`.
std::string csvOfRun(ScratchFolder& folder, std::vector<std::string> args,
                     const std::string& name) {
    args.insert(args.end(), {"--csv", folder.file(name)});
    const CliResult r = runReplayCli(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return test::readText(folder.file(name));
}

TEST(CommandLine, PeriodOptionGivesTheSameChartAsTheCoarserFile) {
    ScratchFolder folder;
    const auto csvOf = [&folder](std::vector<std::string> args, const std::string& name) {
        return csvOfRun(folder, std::move(args), name);
    };
    const std::string oneMinute = samplePath("NQ_1min_sample.csv");
    EXPECT_EQ(
        csvOf({"run", "--study", "session-levels", "--bars", oneMinute, "--period", "60"}, "a.csv"),
        csvOf({"run", "--study", "session-levels", "--bars", samplePath("NQ_1hour_sample.csv")},
              "b.csv"));
    EXPECT_EQ(csvOf({"run", "--study", "anchored-vwap", "--bars", oneMinute, "--period", "30",
                     "--anchor", "2023-11-28 10:00"},
                    "c.csv"),
              csvOf({"run", "--study", "anchored-vwap", "--bars", samplePath("NQ_30min_sample.csv"),
                     "--anchor", "2023-11-28 10:00"},
                    "d.csv"));
}

// One process runs many command lines (the tests, the fuzzer): options a
// run gave must not carry over into the next run, which gives none of them.
TEST(CommandLine, NoOptionCarriesOverIntoTheNextRun) {
    ScratchFolder folder;
    const auto csvOf = [&folder](std::vector<std::string> args, const std::string& name) {
        return csvOfRun(folder, std::move(args), name);
    };
    const std::vector<std::string> plain = {"run", "--study", "session-levels", "--bars",
                                            samplePath("NQ_1hour_sample.csv")};
    const std::string before = csvOf(plain, "before.csv");
    std::vector<std::string> busy = plain;
    busy.insert(busy.end(), {"--input", "Show OR Extensions=yes", "--input",
                             "IB Extension 2 (x IB range, 0 = off)=0.25", "--period", "120",
                             "--mode", "live", "--warmup", "3", "--price-format", "4"});
    EXPECT_NE(csvOf(busy, "busy.csv"), before);
    // A refused command line, stopped part-way through its options, neither.
    EXPECT_EQ(runReplayCli({"run", "--period", "120", "--study", "no-such-study"}).status, 2);
    EXPECT_EQ(csvOf(plain, "after.csv"), before);
}

TEST(CommandLine, VerifyPassesOnTheSampleForBothStudies) {
    const CliResult levels = runReplayCli(
        {"verify", "--study", "session-levels", "--bars", samplePath("NQ_5min_sample.csv"),
         "--input", "Alert Sound Number When Price Touches a Level (0 = off)=2", "--input",
         "Sessions to Show (0 = all)=2"});
    EXPECT_EQ(levels.status, 0) << levels.out << levels.err;
    EXPECT_EQ(levels.out,
              "verify: Keelmark Session Levels, 2943 bars\n"
              "  live replay: 1 bar of warm-up, then 2942 bars fed live; 2 full recalculations, "
              "11767 incremental updates, 0 menu commands\n"
              "  full recalculation: 1 full recalculation, 0 incremental updates, 0 menu commands\n"
              "  compared 76518 values on 2943 bars\n"
              "  mismatches: 0\n"
              "verify: PASSED\n");

    const CliResult vwap =
        runReplayCli({"verify", "--study", "anchored-vwap", "--bars",
                      samplePath("NQ_5min_sample.csv"), "--anchor", "2023-11-30 09:30", "--anchor",
                      "2023-11-19 18:00", "--input", "9=yes", "--input", "Price=Close"});
    EXPECT_EQ(vwap.status, 0) << vwap.out << vwap.err;
    // Each delivery of anchors is followed by a full recalculation.
    EXPECT_NE(vwap.out.find("3 full recalculations, 11767 incremental updates, 2 menu commands\n"
                            "  full recalculation: 2 full recalculations, 0 "
                            "incremental updates, 2 menu commands\n"),
              std::string::npos)
        << vwap.out;
    EXPECT_NE(vwap.out.find("  mismatches: 0\nverify: PASSED\n"), std::string::npos) << vwap.out;
}

TEST(CommandLine, SummaryAndJsonDescribeTheRun) {
    ScratchFolder folder;
    const CliResult r = runReplayCli(
        {"run", "--study", "session-levels", "--bars", samplePath("NQ_30min_sample.csv"), "--input",
         "3=30", "--input", "Panel Position=Top right", "--json", folder.file("levels.json")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind(
                  "Keelmark Session Levels\n  module: Keelmark Session Levels, version 2927 (", 0),
              0u)
        << r.out;
    for (const char* line :
         {"\n  bars:   491 from NQ_30min_sample.csv, 2023-11-19 18:00:00 to 2023-12-04 16:30:00\n",
          "\n  replay: full, 3 calls: 1 defaults pass, 1 full recalculation, 0 incremental "
          "updates, 0 menu commands, 1 final call\n",
          "\n  panel:\n    SESSION LEVELS\n    Outside RTH: OR and IB start at the RTH open\n",
          "\n  log:\n    Keelmark Session Levels BUILD ", "\n  alerts: 0\nwrote "}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\nin\n" << r.out;
    }

    const auto json = nlohmann::json::parse(test::readText(folder.file("levels.json")));
    EXPECT_EQ(json["module"]["version"], 2927);
    EXPECT_EQ(json["study"]["name"], "Keelmark Session Levels");
    ASSERT_EQ(json["inputs"].size(), 29u);
    const auto& orMinutes = json["inputs"][3];
    EXPECT_EQ(orMinutes["label"], "Opening Range Minutes");
    EXPECT_EQ(orMinutes["type"], 11);
    EXPECT_EQ(orMinutes["declared"]["text"], "15");
    EXPECT_EQ(orMinutes["used"]["text"], "30");
    EXPECT_EQ(orMinutes["min"], 1);
    EXPECT_EQ(orMinutes["max"], 600);
    EXPECT_EQ(json["inputs"][0]["declared"]["text"], "09:30:00");
    EXPECT_EQ(json["inputs"][25]["used"]["text"], "Top right");
    EXPECT_EQ(json["inputs"][27]["declared"]["text"], "#E6E6E6");
    ASSERT_EQ(json["series"].size(), 25u);
    EXPECT_EQ(json["series"][0], nlohmann::json::parse(R"({"slot":0,"name":"ORH","colour":"#FF8C00",
        "drawStyle":3,"drawKind":3,"linePattern":0,"lineWidth":2,"labelFlags":16653})"));
    EXPECT_EQ(json["series"][7]["name"], "IB -0.5x");
    EXPECT_EQ(json["series"][2]["linePattern"], 2);
    ASSERT_EQ(json["log"].size(), 1u);
    EXPECT_EQ(json["log"][0]["flag"], 0);
    ASSERT_EQ(json["drawings"].size(), 1u);
    const auto& panel = json["drawings"][0];
    EXPECT_EQ(panel["drawingNumber"], 1 + 74'200'000);
    EXPECT_EQ(panel["relativePlacement"], 1);
    EXPECT_EQ(panel["dateTimeDays"], 149.0);
    EXPECT_EQ(panel["price"], 97.0);
    EXPECT_EQ(panel["textAlignment"], 2);
    EXPECT_EQ(panel["fontFace"], "Consolas");
    EXPECT_EQ(panel["fontSize"], 9);
    EXPECT_EQ(panel["textColour"], "#E6E6E6");
    EXPECT_EQ(panel["backgroundColour"], "#202024");
    std::string indentedPanel = "  panel:\n    ";
    for (const char ch : panel["text"].get<std::string>()) {
        indentedPanel += ch == '\n' ? std::string("\n    ") : std::string(1, ch);
    }
    EXPECT_NE(r.out.find(indentedPanel + "\n  log:\n"), std::string::npos) << r.out;
    EXPECT_EQ(json["calls"], nlohmann::json::parse(R"({"defaultsPasses":1,"fullRecalculations":1,
        "incrementalUpdates":0,"menuCommands":0,"finalCalls":1,"total":3})"));
}

TEST(CommandLine, MalformedBarFileIsRefusedAndNoOutputIsWritten) {
    ScratchFolder folder;
    const std::string bars = folder.write("bars.csv",
                                          "timestamp,open,high,low,close,volume\n"
                                          "2023-11-20 09:30:00,1,2,0.5,1.5,10\n"
                                          "2023-11-20 09:31:00,1,2,0.5,1.5,10\n"
                                          "2023-11-20 09:32:00,1,2,0.5,1.5,ten\n");
    const CliResult r = runReplayCli({"run", "--study", "session-levels", "--bars", bars, "--csv",
                                      folder.file("out.csv"), "--json", folder.file("out.json"),
                                      "--html", folder.file("out.html")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              "keelmark-replay: " + bars + ", line 4: the volume is not a number: \"ten\"\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(folder.fileNames(), std::vector<std::string>{"bars.csv"});
}

TEST(CommandLine, OutputsAreWrittenWholeOrNotAtAll) {
    ScratchFolder folder;
    const std::string unwritable = folder.file("missing-folder/levels.json");
    const CliResult r = runReplayCli({"run", "--study", "session-levels", "--bars",
                                      samplePath("NQ_1hour_sample.csv"), "--csv",
                                      folder.file("levels.csv"), "--json", unwritable});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              "keelmark-replay: cannot write " + unwritable + ": No such file or directory\n");
    EXPECT_TRUE(folder.fileNames().empty());
}

// Outputs are first written beside their destination as "<output>.partial";
// a file of that name already there (here the bar file itself), or another
// output of the run, is left alone and each output gets its own content.
TEST(CommandLine, TemporaryFilesNeverTakeTheNameOfAFileAlreadyThere) {
    ScratchFolder folder;
    const std::string bars = folder.write("levels.csv.partial",
                                          "timestamp,open,high,low,close,volume\n"
                                          "2023-11-20 09:30:00,1,2,0.5,1.5,10\n"
                                          "2023-11-20 09:31:00,1,2,0.5,1.5,10\n");
    const std::string barsText = test::readText(bars);
    const CliResult r = runReplayCli(
        {"run", "--study", "session-levels", "--bars", bars, "--csv", folder.file("levels.csv")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::readText(bars), barsText);
    EXPECT_EQ(test::readText(folder.file("levels.csv")).rfind("DateTime,", 0), 0u);

    const CliResult swapped =
        runReplayCli({"run", "--study", "session-levels", "--bars", bars, "--csv",
                      folder.file("out.json.partial"), "--json", folder.file("out.json")});
    ASSERT_EQ(swapped.status, 0) << swapped.err;
    EXPECT_EQ(test::readText(folder.file("out.json")).rfind("{", 0), 0u);
    EXPECT_EQ(test::readText(folder.file("out.json.partial")).rfind("DateTime,", 0), 0u);
    EXPECT_EQ(folder.fileNames(), (std::vector<std::string>{"levels.csv", "levels.csv.partial",
                                                            "out.json", "out.json.partial"}));
}

TEST(CommandLine, TimeZoneConversionAcrossTheEndOfDaylightSaving) {
    ScratchFolder folder;
    const std::string bars = folder.write("utc.csv",
                                          "timestamp,open,high,low,close,volume\n"
                                          "2023-11-05 05:00:00,1,2,0.5,1.5,10\n"
                                          "2023-11-05 06:00:00,1,2,0.5,1.5,10\n"
                                          "2023-11-05 07:00:00,1,2,0.5,1.5,10\n"
                                          "2023-11-06 14:30:00,1,2,0.5,1.5,10\n");
    const CliResult r =
        runReplayCli({"run", "--study", "session-levels", "--bars", bars, "--tz-from", "UTC",
                      "--tz-to", "America/New_York", "--csv", folder.file("levels.csv")});
    if (!replay::timeZonesAvailable()) {
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("--tz-from/--tz-to are not available in this build"),
                  std::string::npos);
        return;
    }
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = test::readCsvRows(folder.file("levels.csv"));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[1][0], "2023-11-05 01:00:00");  // daylight time
    EXPECT_EQ(rows[2][0], "2023-11-05 01:00:00");  // standard time: the hour repeats
    EXPECT_EQ(rows[3][0], "2023-11-05 02:00:00");
    EXPECT_EQ(rows[4][0], "2023-11-06 09:30:00");
}

TEST(CommandLine, UsageErrorsExitTwoWithAMessage) {
    const std::string bars = samplePath("NQ_1hour_sample.csv");
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {{"run", "--study", "session-levels", "--bars", bars, "--tz-from", "UTC"},
         "keelmark-replay: --tz-from and --tz-to go together\n"},
        {{"run", "--study", "session-levels", "--bars", bars, "--anchor", "2023-11-20 09:30"},
         "keelmark-replay: --anchor applies to --study anchored-vwap only\n"},
        {{"run", "--study", "anchored-vwap", "--bars", bars, "--anchor", "2023-11-19 17:59"},
         "keelmark-replay: --anchor 2023-11-19 17:59:00 lies before the first bar "
         "(2023-11-19 18:00:00)\n"},
        {{"run", "--study", "anchored-vwap", "--bars", bars, "--anchor", "yesterday"},
         "keelmark-replay: --anchor \"yesterday\": expected YYYY-MM-DD HH:MM[:SS]\n"},
        {{"run", "--study", "session-levels", "--bars", bars, "--period", "1441"},
         "keelmark-replay: --period takes minutes from 1 to 1440, not 1441\n"},
        {{"run", "--study", "session-levels", "--bars", bars, "--input", "Show Session Panel=ja"},
         "keelmark-replay: --input: \"Show Session Panel\" (input 23) takes yes, no, 1 or 0, "
         "not \"ja\"\n"},
        {{"run", "--study", "session-levels", "--bars", bars + ".missing"},
         "keelmark-replay: cannot open bar file " + bars + ".missing: No such file or directory\n"},
    };
    for (const Case& c : cases) {
        const CliResult r = runReplayCli(c.args);
        EXPECT_EQ(r.status, 2) << c.err;
        EXPECT_EQ(r.err, c.err);
    }
    const CliResult badModule = runReplayCli(
        {"run", "--study", "session-levels", "--bars", bars, "--module", bars + ".so"});
    EXPECT_EQ(badModule.status, 2);
    EXPECT_EQ(badModule.err.rfind("keelmark-replay: cannot load module " + bars + ".so: ", 0), 0u)
        << badModule.err;
    EXPECT_EQ(runReplayCli({"run", "--study", "vwap", "--bars", bars}).status, 2);
    EXPECT_EQ(runReplayCli({"run", "--bars", bars}).status, 2);
    EXPECT_EQ(runReplayCli({}).status, 2);
    const CliResult help = runReplayCli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("verify"), std::string::npos);
}

}  // namespace
}  // namespace keelmark
