// Where outputs go: never over an input or another output (compared as
// files, not as text), through devices and FIFOs rather than over them,
// never over a directory or a read-only file, through symbolic links to
// their target, all or none, and no temporaries left when the run is
// stopped. Run as root, and again as an unprivileged user where the
// machine allows.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "run_outputs/output_files.h"
#include "tests/replay/replay_cli.h"
#include "tests/support/sample_bars.h"

#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace keelmark {
namespace {

namespace fs = std::filesystem;
using test::CliResult;
using test::readText;
using test::runReplayCli;
using test::samplePath;
using test::ScratchFolder;

std::vector<std::string> sessionLevels(const std::string& bars) {
    return {"run", "--study", "session-levels", "--bars", bars};
}

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(OutputPaths, AnOutputThatIsTheBarFileUnderAnotherNameIsRefusedBeforeAnythingIsRead) {
    ScratchFolder folder;
    const std::string original = readText(samplePath("NQ_1hour_sample.csv"));
    const std::string bars = folder.write("bars.csv", original);
    fs::create_hard_link(bars, folder.file("hard.csv"));
    fs::create_symlink("bars.csv", folder.file("soft.csv"));
    const fs::path cwd = fs::current_path();
    fs::current_path(folder.file(""));
    const std::vector<std::vector<std::string>> tries = {
        {"--csv", "./bars.csv"},
        {"--json", folder.file("bars.csv")},
        {"--html", folder.file("../") +
                       fs::path(folder.file("")).parent_path().filename().string() + "/bars.csv"},
        {"--csv", "hard.csv"},
        {"--json", "soft.csv"},
        {"--csv", "new.csv", "--json", "hard.csv"},
    };
    for (const auto& outputs : tries) {
        const CliResult r = runReplayCli(with(sessionLevels("bars.csv"), outputs));
        EXPECT_EQ(r.status, 2) << outputs[1];
        EXPECT_NE(r.err.find("is the input file bars.csv, which is never overwritten"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.out, "");
    }
    // A bar file named "-" is that file, although "-" as an output is
    // standard output.
    const std::string dash = folder.write("-", original);
    fs::create_symlink("-", folder.file("dash.csv"));
    const CliResult r = runReplayCli(with(sessionLevels("-"), {"--csv", "dash.csv"}));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("is the input file ./-, which is never overwritten"), std::string::npos)
        << r.err;
    fs::current_path(cwd);
    EXPECT_EQ(readText(bars), original);
    EXPECT_EQ(readText(dash), original);
    EXPECT_EQ(folder.fileNames(),
              (std::vector<std::string>{"-", "bars.csv", "dash.csv", "hard.csv", "soft.csv"}));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder.file("soft.csv"))));
}

TEST(OutputPaths, TwoOutputsThatAreOneFileAreRefused) {
    ScratchFolder folder;
    const std::string bars = samplePath("NQ_1hour_sample.csv");
    const fs::path cwd = fs::current_path();
    fs::current_path(folder.file(""));
    const CliResult notThereYet =
        runReplayCli(with(sessionLevels(bars), {"--csv", "out.csv", "--json", "./out.csv"}));
    EXPECT_EQ(notThereYet.status, 2);
    EXPECT_EQ(notThereYet.err,
              "keelmark-replay: two outputs name the same file: out.csv and ./out.csv\n");
    folder.write("a.csv", "old");
    fs::create_hard_link(folder.file("a.csv"), folder.file("b.json"));
    const CliResult linked =
        runReplayCli(with(sessionLevels(bars), {"--csv", "a.csv", "--json", "b.json"}));
    EXPECT_EQ(linked.status, 2);
    EXPECT_EQ(linked.err, "keelmark-replay: two outputs name the same file: a.csv and b.json\n");
    fs::current_path(cwd);
    EXPECT_EQ(readText(folder.file("a.csv")), "old");
    EXPECT_EQ(folder.fileNames(), (std::vector<std::string>{"a.csv", "b.json"}));
}

TEST(OutputPaths, DirectoriesReadOnlyFilesAndDanglingLinksAreRefusedAndNothingIsWritten) {
    ScratchFolder folder;
    const std::string bars = samplePath("NQ_1hour_sample.csv");
    const std::string kept = folder.write("kept.csv", "old");
    fs::create_directory(folder.file("empty"));
    fs::create_directories(folder.file("full/inside"));
    const std::string readOnly = folder.write("read-only.json", "old");
    fs::permissions(readOnly,
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::create_symlink("nowhere.json", folder.file("dangling.json"));
    struct Case {
        std::string output;
        std::string err;
    };
    const Case cases[] = {
        {folder.file("empty"), folder.file("empty") + " is a directory, not a file"},
        {folder.file("full"), folder.file("full") + " is a directory, not a file"},
        {readOnly, "cannot write " + readOnly + ": the file is read-only"},
        {folder.file("dangling.json"),
         folder.file("dangling.json") +
             " is a symbolic link to nowhere.json, which does not exist"},
        {folder.file("no-folder/out.json"),
         "cannot write " + folder.file("no-folder/out.json") + ": No such file or directory"},
    };
    for (const Case& c : cases) {
        const CliResult r =
            runReplayCli(with(sessionLevels(bars), {"--csv", kept, "--json", c.output}));
        EXPECT_EQ(r.status, 2) << c.output;
        EXPECT_EQ(r.err, "keelmark-replay: " + c.err + "\n");
    }
    EXPECT_EQ(readText(kept), "old");
    EXPECT_EQ(readText(readOnly), "old");
    EXPECT_TRUE(fs::is_empty(folder.file("empty")));
    EXPECT_EQ(folder.fileNames(), (std::vector<std::string>{"dangling.json", "empty", "full",
                                                            "kept.csv", "read-only.json"}));
}

TEST(OutputPaths, ALinkIsFollowedToItsTargetAndStaysALink) {
    ScratchFolder folder;
    const std::string bars = samplePath("NQ_1hour_sample.csv");
    fs::create_directory(folder.file("real"));
    folder.write("real/levels.csv", "old");
    fs::create_symlink("real/levels.csv", folder.file("link.csv"));
    const CliResult r = runReplayCli(with(sessionLevels(bars), {"--csv", folder.file("link.csv")}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder.file("link.csv"))));
    EXPECT_EQ(readText(folder.file("real/levels.csv")).rfind("DateTime,Open,", 0), 0u);
    EXPECT_EQ(folder.fileNames(), (std::vector<std::string>{"link.csv", "real"}));
}

TEST(OutputPaths, StandardOutputTakesTheOutputAndTheSummaryMovesToStandardError) {
    ScratchFolder folder;
    const std::string bars = samplePath("NQ_1hour_sample.csv");
    const CliResult toFile =
        runReplayCli(with(sessionLevels(bars), {"--csv", folder.file("a.csv")}));
    const CliResult toOut = runReplayCli(with(sessionLevels(bars), {"--csv", "-"}));
    ASSERT_EQ(toOut.status, 0) << toOut.err;
    EXPECT_EQ(toOut.out, readText(folder.file("a.csv")));
    EXPECT_EQ(toOut.err.rfind("Keelmark Session Levels\n", 0), 0u) << toOut.err;
    EXPECT_EQ(toOut.err.find("wrote"), std::string::npos) << toOut.err;
    EXPECT_EQ(toFile.out.substr(toFile.out.find("wrote ")), "wrote " + folder.file("a.csv") + "\n");
    EXPECT_EQ(runReplayCli(with(sessionLevels(bars), {"--csv", "-", "--json", "-"})).status, 2);
}

// A failure while the outputs are put in place restores every file already
// replaced, and removes the ones that were new.
TEST(OutputPaths, AFailedCommitRestoresWhatItReplaced) {
    ScratchFolder folder;
    folder.write("a.csv", "old a");
    std::ostringstream standardOutput;
    {
        replay::OutputFiles files(standardOutput);
        files.write(folder.file("a.csv"), [](std::ostream& out) { out << "new a"; });
        files.write(folder.file("new.csv"), [](std::ostream& out) { out << "new"; });
        files.write(folder.file("b.json"), [](std::ostream& out) { out << "new b"; });
        // b.json becomes a folder with something in it after the checks:
        // the rename over it fails.
        fs::create_directories(folder.file("b.json/inside"));
        EXPECT_THROW(files.commit(), std::runtime_error);
    }
    EXPECT_EQ(readText(folder.file("a.csv")), "old a");
    EXPECT_EQ(folder.fileNames(), (std::vector<std::string>{"a.csv", "b.json"}));
}

TEST(OutputPaths, AStagedTemporaryNeverReplacesAFileOfThatName) {
    ScratchFolder folder;
    const std::string bars = samplePath("NQ_1hour_sample.csv");
    folder.write("levels.csv.partial", "someone's");
    const CliResult r =
        runReplayCli(with(sessionLevels(bars), {"--csv", folder.file("levels.csv")}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readText(folder.file("levels.csv.partial")), "someone's");
    EXPECT_EQ(folder.fileNames(), (std::vector<std::string>{"levels.csv", "levels.csv.partial"}));
}

#ifndef _WIN32

// A copy of /dev/null or /dev/full in the scratch folder; false when this
// process may not make device nodes.
bool makeDevice(const std::string& path, unsigned minor) {
    return ::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, minor)) == 0 &&
           ::chmod(path.c_str(), 0666) == 0;
}

bool isCharacterDevice(const std::string& path) {
    return fs::is_character_file(fs::symlink_status(path));
}

// Runs `body` in a child process as the user nobody; its exit status, or
// -1 when that cannot be done here (not root, no such user).
int asNobody(const std::function<int()>& body) {
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || nobody == nullptr) {
        return -1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 ||
            ::setuid(nobody->pw_uid) != 0) {
            ::_exit(99);
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST(OutputPaths, DevicesAreWrittenThroughNeverReplaced) {
    ScratchFolder folder;
    const std::string bars = samplePath("NQ_1hour_sample.csv");
    if (!makeDevice(folder.file("null"), 3) || !makeDevice(folder.file("full"), 7)) {
        GTEST_SKIP() << "device nodes cannot be made here";
    }
    const CliResult toNull =
        runReplayCli(with(sessionLevels(bars), {"--csv", folder.file("null")}));
    EXPECT_EQ(toNull.status, 0) << toNull.err;
    EXPECT_TRUE(isCharacterDevice(folder.file("null")));

    folder.write("a.json", "old");
    const CliResult toFull = runReplayCli(
        with(sessionLevels(bars), {"--json", folder.file("a.json"), "--csv", folder.file("full")}));
    EXPECT_EQ(toFull.status, 2);
    EXPECT_EQ(toFull.err, "keelmark-replay: cannot write " + folder.file("full") +
                              ": No space left on device\n");
    EXPECT_TRUE(isCharacterDevice(folder.file("full")));
    EXPECT_EQ(readText(folder.file("a.json")), "old");
    EXPECT_EQ(folder.fileNames(), (std::vector<std::string>{"a.json", "full", "null"}));
}

TEST(OutputPaths, AFifoIsWrittenThroughToItsReader) {
    ScratchFolder folder;
    const std::string bars = samplePath("NQ_1hour_sample.csv");
    ASSERT_EQ(::mkfifo(folder.file("pipe").c_str(), 0666), 0);
    // The reading end, and a writing end of the test's own that holds the
    // end of the text back until the run is over (whether or not the run
    // wrote to the FIFO).
    const int readEnd = ::open(folder.file("pipe").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(readEnd, 0);
    const int heldOpen = ::open(folder.file("pipe").c_str(), O_WRONLY);
    ASSERT_GE(heldOpen, 0);
    ASSERT_EQ(::fcntl(readEnd, F_SETFL, 0), 0);
    std::string received;
    std::thread reader([&] {
        char buffer[4096];
        for (ssize_t got; (got = ::read(readEnd, buffer, sizeof buffer)) > 0;) {
            received.append(buffer, static_cast<std::size_t>(got));
        }
    });
    const CliResult r = runReplayCli(with(sessionLevels(bars), {"--csv", folder.file("pipe")}));
    ::close(heldOpen);
    reader.join();
    ::close(readEnd);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(runReplayCli(with(sessionLevels(bars), {"--csv", folder.file("a.csv")})).status, 0);
    EXPECT_EQ(received, readText(folder.file("a.csv")));
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(folder.file("pipe"))));
}

// A run stopped by SIGTERM while it writes leaves no temporary behind.
TEST(OutputPaths, TemporariesGoWhenTheRunIsStopped) {
    ScratchFolder folder;
    folder.write("a.csv", "old");
    const pid_t child = ::fork();
    if (child == 0) {
        std::ostringstream standardOutput;
        replay::OutputFiles files(standardOutput);
        files.write(folder.file("a.csv"), [](std::ostream& out) { out << "new"; });
        files.write(folder.file("b.csv"), [](std::ostream& out) {
            out << "half";
            out.flush();
            std::raise(SIGTERM);
        });
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_EQ(readText(folder.file("a.csv")), "old");
    EXPECT_EQ(folder.fileNames(), std::vector<std::string>{"a.csv"});
}

// As a user who owns neither the folder's other files nor the devices: the
// same refusals, devices and FIFOs written through, and a file of another
// user in a shared sticky folder, which cannot be replaced, makes the run
// write none of its outputs.
TEST(OutputPaths, AsAnUnprivilegedUser) {
    ScratchFolder folder;
    const std::string bars = folder.write("bars.csv", readText(samplePath("NQ_1hour_sample.csv")));
    fs::permissions(folder.file(""), fs::perms::all | fs::perms::sticky_bit);
    if (!makeDevice(folder.file("null"), 3)) {
        GTEST_SKIP() << "device nodes cannot be made here";
    }
    const std::string others = folder.write("others.json", "root's");
    fs::permissions(others, fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec |
                                               fs::perms::others_exec));
    const std::string rootOnly = folder.write("root-only.json", "root's");
    auto run = [&](const std::vector<std::string>& outputs) {
        return asNobody([&] { return runReplayCli(with(sessionLevels(bars), outputs)).status; });
    };
    const int toNull = run({"--csv", folder.file("null")});
    if (toNull == -1) {
        GTEST_SKIP() << "not root, or no user nobody";
    }
    EXPECT_EQ(toNull, 0);
    EXPECT_TRUE(isCharacterDevice(folder.file("null")));

    EXPECT_EQ(run({"--csv", folder.file("mine.csv")}), 0);
    const std::string mine = readText(folder.file("mine.csv"));
    EXPECT_EQ(mine.rfind("DateTime,", 0), 0u);

    EXPECT_EQ(run({"--csv", folder.file("./bars.csv")}), 2);
    EXPECT_EQ(run({"--csv", folder.file("mine.csv"), "--json", rootOnly}), 2);
    // Writable, but another user's in a shared sticky folder, where only
    // its owner may replace it: refused, and mine.csv is left as it was.
    std::ofstream(folder.file("mine.csv"), std::ios::trunc) << "nobody's";
    EXPECT_EQ(run({"--csv", folder.file("mine.csv"), "--json", others}), 2);
    EXPECT_EQ(readText(folder.file("mine.csv")), "nobody's");
    EXPECT_EQ(readText(others), "root's");
    EXPECT_EQ(readText(rootOnly), "root's");
    EXPECT_EQ(readText(bars), readText(samplePath("NQ_1hour_sample.csv")));
    EXPECT_EQ(folder.fileNames(), (std::vector<std::string>{"bars.csv", "mine.csv", "null",
                                                            "others.json", "root-only.json"}));
}

#endif

}  // namespace
}  // namespace keelmark
