// The benchmark results set against the targets, as ratios of figures
// measured in the same run: each full recalculation against its memory
// floor, each incremental call against the naive baseline and against the
// same call on a 100 times smaller chart, the bar file reader in MB/s.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <ostream>
#include <string>

namespace keelmark::bench {

struct Measurement {
    double seconds = 0;  // per iteration
    std::map<std::string, double> counters;
};

// Prints every run as the console reporter does and keeps, per case
// ("SessionLevels/FullRecalculation/1000000"), its fastest repetition (the
// "min" statistic of every case), or its only run.
class TargetReporter : public benchmark::ConsoleReporter {
public:
    using benchmark::ConsoleReporter::ConsoleReporter;
    void ReportRuns(const std::vector<Run>& runs) override;
    const std::map<std::string, Measurement>& results() const { return results_; }

private:
    std::map<std::string, Measurement> results_;
    std::map<std::string, bool> fromFastest_;
};

// The table of results, ratios and targets, as Markdown. Cases that did not
// run are shown as such. Returns whether every target that could be checked
// was met.
bool printTargetTable(const std::map<std::string, Measurement>& results, std::ostream& out);

}  // namespace keelmark::bench
