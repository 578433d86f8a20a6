// The walk, per 1-minute bar:
//   open   = the previous close
//   close  = open x exp(sigma_b x N - pull x ln(open / first price))
//   high   = max(open, close) x (1 + wick_b x E),  low likewise downwards
//   volume = volume_b x exp(0.6 x N - 0.18)          (mean volume_b)
// with N a standard normal draw, E an exponential one, and sigma_b, wick_b
// and volume_b measured on the real bars of the same half hour of the day, so
// the RTH open is busier and wider than the small hours. The weak pull keeps
// a walk over years near the sample's price level. Prices are rounded to the
// contract's quarter-point tick, highs up and lows down.
#include "bench/extended_bars.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <string>

#include "host/chart_date_time.h"
#include "standin_host/bar_file.h"

namespace keelmark::bench {

namespace {

constexpr int kBuckets = 48;  // half hours of the day
constexpr double kTick = 0.25;
constexpr double kPull = 1e-5;

struct DayProfile {
    double sigma[kBuckets];
    double wick[kBuckets];
    double volume[kBuckets];
};

int bucketOf(ChartDateTime start) { return secondsOfDay(start) / 1800; }

// Per half hour: the spread of the bar-to-bar move, the relative size of the
// wicks and the mean volume of the real bars. Half hours without real bars
// take the day's mean.
DayProfile measureProfile(const std::vector<replay::Bar>& real) {
    double absMove[kBuckets] = {}, wick[kBuckets] = {}, volume[kBuckets] = {};
    int n[kBuckets] = {};
    double allMove = 0, allWick = 0, allVolume = 0;
    int all = 0;
    for (const replay::Bar& b : real) {
        if (!(b.open > 0 && b.close > 0)) {
            continue;
        }
        const int k = bucketOf(b.start);
        const double move = std::fabs(std::log(double{b.close} / b.open));
        const double top = std::max(b.open, b.close), bottom = std::min(b.open, b.close);
        const double w = ((b.high - top) + (bottom - b.low)) * 0.5 / b.close;
        absMove[k] += move;
        wick[k] += w;
        volume[k] += b.volume;
        ++n[k];
        allMove += move;
        allWick += w;
        allVolume += b.volume;
        ++all;
    }
    DayProfile p{};
    // The mean absolute value of a normal draw is sigma x sqrt(2 / pi).
    const double toSigma = std::sqrt(std::numbers::pi / 2.0);
    for (int k = 0; k < kBuckets; ++k) {
        const bool measured = n[k] > 0;
        const double count = measured ? n[k] : std::max(all, 1);
        p.sigma[k] = (measured ? absMove[k] : allMove) / count * toSigma;
        p.wick[k] = (measured ? wick[k] : allWick) / count;
        p.volume[k] = (measured ? volume[k] : allVolume) / count;
    }
    return p;
}

// splitmix64: a small generator whose sequence is the same everywhere.
struct Random {
    std::uint64_t state;

    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // In (0, 1): never 0, so its logarithm is finite.
    double uniform() { return (static_cast<double>(next() >> 11) + 0.5) * 0x1.0p-53; }
    double normal() {  // Box-Muller, one draw of the pair
        return std::sqrt(-2.0 * std::log(uniform())) * std::cos(2.0 * std::numbers::pi * uniform());
    }
    double exponential() { return -std::log(uniform()); }
};

double roundToTick(double price) { return std::round(price / kTick) * kTick; }
double tickAbove(double price) { return std::ceil(price / kTick) * kTick; }
double tickBelow(double price) { return std::floor(price / kTick) * kTick; }

replay::Bar walkOneBar(Random& random, const DayProfile& profile, ChartDateTime start, double open,
                       double firstPrice) {
    const int k = bucketOf(start);
    const double drift = -kPull * std::log(open / firstPrice);
    const double close = roundToTick(open * std::exp(profile.sigma[k] * random.normal() + drift));
    const double high =
        tickAbove(std::max(open, close) * (1.0 + profile.wick[k] * random.exponential()));
    const double low =
        tickBelow(std::min(open, close) * (1.0 - profile.wick[k] * random.exponential()));
    const double volume =
        std::max(1.0, std::round(profile.volume[k] * std::exp(0.6 * random.normal() - 0.18)));
    return replay::Bar{start,
                       static_cast<float>(open),
                       static_cast<float>(high),
                       static_cast<float>(low),
                       static_cast<float>(close),
                       static_cast<float>(volume)};
}

ChartDateTime nextTradingMinute(ChartDateTime start) {
    do {
        start += kMicrosPerMinute;
    } while (!isTradingMinute(start));
    return start;
}

}  // namespace

bool isTradingMinute(ChartDateTime start) {
    // Day 0 of the chart calendar, 1899-12-30, was a Saturday.
    const std::int64_t weekday = (dayNumber(start) + 6) % 7;  // 0 = Sunday
    const std::int32_t minute = secondsOfDay(start) / 60;
    const bool beforePause = minute < 17 * 60;
    const bool afterPause = minute >= 18 * 60;
    switch (weekday) {
        case 0:
            return afterPause;  // Sunday: the week opens at 18:00
        case 5:
            return beforePause;  // Friday: closes at 17:00
        case 6:
            return false;  // Saturday
        default:
            return beforePause || afterPause;  // Monday to Thursday
    }
}

std::vector<replay::Bar> extendBars(const std::vector<replay::Bar>& real, std::size_t count,
                                    std::uint64_t seed) {
    std::vector<replay::Bar> bars(
        real.begin(), real.begin() + static_cast<std::ptrdiff_t>(std::min(count, real.size())));
    if (bars.size() == count || real.empty()) {
        return bars;
    }
    bars.reserve(count);
    const DayProfile profile = measureProfile(real);
    Random random{seed};
    const double firstPrice = real.back().close;
    ChartDateTime start = real.back().start;
    double close = real.back().close;
    while (bars.size() < count) {
        start = nextTradingMinute(start);
        bars.push_back(walkOneBar(random, profile, start, close, firstPrice));
        close = bars.back().close;
    }
    return bars;
}

const std::vector<replay::Bar>& sampleChart(std::size_t count) {
    static const std::vector<replay::Bar> real =
        replay::readBarFile(std::string(KEELMARK_SAMPLE_DIR) + "/NQ_1min_sample.csv");
    static std::map<std::size_t, std::vector<replay::Bar>> charts;
    auto found = charts.find(count);
    if (found == charts.end()) {
        found = charts.emplace(count, extendBars(real, count)).first;
    }
    return found->second;
}

}  // namespace keelmark::bench
