#include "run_outputs/output_files.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace keelmark::replay {

namespace fs = std::filesystem;

// A list that the signal handler can walk: marks are only ever added at the
// head and never freed; a mark is reused once its file is no longer a
// temporary. The handler reads a mark's path only while it is live.
struct TemporaryFileMark {
    std::atomic<int> state{0};  // 0 free, 1 being filled, 2 live
    char* path = nullptr;
    TemporaryFileMark* next = nullptr;
};

namespace {

std::string reasonOf(int error) { return std::generic_category().message(error); }

std::runtime_error cannotWrite(const std::string& path, const std::string& reason) {
    return std::runtime_error("cannot write " + path + ": " + reason);
}

// --- temporaries removed when the process is stopped ---

std::atomic<TemporaryFileMark*> gTemporaries{nullptr};

void removeFile(const char* path) {
#ifdef _WIN32
    std::remove(path);
#else
    ::unlink(path);
#endif
}

void removeTemporariesAndStop(int signal) {
    for (TemporaryFileMark* n = gTemporaries.load(); n != nullptr; n = n->next) {
        if (n->state.load() == 2) {
            removeFile(n->path);
        }
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Installs the handler for SIGINT and SIGTERM, where no other handler is.
void watchStopSignals() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const int signal : {SIGINT, SIGTERM}) {
#ifdef _WIN32
            const auto previous = std::signal(signal, removeTemporariesAndStop);
            if (previous != SIG_DFL) {
                std::signal(signal, previous);
            }
#else
            struct sigaction current {};
            if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
                (current.sa_flags & SA_SIGINFO) == 0) {
                struct sigaction action {};
                action.sa_handler = removeTemporariesAndStop;
                sigemptyset(&action.sa_mask);
                sigaction(signal, &action, nullptr);
            }
#endif
        }
    });
}

TemporaryFileMark* rememberTemporary(const std::string& path) {
    watchStopSignals();
    TemporaryFileMark* node = nullptr;
    for (TemporaryFileMark* n = gTemporaries.load(); n != nullptr && node == nullptr; n = n->next) {
        int free = 0;
        if (n->state.compare_exchange_strong(free, 1)) {
            node = n;
        }
    }
    if (node == nullptr) {
        node = new TemporaryFileMark;
        node->state.store(1);
        node->next = gTemporaries.load();
        while (!gTemporaries.compare_exchange_weak(node->next, node)) {
        }
    }
    std::free(node->path);
    node->path = static_cast<char*>(std::malloc(path.size() + 1));
    if (node->path == nullptr) {
        node->state.store(0);
        throw std::bad_alloc();
    }
    std::memcpy(node->path, path.c_str(), path.size() + 1);
    node->state.store(2);
    return node;
}

void forgetTemporary(TemporaryFileMark* node) {
    if (node != nullptr) {
        node->state.store(0);
    }
}

// --- what a path names ---

bool isStandardOutput(const std::string& path) { return path == kStandardOutputPath; }

}  // namespace

bool sameFile(const std::string& a, const std::string& b) {
    if (isStandardOutput(a) || isStandardOutput(b)) {
        if (a == b) {
            return true;
        }
#ifndef _WIN32
        struct stat out {};
        struct stat other {};
        const std::string& path = isStandardOutput(a) ? b : a;
        return ::fstat(1, &out) == 0 && ::stat(path.c_str(), &other) == 0 &&
               out.st_dev == other.st_dev && out.st_ino == other.st_ino;
#else
        return false;
#endif
    }
    return sameFile(fileIdentity(a), fileIdentity(b));
}

FileIdentity fileIdentity(const std::string& path) {
    FileIdentity id;
    id.path = path;
    std::error_code error;
#ifndef _WIN32
    struct stat found {};
    id.exists = ::stat(path.c_str(), &found) == 0;
    id.device = static_cast<std::uint64_t>(found.st_dev);
    id.inode = static_cast<std::uint64_t>(found.st_ino);
#else
    id.exists = fs::exists(path, error);
#endif
    if (!id.exists) {
        id.resolved = fs::weakly_canonical(fs::absolute(path, error), error).string();
    }
    return id;
}

bool sameFile(const FileIdentity& a, const FileIdentity& b) {
    if (a.exists != b.exists) {
        return false;
    }
    if (!a.exists) {
        return a.resolved == b.resolved;
    }
#ifndef _WIN32
    return a.device == b.device && a.inode == b.inode;
#else
    std::error_code error;
    return fs::equivalent(a.path, b.path, error);
#endif
}

namespace {

// Written through rather than replaced: devices, FIFOs and the like.
bool isWrittenThrough(const fs::file_status& status) {
    return status.type() == fs::file_type::character || status.type() == fs::file_type::fifo ||
           status.type() == fs::file_type::socket;
}

fs::path folderOf(const fs::path& path) {
    const fs::path parent = path.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

void checkWritable(const std::string& path, const fs::path& target) {
    std::error_code error;
    const fs::file_status status = fs::status(target, error);
    if (status.type() == fs::file_type::directory) {
        throw OutputPathError(path + " is a directory, not a file");
    }
    if (status.type() == fs::file_type::block) {
        throw OutputPathError(path + " is a block device: outputs go to files");
    }
    if (isWrittenThrough(status)) {
        return;
    }
    if (status.type() == fs::file_type::regular) {
        if ((status.permissions() & (fs::perms::owner_write | fs::perms::group_write |
                                     fs::perms::others_write)) == fs::perms::none) {
            throw OutputPathError("cannot write " + path + ": the file is read-only");
        }
#ifndef _WIN32
        if (::access(target.c_str(), W_OK) != 0) {
            throw OutputPathError("cannot write " + path + ": " + reasonOf(errno));
        }
#endif
    } else if (status.type() != fs::file_type::not_found) {
        throw OutputPathError(path + " is neither a file nor a device");
    }
    // The temporary goes beside the file, and the file is renamed into place.
    const fs::path folder = folderOf(target);
    const fs::file_status folderStatus = fs::status(folder, error);
    if (folderStatus.type() == fs::file_type::not_found) {
        throw OutputPathError("cannot write " + path + ": " + reasonOf(ENOENT));
    }
    if (folderStatus.type() != fs::file_type::directory) {
        throw OutputPathError("cannot write " + path + ": " + reasonOf(ENOTDIR));
    }
#ifndef _WIN32
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        throw OutputPathError("cannot write " + path + ": " + reasonOf(errno));
    }
    // In a shared folder (sticky, as /tmp) only the owner of a file may
    // replace it.
    struct stat folderInfo {};
    struct stat fileInfo {};
    if (::geteuid() != 0 && ::stat(folder.c_str(), &folderInfo) == 0 &&
        (folderInfo.st_mode & S_ISVTX) != 0 && folderInfo.st_uid != ::geteuid() &&
        ::stat(target.c_str(), &fileInfo) == 0 && fileInfo.st_uid != ::geteuid()) {
        throw OutputPathError("cannot write " + path +
                              ": it belongs to another user in a shared folder");
    }
#endif
}

// The file an output path writes: a symbolic link's target, otherwise the
// path itself.
fs::path targetOf(const std::string& path) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(path, error))) {
        return path;
    }
    const fs::path target = fs::canonical(path, error);
    if (error && fs::exists(fs::status(path, error))) {
        return path;  // a link the system resolves itself, as /dev/stdout to a pipe
    }
    if (error) {
        throw OutputPathError(path + " is a symbolic link to " +
                              fs::read_symlink(path, error).string() + ", which does not exist");
    }
    return target;
}

// A new file of our own, never one already there; returns its name.
std::string createTemporary(const fs::path& near, const char* suffix) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
#ifdef _WIN32
        const std::string name = near.string() + "." + std::to_string(counter++) + suffix;
        std::error_code error;
        if (fs::exists(name, error)) {
            continue;
        }
        std::ofstream created(name, std::ios::binary);
        if (!created) {
            throw std::system_error(errno, std::generic_category());
        }
        return name;
#else
        const std::string name = near.string() + "." + std::to_string(::getpid()) + "-" +
                                 std::to_string(counter++) + suffix;
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return name;
        }
        if (errno != EEXIST) {
            throw std::system_error(errno, std::generic_category());
        }
#endif
    }
    throw std::system_error(EEXIST, std::generic_category());
}

// Copies the staged text to where it goes, through the file as it is.
void copyThrough(const std::string& from, const std::string& path, const fs::path& target) {
#ifdef _WIN32
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(target, std::ios::binary);
    if (!out) {
        throw cannotWrite(path, reasonOf(errno));
    }
    out << in.rdbuf();
    out.close();
    if (!out) {
        throw cannotWrite(path, reasonOf(errno));
    }
#else
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        throw cannotWrite(path, reasonOf(errno));
    }
    const int out = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        throw cannotWrite(path, reasonOf(error));
    }
    char buffer[1 << 16];
    int error = 0;
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            break;
        }
        for (ssize_t done = 0; done < got && error == 0;) {
            const ssize_t put = ::write(out, buffer + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno != EINTR) {
                error = errno;
            } else if (put > 0) {
                done += put;
            }
        }
        if (error != 0) {
            break;
        }
    }
    ::close(in);
    if (::close(out) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        throw cannotWrite(path, reasonOf(error));
    }
#endif
}

// A file put in place, with how to undo it.
struct Placed {
    fs::path target;
    std::string previous;  // the replaced file kept under this name; empty: there was none
    TemporaryFileMark* previousNode = nullptr;
};

void undo(const std::vector<Placed>& placed) {
    for (auto p = placed.rbegin(); p != placed.rend(); ++p) {
        std::error_code ignored;
        if (p->previous.empty()) {
            fs::remove(p->target, ignored);
        } else {
            fs::rename(p->previous, p->target, ignored);
            forgetTemporary(p->previousNode);
        }
    }
}

}  // namespace

void checkOutputPaths(const std::vector<std::string>& outputs,
                      const std::vector<std::string>& inputs) {
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const std::string& path = outputs[i];
        if (path.empty()) {
            continue;
        }
        for (const std::string& input : inputs) {
            if (!input.empty() && sameFile(path, input)) {
                throw OutputPathError("output " + path + " is the input file " + input +
                                      ", which is never overwritten");
            }
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (!outputs[j].empty() && sameFile(path, outputs[j])) {
                throw OutputPathError("two outputs name the same file: " + outputs[j] + " and " +
                                      path);
            }
        }
        if (!isStandardOutput(path)) {
            checkWritable(path, targetOf(path));
        }
    }
}

OutputFiles::OutputFiles(std::ostream& standardOutput) : standardOutput_(standardOutput) {}

OutputFiles::~OutputFiles() {
    for (const Pending& p : pending_) {
        std::error_code ignored;
        fs::remove(p.temporary, ignored);
    }
    for (TemporaryFileMark* node : marks_) {
        forgetTemporary(node);
    }
}

void OutputFiles::write(const std::string& path, const std::function<void(std::ostream&)>& writer) {
    Pending p;
    p.path = path;
    std::error_code error;
    fs::path near;
    if (isStandardOutput(path)) {
        p.writeThrough = p.toStandardOutput = true;
        near = fs::temp_directory_path(error) / "keelmark-replay-output";
    } else {
        const fs::path target = targetOf(path);
        p.target = target.string();
        p.writeThrough = isWrittenThrough(fs::status(target, error));
        p.toStandardOutput = p.writeThrough && sameFile(path, kStandardOutputPath);
        near = p.writeThrough ? fs::temp_directory_path(error) / "keelmark-replay-output" : target;
    }
    try {
        p.temporary = createTemporary(near, ".partial");
    } catch (const std::system_error& e) {
        throw cannotWrite(path, reasonOf(e.code().value()));
    }
    marks_.push_back(rememberTemporary(p.temporary));
    pending_.push_back(p);

    std::ofstream out(p.temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
        throw cannotWrite(path, reasonOf(errno));
    }
    writer(out);
    out.flush();
    const int flushError = out ? 0 : errno;
    out.close();
    if (!out || flushError != 0) {
        throw cannotWrite(path, reasonOf(flushError != 0 ? flushError : ENOSPC));
    }
    if (!p.writeThrough) {
        // A replaced file keeps its read, write and execute permissions
        // (never set-user-ID and the like, on a file of new contents).
        const fs::file_status old = fs::status(p.target, error);
        if (old.type() == fs::file_type::regular) {
            fs::permissions(p.temporary, old.permissions() & fs::perms::all, error);
        }
    }
}

void OutputFiles::commit() {
    // Devices and standard output first: they cannot be taken back, and
    // nothing has been replaced yet when one of them fails.
    for (const Pending& p : pending_) {
        if (!p.writeThrough) {
            continue;
        }
        if (p.toStandardOutput) {
            std::ifstream in(p.temporary, std::ios::binary);
            if (in.peek() != std::ifstream::traits_type::eof()) {
                standardOutput_ << in.rdbuf();  // inserting nothing would count as failing
            }
            standardOutput_.flush();
            if (!standardOutput_) {
                throw cannotWrite("standard output", reasonOf(errno != 0 ? errno : EIO));
            }
        } else {
            copyThrough(p.temporary, p.path, p.target);
        }
    }
    std::vector<Placed> placed;
    for (const Pending& p : pending_) {
        if (p.writeThrough) {
            continue;
        }
        Placed done{p.target, {}, nullptr};
        std::error_code error;
        const fs::file_status now = fs::symlink_status(p.target, error);
        if (fs::exists(now) && !fs::is_regular_file(now)) {
            undo(placed);
            throw cannotWrite(p.path, "it is no longer a file");
        }
        if (fs::exists(now)) {
            // The file replaced is kept under another name until every
            // output is in place: a hard link when the file system has them.
            try {
                done.previous = createTemporary(p.target, ".previous");
            } catch (const std::system_error& e) {
                undo(placed);
                throw cannotWrite(p.path, reasonOf(e.code().value()));
            }
            fs::remove(done.previous, error);
            fs::create_hard_link(p.target, done.previous, error);
            if (!error) {
                done.previousNode = rememberTemporary(done.previous);
            } else {
                fs::rename(p.target, done.previous, error);
            }
            if (error) {
                undo(placed);
                throw cannotWrite(p.path, error.message());
            }
        }
        fs::rename(p.temporary, p.target, error);
        if (error) {
            std::error_code ignored;
            if (done.previousNode != nullptr) {
                fs::remove(done.previous, ignored);  // a second name of the file, still in place
                forgetTemporary(done.previousNode);
            } else if (!done.previous.empty()) {
                fs::rename(done.previous, p.target, ignored);
            }
            undo(placed);
            throw cannotWrite(p.path, error.message());
        }
        placed.push_back(done);
    }
    for (const Placed& p : placed) {
        if (!p.previous.empty()) {
            std::error_code ignored;
            fs::remove(p.previous, ignored);
            forgetTemporary(p.previousNode);
        }
    }
    for (const Pending& p : pending_) {
        std::error_code ignored;
        if (p.writeThrough) {
            fs::remove(p.temporary, ignored);
        }
    }
    pending_.clear();
    for (TemporaryFileMark* mark : marks_) {
        forgetTemporary(mark);
    }
    marks_.clear();
}

}  // namespace keelmark::replay
