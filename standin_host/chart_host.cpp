#include "standin_host/chart_host.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <type_traits>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#define KEELMARK_MAPPED_COLUMNS 1
#else
#define KEELMARK_MAPPED_COLUMNS 0
#endif

namespace keelmark::replay {

namespace {

// The host's own empty text, which every text of a host record falls back to.
char kHostEmptyText[1] = {'\0'};

// The instance whose study is being called on this thread. Host operations
// carry no context, so they find their instance here; each call saves and
// restores it, so that a study may drive a host of its own (in tests).
thread_local StudyInstance* tCurrent = nullptr;

class CurrentInstance {
public:
    explicit CurrentInstance(StudyInstance* instance) : saved_(tCurrent) { tCurrent = instance; }
    ~CurrentInstance() { tCurrent = saved_; }
    CurrentInstance(const CurrentInstance&) = delete;
    CurrentInstance& operator=(const CurrentInstance&) = delete;

private:
    StudyInstance* saved_;
};

HostString hostEmptyString() { return HostString{kHostEmptyText, 0, 0, kHostEmptyText}; }

// Host operations as the record carries them. Outside a call there is no
// instance to serve: they answer "nothing" and keep nothing.
std::int32_t addLogMessageOp(const char* text, std::int32_t flag) {
    return tCurrent != nullptr ? tCurrent->hostAddLogMessage(text, flag) : 0;
}

void deleteDrawingOp(std::int32_t chartId, std::int32_t, std::int32_t drawingNumber) {
    if (tCurrent != nullptr) {
        tCurrent->hostDeleteDrawing(chartId, drawingNumber);
    }
}

std::int32_t barIndexForDateTimeOp(std::int32_t chartId, const ChartDateTime* dateTime) {
    return tCurrent != nullptr ? tCurrent->hostBarIndexForDateTime(chartId, dateTime) : -1;
}

std::int32_t submitDrawingOp(DrawingRequest* request) {
    return tCurrent != nullptr ? tCurrent->hostSubmitDrawing(request) : 0;
}

HostString* formatPriceOp(HostString* result, double price, std::int32_t priceFormat) {
    return tCurrent != nullptr ? tCurrent->hostFormatPrice(result, price, priceFormat) : result;
}

void raiseAlertOp(std::int32_t number, std::int32_t barIndex, HostString* message) {
    if (tCurrent != nullptr) {
        tCurrent->hostRaiseAlert(number, barIndex, message);
    }
}

std::int32_t addChartMenuItemOp(std::int32_t chartId, const char* text) {
    return tCurrent != nullptr ? tCurrent->hostAddChartMenuItem(chartId, text) : 0;
}

void removeChartMenuItemOp(std::int32_t chartId, std::int32_t identifier) {
    if (tCurrent != nullptr) {
        tCurrent->hostRemoveChartMenuItem(chartId, identifier);
    }
}

std::int32_t* persistentIntOp(std::int32_t key) {
    thread_local std::int32_t scratch = 0;
    if (tCurrent == nullptr) {
        scratch = 0;
        return &scratch;
    }
    return tCurrent->hostPersistentInt(key);
}

void** persistentPointerOp(std::int32_t key) {
    thread_local void* scratch = nullptr;
    if (tCurrent == nullptr) {
        scratch = nullptr;
        return &scratch;
    }
    return tCurrent->hostPersistentPointer(key);
}

void setPersistentPointerOp(std::int32_t key, void* pointer) {
    if (tCurrent != nullptr) {
        tCurrent->hostSetPersistentPointer(key, pointer);
    }
}

void fetchOp(std::int32_t token) {
    if (tCurrent != nullptr) {
        tCurrent->hostFetch(token);
    }
}

void setOptionListOp(std::int32_t token, const char* options) {
    if (tCurrent != nullptr) {
        tCurrent->hostSetOptionList(token, options);
    }
}

StudyInput cleanInput(std::int32_t slot) {
    StudyInput in{};
    in.name = hostEmptyString();
    in.optionListToken = slot;
    in.setOptionList = setOptionListOp;
    return in;
}

OutputSeries cleanOutput() {
    OutputSeries out{};
    out.name = hostEmptyString();
    return out;
}

template <typename T>
void pointArray(HostArray<T>& array, T* data, std::int32_t count, HostArrayId id, bool heldBack,
                const T& fallback) {
    array.data = heldBack ? nullptr : data;
    array.fetch = fetchOp;
    array.fetchToken = static_cast<std::int32_t>(id);
    array.count = count;
    array.fallbackElement = fallback;
}

// Points an array the record holds at plain storage, without fetch, field
// by field: building a whole value first and copying it costs stalls on
// the small stores.
template <typename T>
void pointAt(HostArray<T>& a, T* data, std::int32_t count) {
    a.data = data;
    a.hostField = 0;
    a.fetch = nullptr;
    a.fetchToken = 0;
    a.count = count;
    a.fallbackElement = T{};
}

// The fallback elements every call starts from, made once: copying a
// record that was written long ago costs no stall, unlike building it on the
// stack and copying it at once, which the host did on every call.
const StudyInput kCleanInput = cleanInput(0);
const OutputSeries kCleanOutput = cleanOutput();

std::string copiedText(const HostString& s) { return textOf(s); }

// Copies a request's text into the one kept: a drawing placed on every tick
// mostly keeps the length of its text, which is then copied in place,
// without std::string's general replacement.
void keepText(std::string& kept, const HostString& text) {
    const char* const from = textOf(text);
    const std::size_t length = std::strlen(from);
    if (length == kept.size()) {
        std::memcpy(kept.data(), from, length);
    } else {
        kept.assign(from, length);
    }
}

}  // namespace

// Blocks from this size on are mapped from the system directly: their pages
// read as zeros and take memory only when written. Smaller ones are cleared.
constexpr std::size_t kMappedBlockBytes = std::size_t{1} << 20;

#if KEELMARK_MAPPED_COLUMNS

// Mapped blocks start on a large-page boundary and span whole large pages,
// so that no large page ever covers the end of one column and the start of
// the next (the system joins neighbouring mappings): a large page written
// for one column then never makes another column's unwritten start resident.
constexpr std::size_t kLargePageBytes = std::size_t{2} << 20;

// Each block starts a different number of cache lines past its large-page
// boundary. Without that, the same bar of every column sits at the same
// offset from a 2 MiB boundary, and so in the same set of every cache: a
// study writing bar i of its 25 to 40 outputs, or the host reading them,
// evicts in each cache set what it wrote a moment before (8 ways a set),
// and every store of a live tick went out to the last-level cache or to
// memory. A step of 17 lines gives 64 blocks 64 different first-level sets
// and 1024 blocks different second-level sets.
constexpr std::size_t kStaggerStepBytes = 17 * 64;
constexpr std::size_t kStaggerSteps = 64;
constexpr std::size_t kLargestStagger = kStaggerStepBytes * (kStaggerSteps - 1);
static_assert(kLargestStagger < kLargePageBytes);

std::size_t nextStagger() {
    static std::atomic<std::size_t> blocks{0};
    return blocks.fetch_add(1, std::memory_order_relaxed) % kStaggerSteps * kStaggerStepBytes;
}

std::size_t mappedLength(std::size_t bytes) {
    const std::size_t withStagger = bytes + kLargestStagger;
    return (withStagger + kLargePageBytes - 1) / kLargePageBytes * kLargePageBytes;
}

void* mapZeroed(std::size_t bytes) {
    const std::size_t length = mappedLength(bytes);
    const std::size_t reserved = length + kLargePageBytes;
    void* mapped =
        ::mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        throw std::bad_alloc();
    }
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned =
        (start + kLargePageBytes - 1) / kLargePageBytes * kLargePageBytes;
    if (aligned > start) {
        ::munmap(mapped, aligned - start);
    }
    const std::uintptr_t end = start + reserved;
    if (end > aligned + length) {
        ::munmap(reinterpret_cast<void*>(aligned + length), end - aligned - length);
    }
    void* block = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    // Large pages where the system offers them: a chart written bar by bar
    // then takes one page fault per 2 MiB instead of per 4 KiB, which on a
    // virtual machine is most of the cost of writing a long chart. The price
    // is at most one partly written large page per written column.
    ::madvise(block, length, MADV_HUGEPAGE);
#endif
    return static_cast<char*>(block) + nextStagger();
}

// The mapping a block handed out by mapZeroed lies in: its stagger is less
// than a large page, so the mapping starts at the boundary below it.
void unmapZeroed(void* block, std::size_t bytes) {
    const auto at = reinterpret_cast<std::uintptr_t>(block);
    ::munmap(reinterpret_cast<void*>(at / kLargePageBytes * kLargePageBytes), mappedLength(bytes));
}

#endif

void* allocateZeroed(std::size_t bytes) {
#if KEELMARK_MAPPED_COLUMNS
    if (bytes >= kMappedBlockBytes) {
        return mapZeroed(bytes);
    }
#endif
    void* block = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void releaseZeroed(void* block, std::size_t bytes) {
    if (block == nullptr) {
        return;
    }
#if KEELMARK_MAPPED_COLUMNS
    if (bytes >= kMappedBlockBytes) {
        unmapZeroed(block, bytes);
        return;
    }
#else
    (void)bytes;
#endif
    std::free(block);
}

void BarColumns::reserve(std::size_t n) {
    times.reserve(n);
    open.reserve(n);
    high.reserve(n);
    low.reserve(n);
    close.reserve(n);
    volume.reserve(n);
}

void BarColumns::append(const BarColumns& more) {
    times.insert(times.end(), more.times.begin(), more.times.end());
    open.insert(open.end(), more.open.begin(), more.open.end());
    high.insert(high.end(), more.high.begin(), more.high.end());
    low.insert(low.end(), more.low.begin(), more.low.end());
    close.insert(close.end(), more.close.begin(), more.close.end());
    volume.insert(volume.end(), more.volume.begin(), more.volume.end());
}

void BarColumns::clear() {
    const auto emptied = [](auto& column) {
        using Value = typename std::decay_t<decltype(column)>::value_type;
        std::fill(column.begin(), column.end(), Value{});
        column.clear();
    };
    emptied(times);
    emptied(open);
    emptied(high);
    emptied(low);
    emptied(close);
    emptied(volume);
}

void BarColumns::set(std::size_t i, const Bar& bar) {
    times[i] = bar.start;
    open[i] = bar.open;
    high[i] = bar.high;
    low[i] = bar.low;
    close[i] = bar.close;
    volume[i] = bar.volume;
}

BarColumns barColumnsOf(const std::vector<Bar>& bars) {
    BarColumns columns;
    columns.reserve(bars.size());
    for (const Bar& b : bars) {
        columns.push_back(b);
    }
    return columns;
}

std::vector<Bar> barListOf(const BarColumns& bars) {
    std::vector<Bar> list;
    list.reserve(bars.size());
    for (std::size_t i = 0; i < bars.size(); ++i) {
        list.push_back(bars[i]);
    }
    return list;
}

// The decimals are written by std::to_chars, which rounds exactly as
// printf's "%.*f" does (the tests hold it to that) at a fraction of the cost.
std::string formattedPrice(double price, std::int32_t priceFormat) {
    char buffer[400];  // "%.9f" of the largest double: 309 digits, the point and 9 decimals
    if (priceFormat >= 0 && priceFormat <= 9) {
        const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, price,
                                                     std::chars_format::fixed, priceFormat);
        if (r.ec == std::errc{}) {
            return std::string(buffer, r.ptr);
        }
    }
    const int length = priceFormat >= 0 && priceFormat <= 9
                           ? std::snprintf(buffer, sizeof buffer, "%.*f", priceFormat, price)
                           : std::snprintf(buffer, sizeof buffer, "%g", price);
    return std::string(buffer, static_cast<std::size_t>(std::clamp(length, 0, 399)));
}

namespace {

constexpr ChartDateTime kMicrosPerMinute = 60'000'000;

// a - b, held at the ends of the range: a host may hand any date-time.
ChartDateTime clampedDifference(ChartDateTime a, ChartDateTime b) {
    ChartDateTime d = 0;
    if (__builtin_sub_overflow(a, b, &d)) {
        return a < b ? std::numeric_limits<ChartDateTime>::min()
                     : std::numeric_limits<ChartDateTime>::max();
    }
    return d;
}

// The bar times fall into runs of times that never fall, each starting at a
// step back (`stepBacks`, in order). Within a run a binary search finds the
// bars that start last at or before t, and the first of them (bars with
// the same start share its span); the runs are tried in order, so the
// earliest bar whose span holds t wins.
std::int32_t barIndexInRuns(std::span<const ChartDateTime> times,
                            std::span<const std::size_t> stepBacks, ChartDateTime t) {
    const std::size_t n = times.size();
    std::int64_t latestBefore = -1;
    std::size_t begin = 0;
    for (std::size_t run = 0; run <= stepBacks.size() && begin < n; ++run) {
        const std::size_t end = run < stepBacks.size() ? stepBacks[run] : n;
        const auto first = times.begin() + static_cast<std::ptrdiff_t>(begin);
        const auto after =
            std::upper_bound(first, times.begin() + static_cast<std::ptrdiff_t>(end), t);
        if (after != first) {
            const auto last = static_cast<std::size_t>(after - times.begin()) - 1;
            const auto bar = static_cast<std::size_t>(std::lower_bound(first, after, times[last]) -
                                                      times.begin());
            if (last + 1 < end || end == n) {
                return static_cast<std::int32_t>(bar);
            }
            // The last bars before a step back span as long as the step before them.
            const ChartDateTime before =
                bar > 0 ? clampedDifference(times[bar], times[bar - 1]) : 0;
            const ChartDateTime span = before > 0 ? before : kMicrosPerMinute;
            if (clampedDifference(t, times[bar]) < span) {
                return static_cast<std::int32_t>(bar);
            }
            latestBefore = static_cast<std::int64_t>(bar);
        }
        begin = end;
    }
    return static_cast<std::int32_t>(latestBefore);
}

}  // namespace

std::int32_t barIndexForDateTime(std::span<const ChartDateTime> times, ChartDateTime t) {
    std::vector<std::size_t> stepBacks;
    for (std::size_t i = 1; i < times.size(); ++i) {
        if (times[i] < times[i - 1]) {
            stepBacks.push_back(i);
        }
    }
    return barIndexInRuns(times, stepBacks, t);
}

StudyInstance::StudyInstance(StudyFunction study, std::int32_t studyId, std::int32_t chartId)
    : study_(study),
      studyId_(studyId),
      chartId_(chartId),
      inputs_(kInputSlots),
      outputs_(kOutputSlots),
      values_(kOutputSlots),
      extras_(kOutputSlots),
      extraArrays_(kOutputSlots) {
    record_.studyName = hostEmptyString();
    record_.studyDescription = hostEmptyString();
    record_.inputs.fallbackElement = cleanInput(0);
    record_.outputs.fallbackElement = cleanOutput();
    clearDeclarations();
}

StudyInstance::~StudyInstance() { releaseHostTexts(); }

// --- the chart ---

void StudyInstance::setBars(const std::vector<Bar>& bars) { setBarColumns(barColumnsOf(bars)); }

void StudyInstance::setBarColumns(BarColumns bars) {
    bars_ = std::move(bars);
    stepBacks_.clear();
    for (std::size_t i = 1; i < bars_.size(); ++i) {
        noteStepBack(i);
    }
    // A new chart: what the study wrote for the old one goes; the room of
    // the output arrays stays for the new one.
    emptyOutputArrays();
    preparedBars_ = -1;
}

void StudyInstance::emptyOutputArrays() {
    settleColumns();
    for (std::size_t slot = 0; slot < values_.size(); ++slot) {
        if (!values_[slot].empty()) {
            sizeColumn(values_[slot], 0);
        }
        if (!extras_[slot].empty()) {
            sizeColumn(extras_[slot], 0);
        }
    }
}

void StudyInstance::startOver() {
    bars_ = BarColumns{};
    stepBacks_.clear();
    reservedBars_ = 0;
    clearDeclarations();
    persistentInts_.clear();
    persistentPointers_.clear();
    keptPersistentInts_ = KeptEntries<std::int32_t>{};
    keptPersistentPointers_ = KeptEntries<void*>{};
    drawings_.clear();
    keptDrawings_ = KeptEntries<PlacedDrawing>{};
    deleted_.clear();
    log_.clear();
    alerts_.clear();
    menu_.clear();
    nextMenuId_ = 1;
    counts_ = CallCounts{};
    priceFormat_ = 2;
    formatPriceNoText_ = false;
    menuRefused_ = false;
    barIndexLookup_ = nullptr;
    heldBack_.clear();
    barCountOverride_ = -1;
}

void StudyInstance::reserveBars(std::size_t count) {
    bars_.reserve(count);
    reservedBars_ = count;
    preparedBars_ = -1;  // the output arrays take their room on the next call
}

// The columns grow by doubling; their room takes memory only as bars reach
// it, a large page at a time where the system offers them.
void StudyInstance::appendBar(const Bar& bar) {
    bars_.push_back(bar);
    noteStepBack(bars_.size() - 1);
}

void StudyInstance::replaceLastBar(const Bar& bar) {
    if (bars_.empty()) {
        throw std::logic_error("replaceLastBar on a chart without bars");
    }
    const std::size_t last = bars_.size() - 1;
    if (!stepBacks_.empty() && stepBacks_.back() == last) {
        stepBacks_.pop_back();
    }
    bars_.set(last, bar);
    noteStepBack(last);
}

BarColumns StudyInstance::takeBars() {
    BarColumns taken = std::move(bars_);
    bars_ = BarColumns{};
    stepBacks_.clear();
    preparedBars_ = -1;
    return taken;
}

HostColumn StudyInstance::takeValues(std::int32_t slot) {
    settleColumns();
    HostColumn taken = std::move(values_.at(static_cast<std::size_t>(slot)));
    values_[static_cast<std::size_t>(slot)] = HostColumn{};
    preparedBars_ = -1;
    return taken;
}

HostColumn StudyInstance::takeExtraValues(std::int32_t slot) {
    settleColumns();
    HostColumn taken = std::move(extras_.at(static_cast<std::size_t>(slot)));
    extras_[static_cast<std::size_t>(slot)] = HostColumn{};
    preparedBars_ = -1;
    return taken;
}

// --- the calls ---

void StudyInstance::defaultsPass() {
    ++counts_.defaultsPasses;
    clearDeclarations();
    call(0, true, false, 0, 0);
    syncOutputs();
}

void StudyInstance::fullRecalculation() { update(0); }

void StudyInstance::update(std::int32_t updateStartIndex) {
    if (updateStartIndex == 0) {
        ++counts_.fullRecalculations;
    } else {
        ++counts_.incrementalUpdates;
    }
    call(updateStartIndex, false, false, 0, 0);
}

void StudyInstance::updateAfterAppend() { update(std::max(chartBarCount() - 2, 0)); }

void StudyInstance::updateFormingBar() { update(std::max(chartBarCount() - 1, 0)); }

void StudyInstance::menuCommand(std::int32_t menuId, std::int32_t barIndex) {
    ++counts_.menuCommands;
    call(std::max(chartBarCount() - 1, 0), false, false, menuId, barIndex);
}

void StudyInstance::finalCall() {
    ++counts_.finalCalls;
    call(0, false, true, 0, 0);
}

void StudyInstance::call(std::int32_t updateStartIndex, bool defaults, bool final,
                         std::int32_t menuId, std::int32_t menuBar) {
    prepareRecord(updateStartIndex);
    record_.isDefaultsPass = defaults ? 1 : 0;
    record_.isFinalCall = final ? 1 : 0;
    record_.menuCommandId = menuId;
    record_.menuBarIndex = menuBar;
    if (study_ != nullptr) {
        CurrentInstance current(this);
        study_(&record_);
    }
    record_.isDefaultsPass = 0;
    record_.isFinalCall = 0;
    record_.menuCommandId = 0;
    record_.menuBarIndex = 0;
    releaseFallbackTexts();
}

// Points every array of the record at the host's columns. Apart from the
// declared outputs' storage this is a fixed amount of work, whatever the
// number of bars.
void StudyInstance::prepareRecord(std::int32_t updateStartIndex) {
    const std::int32_t n = chartBarCount();
    StudyInterface& r = record_;
    r.barCount = barCountOverride_ >= 0 ? barCountOverride_ : n;
    r.updateStartIndex = updateStartIndex;
    r.chartId = chartId_;
    r.studyId = studyId_;
    r.priceFormat = priceFormat_;

    r.addLogMessage = addLogMessageOp;
    r.deleteDrawing = deleteDrawingOp;
    r.barIndexForDateTime = barIndexForDateTimeOp;
    r.submitDrawing = submitDrawingOp;
    r.formatPrice = formatPriceOp;
    r.raiseAlert = raiseAlertOp;
    r.addChartMenuItem = addChartMenuItemOp;
    r.removeChartMenuItem = removeChartMenuItemOp;
    r.persistentInt = persistentIntOp;
    r.persistentPointer = persistentPointerOp;
    r.setPersistentPointer = setPersistentPointerOp;

    using Id = HostArrayId;
    pointArray(r.barDateTimes, bars_.times.data(), n, Id::DateTimes, isHeldBack(Id::DateTimes),
               ChartDateTime{0});
    pointArray(r.barOpen, bars_.open.data(), n, Id::Open, isHeldBack(Id::Open), 0.0f);
    pointArray(r.barHigh, bars_.high.data(), n, Id::High, isHeldBack(Id::High), 0.0f);
    pointArray(r.barLow, bars_.low.data(), n, Id::Low, isHeldBack(Id::Low), 0.0f);
    pointArray(r.barClose, bars_.close.data(), n, Id::Close, isHeldBack(Id::Close), 0.0f);
    pointArray(r.barVolume, bars_.volume.data(), n, Id::Volume, isHeldBack(Id::Volume), 0.0f);
    pointArray(r.inputs, inputs_.data(), kInputSlots, Id::Inputs, isHeldBack(Id::Inputs),
               kCleanInput);
    pointArray(r.outputs, outputs_.data(), kOutputSlots, Id::Outputs, isHeldBack(Id::Outputs),
               kCleanOutput);
    prepareOutputArrays();
}

// Each declared output gets its values and one extra array, both sized to
// the chart's bars. Growing by the bars appended since the last call is
// amortised constant work per bar; new elements start at 0 (no value).
// Arrays already sized and pointed at their storage are left as they are:
// the host does this on every tick.
void StudyInstance::prepareOutputArrays() {
    const std::int32_t n = chartBarCount();
    if (n > 0 && declaredOutputs_ == preparedOutputs_) {
        if (n == preparedBars_) {
            return;  // a tick on the forming bar: every output is as the last call left it
        }
        if (n == preparedBars_ + 1 && static_cast<std::size_t>(n) <= columnRoom_ &&
            appendToOutputArrays(n)) {
            preparedBars_ = n;
            return;  // a bar appended: the usual new bar of a live chart
        }
    }
    settleColumns();
    preparedBars_ = n;
    preparedOutputs_ = declaredOutputs_;
    const auto count = static_cast<std::size_t>(n);
    std::size_t room = std::numeric_limits<std::size_t>::max();
    for (std::int32_t slot = 0; slot < declaredOutputs_; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        HostColumn& values = values_[s];
        HostColumn& extra = extras_[s];
        if (values.capacity() < reservedBars_) {
            values.reserve(reservedBars_);  // zeros until written: no memory yet
            extra.reserve(reservedBars_);
        }
        sizeColumn(values, count);
        sizeColumn(extra, count);
        room = std::min({room, values.capacity(), extra.capacity()});
        OutputSeries& out = outputs_[s];
        HostArray<float>& extraArray = extraArrays_[s];
        // Without bars, every call starts from a clean fallback element.
        if (n == 0 || out.values.data != values.data() || extraArray.data != extra.data() ||
            out.extraArrays.data != &extraArray) {
            pointAt(out.values, values.data(), n);
            pointAt(extraArray, extra.data(), n);
            pointAt(out.extraArrays, &extraArray, 1);
        } else {
            out.values.count = n;  // a bar appended: the same storage, one more value
            extraArray.count = n;
        }
    }
    columnRoom_ = room;
}

// One bar appended since the last call, with room for it in every column
// (columnRoom_): each array, still pointed at its storage, counts one more
// value, and the columns are left to count it when they are next settled
// (unsettledBars_). Whether every array was still pointed at its storage;
// if not, nothing is changed and the full preparation takes over.
bool StudyInstance::appendToOutputArrays(std::int32_t n) {
    const std::size_t outputs = static_cast<std::size_t>(declaredOutputs_);
    const HostColumn* const values = values_.data();
    const HostColumn* const extras = extras_.data();
    OutputSeries* const series = outputs_.data();
    HostArray<float>* const extraArrays = extraArrays_.data();
    bool pointed = true;
    for (std::size_t s = 0; s < outputs; ++s) {
        pointed &= series[s].values.data == values[s].data() &&
                   extraArrays[s].data == extras[s].data() &&
                   series[s].extraArrays.data == &extraArrays[s];
    }
    if (!pointed) {
        return false;
    }
    for (std::size_t s = 0; s < outputs; ++s) {
        series[s].values.count = n;
        extraArrays[s].count = n;
    }
    ++unsettledBars_;
    return true;
}

// Grows every prepared column by the bars appended since it last counted
// them, within its room: their values are already in place.
void StudyInstance::settleColumns() {
    if (unsettledBars_ == 0) {
        return;
    }
    for (std::int32_t slot = 0; slot < preparedOutputs_; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        values_[s].resize(values_[s].size() + unsettledBars_);
        extras_[s].resize(extras_[s].size() + unsettledBars_);
    }
    unsettledBars_ = 0;
}

// A study declares an input or output by marking its name set; the declared
// count runs to the highest such slot.
void StudyInstance::syncOutputs() {
    declaredInputs_ = 0;
    for (std::int32_t slot = 0; slot < kInputSlots; ++slot) {
        if (inputs_[static_cast<std::size_t>(slot)].name.isSet != 0) {
            declaredInputs_ = slot + 1;
        }
    }
    declaredOutputs_ = 0;
    for (std::int32_t slot = 0; slot < kOutputSlots; ++slot) {
        if (outputs_[static_cast<std::size_t>(slot)].name.isSet != 0) {
            declaredOutputs_ = slot + 1;
        }
    }
}

// The defaults pass starts from a record without any declaration.
void StudyInstance::clearDeclarations() {
    for (std::size_t slot = 0; slot < inputs_.size(); ++slot) {
        release(inputs_[slot].name);
        inputs_[slot] = cleanInput(static_cast<std::int32_t>(slot));
    }
    for (std::size_t slot = 0; slot < outputs_.size(); ++slot) {
        release(outputs_[slot].name);
        outputs_[slot] = cleanOutput();
        pointAt(extraArrays_[slot], static_cast<float*>(nullptr), 0);
    }
    emptyOutputArrays();
    preparedBars_ = -1;
    release(record_.studyName);
    release(record_.studyDescription);
    record_.studyName = hostEmptyString();
    record_.studyDescription = hostEmptyString();
    record_.hostSettingA = 0;
    record_.hostSettingB = 0;
    record_.hostSettingC = 0;
    record_.chartRegion = 0;
    optionLists_.clear();
    declaredInputs_ = 0;
    declaredOutputs_ = 0;
}

// A study that found the inputs or outputs unavailable wrote into the
// fallback element; a name it assigned there belongs to the host now.
void StudyInstance::releaseFallbackTexts() {
    release(record_.inputs.fallbackElement.name);
    release(record_.outputs.fallbackElement.name);
}

void StudyInstance::releaseHostTexts() {
    for (StudyInput& in : inputs_) {
        release(in.name);
    }
    for (OutputSeries& out : outputs_) {
        release(out.name);
    }
    release(record_.studyName);
    release(record_.studyDescription);
    releaseFallbackTexts();
}

void StudyInstance::holdBackArray(HostArrayId id, bool forGood) { heldBack_[id] = forGood; }

void StudyInstance::makeAvailable(HostArrayId id) {
    StudyInterface& r = record_;
    switch (id) {
        case HostArrayId::DateTimes:
            r.barDateTimes.data = bars_.times.data();
            break;
        case HostArrayId::Open:
            r.barOpen.data = bars_.open.data();
            break;
        case HostArrayId::High:
            r.barHigh.data = bars_.high.data();
            break;
        case HostArrayId::Low:
            r.barLow.data = bars_.low.data();
            break;
        case HostArrayId::Close:
            r.barClose.data = bars_.close.data();
            break;
        case HostArrayId::Volume:
            r.barVolume.data = bars_.volume.data();
            break;
        case HostArrayId::Inputs:
            r.inputs.data = inputs_.data();
            break;
        case HostArrayId::Outputs:
            r.outputs.data = outputs_.data();
            break;
    }
}

// --- what the study declared and wrote ---

float StudyInstance::extraValue(std::int32_t slot, std::int32_t extra, std::int32_t bar) const {
    return valueAt(extraValues(slot, extra), bar);
}

std::span<const float> StudyInstance::extraValues(std::int32_t slot, std::int32_t extra) const {
    if (extra != 0) {
        throw std::out_of_range("each output has one extra array");
    }
    return inUse(extras_.at(static_cast<std::size_t>(slot)), slot);
}

std::string StudyInstance::inputLabel(std::int32_t slot) const {
    return copiedText(inputs_.at(static_cast<std::size_t>(slot)).name);
}

std::string StudyInstance::outputName(std::int32_t slot) const {
    return copiedText(outputs_.at(static_cast<std::size_t>(slot)).name);
}

std::string StudyInstance::studyName() const { return copiedText(record_.studyName); }

std::string StudyInstance::studyDescription() const { return copiedText(record_.studyDescription); }

// --- input values ---

void StudyInstance::setIntInput(std::int32_t slot, std::int32_t value) {
    setCellInt(input(slot).value, value);
}

void StudyInstance::setFloatInput(std::int32_t slot, float value) {
    setCellFloat(input(slot).value, value);
}

void StudyInstance::setDoubleInput(std::int32_t slot, double value) {
    setCellDouble(input(slot).value, value);
}

void StudyInstance::setInputType(std::int32_t slot, std::uint8_t valueType) {
    input(slot).valueType = valueType;
}

// --- host operations ---

// Bar i is the answer for t when it starts at or before t and the next bar,
// if any, after t (-1: the first bar starts after t). With bar times in
// order exactly one index passes, the one the search finds.
bool StudyInstance::lookupStillHolds(const RecentLookup& recent, ChartDateTime t) const {
    const auto n = static_cast<std::int64_t>(bars_.times.size());
    const std::int64_t i = recent.barIndex;
    if (recent.dateTime != t || i < -1 || i >= n) {
        return false;
    }
    const bool startsAtOrBefore = i < 0 || bars_.times[static_cast<std::size_t>(i)] <= t;
    const bool nextStartsAfter = i + 1 == n || bars_.times[static_cast<std::size_t>(i + 1)] > t;
    return startsAtOrBefore && nextStartsAfter;
}

std::int32_t StudyInstance::barIndexAtOrBefore(ChartDateTime t) const {
    if (!stepBacks_.empty()) {
        return barIndexInRuns(bars_.times, stepBacks_, t);
    }
    for (const RecentLookup& recent : recentLookups_) {
        if (lookupStillHolds(recent, t)) {
            return recent.barIndex;
        }
    }
    const std::int32_t index = barIndexInRuns(bars_.times, {}, t);
    recentLookups_[nextRecentLookup_] = RecentLookup{t, index};
    nextRecentLookup_ = (nextRecentLookup_ + 1) % kRecentLookups;
    return index;
}

void StudyInstance::noteStepBack(std::size_t index) {
    if (index > 0 && index < bars_.times.size() && bars_.times[index] < bars_.times[index - 1]) {
        stepBacks_.push_back(index);
    }
}

std::int32_t StudyInstance::hostAddLogMessage(const char* text, std::int32_t flag) {
    log_.push_back(LogLine{text != nullptr ? text : "", flag});
    return 1;
}

void StudyInstance::hostDeleteDrawing(std::int32_t, std::int32_t drawingNumber) {
    keptDrawings_.forget(drawingNumber);
    drawings_.erase(drawingNumber);
    deleted_.push_back(drawingNumber);
}

std::int32_t StudyInstance::hostBarIndexForDateTime(std::int32_t, const ChartDateTime* t) {
    if (t == nullptr) {
        return -1;
    }
    return barIndexLookup_ ? barIndexLookup_(*t) : barIndexAtOrBefore(*t);
}

// Places the drawing, or replaces the one that carries the same number.
std::int32_t StudyInstance::hostSubmitDrawing(const DrawingRequest* request) {
    if (request == nullptr) {
        return 0;
    }
    const DrawingRequest& q = *request;
    // The texts are assigned into the drawing already kept under the number,
    // so that replacing a panel on every call reuses its storage.
    PlacedDrawing& placed = keptDrawings_.of(drawings_, q.drawingNumber);
    placed.drawingNumber = q.drawingNumber;
    placed.chartId = q.chartId;
    placed.drawingKind = q.drawingKind;
    placed.requestMode = q.requestMode;
    placed.region = q.region;
    placed.price = q.price;
    placed.dateTime = q.dateTime;
    placed.barIndex = q.barIndex;
    placed.relativePlacement = q.relativePlacement;
    placed.textAlignment = q.textAlignment;
    placed.textColour = q.textColour;
    placed.backgroundColour = q.backgroundColour;
    placed.fontSize = q.fontSize;
    keepText(placed.fontFace, q.fontFace);
    keepText(placed.text, q.text);
    placed.hostOptionA = q.hostOptionA;
    placed.hostOptionB = q.hostOptionB;
    placed.hostOptionC = q.hostOptionC;
    placed.hostOptionD = q.hostOptionD;
    ++placed.timesSubmitted;
    return 1;
}

// The price text in the given format, on the process heap: the study that
// asked owns it afterwards.
HostString* StudyInstance::hostFormatPrice(HostString* result, double price,
                                           std::int32_t priceFormat) {
    if (result == nullptr) {
        return result;
    }
    if (formatPriceNoText_) {
        release(*result);
        result->text = nullptr;
        result->ownsText = 0;
        return result;
    }
    const std::string& text = priceText(price, priceFormat);
    assign(*result, text.c_str(), static_cast<std::int32_t>(text.size()));
    return result;
}

const std::string& StudyInstance::priceText(double price, std::int32_t priceFormat) {
    const auto bits = std::bit_cast<std::uint64_t>(price);
    // Each price and format has a set of two places, found by a hash; a new
    // text replaces the one of the pair used less recently.
    const std::uint64_t hash =
        (bits ^ static_cast<std::uint32_t>(priceFormat)) * 0x9E3779B97F4A7C15u;
    const std::size_t set = static_cast<std::size_t>(hash >> 57) * 2;
    for (std::size_t way = 0; way < 2; ++way) {
        FormattedPrice& kept = formattedPrices_[set + way];
        if (kept.used && kept.priceBits == bits && kept.priceFormat == priceFormat) {
            formattedPrices_[set].usedLast = way == 0;
            return kept.text;
        }
    }
    const std::size_t way = formattedPrices_[set].usedLast ? 1 : 0;
    formattedPrices_[set].usedLast = way == 0;
    FormattedPrice& slot = formattedPrices_[set + way];
    slot.used = true;
    slot.priceBits = bits;
    slot.priceFormat = priceFormat;
    slot.text = formattedPrice(price, priceFormat);
    return slot.text;
}

void StudyInstance::hostRaiseAlert(std::int32_t number, std::int32_t barIndex,
                                   const HostString* message) {
    alerts_.push_back(RaisedAlert{number, barIndex, message != nullptr ? textOf(*message) : ""});
}

std::int32_t StudyInstance::hostAddChartMenuItem(std::int32_t, const char* text) {
    if (menuRefused_) {
        return 0;
    }
    const std::int32_t id = nextMenuId_++;
    menu_.push_back(MenuItem{id, text != nullptr ? text : ""});
    return id;
}

void StudyInstance::hostRemoveChartMenuItem(std::int32_t, std::int32_t id) {
    std::erase_if(menu_, [id](const MenuItem& item) { return item.id == id; });
}

void StudyInstance::hostFetch(std::int32_t token) {
    ++counts_.fetches;
    if (token < static_cast<std::int32_t>(HostArrayId::DateTimes) ||
        token > static_cast<std::int32_t>(HostArrayId::Outputs)) {
        return;
    }
    const auto id = static_cast<HostArrayId>(token);
    const auto held = heldBack_.find(id);
    if (held != heldBack_.end() && held->second) {
        return;  // withheld for good
    }
    makeAvailable(id);
}

void StudyInstance::hostSetOptionList(std::int32_t token, const char* options) {
    optionLists_[token] = options != nullptr ? options : "";
}

std::int32_t* StudyInstance::hostPersistentInt(std::int32_t key) {
    ++counts_.persistentAccesses;
    return &keptPersistentInts_.of(persistentInts_, key);
}

void** StudyInstance::hostPersistentPointer(std::int32_t key) {
    ++counts_.persistentAccesses;
    return &keptPersistentPointers_.of(persistentPointers_, key);
}

void StudyInstance::hostSetPersistentPointer(std::int32_t key, void* pointer) {
    ++counts_.persistentAccesses;
    persistentPointers_[key] = pointer;
}

}  // namespace keelmark::replay
