// The stand-in host's own rules, checked with small scripted studies: the
// module tests and the study tests rely on the host behaving as a host does.
#include "standin_host/chart_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "host/drawing_request.h"
#include "host/host_array.h"
#include "host/host_string.h"
#include "tests/support/bit_compare.h"
#include "tests/support/live_feed.h"
#include "tests/support/module_fixture.h"
#include "tests/support/sample_bars.h"

namespace keelmark {
namespace {

using replay::Bar;
using replay::HostArrayId;
using replay::StudyInstance;
using test::chartTime;

// The body of the scripted study for the current test.
thread_local std::function<void(StudyInterface&)> tScript;

void scriptedStudy(StudyInterface* sc) {
    if (tScript) {
        tScript(*sc);
    }
}

class ChartHost : public ::testing::Test {
protected:
    void TearDown() override { tScript = nullptr; }
};

std::vector<Bar> barsAt(const std::vector<ChartDateTime>& starts) {
    std::vector<Bar> bars;
    float price = 100.0f;
    for (ChartDateTime start : starts) {
        bars.push_back(Bar{start, price, price + 2, price - 1, price + 1, 10});
        price += 1.0f;
    }
    return bars;
}

void declareOutput(StudyInterface& sc, std::int32_t slot, const char* name) {
    OutputSeries& out = element(sc.outputs, slot);
    assign(out.name, name);
    out.name.isSet = 1;
}

void submitText(StudyInterface& sc, std::int32_t number, const char* text) {
    DrawingRequest request;
    constructDrawingRequest(request);
    request.chartId = sc.chartId;
    request.drawingNumber = number;
    request.drawingKind = kDrawingKindText;
    assign(request.text, text);
    sc.submitDrawing(&request);
    releaseDrawingRequest(request);
}

TEST_F(ChartHost, DrawingWithTheSameNumberReplacesTheEarlierOne) {
    tScript = [](StudyInterface& sc) {
        if (sc.updateStartIndex == 0) {
            submitText(sc, 5, "first");
            submitText(sc, 7, "other");
        } else {
            submitText(sc, 5, "second");
            sc.deleteDrawing(sc.chartId, 0, 7);
        }
    };
    StudyInstance study(scriptedStudy, 1, 3);
    study.setBars(barsAt({chartTime(2023, 11, 20, 9, 30), chartTime(2023, 11, 20, 9, 31)}));
    study.fullRecalculation();
    study.updateFormingBar();

    ASSERT_EQ(study.drawings().size(), 1u);
    const replay::PlacedDrawing& drawing = study.drawings().at(5);
    EXPECT_EQ(drawing.text, "second");
    EXPECT_EQ(drawing.timesSubmitted, 2);
    EXPECT_EQ(drawing.chartId, 3);
    EXPECT_EQ(drawing.drawingKind, kDrawingKindText);
    EXPECT_EQ(study.deletedDrawingNumbers(), std::vector<std::int32_t>{7});
}

// The host keeps the entries it last served of its drawings and persistent
// values: a drawing deleted and placed again under the same number starts
// over (whichever of the kept entries it was), other keys in between, more
// of them than are kept, are served their own entries, and a study added
// anew finds nothing kept.
TEST_F(ChartHost, DrawingsAndPersistentValuesStayTheirOwnAsTheyComeAndGo) {
    int call = 0;
    tScript = [&call](StudyInterface& sc) {
        ++call;
        submitText(sc, 5, call == 1 ? "first" : "again");
        if (call == 2) {
            sc.deleteDrawing(sc.chartId, 0, 5);
            submitText(sc, 5, "after");
            submitText(sc, 6, "other");
            submitText(sc, 7, "seventh");
            submitText(sc, 5, "last");
            sc.deleteDrawing(sc.chartId, 0, 6);
            submitText(sc, 6, "fresh");
        }
        *sc.persistentInt(1) += 1;
        *sc.persistentInt(2) += 10;
        *sc.persistentInt(1) += 100;
        for (int round = 0; round < 2; ++round) {
            for (std::int32_t key = 10; key < 16; ++key) {
                *sc.persistentInt(key) += key;
            }
        }
        void** slot = sc.persistentPointer(3);
        if (*slot == nullptr) {
            *slot = &call;
        }
    };
    StudyInstance study(scriptedStudy);
    study.setBars(barsAt({chartTime(2023, 11, 20, 9, 30), chartTime(2023, 11, 20, 9, 31)}));
    study.fullRecalculation();
    study.updateFormingBar();
    EXPECT_EQ(study.drawings().at(5).text, "last");
    EXPECT_EQ(study.drawings().at(5).timesSubmitted, 2);  // "after" and "last"
    EXPECT_EQ(study.drawings().at(6).timesSubmitted, 1);
    EXPECT_EQ(study.drawings().at(6).text, "fresh");
    EXPECT_EQ(study.drawings().at(7).timesSubmitted, 1);
    EXPECT_EQ(study.persistentInt(1), 202);
    EXPECT_EQ(study.persistentInt(2), 20);
    for (std::int32_t key = 10; key < 16; ++key) {
        EXPECT_EQ(study.persistentInt(key), 4 * key);
    }
    EXPECT_EQ(study.persistentPointer(3), &call);

    study.startOver();
    tScript = [](StudyInterface& sc) {
        EXPECT_EQ(*sc.persistentInt(1), 0);
        EXPECT_EQ(*sc.persistentPointer(3), nullptr);
        submitText(sc, 5, "new");
    };
    study.setBars(barsAt({chartTime(2023, 11, 20, 9, 30)}));
    study.fullRecalculation();
    EXPECT_EQ(study.drawings().at(5).timesSubmitted, 1);
}

TEST_F(ChartHost, BarIndexForDateTimeFindsTheLastBarStartingAtOrBefore) {
    const std::vector<ChartDateTime> starts = {chartTime(2023, 11, 20, 10, 0),
                                               chartTime(2023, 11, 20, 10, 1),
                                               chartTime(2023, 11, 20, 10, 3)};
    std::vector<std::int32_t> found;
    tScript = [&](StudyInterface& sc) {
        for (ChartDateTime t : {starts[0] - 1, starts[0], starts[1], starts[1] + kMicrosPerSecond,
                                starts[2], chartTime(2023, 11, 21, 0, 0)}) {
            found.push_back(sc.barIndexForDateTime(sc.chartId, &t));
        }
    };
    StudyInstance study(scriptedStudy);
    study.setBars(barsAt(starts));
    study.fullRecalculation();
    EXPECT_EQ(found, (std::vector<std::int32_t>{-1, 0, 1, 1, 2, 2}));

    found.clear();
    study.setBarIndexLookup([](ChartDateTime) { return 42; });
    study.fullRecalculation();
    EXPECT_EQ(found, std::vector<std::int32_t>(6, 42));
}

TEST_F(ChartHost, HeldBackArrayAppearsOnFetchUnlessWithheldForGood) {
    std::vector<float> closes;
    std::vector<bool> nullBeforeFetch;
    tScript = [&](StudyInterface& sc) {
        nullBeforeFetch.push_back(sc.barClose.data == nullptr);
        closes.push_back(element(sc.barClose, 1));
        closes.push_back(element(sc.barClose, 5));
    };
    StudyInstance study(scriptedStudy);
    study.setBars(barsAt({1, 2, 3}));

    study.holdBackArray(HostArrayId::Close);
    study.fullRecalculation();
    EXPECT_EQ(closes, (std::vector<float>{102.0f, 103.0f}));
    EXPECT_EQ(study.counts().fetches, 1);

    closes.clear();
    study.holdBackArray(HostArrayId::Close, true);
    study.fullRecalculation();
    EXPECT_EQ(closes, (std::vector<float>{0.0f, 0.0f}));
    EXPECT_EQ(nullBeforeFetch, (std::vector<bool>{true, true}));
}

TEST_F(ChartHost, MenuItemsGetFreshIdentifiersAndCanBeRefused) {
    std::vector<std::int32_t> ids;
    tScript = [&](StudyInterface& sc) {
        if (sc.menuCommandId != 0) {
            sc.removeChartMenuItem(sc.chartId, sc.menuCommandId);
            return;
        }
        ids.push_back(sc.addChartMenuItem(sc.chartId, "Item"));
    };
    StudyInstance study(scriptedStudy);
    study.setBars(barsAt({1}));
    study.fullRecalculation();
    study.fullRecalculation();
    study.menuCommand(1, 0);
    study.fullRecalculation();
    study.setMenuRegistrationRefused(true);
    study.fullRecalculation();

    EXPECT_EQ(ids, (std::vector<std::int32_t>{1, 2, 3, 0}));
    ASSERT_EQ(study.menuItems().size(), 2u);
    EXPECT_EQ(study.menuItems()[0].id, 2);
    EXPECT_EQ(study.menuItems()[1].id, 3);
    EXPECT_EQ(study.menuItems()[1].text, "Item");
}

TEST_F(ChartHost, CallsCarryTheirKindStartIndexAndMenuCommand) {
    struct Seen {
        std::int32_t barCount, start, defaults, final, menuId, menuBar;
        bool operator==(const Seen&) const = default;
    };
    std::vector<Seen> seen;
    tScript = [&](StudyInterface& sc) {
        seen.push_back({sc.barCount, sc.updateStartIndex, sc.isDefaultsPass, sc.isFinalCall,
                        sc.menuCommandId, sc.menuBarIndex});
    };
    StudyInstance study(scriptedStudy);
    study.defaultsPass();
    study.setBars(barsAt({1, 2, 3}));
    study.fullRecalculation();
    study.appendBar(Bar{4, 1, 1, 1, 1, 1});
    study.updateAfterAppend();
    study.updateFormingBar();
    study.menuCommand(9, 1);
    study.setBarCountOverride(0);
    study.updateFormingBar();
    study.finalCall();

    const std::vector<Seen> expected = {{0, 0, 1, 0, 0, 0}, {3, 0, 0, 0, 0, 0}, {4, 2, 0, 0, 0, 0},
                                        {4, 3, 0, 0, 0, 0}, {4, 3, 0, 0, 9, 1}, {0, 3, 0, 0, 0, 0},
                                        {0, 0, 0, 1, 0, 0}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(study.record().menuCommandId, 0);
    const replay::CallCounts& counts = study.counts();
    EXPECT_EQ(counts.defaultsPasses, 1);
    EXPECT_EQ(counts.fullRecalculations, 1);
    EXPECT_EQ(counts.incrementalUpdates, 3);
    EXPECT_EQ(counts.menuCommands, 1);
    EXPECT_EQ(counts.finalCalls, 1);
}

TEST_F(ChartHost, DeclaredOutputsGetStorageThatKeepsEarlierBarsAsTheChartGrows) {
    tScript = [](StudyInterface& sc) {
        if (sc.isDefaultsPass != 0) {
            declareOutput(sc, 0, "A");
            declareOutput(sc, 3, "D");
            return;
        }
        for (std::int32_t i = sc.updateStartIndex; i < sc.barCount; ++i) {
            element(element(sc.outputs, 3).values, i) = element(sc.barClose, i);
            element(element(element(sc.outputs, 0).extraArrays, 0), i) = static_cast<float>(i);
        }
    };
    StudyInstance study(scriptedStudy);
    study.defaultsPass();
    EXPECT_EQ(study.declaredOutputCount(), 4);
    EXPECT_EQ(study.outputName(3), "D");

    study.setBars(barsAt({1, 2}));
    study.fullRecalculation();
    study.appendBar(Bar{3, 7, 7, 7, 7, 1});
    study.updateFormingBar();

    EXPECT_EQ(test::asVector(study.values(3)), (std::vector<float>{101.0f, 102.0f, 7.0f}));
    EXPECT_EQ(test::asVector(study.values(1)), (std::vector<float>{0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(test::asVector(study.extraValues(0, 0)), (std::vector<float>{0.0f, 1.0f, 2.0f}));

    // Bar by bar, past any storage the host set aside ahead: earlier values
    // stay, each array is exactly as long as the chart.
    for (std::int32_t bar = 3; bar < 40; ++bar) {
        study.appendBar(Bar{bar + 1, 7, 7, 7, 7, 1});
        study.updateAfterAppend();
        ASSERT_EQ(study.values(3).size(), static_cast<std::size_t>(bar + 1));
        ASSERT_EQ(study.record().outputs.data[3].values.count, bar + 1);
    }
    EXPECT_EQ(study.value(3, 1), 102.0f);
    EXPECT_EQ(study.extraValue(0, 0, 39), 39.0f);

    study.setBars(barsAt({1, 2, 3}));
    study.updateFormingBar();
    EXPECT_EQ(test::asVector(study.values(3)), (std::vector<float>{0.0f, 0.0f, 103.0f}))
        << "a new chart starts without values";
}

TEST_F(ChartHost, DefaultsPassStartsFromACleanRecord) {
    bool declareMany = true;
    tScript = [&](StudyInterface& sc) {
        if (sc.isDefaultsPass == 0) {
            return;
        }
        for (std::int32_t slot = 0; slot < (declareMany ? 6 : 2); ++slot) {
            declareOutput(sc, slot, "out");
            declareListInput(element(sc.inputs, slot), "list", "a;b", 0);
        }
    };
    StudyInstance study(scriptedStudy);
    study.defaultsPass();
    EXPECT_EQ(study.declaredOutputCount(), 6);
    EXPECT_EQ(study.declaredInputCount(), 6);
    EXPECT_EQ(study.optionList(5), "a;b");

    declareMany = false;
    study.defaultsPass();
    EXPECT_EQ(study.declaredOutputCount(), 2);
    EXPECT_EQ(study.declaredInputCount(), 2);
    EXPECT_EQ(study.inputLabel(5), "");
    EXPECT_EQ(study.input(5).valueType, 0);
}

TEST_F(ChartHost, PersistentSlotsStartEmptyAndKeepWhatWasWritten) {
    std::vector<std::int32_t> ints;
    std::vector<void*> pointers;
    static int object = 0;
    tScript = [&](StudyInterface& sc) {
        ints.push_back(*sc.persistentInt(2));
        pointers.push_back(*sc.persistentPointer(1));
        *sc.persistentInt(2) += 5;
        sc.setPersistentPointer(1, &object);
    };
    StudyInstance study(scriptedStudy);
    study.fullRecalculation();
    study.fullRecalculation();
    EXPECT_EQ(ints, (std::vector<std::int32_t>{0, 5}));
    EXPECT_EQ(pointers, (std::vector<void*>{nullptr, &object}));
    EXPECT_EQ(study.persistentInt(2), 10);
}

TEST_F(ChartHost, FormatPriceHandsTheCallerAHeapTextInTheChartsFormat) {
    std::vector<std::string> texts;
    std::vector<bool> nullText;
    tScript = [&](StudyInterface& sc) {
        for (double price : {15895.25, 0.1}) {
            HostString s = makeHostString();
            sc.formatPrice(&s, price, sc.priceFormat);
            nullText.push_back(s.text == nullptr);
            texts.push_back(textOf(s));
            release(s);
        }
    };
    StudyInstance study(scriptedStudy);
    for (std::int32_t format : {2, 0, 12, -1}) {
        study.setPriceFormat(format);
        study.fullRecalculation();
    }
    study.setFormatPriceGivesNoText(true);
    study.fullRecalculation();

    EXPECT_EQ(texts, (std::vector<std::string>{"15895.25", "0.10", "15895", "0", "15895.2", "0.1",
                                               "15895.2", "0.1", "", ""}));
    EXPECT_EQ(nullText, (std::vector<bool>{false, false, false, false, false, false, false, false,
                                           true, true}));
}

TEST_F(ChartHost, HostOperationsServeTheInstanceBeingCalledWhenHostsNest) {
    tScript = [](StudyInterface& sc) {
        sc.addLogMessage("outer before", 0);
        if (sc.studyId == 1) {
            StudyInstance inner(scriptedStudy, 2);
            inner.fullRecalculation();
            EXPECT_EQ(inner.log().size(), 2u);
        }
        sc.addLogMessage("outer after", 1);
    };
    StudyInstance outer(scriptedStudy, 1);
    outer.fullRecalculation();

    ASSERT_EQ(outer.log().size(), 2u);
    EXPECT_EQ(outer.log()[0].text, "outer before");
    EXPECT_EQ(outer.log()[1].text, "outer after");
    EXPECT_EQ(outer.log()[1].flag, 1);
}

TEST_F(ChartHost, AlertsKeepNumberBarAndMessage) {
    tScript = [](StudyInterface& sc) {
        HostString message = makeHostString();
        format(message, "touched %d", 3);
        sc.raiseAlert(2, sc.barCount - 1, &message);
        release(message);
    };
    StudyInstance study(scriptedStudy);
    study.setBars(barsAt({1, 2}));
    study.updateFormingBar();
    ASSERT_EQ(study.alerts().size(), 1u);
    EXPECT_EQ(study.alerts()[0].number, 2);
    EXPECT_EQ(study.alerts()[0].barIndex, 1);
    EXPECT_EQ(study.alerts()[0].message, "touched 3");
}

TEST_F(ChartHost, LiveFeedOpensFormsAndClosesEachBarOverThreeCalls) {
    const std::vector<Bar> bars = test::loadSampleBars("NQ_1hour_sample.csv");
    std::vector<std::int32_t> starts;
    std::vector<Bar> lastBars;
    tScript = [&](StudyInterface& sc) {
        starts.push_back(sc.updateStartIndex);
        const std::int32_t last = sc.barCount - 1;
        lastBars.push_back(Bar{element(sc.barDateTimes, last), element(sc.barOpen, last),
                               element(sc.barHigh, last), element(sc.barLow, last),
                               element(sc.barClose, last), element(sc.barVolume, last)});
    };
    StudyInstance study(scriptedStudy);
    std::vector<std::int32_t> reported;
    test::feedLive(study, bars, 10, [&](std::int32_t bar) { reported.push_back(bar); });

    const std::size_t fed = bars.size() - 10;
    ASSERT_EQ(starts.size(), 1 + 3 * fed);
    EXPECT_EQ(std::vector<std::int32_t>(starts.begin(), starts.begin() + 4),
              (std::vector<std::int32_t>{0, 9, 10, 10}));
    EXPECT_EQ(std::vector<std::int32_t>(reported.begin(), reported.begin() + 4),
              (std::vector<std::int32_t>{9, 10, 10, 10}));
    const Bar& real = bars[10];
    const Bar& opened = lastBars[1];
    const Bar& formed = lastBars[2];
    EXPECT_EQ(opened.high, real.open);
    EXPECT_EQ(opened.low, real.open);
    EXPECT_LE(opened.volume, formed.volume);
    EXPECT_EQ(formed.high, real.high);
    EXPECT_GE(formed.low, real.low);
    EXPECT_LE(formed.low, real.open);
    EXPECT_LE(formed.volume, real.volume);
    EXPECT_EQ(lastBars[3].close, real.close);
    EXPECT_EQ(study.bars().size(), bars.size());
    EXPECT_EQ(study.bars().back().close, bars.back().close);
}

// One chart's worth of host calls, with an anchor set from the chart menu
// where the study offers one; alerts on, so that the touches are raised.
void playOneChart(StudyInstance& study, const std::vector<Bar>& bars) {
    study.defaultsPass();
    for (std::int32_t slot = 0; slot < study.declaredInputCount(); ++slot) {
        if (study.inputLabel(slot).find("Alert") != std::string::npos) {
            study.setIntInput(slot, 3);
        }
    }
    test::feedLive(study, bars, static_cast<std::int32_t>(bars.size()) / 3);
    if (!study.menuItems().empty()) {
        study.menuCommand(study.menuItems().front().id, static_cast<std::int32_t>(bars.size()) / 2);
    }
}

// A study added again to an instance the host has used (a harness does this
// thousands of times a second) sees exactly what a new instance would: the
// same values and extra arrays, drawings, log, alerts, menu and counts,
// whatever the earlier chart held, though the output arrays kept their room.
TEST(StudyStartedOver, GivesWhatANewInstanceGives) {
    const std::vector<Bar> bars = test::loadSampleBars("NQ_30min_sample.csv");
    const std::vector<Bar> fewer(bars.begin(), bars.begin() + 300);
    for (const StudyFunction fn :
         {test::testModule().sessionLevels(), test::testModule().anchoredVwap()}) {
        StudyInstance used(fn, 4, 2);
        used.setPriceFormat(4);
        used.setMenuRegistrationRefused(true);
        playOneChart(used, bars);
        used.finalCall();
        used.startOver();

        StudyInstance fresh(fn, 4, 2);
        playOneChart(used, fewer);
        playOneChart(fresh, fewer);
        SCOPED_TRACE(fresh.studyName());
        const auto count = static_cast<std::int32_t>(fewer.size());
        EXPECT_TRUE(test::sameOutputBits(fresh, used, count));
        for (std::int32_t slot = 0; slot < fresh.declaredOutputCount(); ++slot) {
            EXPECT_TRUE(test::sameBits("extra " + std::to_string(slot), fresh.extraValues(slot, 0),
                                       used.extraValues(slot, 0), fewer.size()));
        }
        ASSERT_EQ(used.drawings().size(), fresh.drawings().size());
        for (const auto& [number, drawing] : fresh.drawings()) {
            ASSERT_EQ(used.drawings().count(number), 1u);
            EXPECT_EQ(used.drawings().at(number).text, drawing.text);
            EXPECT_EQ(used.drawings().at(number).barIndex, drawing.barIndex);
        }
        ASSERT_EQ(used.log().size(), fresh.log().size());
        for (std::size_t i = 0; i < fresh.log().size(); ++i) {
            EXPECT_EQ(used.log()[i].text, fresh.log()[i].text);
        }
        ASSERT_EQ(used.alerts().size(), fresh.alerts().size());
        EXPECT_FALSE(fresh.alerts().empty() && fresh.menuItems().empty())
            << "the session study raises touches, the anchored one offers its menu";
        ASSERT_EQ(used.menuItems().size(), fresh.menuItems().size());
        EXPECT_EQ(used.counts().incrementalUpdates, fresh.counts().incrementalUpdates);
        EXPECT_EQ(used.counts().defaultsPasses, fresh.counts().defaultsPasses);
        EXPECT_EQ(used.deletedDrawingNumbers(), fresh.deletedDrawingNumbers());
        used.finalCall();
        fresh.finalCall();
    }
}

// A live chart appends one bar at a time: each output grows by one value in
// the room set aside (reserveBars), the record counts it, and an array the
// study pointed elsewhere is pointed back at its storage on the next call,
// the outputs before it and after it grown alike. The study moves its
// array after writing the bar, so every value still lands in the host's
// storage when the host points it back.
TEST_F(ChartHost, AppendedBarsGrowEveryOutputInItsRoomAndRepointAnArrayTheStudyMoved) {
    float scratch[4] = {};
    std::int32_t moveOnBar = -1;
    tScript = [&](StudyInterface& sc) {
        if (sc.isDefaultsPass != 0) {
            declareOutput(sc, 0, "A");
            declareOutput(sc, 1, "B");
            declareOutput(sc, 2, "C");
            return;
        }
        for (std::int32_t i = sc.updateStartIndex; i < sc.barCount; ++i) {
            for (std::int32_t slot = 0; slot < 3; ++slot) {
                element(element(sc.outputs, slot).values, i) = static_cast<float>(10 * slot + i);
            }
            element(element(element(sc.outputs, 2).extraArrays, 0), i) = static_cast<float>(-i);
        }
        if (sc.barCount - 1 == moveOnBar) {
            OutputSeries& b = element(sc.outputs, 1);
            b.values.data = scratch;
            b.values.count = 4;
        }
    };
    StudyInstance study(scriptedStudy);
    study.defaultsPass();
    study.setBars(barsAt({1, 2}));
    study.reserveBars(200);
    study.fullRecalculation();
    const float* storage[3] = {study.values(0).data(), study.values(1).data(),
                               study.values(2).data()};
    moveOnBar = 60;
    for (std::int32_t bar = 2; bar < 150; ++bar) {
        study.appendBar(Bar{bar + 1, 7, 7, 7, 7, 1});
        study.updateAfterAppend();
        for (std::int32_t slot = 0; slot < 3; ++slot) {
            const OutputSeries& out = study.record().outputs.data[slot];
            ASSERT_EQ(study.values(slot).size(), static_cast<std::size_t>(bar + 1)) << bar;
            ASSERT_EQ(study.extraValues(slot, 0).size(), static_cast<std::size_t>(bar + 1)) << bar;
            ASSERT_EQ(study.values(slot).data(), storage[slot]) << "moved at bar " << bar;
            if (slot != 1 || bar != moveOnBar) {
                ASSERT_EQ(out.values.data, storage[slot]) << bar;
                ASSERT_EQ(out.values.count, bar + 1) << bar;
                ASSERT_EQ(out.extraArrays.data[0].count, bar + 1) << bar;
            }
        }
    }
    for (std::int32_t bar = 0; bar < 150; ++bar) {
        ASSERT_EQ(study.value(0, bar), static_cast<float>(bar));
        ASSERT_EQ(study.value(2, bar), static_cast<float>(20 + bar));
        ASSERT_EQ(study.extraValue(2, 0, bar), static_cast<float>(-bar));
        ASSERT_EQ(study.value(1, bar), static_cast<float>(10 + bar)) << bar;
    }
    EXPECT_EQ(std::count(std::begin(scratch), std::end(scratch), 0.0f), 4)
        << "the array the study moved was written after it was pointed back";
}

// Bars appended live are counted by the record at once and by the host's
// columns only when something needs the columns themselves: read, handed
// over or emptied for a new chart, each holds every appended bar, and a
// shorter chart afterwards finds zeros where the appended bars were.
TEST_F(ChartHost, ColumnsReadHandedOverOrEmptiedAfterLiveAppendsHoldEveryAppendedBar) {
    bool everyBar = true;
    tScript = [&](StudyInterface& sc) {
        if (sc.isDefaultsPass != 0) {
            declareOutput(sc, 0, "A");
            declareOutput(sc, 1, "B");
            return;
        }
        for (std::int32_t i = everyBar ? sc.updateStartIndex : sc.barCount - 1; i < sc.barCount;
             ++i) {
            element(element(sc.outputs, 0).values, i) = static_cast<float>(1 + i);
            element(element(sc.outputs, 1).values, i) = static_cast<float>(-1 - i);
            element(element(element(sc.outputs, 1).extraArrays, 0), i) = 0.5f;
        }
    };
    StudyInstance study(scriptedStudy);
    study.defaultsPass();
    study.setBars(barsAt({1, 2}));
    study.reserveBars(100);
    study.fullRecalculation();
    for (std::int32_t bar = 2; bar < 42; ++bar) {
        study.appendBar(Bar{bar + 1, 7, 7, 7, 7, 1});
        study.updateAfterAppend();
        study.replaceLastBar(Bar{bar + 1, 8, 8, 8, 8, 1});
        study.updateFormingBar();
    }
    EXPECT_EQ(study.values(1).size(), 42u);
    EXPECT_EQ(study.extraValues(1, 0).size(), 42u);
    EXPECT_EQ(study.valueOrZero(0, 41), 42.0f);
    EXPECT_EQ(study.valueOrZero(0, 42), 0.0f);
    EXPECT_EQ(study.extraValueOrZero(1, 41), 0.5f);
    EXPECT_EQ(study.extraValueOrZero(1, 42), 0.0f);
    EXPECT_TRUE(study.values(2).empty());
    // Every bar's values as the repaint check reads them, within the chart
    // and beyond it, before and after a column is handed over.
    const auto expectBarValuesAsEachOutputsOwn = [&study](const char* when) {
        for (std::size_t bar = 0; bar < 44; ++bar) {
            std::vector<float> visited;
            study.visitBarValues(bar, true, [&](std::size_t index, float v) {
                EXPECT_EQ(index, visited.size());
                visited.push_back(v);
            });
            EXPECT_EQ(visited,
                      (std::vector<float>{study.valueOrZero(0, bar), study.valueOrZero(1, bar),
                                          study.extraValueOrZero(0, bar)}))
                << when << ", bar " << bar;
        }
    };
    expectBarValuesAsEachOutputsOwn("live");

    const replay::HostColumn taken = study.takeValues(0);
    expectBarValuesAsEachOutputsOwn("handed over");
    ASSERT_EQ(taken.size(), 42u);
    for (std::size_t bar = 0; bar < taken.size(); ++bar) {
        ASSERT_EQ(taken[bar], static_cast<float>(1 + bar)) << bar;
    }
    EXPECT_EQ(study.value(1, 41), -42.0f) << "the other columns keep theirs";

    everyBar = false;
    study.setBars(barsAt({1, 2, 3}));
    study.fullRecalculation();
    EXPECT_EQ(test::asVector(study.values(1)), (std::vector<float>{0.0f, 0.0f, -3.0f}));
    EXPECT_EQ(test::asVector(study.extraValues(1, 0)), (std::vector<float>{0.0f, 0.0f, 0.5f}));
    EXPECT_EQ(test::asVector(study.values(0)), (std::vector<float>{0.0f, 0.0f, 3.0f}));
}

// Room kept from an earlier chart holds zeros again: a study that writes
// only its last bar leaves every earlier one at 0.
TEST_F(ChartHost, OutputRoomKeptForTheNextChartHoldsZeros) {
    bool everyBar = true;
    tScript = [&](StudyInterface& sc) {
        if (sc.isDefaultsPass != 0) {
            declareOutput(sc, 0, "A");
            return;
        }
        for (std::int32_t i = everyBar ? 0 : sc.barCount - 1; i < sc.barCount; ++i) {
            element(element(sc.outputs, 0).values, i) = 5.0f;
            element(element(element(sc.outputs, 0).extraArrays, 0), i) = 6.0f;
        }
    };
    StudyInstance study(scriptedStudy);
    study.defaultsPass();
    study.setBars(barsAt({1, 2, 3, 4}));
    study.fullRecalculation();
    const float* room = study.values(0).data();

    everyBar = false;
    study.startOver();
    study.defaultsPass();
    study.setBars(barsAt({1, 2, 3}));
    study.fullRecalculation();
    EXPECT_EQ(study.values(0).data(), room) << "the room was kept";
    EXPECT_EQ(test::asVector(study.values(0)), (std::vector<float>{0.0f, 0.0f, 5.0f}));
    EXPECT_EQ(test::asVector(study.extraValues(0, 0)), (std::vector<float>{0.0f, 0.0f, 6.0f}));
    study.appendBar(Bar{5, 1, 1, 1, 1, 1});
    study.updateFormingBar();
    EXPECT_EQ(test::asVector(study.values(0)), (std::vector<float>{0.0f, 0.0f, 5.0f, 5.0f}));
}

// The host's arrays start as zeros without being written, in small blocks
// and in mapped ones, and a bar added after the array has moved to larger
// storage starts at zero too; the record's arrays move without a copy.
TEST(HostColumn, ArraysStartAndGrowAsZeros) {
    for (const std::size_t n : {std::size_t{10}, std::size_t{300'000}, std::size_t{3'000'000}}) {
        replay::HostColumn column(n);
        EXPECT_TRUE(std::all_of(column.begin(), column.end(), [](float v) { return v == 0.0f; }))
            << n;
        std::fill(column.begin(), column.end(), 1.0f);
        column.resize(2 * n + 7);
        EXPECT_TRUE(std::all_of(column.begin() + static_cast<std::ptrdiff_t>(n), column.end(),
                                [](float v) { return v == 0.0f; }))
            << n;
        EXPECT_EQ(column[n - 1], 1.0f);
        const float* storage = column.data();
        const replay::HostColumn moved = std::move(column);
        EXPECT_EQ(moved.data(), storage);
    }
}

// Emptied bar columns keep their room, and what grows into it again reads as
// zeros in every column, not as the bars they held.
TEST(HostColumn, EmptiedBarColumnsKeepTheirRoomAndGrowAgainIntoZeros) {
    for (const std::size_t n : {std::size_t{10}, std::size_t{300'000}}) {
        replay::BarColumns bars;
        for (std::size_t i = 0; i < n; ++i) {
            bars.push_back(
                replay::Bar{static_cast<ChartDateTime>(i + 1), 1.0f, 2.0f, 0.5f, 1.5f, 9.0f});
        }
        const ChartDateTime* room = bars.times.data();
        bars.clear();
        EXPECT_TRUE(bars.empty());
        EXPECT_EQ(bars.times.data(), room) << n;
        bars.times.resize(n);
        bars.volume.resize(n);
        bars.high.resize(n);
        EXPECT_TRUE(std::all_of(bars.times.begin(), bars.times.end(), [](ChartDateTime t) {
            return t == 0;
        })) << n;
        EXPECT_TRUE(std::all_of(bars.volume.begin(), bars.volume.end(), [](float v) {
            return v == 0.0f;
        })) << n;
        EXPECT_EQ(bars.high.back(), 0.0f) << n;
    }
}

// Bar i of every output sits at a different offset within a page, so the
// outputs of one bar do not all fall into one set of the processor's
// caches; every block still holds all it was asked for, and gives its
// memory back whole (blocks are made and freed over and over).
TEST(HostColumn, LargeColumnsStartInDifferentCacheSets) {
#if defined(_WIN32)
    GTEST_SKIP() << "the Windows build's columns come from the C library's heap as they are";
#endif
    constexpr std::size_t kBars = 1'000'000;
    for (int round = 0; round < 3; ++round) {
        std::vector<replay::HostColumn> columns(40);
        std::vector<std::size_t> sets;
        for (replay::HostColumn& c : columns) {
            c.reserve(kBars);
            c.resize(kBars);
            c.front() = 1.0f;
            c.back() = 2.0f;
            sets.push_back(reinterpret_cast<std::uintptr_t>(c.data()) / 64 % 64);
        }
        std::sort(sets.begin(), sets.end());
        EXPECT_EQ(std::adjacent_find(sets.begin(), sets.end()), sets.end())
            << "two of 40 columns start in the same cache set";
        EXPECT_EQ(columns[39].back(), 2.0f);
    }
}

}  // namespace
}  // namespace keelmark
