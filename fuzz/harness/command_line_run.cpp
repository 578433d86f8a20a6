#include "fuzz/harness/command_line_run.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string_view>
#include <system_error>

#include "fuzz/harness/fuzz_module.h"
#include "replay/command_line.h"

namespace keelmark::fuzz {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMostArguments = 24;
constexpr std::size_t kLongestArgument = 256;
// How many arguments may name a bar file of the scratch folder: a run of
// more files is the same run again, and only counts as new coverage by its
// loop counts. Without the cap a campaign's inputs grow into runs of a dozen
// copies of one file, each read and replayed twice, and its rate falls with
// them.
constexpr std::size_t kMostFixtureMentions = 4;

// A short chart: a Sunday evening, the Monday session's first minutes (with
// a gap before the open), and the Tuesday open, so that sessions, an opening
// range and anchors form. The fuzzer is after the command line, not the
// studies (they have fuzzers of their own), and every input replays these
// bars, most of them twice: a short chart keeps each input quick.
std::string minuteBars() {
    std::string text = "timestamp,open,high,low,close,volume\n";
    const char* const starts[] = {"2023-11-19 18:00", "2023-11-20 09:25", "2023-11-21 09:30"};
    const int counts[] = {3, 14, 4};
    double price = 15890.0;
    for (int block = 0; block < 3; ++block) {
        const int hour = std::atoi(starts[block] + 11);
        const int minute = std::atoi(starts[block] + 14);
        for (int k = 0; k < counts[block]; ++k) {
            const int m = hour * 60 + minute + k;
            char line[128];
            std::snprintf(line, sizeof line, "%.10s %02d:%02d:00,%.2f,%.2f,%.2f,%.2f,%d\n",
                          starts[block], m / 60, m % 60, price, price + 3.5, price - 2.25,
                          price + 1.25, 100 + 7 * k);
            text += line;
            price += (k % 3 == 0) ? -1.75 : 2.5;
        }
    }
    return text;
}

const std::map<std::string, std::string>& fixtures() {
    static const std::map<std::string, std::string> files = {
        {"bars.csv", minuteBars()},
        {"dated.csv",
         "Date, Time, Open, High, Low, Last, Volume\n"
         "2023/11/20, 09:30:00, 15900.25, 15904.5, 15898, 15902.75, 310\n"
         "2023/11/20, 09:31:00, 15902.75, 15903, 15895.5, 15896, 280\n"
         "2023/11/20, 09:32:00, 15896, 15899.25, 15890, 15898.5, 295\n"
         "2023/11/20, 16:00:00, 15898.5, 15910, 15897, 15909.25, 120\n"
         "2023/11/21, 09:30:00, 15911, 15915.75, 15905.5, 15906, 400\n"},
        {"broken.csv",
         "timestamp,open,high,low,close,volume\n"
         "2023-11-20 09:30:00,1,2,0.5,1.5,10\n"
         "2023-11-20 09:31:00,1,2,0.5,1.5,ten\n"},
        {"earlier.csv", "an output of an earlier run\n"},
    };
    return files;
}

std::string readFile(const fs::path& path) {
    std::string text;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return text;
    }
    char block[4096];
    for (ssize_t got; (got = read(fd, block, sizeof block)) > 0;) {
        text.append(block, static_cast<std::size_t>(got));
    }
    close(fd);
    return text;
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// Where the scratch folder goes: the system's folder in memory where there
// is one (every input lists, reads and rewrites the scratch folder), the
// temporary folder otherwise.
fs::path scratchBase() {
    std::error_code failed;
    if (fs::is_directory("/dev/shm", failed) && access("/dev/shm", W_OK | X_OK) == 0) {
        return "/dev/shm";
    }
    return fs::temp_directory_path();
}

// <base>/keelmark-command-line-fuzz-XXXXXX/scratch, made once per process
// and removed at its end.
//
// The kernel tells of every change made in the two folders (inotify): a
// run that created, wrote, moved or removed nothing there leaves the scratch
// folder as the fixtures are, so its files need not be listed, read back and
// restored; most runs are refused or write nothing. A run that did change
// something (or a queue that overflowed) has the folder listed and checked
// in full. Anything made in a new subfolder shows first as the subfolder's
// creation.
struct Sandbox {
    fs::path root;
    fs::path scratch;
    int changes = -1;

    Sandbox() {
        std::string pattern = (scratchBase() / "keelmark-command-line-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::fprintf(stderr, "fuzz: cannot make a scratch folder\n");
            std::abort();
        }
        root = pattern;
        scratch = root / "scratch";
        fs::create_directory(scratch);
        for (const auto& [name, text] : fixtures()) {
            writeFile(scratch / name, text);
        }
        changes = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        constexpr std::uint32_t kChanges = IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB |
                                           IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO |
                                           IN_DELETE_SELF | IN_MOVE_SELF;
        if (changes < 0 || inotify_add_watch(changes, root.c_str(), kChanges) < 0 ||
            inotify_add_watch(changes, scratch.c_str(), kChanges) < 0) {
            std::fprintf(stderr, "fuzz: cannot watch the scratch folder\n");
            std::abort();
        }
    }
    ~Sandbox() {
        close(changes);
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    // Whether anything changed in the folders since the last call.
    bool changed() const {
        bool any = false;
        alignas(inotify_event) char events[4096];
        while (read(changes, events, sizeof events) > 0) {
            any = true;
        }
        return any;
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;
};

const Sandbox& sandbox() {
    static const Sandbox box;
    return box;
}

// No "/" at the start of a path or of an option's value, no "..".
std::string confined(std::string arg) {
    for (std::size_t at = arg.find(".."); at != std::string::npos; at = arg.find("..")) {
        arg.replace(at, 2, "_.");
    }
    std::string out;
    for (const char c : arg) {
        if (c == '/' && (out.empty() || out.back() == '=')) {
            continue;
        }
        out += c;
    }
    return out;
}

bool namesServe(const std::vector<std::string>& args) {
    for (std::string arg : args) {
        std::transform(arg.begin(), arg.end(), arg.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (arg.find("serve") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// A module is loaded from the scratch folder or not at all: a bare name
// would be looked up on the system's library path.
void keepModuleInScratch(std::vector<std::string>& args) {
    constexpr std::string_view kOption = "--module";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == kOption && i + 1 < args.size()) {
            args[i + 1] = "./" + args[i + 1];
            ++i;
        } else if (args[i].rfind("--module=", 0) == 0) {
            args[i].insert(kOption.size() + 1, "./");
        }
    }
}

struct FileState {
    // Regular files by name, with their text when they are fixtures (only
    // theirs is compared).
    std::map<std::string, std::string> files;
    std::set<std::string> others;  // anything else
};

// The entries' names are their paths below the folder, cut from the paths
// the walk gives (fs::relative resolves both paths on the disk: a tenth of
// each execution).
FileState filesIn(const fs::path& folder) {
    FileState state;
    const std::size_t prefix = folder.generic_string().size() + 1;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().generic_string().substr(prefix);
        if (entry.is_regular_file()) {
            state.files[name] =
                fixtures().count(name) != 0 ? readFile(entry.path()) : std::string();
        } else if (!entry.is_directory()) {
            state.others.insert(name);
        }
    }
    return state;
}

// The paths an argument may name, normalised: the argument itself and, for
// "--option=value", the value.
std::vector<std::string> pathsIn(const std::string& arg) {
    std::vector<std::string> paths{fs::path(arg).lexically_normal().generic_string()};
    const std::size_t equals = arg.find('=');
    if (equals != std::string::npos && equals + 1 < arg.size()) {
        paths.push_back(fs::path(arg.substr(equals + 1)).lexically_normal().generic_string());
    }
    return paths;
}

// Whether the arguments name the file (as an argument or an option's value).
bool named(const std::vector<std::string>& args, const std::string& name) {
    for (const std::string& arg : args) {
        for (const std::string& path : pathsIn(arg)) {
            if (path == name) {
                return true;
            }
        }
    }
    return false;
}

// Whether the argument, or the value after its "=", names one of the
// scratch folder's files.
bool namesFixture(const std::string& arg) {
    for (const std::string& path : pathsIn(arg)) {
        if (fixtures().count(path) != 0) {
            return true;
        }
    }
    return false;
}

// The folder --out-dir names, as a relative path ("" when none is given).
std::string outDirOf(const std::vector<std::string>& args) {
    constexpr std::string_view kOption = "--out-dir";
    std::string dir;
    for (std::size_t i = 0; i < args.size(); ++i) {
        // The tool sees each argument up to its first NUL byte.
        const std::string arg = args[i].c_str();
        if (arg == kOption && i + 1 < args.size()) {
            dir = args[++i].c_str();  // the next argument is the value, whatever it looks like
        } else if (arg.rfind(std::string(kOption) + "=", 0) == 0) {
            dir = arg.substr(kOption.size() + 1);
            if (dir.empty() && i + 1 < args.size()) {
                dir = args[++i].c_str();  // "--out-dir=" alone takes the next argument
            }
        }
    }
    if (dir.empty()) {
        return dir;
    }
    // "sub/" is the folder "sub": the outputs' names have no trailing "/".
    std::string normal = fs::path(dir).lexically_normal().generic_string();
    while (normal.size() > 1 && normal.back() == '/') {
        normal.pop_back();
    }
    return normal;
}

// Whether the run was one of several bar files of which some failed: its
// last line is the total, "N files, ..., K failed". The files that did not
// fail are written into --out-dir, as the user asked; the run still exits 2.
bool batchWithFailures(const std::string& out) {
    const std::size_t start = out.rfind('\n', out.size() >= 2 ? out.size() - 2 : 0);
    const std::string last = out.substr(start == std::string::npos ? 0 : start + 1);
    return last.find(" files, ") != std::string::npos && last.size() >= 8 &&
           last.compare(last.size() - 8, 8, " failed\n") == 0;
}

std::string checkFiles(const std::vector<std::string>& args, int status, const FileState& after,
                       bool batchFailed) {
    const std::string outDir = batchFailed ? outDirOf(args) : std::string();
    if (!after.others.empty()) {
        return "left something that is not a file: " + *after.others.begin();
    }
    for (const auto& [name, text] : after.files) {
        const auto fixture = fixtures().find(name);
        const bool isFixture = fixture != fixtures().end();
        // A temporary output is "<output>.partial...": the file's own name
        // says so (an --out-dir may be called anything).
        const std::string fileName = fs::path(name).filename().string();
        if (fileName.find(".partial") != std::string::npos && !isFixture && !named(args, name)) {
            return "a temporary file was left behind: " + name;
        }
        const bool inOutDir = !outDir.empty() && outDir != "." &&
                              name.compare(0, outDir.size() + 1, outDir + "/") == 0;
        if (status == replay::kExitError && !isFixture && !inOutDir) {
            return "a run that failed wrote " + name;
        }
        if (isFixture && text != fixture->second &&
            (status == replay::kExitError || !named(args, name))) {
            return "a run changed " + name + " without being asked to write it";
        }
    }
    for (const auto& [name, text] : fixtures()) {
        if (after.files.count(name) == 0 && (status == replay::kExitError || !named(args, name))) {
            return "a run removed " + name;
        }
    }
    return {};
}

// Back to the fixtures alone, as they were.
void restoreScratch(const FileState& after) {
    const fs::path& scratch = sandbox().scratch;
    for (const auto& entry : fs::directory_iterator(scratch)) {
        if (fixtures().count(entry.path().filename().string()) == 0 || !entry.is_regular_file()) {
            fs::remove_all(entry.path());
        }
    }
    for (const auto& [name, text] : fixtures()) {
        const auto found = after.files.find(name);
        if (found == after.files.end() || found->second != text) {
            fs::remove_all(scratch / name);
            writeFile(scratch / name, text);
        }
    }
}

// Runs in the scratch folder; the working folder is restored afterwards.
class InScratch {
public:
    InScratch() : previous_(fs::current_path()) { fs::current_path(sandbox().scratch); }
    ~InScratch() {
        std::error_code ignored;
        fs::current_path(previous_, ignored);
    }
    InScratch(const InScratch&) = delete;
    InScratch& operator=(const InScratch&) = delete;

private:
    fs::path previous_;
};

}  // namespace

std::vector<std::string> confinedArguments(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t begin = 0;
    std::size_t fixtureMentions = 0;
    while (begin <= text.size() && args.size() < kMostArguments) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string arg =
            confined(std::string(text.substr(begin, std::min(end - begin, kLongestArgument))));
        begin = end + 1;
        if (namesFixture(arg) && ++fixtureMentions > kMostFixtureMentions) {
            continue;  // dropped
        }
        args.push_back(std::move(arg));
    }
    if (namesServe(args)) {
        return {};
    }
    keepModuleInScratch(args);
    return args;
}

std::string runCommandLineBytes(const std::uint8_t* data, std::size_t size) {
    fuzzModule();  // kept loaded, so that each run's load of it costs nothing
    const std::vector<std::string> args = confinedArguments(data, size);
    if (args.empty()) {
        return {};
    }
    std::vector<const char*> argv{"keelmark-replay"};
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    std::ostringstream out, err;
    int status = -1;
    std::string broken;
    sandbox().changed();  // nothing from before this run
    {
        const InScratch inScratch;
        try {
            status = replay::runCommandLine(static_cast<int>(argv.size()), argv.data(), out, err);
        } catch (const std::exception& e) {
            broken = std::string("an exception out of the command line: ") + e.what();
        } catch (...) {
            broken = "an exception out of the command line";
        }
    }
    if (broken.empty() && status != 0 && status != replay::kExitMismatch &&
        status != replay::kExitError) {
        broken = "exit status " + std::to_string(status);
    }
    if (broken.empty() && status == replay::kExitError && err.str().empty()) {
        broken = "exit status 2 without a message";
    }
    if (!sandbox().changed()) {
        return broken;
    }
    for (const auto& entry : fs::directory_iterator(sandbox().root)) {
        if (entry.path() != sandbox().scratch && broken.empty()) {
            broken = "wrote outside the scratch folder: " + entry.path().string();
        }
        if (entry.path() != sandbox().scratch) {
            fs::remove_all(entry.path());
        }
    }
    const FileState after = filesIn(sandbox().scratch);
    if (broken.empty()) {
        broken = checkFiles(args, status, after, batchWithFailures(out.str()));
    }
    restoreScratch(after);
    sandbox().changed();  // the restoring's own changes
    return broken;
}

}  // namespace keelmark::fuzz
