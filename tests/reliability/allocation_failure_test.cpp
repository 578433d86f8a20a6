// Refused allocations, everywhere: one scenario that uses every part of both
// studies (declaration, full recalculation, live updates, touch alerts, the
// session panel, the chart menu with all eight anchors taken, anchor
// markers, status lines, the final call) is run once to count its
// process-heap allocations, then again for every k up to that count with
// the k-th allocation refused, and with the k-th and every later one
// refused. Each run must end with every block freed, and every text the
// host received must be the text of the undisturbed run or a degraded form
// of it: empty for a text made in one piece (log lines, markers), a text
// with pieces left out for one made piece by piece (panel, alert messages).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/process_heap_standin.h"
#include "standin_host/chart_host.h"
#include "tests/support/module_fixture.h"
#include "tests/support/sample_bars.h"

namespace keelmark::test {
namespace {

using replay::Bar;
using replay::StudyInstance;

// Session Levels inputs the scenario switches on.
constexpr std::int32_t kSessionsToShow = 20, kAlertNumber = 21, kShowLabels = 22, kShowPanel = 23;
// Anchored VWAP inputs.
constexpr std::int32_t kShowBands = 9, kMarkAnchors = 12;

// Every text the host received, by kind.
struct Received {
    std::vector<std::string> logLines, alerts, markers, panels, menuItems;
};

void collect(const StudyInstance& s, Received& r, bool isPanelStudy) {
    for (const auto& [number, drawing] : s.drawings()) {
        (isPanelStudy ? r.panels : r.markers).push_back(drawing.text);
    }
}

void finish(StudyInstance& s, Received& r) {
    for (const replay::LogLine& line : s.log()) {
        r.logLines.push_back(line.text);
    }
    for (const replay::RaisedAlert& alert : s.alerts()) {
        r.alerts.push_back(alert.message);
    }
    for (const replay::MenuItem& item : s.menuItems()) {
        r.menuItems.push_back(item.text);
    }
    s.finalCall();
}

// A chart of history, then bars arriving live: each opens, is re-formed
// once, and closes when the next one opens.
void playLive(StudyInstance& s, const std::vector<Bar>& bars, std::size_t history, Received& r,
              bool isPanelStudy) {
    s.setBars(std::vector<Bar>(bars.begin(), bars.begin() + static_cast<std::ptrdiff_t>(history)));
    s.fullRecalculation();
    collect(s, r, isPanelStudy);
    for (std::size_t i = history; i < bars.size(); ++i) {
        Bar opened = bars[i];
        opened.high = opened.low = opened.close = opened.open;
        s.appendBar(opened);
        s.updateAfterAppend();
        s.replaceLastBar(bars[i]);
        s.updateFormingBar();
        collect(s, r, isPanelStudy);
    }
}

void sessionLevelsScenario(const std::vector<Bar>& bars, Received& r) {
    StudyInstance s(testModule().sessionLevels(), 7, 3);
    s.defaultsPass();
    s.setIntInput(kSessionsToShow, 2);
    s.setIntInput(kAlertNumber, 3);
    s.setIntInput(kShowLabels, 1);
    s.setIntInput(kShowPanel, 1);
    playLive(s, bars, bars.size() - 12, r, true);
    finish(s, r);
}

std::int32_t menuId(const StudyInstance& s, const char* text) {
    for (const replay::MenuItem& item : s.menuItems()) {
        if (item.text == text) {
            return item.id;
        }
    }
    return 0;  // not registered: the command is ignored
}

void anchoredVwapScenario(const std::vector<Bar>& bars, Received& r) {
    StudyInstance s(testModule().anchoredVwap(), 9, 3);
    s.defaultsPass();
    s.setIntInput(kShowBands, 1);
    s.setIntInput(kMarkAnchors, 1);
    playLive(s, bars, bars.size() - 4, r, false);
    // Nine anchors: the ninth moves the oldest and says so.
    for (std::int32_t k = 0; k < 9; ++k) {
        s.menuCommand(menuId(s, "Anchor VWAP Here"), 10 + 7 * k);
        collect(s, r, false);
    }
    s.menuCommand(menuId(s, "Remove Nearest Anchored VWAP"), 30);
    s.fullRecalculation();
    collect(s, r, false);
    finish(s, r);
}

Received runScenario(const std::vector<Bar>& bars) {
    Received r;
    sessionLevelsScenario(bars, r);
    anchoredVwapScenario(bars, r);
    return r;
}

// `degraded` can be made from `full` by leaving characters out.
bool isPiecesOf(const std::string& degraded, const std::string& full) {
    std::size_t at = 0;
    for (char c : degraded) {
        at = full.find(c, at);
        if (at == std::string::npos) {
            return false;
        }
        ++at;
    }
    return true;
}

// The text with every run of digits written as '#': a status line of a
// later full recalculation (the state record was refused on an earlier
// one) counts other bars, yet has the same shape.
std::string shapeOf(const std::string& text) {
    std::string shape;
    for (char c : text) {
        const bool digit = c >= '0' && c <= '9';
        if (!digit || shape.empty() || shape.back() != '#') {
            shape.push_back(digit ? '#' : c);
        }
    }
    return shape;
}

::testing::AssertionResult emptyOrOneOf(const char* kind, const std::vector<std::string>& got,
                                        const std::vector<std::string>& reference) {
    std::set<std::string> known;
    for (const std::string& text : reference) {
        known.insert(shapeOf(text));
    }
    for (const std::string& text : got) {
        if (!text.empty() && known.count(shapeOf(text)) == 0) {
            return ::testing::AssertionFailure() << kind << " neither whole nor empty: " << text;
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult piecesOfOneOf(const char* kind, const std::vector<std::string>& got,
                                         const std::vector<std::string>& reference) {
    for (const std::string& text : got) {
        const bool found = std::any_of(reference.begin(), reference.end(),
                                       [&](const std::string& full) { return isPiecesOf(text, full); });
        if (!found) {
            return ::testing::AssertionFailure() << kind << " is not made of pieces of any whole one:\n"
                                                 << text;
        }
    }
    return ::testing::AssertionSuccess();
}

class RefusedAllocations : public ::testing::Test {
protected:
    void SetUp() override {
        const std::vector<Bar> all = loadSampleBars("NQ_30min_sample.csv");
        // Monday to Wednesday before Thanksgiving: two whole sessions with
        // prior-day levels, the third forming live.
        bars.assign(all.begin(), all.begin() + 140);
        keelmarkProcessHeapFailAfter(0, 0);
        const std::int64_t before = keelmarkProcessHeapAllocations();
        reference = runScenario(bars);
        allocations = keelmarkProcessHeapAllocations() - before;
        baseline = keelmarkProcessHeapLiveBlocks();
    }
    void TearDown() override { keelmarkProcessHeapFailAfter(0, 0); }

    // Runs the scenario with the k-th allocation (and, sticky, every later
    // one) refused; records the first fault in `fault`.
    void runRefusing(std::int64_t k, bool sticky) {
        keelmarkProcessHeapFailAfter(k, sticky ? 1 : 0);
        const Received got = runScenario(bars);
        keelmarkProcessHeapFailAfter(0, 0);
        const std::string when = "refusing allocation " + std::to_string(k) + (sticky ? " onwards" : "");
        ASSERT_EQ(keelmarkProcessHeapLiveBlocks(), baseline) << when << ": blocks leaked";
        ASSERT_TRUE(emptyOrOneOf("a log line", got.logLines, reference.logLines)) << when;
        ASSERT_TRUE(emptyOrOneOf("a marker", got.markers, reference.markers)) << when;
        ASSERT_TRUE(emptyOrOneOf("a menu item", got.menuItems, reference.menuItems)) << when;
        ASSERT_TRUE(piecesOfOneOf("an alert message", got.alerts, reference.alerts)) << when;
        ASSERT_TRUE(piecesOfOneOf("a panel", got.panels, reference.panels)) << when;
    }

    std::vector<Bar> bars;
    Received reference;
    std::int64_t allocations = 0;
    std::int64_t baseline = 0;
};

TEST_F(RefusedAllocations, ScenarioReachesEveryTextMakingPart) {
    EXPECT_FALSE(reference.panels.empty());
    EXPECT_FALSE(reference.markers.empty());
    EXPECT_FALSE(reference.alerts.empty());
    EXPECT_EQ(reference.menuItems.size(), 3u);
    EXPECT_EQ(std::count(reference.logLines.begin(), reference.logLines.end(),
                         "Keelmark Anchored VWAP: all 8 anchors were in use, so the oldest one was moved."),
              1);
    EXPECT_GT(allocations, 100);
    std::printf("the scenario makes %lld process-heap allocations\n", static_cast<long long>(allocations));
}

TEST_F(RefusedAllocations, AnyOneRefusalLeavesNoLeakAndOnlyWholeOrDegradedTexts) {
    for (std::int64_t k = 1; k <= allocations && !HasFatalFailure(); ++k) {
        runRefusing(k, false);
    }
}

TEST_F(RefusedAllocations, RefusingEverythingFromSomePointOnLeavesNoLeakAndOnlyDegradedTexts) {
    for (std::int64_t k = 1; k <= allocations && !HasFatalFailure(); ++k) {
        runRefusing(k, true);
    }
}

}  // namespace
}  // namespace keelmark::test
