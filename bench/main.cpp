// keelmark_bench: the Google Benchmark cases, then the table of ratios
// against the targets (Markdown, as in docs/performance.md). The exit status
// says whether the program ran, not whether the targets were met: timings
// of a loaded machine or a short run are no verdict.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <iostream>
#include <string_view>

#include "bench/child_process.h"
#include "bench/target_report.h"

int main(int argc, char** argv) {
    if (argc > 2 && std::string_view(argv[1]) == keelmark::bench::kMeasureChildOption) {
        return keelmark::bench::measureChild(argc - 2, argv + 2);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    const auto options = static_cast<benchmark::ConsoleReporter::OutputOptions>(
        benchmark::ConsoleReporter::OO_Tabular |
        (isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_Color : 0));
    keelmark::bench::TargetReporter reporter(options);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const bool met = keelmark::bench::printTargetTable(reporter.results(), std::cout);
    std::cout << "\n"
              << (met ? "Every target checked was met." : "Some targets were missed.") << "\n";
    benchmark::Shutdown();
    return 0;
}
