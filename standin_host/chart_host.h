// The stand-in host: plays the charting host for one study instance.
//
// It holds a chart of bars, builds the StudyInterface record with every array
// and host operation, keeps the instance's inputs, output series, persistent
// integers and pointers, the drawings it placed (by drawing number), the
// message log, raised alerts and chart menu items, and offers the calls a
// host makes: defaults pass, full recalculation, incremental update, menu
// command and final call.
//
// Host operations carry no context argument, so the instance being called is
// remembered for the duration of each call (one call at a time per thread).
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/study_interface.h"

namespace keelmark::replay {

struct Bar {
    ChartDateTime start = 0;
    float open = 0, high = 0, low = 0, close = 0, volume = 0;
};

struct LogLine {
    std::string text;
    std::int32_t flag = 0;
};

struct RaisedAlert {
    std::int32_t number = 0;
    std::int32_t barIndex = 0;
    std::string message;
};

struct MenuItem {
    std::int32_t id = 0;
    std::string text;
};

// A drawing as the host keeps it after submitDrawing: every field a study
// sets, texts copied out of the request.
struct PlacedDrawing {
    std::int32_t drawingNumber = -1;
    std::int32_t chartId = 0;
    std::int32_t drawingKind = 0;
    std::int32_t requestMode = 0;
    std::int32_t region = 0;
    float price = 0;
    ChartDateTime dateTime = 0;
    std::int32_t barIndex = -1;
    std::int32_t relativePlacement = -1;
    std::int32_t textAlignment = -1;
    std::int32_t textColour = 0;
    std::int32_t backgroundColour = 0;
    std::int32_t fontSize = -1;
    std::string fontFace;
    std::string text;
    std::int32_t hostOptionA = -1, hostOptionB = -1, hostOptionC = -1, hostOptionD = -1;
    std::int32_t timesSubmitted = 0;
};

// Host arrays that a test can hold back as unavailable: data stays null
// until the study calls fetch (or for good, with `untilFetch` false).
enum class HostArrayId { DateTimes, Open, High, Low, Close, Volume, Inputs, Outputs };

struct CallCounts {
    std::int64_t defaultsPasses = 0, fullRecalculations = 0, incrementalUpdates = 0,
                 menuCommands = 0, finalCalls = 0;
    // Host services used by the study: persistentInt, persistentPointer and
    // setPersistentPointer together; fetch of any array.
    std::int64_t persistentAccesses = 0, fetches = 0;
};

// The host's text of a price: `priceFormat` decimals (0 to 9), or "%g" for
// any other format.
std::string formattedPrice(double price, std::int32_t priceFormat);

class StudyInstance {
public:
    static constexpr std::int32_t kInputSlots = 64;
    static constexpr std::int32_t kOutputSlots = 64;

    explicit StudyInstance(StudyFunction study, std::int32_t studyId = 1, std::int32_t chartId = 1);
    // Frees host-held texts; makes no study call, so a study's state object
    // is freed only by a finalCall() before.
    ~StudyInstance();
    StudyInstance(const StudyInstance&) = delete;
    StudyInstance& operator=(const StudyInstance&) = delete;

    // --- the chart ---
    const std::vector<Bar>& bars() const { return bars_; }
    void setBars(std::vector<Bar> bars);
    void appendBar(const Bar& bar);
    void replaceLastBar(const Bar& bar);

    // --- the calls a host makes ---
    void defaultsPass();
    // updateStartIndex 0 over all bars.
    void fullRecalculation();
    // An update call with the given start index (any value, for tests).
    void update(std::int32_t updateStartIndex);
    // After appendBar: start at the former last bar, which may have changed
    // as it closed. After replaceLastBar: start at the last bar.
    void updateAfterAppend();
    void updateFormingBar();
    // A chart menu command delivered with an update call on the last bar.
    void menuCommand(std::int32_t menuId, std::int32_t barIndex);
    void finalCall();
    // Overrides barCount of the next calls (-1 = the chart's own count), to
    // exercise calls whose count disagrees with the arrays. The bar and
    // output arrays keep the chart's own count.
    void setBarCountOverride(std::int32_t barCount) { barCountOverride_ = barCount; }

    // --- what the study declared and wrote ---
    std::int32_t declaredInputCount() const { return declaredInputs_; }
    std::int32_t declaredOutputCount() const { return declaredOutputs_; }
    StudyInput& input(std::int32_t slot) { return inputs_.at(static_cast<std::size_t>(slot)); }
    const StudyInput& input(std::int32_t slot) const {
        return inputs_.at(static_cast<std::size_t>(slot));
    }
    OutputSeries& output(std::int32_t slot) { return outputs_.at(static_cast<std::size_t>(slot)); }
    std::string inputLabel(std::int32_t slot) const;
    std::string outputName(std::int32_t slot) const;
    // The values the study wrote into an output, one per bar of the chart
    // as of the last call (empty before the first).
    std::span<const float> values(std::int32_t slot) const {
        return inUse(values_.at(static_cast<std::size_t>(slot)));
    }
    float value(std::int32_t slot, std::int32_t bar) const { return valueAt(values(slot), bar); }
    // Extra per-bar array `extra` of output `slot` (the study's own bookkeeping).
    float extraValue(std::int32_t slot, std::int32_t extra, std::int32_t bar) const;
    std::span<const float> extraValues(std::int32_t slot, std::int32_t extra) const;
    std::string studyName() const;
    std::string studyDescription() const;
    const StudyInterface& record() const { return record_; }

    // --- input values, as a user would set them ---
    void setIntInput(std::int32_t slot, std::int32_t value);  // keeps the type
    void setFloatInput(std::int32_t slot, float value);       // keeps the type
    void setDoubleInput(std::int32_t slot, double value);     // keeps the type
    void setInputType(std::int32_t slot, std::uint8_t valueType);

    // --- host-side state ---
    std::int32_t& persistentInt(std::int32_t key) { return persistentInts_[key]; }
    void*& persistentPointer(std::int32_t key) { return persistentPointers_[key]; }
    const std::map<std::int32_t, PlacedDrawing>& drawings() const { return drawings_; }
    const std::vector<std::int32_t>& deletedDrawingNumbers() const { return deleted_; }
    const std::vector<LogLine>& log() const { return log_; }
    const std::vector<RaisedAlert>& alerts() const { return alerts_; }
    const std::vector<MenuItem>& menuItems() const { return menu_; }
    const CallCounts& counts() const { return counts_; }
    void clearLog() { log_.clear(); }
    void clearAlerts() { alerts_.clear(); }

    // --- host behaviour, adjustable for tests ---
    // priceFormat is the number of decimals (0 to 9) of the price text;
    // any other value formats with "%g".
    void setPriceFormat(std::int32_t priceFormat) { priceFormat_ = priceFormat; }
    std::int32_t priceFormat() const { return priceFormat_; }
    // formatPrice answers with a null text.
    void setFormatPriceGivesNoText(bool on) { formatPriceNoText_ = on; }
    // addChartMenuItem answers 0 (not added).
    void setMenuRegistrationRefused(bool on) { menuRefused_ = on; }
    // barIndexForDateTime answers this function's result instead.
    void setBarIndexLookup(std::function<std::int32_t(ChartDateTime)> lookup) {
        barIndexLookup_ = std::move(lookup);
    }
    // The array's data stays null until the study calls fetch; with
    // `forGood` fetch never provides it.
    void holdBackArray(HostArrayId id, bool forGood = false);

    // The host's own rule for barIndexForDateTime: the last bar whose start is
    // at or before the date-time; -1 before the first bar.
    std::int32_t barIndexAtOrBefore(ChartDateTime t) const;

    // Host operation bodies (called through the record's function pointers).
    std::int32_t hostAddLogMessage(const char* text, std::int32_t flag);
    void hostDeleteDrawing(std::int32_t chartId, std::int32_t drawingNumber);
    std::int32_t hostBarIndexForDateTime(std::int32_t chartId, const ChartDateTime* t);
    std::int32_t hostSubmitDrawing(const DrawingRequest* request);
    HostString* hostFormatPrice(HostString* result, double price, std::int32_t priceFormat);
    void hostRaiseAlert(std::int32_t number, std::int32_t barIndex, const HostString* message);
    std::int32_t hostAddChartMenuItem(std::int32_t chartId, const char* text);
    void hostRemoveChartMenuItem(std::int32_t chartId, std::int32_t id);
    void hostFetch(std::int32_t token);
    void hostSetOptionList(std::int32_t token, const char* options);
    std::int32_t* hostPersistentInt(std::int32_t key);
    void** hostPersistentPointer(std::int32_t key);
    void hostSetPersistentPointer(std::int32_t key, void* pointer);
    const std::string& optionList(std::int32_t slot) const { return optionLists_.at(slot); }

private:
    void call(std::int32_t updateStartIndex, bool defaults, bool final, std::int32_t menuId,
              std::int32_t menuBar);
    void prepareRecord(std::int32_t updateStartIndex);
    void prepareOutputArrays();
    void syncOutputs();
    void clearDeclarations();
    void releaseFallbackTexts();
    void releaseHostTexts();
    void makeAvailable(HostArrayId id);
    bool isHeldBack(HostArrayId id) const;
    std::int32_t chartBarCount() const { return static_cast<std::int32_t>(bars_.size()); }

    StudyFunction study_;
    std::int32_t studyId_;
    std::int32_t chartId_;
    std::vector<Bar> bars_;
    // Column copies of the bars, as the host keeps its arrays.
    std::vector<ChartDateTime> times_;
    std::vector<float> open_, high_, low_, close_, volume_;
    std::vector<StudyInput> inputs_;
    std::vector<OutputSeries> outputs_;
    // An output array as the host keeps it: `count` values in use at the
    // front of `storage`, which grows ahead of them and holds 0 past `count`.
    // A bar appended then costs each output no reallocation and no resize.
    struct OutputColumn {
        std::vector<float> storage;
        std::size_t count = 0;
    };
    static std::span<const float> inUse(const OutputColumn& c) {
        return {c.storage.data(), c.count};
    }
    // One value, with the bounds check of std::vector::at.
    static float valueAt(std::span<const float> values, std::int32_t bar) {
        if (bar < 0 || static_cast<std::size_t>(bar) >= values.size()) {
            throw std::out_of_range("no value at bar " + std::to_string(bar));
        }
        return values[static_cast<std::size_t>(bar)];
    }
    // Inline: the host sizes every output on every call, and between two
    // calls the chart grows by a bar at most.
    static void sizeColumn(OutputColumn& c, std::size_t count) {
        if (count >= c.count && count <= c.storage.size()) {
            c.count = count;
        } else {
            resizeColumn(c, count);
        }
    }
    static void resizeColumn(OutputColumn& c, std::size_t count);
    // No values in use; the storage stays, all zeros.
    static void clearColumn(OutputColumn& c) {
        std::fill(c.storage.begin(), c.storage.begin() + static_cast<std::ptrdiff_t>(c.count),
                  0.0f);
        c.count = 0;
    }
    std::vector<OutputColumn> values_;
    // The chart size and declared outputs the output arrays were last
    // prepared for (-1: prepare them on the next call).
    std::int32_t preparedBars_ = -1;
    std::int32_t preparedOutputs_ = -1;
    std::vector<OutputColumn> extras_;           // one extra array per output
    std::vector<HostArray<float>> extraArrays_;  // the HostArray of each extra
    std::map<std::int32_t, std::string> optionLists_;
    StudyInterface record_{};
    std::int32_t declaredInputs_ = 0;
    std::int32_t declaredOutputs_ = 0;
    std::map<std::int32_t, std::int32_t> persistentInts_;
    std::map<std::int32_t, void*> persistentPointers_;
    std::map<std::int32_t, PlacedDrawing> drawings_;
    std::vector<std::int32_t> deleted_;
    std::vector<LogLine> log_;
    std::vector<RaisedAlert> alerts_;
    std::vector<MenuItem> menu_;
    std::int32_t nextMenuId_ = 1;
    CallCounts counts_;
    std::int32_t priceFormat_ = 2;
    bool formatPriceNoText_ = false;
    bool menuRefused_ = false;
    std::function<std::int32_t(ChartDateTime)> barIndexLookup_;
    std::map<HostArrayId, bool> heldBack_;  // id -> for good
    std::int32_t barCountOverride_ = -1;

    // Studies look up the same date-times on every call (the anchors), so
    // recent answers are kept and reused once the bars around them confirm
    // them; only while bar times never go backwards, where that check is
    // exact.
    struct RecentLookup {
        ChartDateTime dateTime = 0;
        std::int32_t barIndex = -2;  // -2: no answer kept
    };
    static constexpr std::size_t kRecentLookups = 16;
    bool lookupStillHolds(const RecentLookup& recent, ChartDateTime t) const;
    void countBackwardStep(std::size_t index, std::int32_t sign);
    mutable RecentLookup recentLookups_[kRecentLookups];

    // Recent price texts, by price and format: a study formats mostly the
    // same prices on every call (its panel), and printf-style formatting of
    // a double is slow. The text is the same either way.
    struct FormattedPrice {
        bool used = false;
        bool usedLast = false;  // first of a pair: whether it was used after the second
        std::uint64_t priceBits = 0;
        std::int32_t priceFormat = 0;
        std::string text;
    };
    static constexpr std::size_t kFormattedPrices = 256;  // 128 pairs, by the top 7 bits of a hash
    const std::string& priceText(double price, std::int32_t priceFormat);
    FormattedPrice formattedPrices_[kFormattedPrices];
    mutable std::size_t nextRecentLookup_ = 0;
    std::int64_t backwardSteps_ = 0;  // bars that start before the bar before them
};

}  // namespace keelmark::replay
