// Output files written all or none.
//
// Before anything is read, checkOutputPaths refuses outputs that are an
// input or another output (the same file after resolving links and
// relative paths, not the same text), directories, read-only files and
// dangling links.
//
// Each output is then staged into a temporary file; commit() puts them all
// in place or, on any failure, none:
// - a regular file (or a path not there yet) is replaced atomically by a
//   rename; a file that was replaced is restored when a later output fails;
// - a character device, a FIFO, a socket or `-` (standard output) is
//   written through once every staged output is complete, never renamed
//   over; one that is the process's standard output (/dev/stdout) is
//   written to it rather than opened again;
// - a symbolic link is followed: the file it points to is written, the
//   link stays.
// Temporaries left uncommitted are removed on destruction and when the
// process is stopped by SIGINT or SIGTERM.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace keelmark::replay {

class OutputPathError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The output path that stands for standard output.
inline constexpr const char* kStandardOutputPath = "-";

// What a path names, found once so that one path can be compared with many
// (several bar files and their outputs, say): the file itself when it
// exists, the resolved path (links and relative parts resolved) when it is
// not there yet. A file that exists is never one that does not.
struct FileIdentity {
    std::string path;  // as given
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::string resolved;  // only when it does not exist
};
FileIdentity fileIdentity(const std::string& path);
bool sameFile(const FileIdentity& a, const FileIdentity& b);

// Whether two paths name the same file, as their identities tell; `-` is
// standard output, which may be a file too.
bool sameFile(const std::string& a, const std::string& b);

// Throws OutputPathError naming the path and why it cannot be an output.
// Empty paths are ignored.
void checkOutputPaths(const std::vector<std::string>& outputs,
                      const std::vector<std::string>& inputs);

struct TemporaryFileMark;

class OutputFiles {
public:
    // `standardOutput` receives the output named `-`.
    explicit OutputFiles(std::ostream& standardOutput);
    ~OutputFiles();  // removes what was not committed
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;

    // Writes one output to its temporary file. Throws std::runtime_error
    // naming the destination and the system's reason when it cannot be
    // written.
    void write(const std::string& path, const std::function<void(std::ostream&)>& writer);

    // Puts every written output in place, or none of them. Throws
    // std::runtime_error.
    void commit();

private:
    struct Pending {
        std::string path;       // as given
        std::string target;     // the file written: a link's target for a link
        std::string temporary;  // the staged text
        bool writeThrough = false;
        bool toStandardOutput = false;  // `-`, or a device or pipe that is standard output
    };

    std::ostream& standardOutput_;
    std::vector<Pending> pending_;
    // The temporaries, as the handler of SIGINT and SIGTERM knows them.
    std::vector<TemporaryFileMark*> marks_;
};

}  // namespace keelmark::replay
