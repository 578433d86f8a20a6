// keelmark-replay over several bar files at once: each file's outputs in
// --out-dir are byte for byte those of the file run on its own, one line per
// file and a total, a failing file reported while the others go on, and the
// refusals that keep one file's outputs from landing on another's.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "run_outputs/html_output.h"
#include "tests/replay/replay_cli.h"

namespace keelmark {
namespace {

using test::CliResult;
using test::runReplayCli;
using test::samplePath;
using test::ScratchFolder;

// The sample files, and a short file of its own that starts mid-session.
std::vector<std::string> barFiles(const ScratchFolder& folder) {
    return {samplePath("NQ_1min_sample.csv"), samplePath("NQ_5min_sample.csv"),
            samplePath("NQ_1hour_sample.csv"),
            folder.write("short.txt",
                         "Date, Time, Open, High, Low, Last, Volume\n"
                         "2023/11/20, 09:45:00, 1, 2, 0.5, 1.5, 10\n"
                         "2023/11/20, 09:46:00, 1.5, 2.25, 1, 2, 12\n"
                         "2023/11/21, 09:30:00, 2, 3, 1.75, 2.5, 7\n")};
}

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string stemOf(const std::string& path) { return std::filesystem::path(path).stem().string(); }

struct Case {
    std::vector<std::string> command;  // the subcommand and its options, without files
    std::vector<std::string> outputs;  // file extensions
};

TEST(SeveralBarFiles, EachFilesOutputsEqualThoseOfTheFileRunAlone) {
    std::vector<std::string> outputs{"csv", "json"};
    if (!replay::findChartLibrary().empty()) {
        outputs.push_back("html");
    }
    std::string outputList;
    for (const std::string& o : outputs) {
        outputList += (outputList.empty() ? "" : ",") + o;
    }
    const Case cases[] = {
        {{"run", "--study", "session-levels"}, outputs},
        {{"run", "--study", "anchored-vwap", "--mode", "live", "--anchor", "2023-11-20 09:45"},
         outputs},
        {{"verify", "--study", "session-levels", "--html-bars", "all"}, outputs},
    };
    for (const Case& c : cases) {
        ScratchFolder folder;
        const std::vector<std::string> files = barFiles(folder);
        const std::string dir = folder.file("out");
        std::vector<std::string> batch = joined(c.command, {"--bars"});
        batch = joined(batch, files);
        batch = joined(batch, {"--out-dir", dir, "--outputs", outputList});
        const CliResult all = runReplayCli(batch);
        ASSERT_EQ(all.status, 0) << all.err;
        EXPECT_EQ(all.err, "");

        // One line per file in the order given, then the total.
        std::vector<std::string> lines;
        for (std::size_t at = 0; at < all.out.size();) {
            const std::size_t end = all.out.find('\n', at);
            lines.push_back(all.out.substr(at, end - at));
            at = end + 1;
        }
        ASSERT_EQ(lines.size(), files.size() + 1) << all.out;
        for (std::size_t i = 0; i < files.size(); ++i) {
            EXPECT_EQ(lines[i].rfind(std::filesystem::path(files[i]).filename().string() + ": ", 0),
                      0u)
                << lines[i];
        }
        EXPECT_EQ(lines.back().rfind("4 files, 17906 bars in ", 0), 0u) << lines.back();

        for (const std::string& file : files) {
            const std::string alone = folder.file("alone");
            std::filesystem::create_directories(alone);
            std::vector<std::string> single = joined(c.command, {"--bars", file});
            for (const std::string& ext : c.outputs) {
                single = joined(single, {"--" + ext, alone + "/" + stemOf(file) + "." + ext});
            }
            const CliResult one = runReplayCli(single);
            ASSERT_EQ(one.status, 0) << one.err;
            for (const std::string& ext : c.outputs) {
                const std::string name = stemOf(file) + "." + ext;
                EXPECT_EQ(test::readText(dir + "/" + name), test::readText(alone + "/" + name))
                    << c.command[0] << " " << c.command[2] << ": " << name;
            }
        }
    }
}

TEST(SeveralBarFiles, AFailingFileIsReportedAndTheOthersAreWritten) {
    ScratchFolder folder;
    const std::string bad = folder.write("bad.csv",
                                         "timestamp,open,high,low,close,volume\n"
                                         "2023-11-20 09:30:00,1,2,0.5,1.5,ten\n");
    const std::string dir = folder.file("out");
    const CliResult r = runReplayCli({"run", "--study", "session-levels", "--bars", bad,
                                      samplePath("NQ_1hour_sample.csv"), "--out-dir", dir});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("bad.csv: " + bad + ", line 2: the volume is not a number: \"ten\"\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("2 files, 246 bars in "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(", 1 failed\n"), std::string::npos) << r.out;
    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        written.push_back(entry.path().filename().string());
    }
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"NQ_1hour_sample.csv", "NQ_1hour_sample.json"}));
}

TEST(SeveralBarFiles, OutputsThatWouldMeetAreRefusedBeforeAnyRun) {
    ScratchFolder folder;
    const std::string hour = samplePath("NQ_1hour_sample.csv");
    const std::string copy = folder.write("NQ_1hour_sample.txt", test::readText(hour));
    struct Refusal {
        std::vector<std::string> args;
        std::string err;
    };
    const Refusal refusals[] = {
        {{"--bars", hour, copy, "--out-dir", folder.file("out")},
         "keelmark-replay: bar files " + hour + " and " + copy +
             " would write the same outputs in " + folder.file("out") + "\n"},
        {{"--bars", hour, samplePath("NQ_5min_sample.csv"), "--csv", folder.file("x.csv")},
         "keelmark-replay: with several bar files or --out-dir, each file's outputs are named "
         "after it: use --out-dir DIR [--outputs csv,json,html] instead of --csv, --json, "
         "--html\n"},
        {{"--bars", hour, "--out-dir", std::filesystem::path(hour).parent_path().string()},
         "keelmark-replay: an output would overwrite the bar file " + hour + "\n"},
        {{"--bars", hour, "--html-bars", "0"},
         "keelmark-replay: --html-bars takes a number of bars (at least 1) or all, not "
         "\"0\"\n"},
    };
    for (const Refusal& refusal : refusals) {
        const CliResult r =
            runReplayCli(joined({"run", "--study", "session-levels"}, refusal.args));
        EXPECT_EQ(r.status, 2) << refusal.err;
        EXPECT_EQ(r.err, refusal.err);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(folder.fileNames(), std::vector<std::string>{"NQ_1hour_sample.txt"});
}

}  // namespace
}  // namespace keelmark
