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
#include <utility>
#include <vector>

#include "host/study_interface.h"

namespace keelmark::replay {

struct Bar {
    ChartDateTime start = 0;
    float open = 0, high = 0, low = 0, close = 0, volume = 0;
};

// Zero-filled blocks for ZeroedAllocator. Throw std::bad_alloc.
void* allocateZeroed(std::size_t bytes);
void releaseZeroed(void* block, std::size_t bytes);

// Storage that starts as zeros without writing them: large blocks come
// straight from the system as zero pages, which cost memory only once they
// are written, and growing or default-filling a vector of it writes nothing.
// A vector of it that shrinks must clear what it gives up itself, so that
// growing again finds zeros.
template <typename T>
struct ZeroedAllocator {
    using value_type = T;
    ZeroedAllocator() = default;
    template <typename U>
    ZeroedAllocator(const ZeroedAllocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(allocateZeroed(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) { releaseZeroed(p, n * sizeof(T)); }
    // Default-filled elements keep the zeros already there.
    template <typename U>
    void construct(U* p) {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    friend bool operator==(const ZeroedAllocator&, const ZeroedAllocator&) { return true; }
};

// A column of the chart: a value per bar.
template <typename T>
using HostVector = std::vector<T, ZeroedAllocator<T>>;
// One output array of the chart (or its extra array).
using HostColumn = HostVector<float>;

// The chart's bars as the host keeps them: one column per field, the form
// the study reads them in. A Bar is put together on request.
struct BarColumns {
    HostVector<ChartDateTime> times;
    HostVector<float> open, high, low, close, volume;

    std::size_t size() const { return times.size(); }
    bool empty() const { return times.empty(); }
    Bar operator[](std::size_t i) const {
        return Bar{times[i], open[i], high[i], low[i], close[i], volume[i]};
    }
    Bar front() const { return (*this)[0]; }
    Bar back() const { return (*this)[size() - 1]; }
    void reserve(std::size_t n);
    // The bars of `more` after these.
    void append(const BarColumns& more);
    // No bars, the room kept; the values given up are cleared, so that the
    // columns grow again into zeros.
    void clear();
    // Inline: the reader appends every bar of a file.
    void push_back(const Bar& bar) {
        times.push_back(bar.start);
        open.push_back(bar.open);
        high.push_back(bar.high);
        low.push_back(bar.low);
        close.push_back(bar.close);
        volume.push_back(bar.volume);
    }
    // Sets bar i, which must exist.
    void set(std::size_t i, const Bar& bar);
};

BarColumns barColumnsOf(const std::vector<Bar>& bars);
std::vector<Bar> barListOf(const BarColumns& bars);

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

// The host's rule for barIndexForDateTime: the earliest bar whose span
// holds t, -1 when t is before the first bar. A bar spans from its start to
// the next later start; bars with the same start share one span, which the
// first of them takes; the last bars of the chart span on without end. Where
// the bar times step back (a clock that repeats an hour when daylight saving
// time ends), the bars before the step span as long as the step before
// them (a minute when there is none). The answer for a date-time stays the
// same as bars are appended, once a bar that starts later than the one it
// names follows: an anchor in a repeated hour stays on the first of its two
// bars.
std::int32_t barIndexForDateTime(std::span<const ChartDateTime> times, ChartDateTime t);

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
    const BarColumns& bars() const { return bars_; }
    void setBars(const std::vector<Bar>& bars);
    // Takes the columns over as the chart, without copying them.
    void setBarColumns(BarColumns bars);
    // Room for this many bars in the chart's columns and every output
    // array, so that a chart fed bar by bar up to that size never moves
    // them. Room not yet reached costs no memory in the output arrays.
    void reserveBars(std::size_t count);
    void appendBar(const Bar& bar);
    void replaceLastBar(const Bar& bar);

    // The instance as a study newly added to a chart without bars: no
    // declarations, bars, drawings, log, alerts, menu items, persistent
    // values or host settings, as if just constructed. The output arrays
    // keep their room, so that a harness that adds a study over and over
    // does not allocate it again. A state object that the study did not
    // free on its final call is forgotten, as a host forgets it.
    void startOver();

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
        return inUse(values_.at(static_cast<std::size_t>(slot)), slot);
    }
    float value(std::int32_t slot, std::int32_t bar) const { return valueAt(values(slot), bar); }
    // The value of output `slot` (below kOutputSlots) at `bar`, or of its
    // extra array, 0 beyond its values: what the repaint check reads of
    // every output once a bar, without a bounds check of the slot.
    float valueOrZero(std::int32_t slot, std::size_t bar) const {
        return columnValueOrZero(values_[static_cast<std::size_t>(slot)], slot, bar);
    }
    float extraValueOrZero(std::int32_t slot, std::size_t bar) const {
        return columnValueOrZero(extras_[static_cast<std::size_t>(slot)], slot, bar);
    }
    // The value at `bar` of every declared output, in slot order, then with
    // `withFirstExtra` that of output 0's extra array, each passed to
    // visit(index, value); 0 beyond an array's values, as valueOrZero. The
    // repaint check reads every committed bar this way: within the bars the
    // arrays were last prepared for, every array holds the bar, and no bound
    // is checked.
    template <typename Visit>
    void visitBarValues(std::size_t bar, bool withFirstExtra, Visit&& visit) const {
        const std::int32_t outputs = declaredOutputs_;
        const bool firstExtraToo = withFirstExtra && outputs > 0;
        if (preparedOutputs_ == outputs && preparedBars_ >= 0 &&
            bar < static_cast<std::size_t>(preparedBars_)) {
            for (std::size_t s = 0; s < static_cast<std::size_t>(outputs); ++s) {
                visit(s, values_[s].data()[bar]);
            }
            if (firstExtraToo) {
                visit(static_cast<std::size_t>(outputs), extras_[0].data()[bar]);
            }
            return;
        }
        for (std::int32_t slot = 0; slot < outputs; ++slot) {
            visit(static_cast<std::size_t>(slot), valueOrZero(slot, bar));
        }
        if (firstExtraToo) {
            visit(static_cast<std::size_t>(outputs), extraValueOrZero(0, bar));
        }
    }
    // Extra per-bar array `extra` of output `slot` (the study's own bookkeeping).
    float extraValue(std::int32_t slot, std::int32_t extra, std::int32_t bar) const;
    std::span<const float> extraValues(std::int32_t slot, std::int32_t extra) const;
    // Hand the chart's columns and an output's arrays over to the caller,
    // without copying; the instance is left without them. For the end of a
    // replay, after the final call.
    BarColumns takeBars();
    HostColumn takeValues(std::int32_t slot);
    HostColumn takeExtraValues(std::int32_t slot);
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

    // The host's own rule for barIndexForDateTime (see barIndexForDateTime
    // above): with bar times in order, the last bar whose start is at or
    // before the date-time (the first of several with that start); -1
    // before the first bar.
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
    // Null when the input has no option list.
    const std::string* findOptionList(std::int32_t slot) const {
        const auto found = optionLists_.find(slot);
        return found == optionLists_.end() ? nullptr : &found->second;
    }

private:
    void call(std::int32_t updateStartIndex, bool defaults, bool final, std::int32_t menuId,
              std::int32_t menuBar);
    void prepareRecord(std::int32_t updateStartIndex);
    void prepareOutputArrays();
    bool appendToOutputArrays(std::int32_t n);
    void settleColumns();
    void syncOutputs();
    void clearDeclarations();
    // Every output array without values (zeros behind), its room kept.
    void emptyOutputArrays();
    void releaseFallbackTexts();
    void releaseHostTexts();
    void makeAvailable(HostArrayId id);
    // Inline: asked for eight arrays on every call, and hardly ever true.
    bool isHeldBack(HostArrayId id) const { return !heldBack_.empty() && heldBack_.count(id) != 0; }
    std::int32_t chartBarCount() const { return static_cast<std::int32_t>(bars_.size()); }

    StudyFunction study_;
    std::int32_t studyId_;
    std::int32_t chartId_;
    BarColumns bars_;
    std::vector<StudyInput> inputs_;
    std::vector<OutputSeries> outputs_;
    // An output array as the host keeps it: a value per bar, with room to
    // grow behind them that holds zeros and, until a bar reaches it, costs
    // no memory. A bar appended costs each output no reallocation.
    // The values of output `slot`'s array (or its extra array) `c`: those
    // the column counts and the bars appended to it since (unsettledBars_).
    std::size_t columnSize(const HostColumn& c, std::int32_t slot) const {
        return c.size() + (slot < preparedOutputs_ ? unsettledBars_ : 0);
    }
    std::span<const float> inUse(const HostColumn& c, std::int32_t slot) const {
        return {c.data(), columnSize(c, slot)};
    }
    // One value, with the bounds check of std::vector::at.
    static float valueAt(std::span<const float> values, std::int32_t bar) {
        if (bar < 0 || static_cast<std::size_t>(bar) >= values.size()) {
            throw std::out_of_range("no value at bar " + std::to_string(bar));
        }
        return values[static_cast<std::size_t>(bar)];
    }
    float columnValueOrZero(const HostColumn& c, std::int32_t slot, std::size_t bar) const {
        return bar < columnSize(c, slot) ? c.data()[bar] : 0.0f;
    }
    // Values given up when the chart shrinks are cleared, so that bars added
    // later start at 0 again.
    static void sizeColumn(HostColumn& c, std::size_t count) {
        if (count == c.size() + 1 && c.size() < c.capacity()) {
            c.emplace_back();  // one bar appended into room already there: the usual case
            return;
        }
        if (count < c.size()) {
            std::fill(c.begin() + static_cast<std::ptrdiff_t>(count), c.end(), 0.0f);
        }
        c.resize(count);
    }
    std::vector<HostColumn> values_;
    // The chart size and declared outputs the output arrays were last
    // prepared for (-1: prepare them on the next call).
    std::int32_t preparedBars_ = -1;
    std::int32_t preparedOutputs_ = -1;
    std::size_t reservedBars_ = 0;               // room every output array gets (reserveBars)
    std::vector<HostColumn> extras_;             // one extra array per output
    std::vector<HostArray<float>> extraArrays_;  // the HostArray of each extra
    // The fewest values any output array had room for when they were last
    // prepared in full: a bar appended up to that needs no reallocation.
    std::size_t columnRoom_ = 0;
    // Bars appended to every prepared output array (the slots below
    // preparedOutputs_) since their columns last counted them: the record
    // counts them and the study wrote them into the columns' room, and the
    // columns are grown by that much before anything sizes, moves or hands
    // them over (settleColumns). Reading them needs no growing.
    std::size_t unsettledBars_ = 0;
    std::map<std::int32_t, std::string> optionLists_;
    StudyInterface record_{};
    std::int32_t declaredInputs_ = 0;
    std::int32_t declaredOutputs_ = 0;
    std::map<std::int32_t, std::int32_t> persistentInts_;
    std::map<std::int32_t, void*> persistentPointers_;
    std::map<std::int32_t, PlacedDrawing> drawings_;
    // The entries of a map last asked for, by key (the last four): a study
    // asks for the same few persistent values and submits the same drawing
    // on every call, and a map's entries stay where they are until erased.
    // Forgotten when the entry is erased or the map cleared.
    template <typename T>
    struct KeptEntries {
        static constexpr int kKept = 4;
        std::int32_t keys[kKept] = {};
        T* entries[kKept] = {};
        int next = 0;

        T& of(std::map<std::int32_t, T>& map, std::int32_t key) {
            for (int i = 0; i < kKept; ++i) {
                if (entries[i] != nullptr && keys[i] == key) {
                    return *entries[i];
                }
            }
            T& entry = map[key];
            keys[next] = key;
            entries[next] = &entry;
            next = (next + 1) % kKept;
            return entry;
        }
        void forget(std::int32_t key) {
            for (int i = 0; i < kKept; ++i) {
                if (keys[i] == key) {
                    entries[i] = nullptr;
                }
            }
        }
    };
    KeptEntries<std::int32_t> keptPersistentInts_;
    KeptEntries<void*> keptPersistentPointers_;
    KeptEntries<PlacedDrawing> keptDrawings_;
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
    // Notes whether bar `index` starts before the bar before it.
    void noteStepBack(std::size_t index);
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
    // Bars that start before the bar before them, in order.
    std::vector<std::size_t> stepBacks_;
};

}  // namespace keelmark::replay
