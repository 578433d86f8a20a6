// Output files written whole or not at all: each is written to a temporary
// file beside its destination and moved into place only once every output
// of the run has been written; on any failure the temporary files go.
#pragma once

#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace keelmark::replay {

class OutputFiles {
public:
    OutputFiles() = default;
    ~OutputFiles();  // removes what was not committed
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;

    // Writes one output to its temporary file. Throws std::runtime_error
    // naming the destination when it cannot be written.
    void write(const std::string& path, const std::function<void(std::ostream&)>& writer);

    // Moves every written output into place. Throws std::runtime_error.
    void commit();

private:
    struct Pending {
        std::string path;
        std::string temporary;
    };
    std::string temporaryPathFor(const std::string& path) const;

    std::vector<Pending> pending_;
};

}  // namespace keelmark::replay
