#include "replay/summary_output.h"

#include <cstdio>

#include "standin_host/clock_text.h"
#include "standin_host/number_text.h"

namespace keelmark::replay {

namespace {

std::string counted(std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string indented(const std::string& text, const char* indent) {
    std::string out = indent;
    for (const char c : text) {
        out += c;
        if (c == '\n') {
            out += indent;
        }
    }
    return out + '\n';
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", seconds);
    return text;
}

}  // namespace

std::string callCountsText(const CallCounts& c) {
    const std::int64_t total = c.defaultsPasses + c.fullRecalculations + c.incrementalUpdates +
                               c.menuCommands + c.finalCalls;
    return counted(total, "call", "calls") + ": " +
           counted(c.defaultsPasses, "defaults pass", "defaults passes") + ", " +
           counted(c.fullRecalculations, "full recalculation", "full recalculations") + ", " +
           counted(c.incrementalUpdates, "incremental update", "incremental updates") + ", " +
           counted(c.menuCommands, "menu command", "menu commands") + ", " +
           counted(c.finalCalls, "final call", "final calls");
}

std::string skippedRowsText(const RunRecord& r, const std::string& barsName) {
    if (r.skippedRowCount == 0) {
        return {};
    }
    std::string s = "  skipped: " + counted(r.skippedRowCount, "malformed row", "malformed rows") +
                    " of " + barsName + " left out";
    s += r.skippedRows.size() < static_cast<std::size_t>(r.skippedRowCount) ? "; the first:\n"
                                                                            : ":\n";
    for (const SkippedRow& row : r.skippedRows) {
        s += "    line " + std::to_string(row.lineNumber) + ": " + row.reason + ": " + row.text +
             "\n";
    }
    return s;
}

std::string runSummary(const RunRecord& r, const std::string& barsName) {
    std::string s;
    s += r.studyName + "\n";
    s += "  module: " + r.moduleName + ", version " + std::to_string(r.moduleVersion) + " (" +
         r.modulePath + ")\n";
    s += "  bars:   " + std::to_string(r.bars.size()) + " from " + barsName;
    if (!r.bars.empty()) {
        s += ", " + formatDateTime(r.bars.front().start) + " to " +
             formatDateTime(r.bars.back().start);
    }
    s += "\n";
    s += "  replay: " + std::string(feedModeName(r.mode));
    if (r.mode == FeedMode::Live) {
        s += " (" + counted(r.warmupBars, "bar", "bars") + " of warm-up)";
    }
    s += ", " + callCountsText(r.counts) + "\n";
    s += "  time:   " + secondsText(r.seconds) + "\n";
    s += skippedRowsText(r, barsName);
    if (!r.repaintedBars.empty()) {
        const auto first = static_cast<std::size_t>(r.repaintedBars.front());
        s += "  REPAINTED: " +
             counted(static_cast<std::int64_t>(r.repaintedBars.size()), "bar", "bars") +
             " changed after being committed (the first: bar " + std::to_string(first) +
             (first < r.bars.size() ? ", " + formatDateTime(r.bars[first].start) : std::string()) +
             "); the live values differ from a full recalculation\n";
    }
    for (const PlacedDrawing& d : r.drawings) {
        if (d.relativePlacement == 1) {
            s += "  panel:\n" + indented(d.text, "    ");
        }
    }
    bool markersHeading = false;
    for (const PlacedDrawing& d : r.drawings) {
        if (d.relativePlacement != 1) {
            if (!markersHeading) {
                s += "  markers:\n";
                markersHeading = true;
            }
            s += "    " + d.text + "  (bar " + std::to_string(d.barIndex) + ", price " +
                 floatText(d.price) + ")\n";
        }
    }
    s += "  log:\n";
    for (const LogLine& line : r.log) {
        s += std::string(line.flag != 0 ? "  ! " : "    ") + line.text + "\n";
    }
    s += "  alerts: " + std::to_string(r.alerts.size()) + "\n";
    return s;
}

}  // namespace keelmark::replay
