// Options held to the ranges their help states, --module with a plain file
// name, and refusals that carry the system's reason.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "standin_host/module_library.h"
#include "tests/replay/replay_cli.h"

namespace keelmark {
namespace {

namespace fs = std::filesystem;
using test::CliResult;
using test::runReplayCli;
using test::samplePath;
using test::ScratchFolder;

TEST(OptionRanges, NumericOptionsOutsideTheirRangeAreRefused) {
    const std::string bars = samplePath("NQ_1hour_sample.csv");
    struct Case {
        std::vector<std::string> option;
        std::string err;
    };
    const Case cases[] = {
        {{"--price-format", "10"}, "--price-format takes decimals from 0 to 9, not 10"},
        {{"--price-format", "-1"}, "--price-format takes decimals from 0 to 9, not -1"},
        {{"--period", "0"}, "--period takes minutes from 1 to 1440, not 0"},
        {{"--period", "-5"}, "--period takes minutes from 1 to 1440, not -5"},
        {{"--period", "1441"}, "--period takes minutes from 1 to 1440, not 1441"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"run", "--study", "session-levels", "--bars", bars};
        args.insert(args.end(), c.option.begin(), c.option.end());
        const CliResult r = runReplayCli(args);
        EXPECT_EQ(r.status, 2) << c.err;
        EXPECT_EQ(r.err, "keelmark-replay: " + c.err + "\n");
    }
    EXPECT_EQ(
        runReplayCli({"run", "--study", "session-levels", "--bars", bars, "--warmup", "-1"}).status,
        2);
    for (const char* decimals : {"0", "9"}) {
        EXPECT_EQ(runReplayCli({"run", "--study", "session-levels", "--bars", bars,
                                "--price-format", decimals})
                      .status,
                  0);
    }
    EXPECT_EQ(runReplayCli({"run", "--study", "session-levels", "--bars", bars, "--period", "1440"})
                  .status,
              0);
}

// A plain file name is the file in the current directory, never a name for
// the loader to look up in its own search path.
TEST(OptionRanges, AModuleGivenByAPlainFileNameIsTheFileInTheCurrentDirectory) {
    ScratchFolder folder;
    const std::string bars = samplePath("NQ_1hour_sample.csv");
    const std::string built = replay::ModuleLibrary::defaultPath();
    fs::copy_file(built, folder.file("mymod.so"));
    const fs::path cwd = fs::current_path();
    fs::current_path(folder.file(""));
    const CliResult found =
        runReplayCli({"run", "--study", "session-levels", "--bars", bars, "--module", "mymod.so"});
    // A name the loader would find elsewhere (it is loaded already) but that
    // is not in this directory.
    const std::string elsewhere = fs::path(built).filename().string();
    const CliResult missing =
        runReplayCli({"run", "--study", "session-levels", "--bars", bars, "--module", elsewhere});
    fs::current_path(cwd);
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_NE(found.out.find("(./mymod.so)"), std::string::npos) << found.out;
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err.rfind("keelmark-replay: cannot load module ./" + elsewhere + ": ", 0), 0u)
        << missing.err;
}

TEST(OptionRanges, RefusedFilesCarryTheSystemsReason) {
    ScratchFolder folder;
    const CliResult folderAsBars =
        runReplayCli({"run", "--study", "session-levels", "--bars", folder.file("")});
    EXPECT_EQ(folderAsBars.status, 2);
    EXPECT_NE(folderAsBars.err.find(": Is a directory\n"), std::string::npos) << folderAsBars.err;
    const CliResult missing =
        runReplayCli({"run", "--study", "session-levels", "--bars", folder.file("none.csv")});
    EXPECT_EQ(missing.err, "keelmark-replay: cannot open bar file " + folder.file("none.csv") +
                               ": No such file or directory\n");
}

}  // namespace
}  // namespace keelmark
