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

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

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

// The volume-weighted mean deviation from the reference price and the
// standard deviation of one bar's sums: mean = S1 / S0, variance =
// S2 / S0 - mean^2, SD = sqrt(variance), or 0 when rounding leaves the
// variance at or below 0 (or not a number). Meaningful only while S0 > 0.
struct Spread {
    double mean;
    double sd;
};

Spread spreadOf(const RunningSums& sums) {
    const double mean = sums.volumeDeviation / sums.volume;
    const double variance = sums.volumeSquaredDeviation / sums.volume - mean * mean;
    return Spread{mean, variance > 0.0 ? std::sqrt(variance) : 0.0};
}

// The spreads of two bars at once. Divisions and square roots dominate the
// cost of a bar, and the processor does two of them, one per lane of a
// packed SSE2 instruction, for the price of one; each lane is the same IEEE
// operation as in spreadOf, so the values are identical.
void spreadsOf(const RunningSums& a, const RunningSums& b, Spread& first, Spread& second) {
#if defined(__SSE2__) || defined(_M_X64)
    const __m128d volume = _mm_set_pd(b.volume, a.volume);
    const __m128d mean = _mm_div_pd(_mm_set_pd(b.volumeDeviation, a.volumeDeviation), volume);
    const __m128d variance = _mm_sub_pd(
        _mm_div_pd(_mm_set_pd(b.volumeSquaredDeviation, a.volumeSquaredDeviation), volume),
        _mm_mul_pd(mean, mean));
    // A lane whose variance is not above 0 (or not a number) gets +0.
    const __m128d sd = _mm_and_pd(_mm_cmpgt_pd(variance, _mm_setzero_pd()), _mm_sqrt_pd(variance));
    first = Spread{_mm_cvtsd_f64(mean), _mm_cvtsd_f64(sd)};
    second =
        Spread{_mm_cvtsd_f64(_mm_unpackhi_pd(mean, mean)), _mm_cvtsd_f64(_mm_unpackhi_pd(sd, sd))};
#else
    first = spreadOf(a);
    second = spreadOf(b);
#endif
}

BarValues barValues(const RunningSums& sums, const Spread& spread, double referencePrice,
                    const LineSettings& settings) {
    BarValues v{0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    if (!(sums.volume > 0.0)) {
        return v;
    }
    const double vwap = spread.mean + referencePrice;
    v.vwap = static_cast<float>(vwap);
    setBand(v.band1Upper, v.band1Lower, vwap, spread.sd, settings.band1);
    setBand(v.band2Upper, v.band2Lower, vwap, spread.sd, settings.band2);
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
    storeBar(series, k, barValues(sums, spreadOf(sums), referencePrice, settings));
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

void resetSlot(AnchorState& state, const ResolvedAnchor& anchor, const SlotSeries& series,
               std::int32_t barCount) {
    const std::int32_t cleared = anchor.bar >= 0 && anchor.bar < barCount ? anchor.bar : barCount;
    clearSeries(series.vwap, cleared);
    clearSeries(series.band1Upper, cleared);
    clearSeries(series.band1Lower, cleared);
    clearSeries(series.band2Upper, cleared);
    clearSeries(series.band2Lower, cleared);
    state.anchorDays = anchor.days;
    state.anchorBar = anchor.bar;
    state.lastCommittedBar = anchor.bar - 1;
    state.referencePrice = 0.0;
    state.sums = RunningSums{};
    state.hasReference = 0;
}

namespace {

// Closed bars are carried forward in blocks: first the running sums after
// each bar of the block, in bar order, the one step that needs the bar
// before; then each bar's lines, which need only its own sums, so that the
// processor overlaps their divisions and square roots, two bars per packed
// instruction.
constexpr std::int32_t kBlockBars = 256;

// The sums and reference price after each bar of a block. Deliberately
// without default values: the block is left uninitialised until the fold
// fills it, so that a call with one new bar does not clear all of it.
struct BlockSums {
    double volumeDeviation[kBlockBars];
    double volume[kBlockBars];
    double volumeSquaredDeviation[kBlockBars];
    double referencePrice[kBlockBars];

    void keep(std::int32_t j, const RunningSums& sums, double reference) {
        volumeDeviation[j] = sums.volumeDeviation;
        volume[j] = sums.volume;
        volumeSquaredDeviation[j] = sums.volumeSquaredDeviation;
        referencePrice[j] = reference;
    }
    RunningSums sums(std::int32_t j) const {
        return RunningSums{volumeDeviation[j], volume[j], volumeSquaredDeviation[j]};
    }
};

// The record's sums are carried in locals through the block, so that each
// bar adds to registers rather than to memory it has just written.
template <typename PriceAt, typename VolumeAt>
void foldBlockWith(AnchorState& state, std::int32_t first, std::int32_t n, PriceAt priceAt,
                   VolumeAt volumeAt, BlockSums& after) {
    RunningSums sums = state.sums;
    double referencePrice = state.referencePrice;
    std::int32_t hasReference = state.hasReference;
    for (std::int32_t j = 0; j < n; ++j) {
        const std::int32_t k = first + j;
        foldBar(sums, referencePrice, hasReference, priceAt(k), volumeAt(k));
        after.keep(j, sums, referencePrice);
    }
    state.sums = sums;
    state.referencePrice = referencePrice;
    state.hasReference = hasReference;
    state.lastCommittedBar = first + n - 1;
}

// A block inside every price array reads them straight, with the price
// formula fixed for the whole block.
template <PriceChoice kChoice>
void foldBlockInside(AnchorState& state, const ChartBars& bars, std::int32_t first, std::int32_t n,
                     BlockSums& after) {
    foldBlockWith(
        state, first, n,
        [&bars](std::int32_t k) {
            return priceOf(
                bars, [k](const ArrayView<float>& a) { return a.data[k]; }, kChoice);
        },
        [&bars](std::int32_t k) { return bars.volume.data[k]; }, after);
}

void foldBlock(AnchorState& state, const ChartBars& bars, std::int32_t first, std::int32_t n,
               PriceChoice price, BlockSums& after) {
    if (first < 0 || first + n > bars.priceCount) {
        foldBlockWith(
            state, first, n, [&](std::int32_t k) { return anchorPrice(bars, k, price); },
            [&bars](std::int32_t k) { return volumeOf(bars, k); }, after);
        return;
    }
    switch (price) {
        case PriceChoice::Close:
            foldBlockInside<PriceChoice::Close>(state, bars, first, n, after);
            break;
        case PriceChoice::OhlcAverage:
            foldBlockInside<PriceChoice::OhlcAverage>(state, bars, first, n, after);
            break;
        case PriceChoice::HighLowMidpoint:
            foldBlockInside<PriceChoice::HighLowMidpoint>(state, bars, first, n, after);
            break;
        case PriceChoice::Typical:
        default:
            foldBlockInside<PriceChoice::Typical>(state, bars, first, n, after);
            break;
    }
}

// Each bar's five values from its sums, stored bar by bar in series order.
void lineBlock(const BlockSums& after, std::int32_t first, std::int32_t n,
               const LineSettings& settings, const SlotSeries& series) {
    std::int32_t j = 0;
    for (; j + 1 < n; j += 2) {
        const RunningSums a = after.sums(j);
        const RunningSums b = after.sums(j + 1);
        Spread spreadA, spreadB;
        spreadsOf(a, b, spreadA, spreadB);
        storeBar(series, first + j, barValues(a, spreadA, after.referencePrice[j], settings));
        storeBar(series, first + j + 1,
                 barValues(b, spreadB, after.referencePrice[j + 1], settings));
    }
    if (j < n) {
        const RunningSums a = after.sums(j);
        storeBar(series, first + j, barValues(a, spreadOf(a), after.referencePrice[j], settings));
    }
}

}  // namespace

void carryForward(AnchorState& state, const ChartBars& bars, const LineSettings& settings,
                  const SlotSeries& series) {
    const std::int32_t lastClosed = bars.count - 2;
    BlockSums after;
    for (std::int32_t first = state.lastCommittedBar + 1; first <= lastClosed;) {
        const std::int32_t n =
            lastClosed - first + 1 < kBlockBars ? lastClosed - first + 1 : kBlockBars;
        foldBlock(state, bars, first, n, settings.price, after);
        lineBlock(after, first, n, settings, series);
        first += n;
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
