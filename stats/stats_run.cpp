#include "stats/stats_run.h"

#include <stdexcept>

#include "replay_engine/parallel_work.h"
#include "run_outputs/output_files.h"
#include "stats/aggregates.h"
#include "stats/stats_csv.h"
#include "stats/stats_json.h"
#include "stats/stats_terminal.h"
#include "stats/study_levels.h"

namespace keelmark::stats {

std::vector<SessionRow> measureFiles(const replay::ModuleLibrary& module,
                                     const StatsRequest& request) {
    const std::size_t files = request.barFiles.size();
    std::vector<std::vector<SessionRow>> perFile(files);
    replay::runInParallel(files, replay::workersFor(files), [&](std::size_t i) {
        const std::string& path = request.barFiles[i];
        try {
            perFile[i] = measureSessions(module, replay::loadChart(path, request.loading),
                                         request.inputs, request.ladder, i);
        } catch (const std::exception& e) {
            const std::string message = e.what();
            // The bar file reader names the file itself.
            throw std::runtime_error(
                message.find(path) != std::string::npos ? message : path + ": " + message);
        }
    });
    std::vector<SessionRow> rows;
    for (std::vector<SessionRow>& fileRows : perFile) {
        rows.insert(rows.end(), std::make_move_iterator(fileRows.begin()),
                    std::make_move_iterator(fileRows.end()));
    }
    return rows;
}

void runStats(const replay::ModuleLibrary& module, const StatsRequest& request, std::ostream& out) {
    const std::vector<SessionRow> rows = measureFiles(module, request);
    const SessionTable table = sessionTable(rows, request.barFiles, request.ladder);
    const Aggregates aggregates = aggregate(table);
    replay::OutputFiles files;
    if (!request.csv.empty()) {
        files.write(request.csv, [&table](std::ostream& o) { writeSessionCsv(table, o); });
    }
    if (!request.json.empty()) {
        files.write(request.json,
                    [&](std::ostream& o) { writeStatsJson(request, table, aggregates, o); });
    }
    files.commit();
    out << terminalReport(aggregates, request.ladder, request.barFiles.size());
    for (const std::string* path : {&request.csv, &request.json, &request.html}) {
        if (!path->empty()) {
            out << "wrote " << *path << "\n";
        }
    }
}

}  // namespace keelmark::stats
