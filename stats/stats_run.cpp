#include "stats/stats_run.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "replay_engine/parallel_work.h"
#include "run_outputs/html_output.h"
#include "run_outputs/output_files.h"
#include "stats/aggregates.h"
#include "stats/stats_csv.h"
#include "stats/stats_json.h"
#include "stats/stats_page.h"
#include "stats/stats_terminal.h"
#include "stats/study_levels.h"

namespace keelmark::stats {

namespace {

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return text.str();
}

}  // namespace

MeasuredFiles measureFiles(const replay::ModuleLibrary& module, const StatsRequest& request) {
    const std::size_t files = request.barFiles.size();
    std::vector<MeasuredSessions> perFile(files);
    replay::runInParallel(files, replay::workersForFiles(request.barFiles), [&](std::size_t i) {
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
    MeasuredFiles measured;
    for (MeasuredSessions& file : perFile) {
        measured.rows.insert(measured.rows.end(), std::make_move_iterator(file.rows.begin()),
                             std::make_move_iterator(file.rows.end()));
        measured.averageSessions = file.settings.averageSessions;
    }
    return measured;
}

void runStats(const replay::ModuleLibrary& module, const StatsRequest& request, std::ostream& out) {
    std::string chartLibrary;
    if (!request.html.empty()) {
        const std::string path =
            replay::findWebLibrary(kStatsChartLibraryFile, kStatsChartLibraryPackage);
        if (path.empty()) {
            throw std::runtime_error(std::string("--html needs the chart library ") +
                                     kStatsChartLibraryFile +
                                     ": run scripts/setup-web, or put it beside keelmark-replay");
        }
        chartLibrary = readWholeFile(path);
    }
    checkInputSettings(module, request.inputs);
    const MeasuredFiles measured = measureFiles(module, request);
    const SessionTable table = sessionTable(measured.rows, request.barFiles, request.ladder);
    const Aggregates aggregates = aggregate(table);
    replay::OutputFiles files(out);
    if (!request.csv.empty()) {
        files.write(request.csv, [&table](std::ostream& o) { writeSessionCsv(table, o); });
    }
    if (!request.json.empty()) {
        files.write(request.json,
                    [&](std::ostream& o) { writeStatsJson(request, table, aggregates, o); });
    }
    if (!request.html.empty()) {
        files.write(request.html, [&](std::ostream& o) {
            writeStatsPage(request, table, aggregates, measured.averageSessions, chartLibrary, o);
        });
    }
    files.commit();
    out << terminalReport(aggregates, request.ladder, request.barFiles.size());
    for (const std::string* path : {&request.csv, &request.json, &request.html}) {
        if (!path->empty() && *path != replay::kStandardOutputPath) {
            out << "wrote " << *path << "\n";
        }
    }
}

}  // namespace keelmark::stats
