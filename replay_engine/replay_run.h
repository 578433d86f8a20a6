// One replay of a study over a chart's bars through the stand-in host, as the
// charting host drives it: the defaults pass, the user's input settings, a
// full recalculation or a live feed, the anchor menu commands, and the final
// call. What the study declared and left behind is kept as a plain record.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/study_input.h"
#include "standin_host/bar_file.h"
#include "standin_host/chart_host.h"
#include "standin_host/module_library.h"

namespace keelmark::replay {

enum class StudyKind { SessionLevels, AnchoredVwap };
enum class FeedMode { Full, Live };

const char* studyKindName(StudyKind kind);  // "session-levels", "anchored-vwap"
const char* feedModeName(FeedMode mode);    // "full", "live"

struct RunSettings {
    StudyKind study = StudyKind::SessionLevels;
    FeedMode mode = FeedMode::Full;
    // Live feed: bars on the chart at the first full recalculation.
    std::int32_t warmupBars = 1;
    std::int32_t priceFormat = 2;
    std::vector<std::string> inputs;     // SLOT=VALUE, applied in order
    std::vector<ChartDateTime> anchors;  // "Anchor VWAP Here" at these times, in order
};

struct InputRecord {
    std::int32_t slot = 0;
    std::string label;
    std::uint8_t declaredType = 0;
    InputValueCell declared{};
    std::uint8_t usedType = 0;
    InputValueCell used{};  // the value when the replay ended
    InputValueCell minValue{}, maxValue{};
    std::vector<std::string> options;  // list inputs
};

struct SeriesRecord {
    std::int32_t slot = 0;
    std::string name;  // after the run
    std::int32_t colour = 0;
    std::int32_t drawStyle = 0;
    std::int16_t lineWidth = 0;
    std::int32_t labelFlags = 0;
    HostColumn values;  // the host's own array, handed over after the run
};

// An anchor menu command as delivered: the requested time and the bar it
// fell on.
struct AnchorCommand {
    ChartDateTime requested = 0;
    std::int32_t barIndex = -1;
};

struct RunRecord {
    std::string modulePath;
    std::string moduleName;
    std::int32_t moduleVersion = 0;
    StudyKind study = StudyKind::SessionLevels;
    FeedMode mode = FeedMode::Full;
    std::int32_t warmupBars = 0;
    std::int32_t priceFormat = 2;
    std::string studyName;
    std::string studyDescription;
    BarColumns bars;  // the host's chart columns, handed over after the run
    std::vector<InputRecord> inputs;
    std::vector<SeriesRecord> series;
    // Session Levels: each bar's session number (its own bookkeeping array).
    HostColumn sessionNumbers;
    std::vector<LogLine> log;
    std::vector<RaisedAlert> alerts;
    std::vector<PlacedDrawing> drawings;  // left on the chart before the final call
    std::vector<MenuItem> menuItems;      // registered before the final call
    std::vector<AnchorCommand> anchorCommands;
    CallCounts counts;
    // Live feed: bars whose values changed after they were committed (other
    // than being blanked as an older session).
    std::vector<std::int32_t> repaintedBars;
    // Rows of the bar file left out as malformed: how many, and the first
    // few (filled in by the caller, which read the file).
    std::int64_t skippedRowCount = 0;
    std::vector<SkippedRow> skippedRows;
    double seconds = 0;
};

// Bars done and bars in all, reported while a replay runs.
using ProgressReport = std::function<void(std::size_t done, std::size_t total)>;

// The bar on which an anchor at time t lies, by the host's rule
// (barIndexForDateTime): with bar times in order, the last bar that starts
// at or before t (the first of several with that start); -1 when t is
// before the first bar.
std::int32_t anchorBarIndex(const BarColumns& bars, ChartDateTime t);

// The bars become the host's chart (a full recalculation takes them over
// as they are) and then the record's: nothing per bar is copied.
// Throws InputSettingError for a rejected input setting and
// std::runtime_error when the study offers no anchor menu item.
RunRecord runStudy(const ModuleLibrary& module, BarColumns bars, const RunSettings& settings,
                   const ProgressReport& progress = {});

// The record's series value at a bar, or 0 past its end.
float seriesValue(const SeriesRecord& series, std::size_t bar);

}  // namespace keelmark::replay
