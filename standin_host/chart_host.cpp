#include "standin_host/chart_host.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdio>
#include <stdexcept>

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

std::string copiedText(const HostString& s) { return textOf(s); }

// Appends to a column of the chart. When the column must grow, its new
// storage is written through at once, while the chart grows, rather than a
// page at a time as later bars arrive on a live chart.
template <typename T>
void appendTouched(std::vector<T>& column, const T& value) {
    if (column.size() == column.capacity()) {
        const std::size_t size = column.size();
        column.resize(std::max<std::size_t>(2 * size, 64));
        column.resize(size);
    }
    column.push_back(value);
}

}  // namespace

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

namespace {}  // namespace

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

void StudyInstance::setBars(std::vector<Bar> bars) {
    bars_ = std::move(bars);
    const std::size_t n = bars_.size();
    times_.resize(n);
    open_.resize(n);
    high_.resize(n);
    low_.resize(n);
    close_.resize(n);
    volume_.resize(n);
    backwardSteps_ = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Bar& b = bars_[i];
        times_[i] = b.start;
        countBackwardStep(i, 1);
        open_[i] = b.open;
        high_[i] = b.high;
        low_[i] = b.low;
        close_[i] = b.close;
        volume_[i] = b.volume;
    }
    // A new chart: what the study wrote for the old one goes. The storage
    // stays, cleared, for the next chart of the same instance.
    for (std::size_t slot = 0; slot < values_.size(); ++slot) {
        clearColumn(values_[slot]);
        clearColumn(extras_[slot]);
    }
    preparedBars_ = -1;
}

void StudyInstance::appendBar(const Bar& bar) {
    appendTouched(bars_, bar);
    appendTouched(times_, bar.start);
    countBackwardStep(times_.size() - 1, 1);
    appendTouched(open_, bar.open);
    appendTouched(high_, bar.high);
    appendTouched(low_, bar.low);
    appendTouched(close_, bar.close);
    appendTouched(volume_, bar.volume);
}

void StudyInstance::replaceLastBar(const Bar& bar) {
    if (bars_.empty()) {
        throw std::logic_error("replaceLastBar on a chart without bars");
    }
    bars_.back() = bar;
    countBackwardStep(times_.size() - 1, -1);
    times_.back() = bar.start;
    countBackwardStep(times_.size() - 1, 1);
    open_.back() = bar.open;
    high_.back() = bar.high;
    low_.back() = bar.low;
    close_.back() = bar.close;
    volume_.back() = bar.volume;
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
    pointArray(r.barDateTimes, times_.data(), n, Id::DateTimes, isHeldBack(Id::DateTimes),
               ChartDateTime{0});
    pointArray(r.barOpen, open_.data(), n, Id::Open, isHeldBack(Id::Open), 0.0f);
    pointArray(r.barHigh, high_.data(), n, Id::High, isHeldBack(Id::High), 0.0f);
    pointArray(r.barLow, low_.data(), n, Id::Low, isHeldBack(Id::Low), 0.0f);
    pointArray(r.barClose, close_.data(), n, Id::Close, isHeldBack(Id::Close), 0.0f);
    pointArray(r.barVolume, volume_.data(), n, Id::Volume, isHeldBack(Id::Volume), 0.0f);
    pointArray(r.inputs, inputs_.data(), kInputSlots, Id::Inputs, isHeldBack(Id::Inputs),
               cleanInput(0));
    pointArray(r.outputs, outputs_.data(), kOutputSlots, Id::Outputs, isHeldBack(Id::Outputs),
               cleanOutput());
    prepareOutputArrays();
}

// Each declared output gets its values and one extra array, both sized to
// the chart's bars. Growing by the bars appended since the last call is
// amortised constant work per bar; new elements start at 0 (no value).
// Arrays already sized and pointed at their storage are left as they are:
// the host does this on every tick.
void StudyInstance::prepareOutputArrays() {
    const std::int32_t n = chartBarCount();
    if (n > 0 && n == preparedBars_ && declaredOutputs_ == preparedOutputs_) {
        return;  // a tick on the forming bar: every output is as the last call left it
    }
    preparedBars_ = n;
    preparedOutputs_ = declaredOutputs_;
    const auto count = static_cast<std::size_t>(n);
    for (std::int32_t slot = 0; slot < declaredOutputs_; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        OutputColumn& values = values_[s];
        OutputColumn& extra = extras_[s];
        sizeColumn(values, count);
        sizeColumn(extra, count);
        OutputSeries& out = outputs_[s];
        HostArray<float>& extraArray = extraArrays_[s];
        // Without bars, every call starts from a clean fallback element.
        if (n == 0 || out.values.data != values.storage.data() ||
            extraArray.data != extra.storage.data() || out.extraArrays.data != &extraArray) {
            pointAt(out.values, values.storage.data(), n);
            pointAt(extraArray, extra.storage.data(), n);
            pointAt(out.extraArrays, &extraArray, 1);
        } else {
            out.values.count = n;  // a bar appended: the same storage, one more value
            extraArray.count = n;
        }
    }
}

// Storage grows by half again, for amortised constant work per appended bar
// at a modest cost in memory. Values given up when the chart shrinks are
// cleared, so that bars added later start at 0 again.
void StudyInstance::resizeColumn(OutputColumn& c, std::size_t count) {
    if (count > c.storage.size()) {
        c.storage.resize(std::max(count, c.storage.size() + c.storage.size() / 2));
    } else if (count < c.count) {
        std::fill(c.storage.begin() + static_cast<std::ptrdiff_t>(count),
                  c.storage.begin() + static_cast<std::ptrdiff_t>(c.count), 0.0f);
    }
    c.count = count;
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
        values_[slot] = OutputColumn{};
        extras_[slot] = OutputColumn{};
        pointAt(extraArrays_[slot], static_cast<float*>(nullptr), 0);
    }
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

bool StudyInstance::isHeldBack(HostArrayId id) const {
    return !heldBack_.empty() && heldBack_.count(id) != 0;
}

void StudyInstance::holdBackArray(HostArrayId id, bool forGood) { heldBack_[id] = forGood; }

void StudyInstance::makeAvailable(HostArrayId id) {
    StudyInterface& r = record_;
    switch (id) {
        case HostArrayId::DateTimes:
            r.barDateTimes.data = times_.data();
            break;
        case HostArrayId::Open:
            r.barOpen.data = open_.data();
            break;
        case HostArrayId::High:
            r.barHigh.data = high_.data();
            break;
        case HostArrayId::Low:
            r.barLow.data = low_.data();
            break;
        case HostArrayId::Close:
            r.barClose.data = close_.data();
            break;
        case HostArrayId::Volume:
            r.barVolume.data = volume_.data();
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
    return inUse(extras_.at(static_cast<std::size_t>(slot)));
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
    const auto n = static_cast<std::int64_t>(times_.size());
    const std::int64_t i = recent.barIndex;
    if (recent.dateTime != t || i < -1 || i >= n) {
        return false;
    }
    const bool startsAtOrBefore = i < 0 || times_[static_cast<std::size_t>(i)] <= t;
    const bool nextStartsAfter = i + 1 == n || times_[static_cast<std::size_t>(i + 1)] > t;
    return startsAtOrBefore && nextStartsAfter;
}

std::int32_t StudyInstance::barIndexAtOrBefore(ChartDateTime t) const {
    const bool inOrder = backwardSteps_ == 0;
    if (inOrder) {
        for (const RecentLookup& recent : recentLookups_) {
            if (lookupStillHolds(recent, t)) {
                return recent.barIndex;
            }
        }
    }
    const auto after = std::upper_bound(times_.begin(), times_.end(), t);
    const auto index = static_cast<std::int32_t>(after - times_.begin()) - 1;
    if (inOrder) {
        recentLookups_[nextRecentLookup_] = RecentLookup{t, index};
        nextRecentLookup_ = (nextRecentLookup_ + 1) % kRecentLookups;
    }
    return index;
}

// Adds (sign 1) or removes (sign -1) the step from bar index - 1 to bar
// index to the count of steps back in time.
void StudyInstance::countBackwardStep(std::size_t index, std::int32_t sign) {
    if (index > 0 && index < times_.size() && times_[index] < times_[index - 1]) {
        backwardSteps_ += sign;
    }
}

std::int32_t StudyInstance::hostAddLogMessage(const char* text, std::int32_t flag) {
    log_.push_back(LogLine{text != nullptr ? text : "", flag});
    return 1;
}

void StudyInstance::hostDeleteDrawing(std::int32_t, std::int32_t drawingNumber) {
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
    PlacedDrawing& placed = drawings_[q.drawingNumber];
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
    placed.fontFace.assign(textOf(q.fontFace));
    placed.text.assign(textOf(q.text));
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
    return &persistentInts_[key];
}

void** StudyInstance::hostPersistentPointer(std::int32_t key) {
    ++counts_.persistentAccesses;
    return &persistentPointers_[key];
}

void StudyInstance::hostSetPersistentPointer(std::int32_t key, void* pointer) {
    ++counts_.persistentAccesses;
    persistentPointers_[key] = pointer;
}

}  // namespace keelmark::replay
