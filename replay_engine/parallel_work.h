// Runs independent pieces of work (one per bar file, say) on several threads.
// Each piece is handed out once, in index order, to whichever worker is free;
// the caller gets back when every piece has finished. A piece that throws
// does not stop the others: the first exception is rethrown at the end.
// The helper threads are started on first need and kept until the program
// ends; a call made while another holds them (from inside a piece, say)
// starts threads of its own.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace keelmark::replay {

// The number of workers to use for `pieces` pieces: the machine's cores (at
// least one), never more than there are pieces.
unsigned workersFor(std::size_t pieces);

// The number of workers for a run over these bar files, one piece a file:
// as workersFor, and no more than one for each 256 KiB the files hold
// together (a file that cannot be sized counts for nothing). A file of a
// few dozen bars is read and replayed in less time than it takes to hand it
// to a thread on another core and wait for it there.
unsigned workersForFiles(const std::vector<std::string>& paths);

// Calls work(i) for every i in [0, pieces) on up to `workers` threads.
void runInParallel(std::size_t pieces, unsigned workers,
                   const std::function<void(std::size_t)>& work);

}  // namespace keelmark::replay
