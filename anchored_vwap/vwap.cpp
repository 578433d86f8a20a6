// Anchored VWAP and its standard-deviation bands.
//
// From the anchor bar to the current bar, each bar's price p (typical price,
// close, OHLC average or the high-low midpoint) is weighted by its volume V:
//
//   VWAP = sum(V * p) / sum(V)
//   SD   = sqrt( sum(V * (p - VWAP)^2) / sum(V) )   the volume-weighted spread
//   band = VWAP +/- multiplier * SD                   for band 1 and band 2
//
// The running sums hold prices as deviations d = p - r from a reference
// price r, so that they stay small and the variance, sum(V*d*d)/sum(V) -
// mean(d)^2, loses no digits to cancellation. r is the price of the anchor
// bar, whatever its volume, taken once that bar is committed (a forming
// anchor bar's price may still move, so a live chart and a full
// recalculation round alike); only an anchor bar whose price is not a number
// hands r on to the next bar that has one:
//
//   mean = sum(V*d) / sum(V);  VWAP = r + mean;  SD^2 = sum(V*d*d)/sum(V) - mean^2
//
// A variance that rounding leaves at or below zero gives an SD of 0. Until
// some volume has traded since the anchor, every line reads 0 (no value); a
// later bar without volume repeats the previous values. A bar whose price is
// not a number, or whose volume is not a positive number, adds nothing.
//
// Only committed bars enter the sums, once each. The forming bar is added to
// a scratch copy on every call, so its updates never count twice.
#include "anchored_vwap/vwap.h"

#include <algorithm>
#include <cmath>

#include "anchored_vwap/study_layout.h"

namespace keelmark::anchored_vwap {

namespace {

// A multiplier that is off, zero, negative or not a finite number draws no band.
double bandMultiplier(bool showBands, float multiplier) {
    return showBands && multiplier > 0.0f && std::isfinite(multiplier)
               ? static_cast<double>(multiplier)
               : 0.0;
}

// Adds bar k to the sums when it carries a usable price and volume. The first
// bar from the anchor bar on whose price is a number fixes the reference
// price, with or without volume: on a sound chart, the anchor bar itself.
void foldBar(RunningSums& sums, double& referencePrice, std::int32_t& hasReference, double price,
             float volume) {
    if (!std::isfinite(price)) {
        return;
    }
    if (hasReference == 0) {
        referencePrice = price;
        hasReference = 1;
    }
    if (!(volume > 0.0f) || !std::isfinite(volume)) {
        return;
    }
    const double d = price - referencePrice;
    const double v = static_cast<double>(volume);
    sums.volumeDeviation += v * d;
    sums.volume += v;
    sums.volumeSquaredDeviation += d * d * v;
}

// The five values of one bar, in series order.
struct BarValues {
    float vwap, band1Upper, band1Lower, band2Upper, band2Lower;
};

void setBand(float& upper, float& lower, double vwap, double sd, double multiplier) {
    if (multiplier > 0.0) {
        upper = static_cast<float>(vwap + multiplier * sd);
        lower = static_cast<float>(vwap - multiplier * sd);
    } else {
        upper = 0.0f;
        lower = 0.0f;
    }
}

BarValues barValues(const RunningSums& sums, double referencePrice, const LineSettings& settings) {
    BarValues v{0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    if (!(sums.volume > 0.0)) {
        return v;
    }
    const double mean = sums.volumeDeviation / sums.volume;
    const double variance = sums.volumeSquaredDeviation / sums.volume - mean * mean;
    const double sd = variance > 0.0 ? std::sqrt(variance) : 0.0;
    const double vwap = mean + referencePrice;
    v.vwap = static_cast<float>(vwap);
    setBand(v.band1Upper, v.band1Lower, vwap, sd, settings.band1);
    setBand(v.band2Upper, v.band2Lower, vwap, sd, settings.band2);
    return v;
}

// Stores in series order, straight when bar k lies inside all five arrays.
void storeBar(const SlotSeries& series, std::int32_t k, const BarValues& v) {
    if (k >= 0 && k < series.commonCount) [[likely]] {
        series.vwap.data[k] = v.vwap;
        series.band1Upper.data[k] = v.band1Upper;
        series.band1Lower.data[k] = v.band1Lower;
        series.band2Upper.data[k] = v.band2Upper;
        series.band2Lower.data[k] = v.band2Lower;
        return;
    }
    series.vwap[k] = v.vwap;
    series.band1Upper[k] = v.band1Upper;
    series.band1Lower[k] = v.band1Lower;
    series.band2Upper[k] = v.band2Upper;
    series.band2Lower[k] = v.band2Lower;
}

void writeBar(const SlotSeries& series, std::int32_t k, const RunningSums& sums,
              double referencePrice, const LineSettings& settings) {
    storeBar(series, k, barValues(sums, referencePrice, settings));
}

// Single-precision sums in the order written, then scaled in double. `at`
// reads one array's element of the bar.
template <typename Element>
double priceOf(const ChartBars& bars, Element at, PriceChoice choice) {
    switch (choice) {
        case PriceChoice::Close:
            return static_cast<double>(at(bars.close));
        case PriceChoice::OhlcAverage: {
            const float sum = at(bars.high) + at(bars.open) + at(bars.low) + at(bars.close);
            return static_cast<double>(sum) * 0.25;
        }
        case PriceChoice::HighLowMidpoint: {
            const float sum = at(bars.high) + at(bars.low);
            return static_cast<double>(sum) * 0.5;
        }
        case PriceChoice::Typical:
        default: {
            const float sum = at(bars.high) + at(bars.low) + at(bars.close);
            return static_cast<double>(sum) / 3.0;
        }
    }
}

float volumeOf(const ChartBars& bars, std::int32_t k) {
    return k >= 0 && k < bars.priceCount ? bars.volume.data[k] : bars.volume[k];
}

void clearSeries(const ArrayView<float>& values, std::int32_t barCount) {
    // Writes past the host's array land on its last element (or its fallback
    // element), so clearing the elements that exist clears them all.
    const std::int32_t n = barCount < values.count ? barCount : values.count;
    if (n <= 0) {
        values[0] = 0.0f;
        return;
    }
    for (std::int32_t k = 0; k < n; ++k) {
        values.atInRange(k) = 0.0f;
    }
}

}  // namespace

LineSettings readLineSettings(ArrayView<StudyInput> inputs) {
    const std::int32_t choice = indexValue(inputs[kPriceInput]);
    const bool showBands = boolValue(inputs[kShowBandsInput]) == 1;
    return LineSettings{
        choice >= 0 && choice <= 3 ? static_cast<PriceChoice>(choice) : PriceChoice::Typical,
        bandMultiplier(showBands, floatValue(inputs[kBand1Input])),
        bandMultiplier(showBands, floatValue(inputs[kBand2Input]))};
}

SlotSeries resolveSlotSeries(ArrayView<OutputSeries> outputs, std::int32_t anchorSlot) {
    const std::int32_t first = firstOutputOf(anchorSlot);
    SlotSeries series{
        resolve(outputs[first + kVwapLine].values),   resolve(outputs[first + kBand1Upper].values),
        resolve(outputs[first + kBand1Lower].values), resolve(outputs[first + kBand2Upper].values),
        resolve(outputs[first + kBand2Lower].values), 0};
    series.commonCount =
        std::min({series.vwap.count, series.band1Upper.count, series.band1Lower.count,
                  series.band2Upper.count, series.band2Lower.count});
    return series;
}

double anchorPrice(const ChartBars& bars, std::int32_t k, PriceChoice choice) {
    if (k >= 0 && k < bars.priceCount) [[likely]] {
        return priceOf(
            bars, [k](const ArrayView<float>& a) { return a.data[k]; }, choice);
    }
    return priceOf(
        bars, [k](const ArrayView<float>& a) { return a[k]; }, choice);
}

bool needsReset(const AnchorState& state, const ResolvedAnchor& anchor,
                std::int32_t updateStartIndex) {
    return updateStartIndex == 0 || !(anchor.days == state.anchorDays) ||
           anchor.bar != state.anchorBar || updateStartIndex <= state.lastCommittedBar;
}

void resetSlot(AnchorState& state, const ResolvedAnchor& anchor, const SlotSeries& series,
               std::int32_t barCount) {
    clearSeries(series.vwap, barCount);
    clearSeries(series.band1Upper, barCount);
    clearSeries(series.band1Lower, barCount);
    clearSeries(series.band2Upper, barCount);
    clearSeries(series.band2Lower, barCount);
    state.anchorDays = anchor.days;
    state.anchorBar = anchor.bar;
    state.lastCommittedBar = anchor.bar - 1;
    state.referencePrice = 0.0;
    state.sums = RunningSums{};
    state.hasReference = 0;
}

void carryForward(AnchorState& state, const ChartBars& bars, const LineSettings& settings,
                  const SlotSeries& series) {
    const std::int32_t lastClosed = bars.count - 2;
    for (std::int32_t k = state.lastCommittedBar + 1; k <= lastClosed; ++k) {
        foldBar(state.sums, state.referencePrice, state.hasReference,
                anchorPrice(bars, k, settings.price), volumeOf(bars, k));
        writeBar(series, k, state.sums, state.referencePrice, settings);
        state.lastCommittedBar = k;
    }

    const std::int32_t forming = bars.count - 1;
    if (forming >= state.anchorBar && forming > state.lastCommittedBar) {
        RunningSums scratch = state.sums;
        double referencePrice = state.referencePrice;
        std::int32_t hasReference = state.hasReference;
        foldBar(scratch, referencePrice, hasReference, anchorPrice(bars, forming, settings.price),
                volumeOf(bars, forming));
        writeBar(series, forming, scratch, referencePrice, settings);
    }
}

}  // namespace keelmark::anchored_vwap
