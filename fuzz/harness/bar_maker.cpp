#include "fuzz/harness/bar_maker.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace keelmark::fuzz {

namespace {

constexpr ChartDateTime kDay = 86'400'000'000LL;

// Time steps wrap like 64-bit host arithmetic: a chart near the end of the
// range may step past it.
ChartDateTime wrappingAdd(ChartDateTime t, ChartDateTime step) {
    return static_cast<ChartDateTime>(static_cast<std::uint64_t>(t) +
                                      static_cast<std::uint64_t>(step));
}

ChartDateTime hostileTimeStep(FuzzBytes& in, const BarMaker& maker) {
    const std::uint8_t code = in.u8();
    if (code < 160) {
        return wrappingAdd(maker.time, (1 + code % 5) * kMinute);
    }
    if (code < 200) {
        return wrappingAdd(maker.time, (1 + code % 48) * 30 * kMinute);
    }
    if (code < 215) {
        return wrappingAdd(maker.time, (1 + code % 3) * kDay);
    }
    if (code < 225) {
        return maker.time;  // the same start time again
    }
    if (code < 235) {
        return wrappingAdd(maker.time, -(1 + code % 10) * kMinute);  // backwards
    }
    if (code < 245) {
        // A jump of any size, wrapping like the host's 64-bit arithmetic.
        return wrappingAdd(maker.time, in.i64());
    }
    constexpr ChartDateTime kAbsolute[] = {0,
                                           1,
                                           -1,
                                           std::numeric_limits<ChartDateTime>::min(),
                                           std::numeric_limits<ChartDateTime>::max(),
                                           -kDay,
                                           kFirstChartDay,
                                           kFirstChartDay + 9 * 60 * kMinute + 30 * kMinute,
                                           2'958'465LL * kDay,  // 9999-12-31
                                           -693'959LL * kDay};  // 0000-01-01
    return in.pick(kAbsolute);
}

float priceNear(float price, FuzzBytes& in) {
    const float moved = price + static_cast<float>(static_cast<std::int8_t>(in.u8())) * 0.25f;
    return std::isfinite(moved) ? moved : 15000.0f;
}

}  // namespace

float oddFloat(FuzzBytes& in) {
    constexpr float kOdd[] = {std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::max(),
                              -std::numeric_limits<float>::max(),
                              std::numeric_limits<float>::min(),
                              std::numeric_limits<float>::denorm_min(),
                              0.0f,
                              -0.0f,
                              -1.0f,
                              1e30f,
                              -15000.0f};
    const std::uint8_t code = in.u8();
    return code < 240 ? kOdd[code % std::size(kOdd)] : in.floatBits();
}

double oddDouble(FuzzBytes& in) {
    constexpr double kOdd[] = {std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::max(),
                               -std::numeric_limits<double>::max(),
                               std::numeric_limits<double>::denorm_min(),
                               0.0,
                               -0.0,
                               -1.0,
                               0.5,
                               0.9999999999,
                               1e19,
                               -1e19,
                               45250.395833333336,
                               2958466.0};
    const std::uint8_t code = in.u8();
    return code < 240 ? kOdd[code % std::size(kOdd)] : in.doubleBits();
}

std::int32_t oddInt(FuzzBytes& in) {
    constexpr std::int32_t kOdd[] = {
        0,         1,    -1,    2,          3,
        4,         5,    30,    59,         60,
        61,        1440, -2,    99,         100,
        101,       1000, 86400, 0x7FFFFFFF, static_cast<std::int32_t>(0x80000000),
        0x7FFFFFFE};
    const std::uint8_t code = in.u8();
    return code < 240 ? kOdd[code % std::size(kOdd)] : in.i32();
}

replay::Bar hostileBar(FuzzBytes& in, BarMaker& maker) {
    replay::Bar bar;
    bar.start = hostileTimeStep(in, maker);
    maker.time = bar.start;
    const std::uint8_t priceCode = in.u8();
    if (priceCode < 200) {
        maker.price = priceNear(maker.price, in);
        const float close = priceNear(maker.price, in);
        const float reach = static_cast<float>(in.u8() % 16) * 0.25f;
        bar.open = maker.price;
        bar.close = close;
        bar.high = std::max(bar.open, bar.close) + reach;
        bar.low = std::min(bar.open, bar.close) - reach;
    } else {
        bar.open = oddFloat(in);
        bar.high = oddFloat(in);
        bar.low = oddFloat(in);
        bar.close = oddFloat(in);
    }
    const std::uint8_t volumeCode = in.u8();
    bar.volume = volumeCode < 220 ? static_cast<float>(volumeCode) * 10.0f : oddFloat(in);
    return bar;
}

replay::Bar wellFormedBar(FuzzBytes& in, BarMaker& maker) {
    const std::uint8_t code = in.u8();
    ChartDateTime step = (1 + code % 5) * kMinute;
    if (code >= 200) {
        step = (1 + code % 40) * 30 * kMinute;  // a pause: into the next session or day
    } else if (code >= 160) {
        step = 30 * kMinute;
    }
    replay::Bar bar;
    bar.start = maker.time + step;
    maker.time = bar.start;
    maker.price = std::clamp(priceNear(maker.price, in), 1.0f, 1.0e6f);
    const float close = std::clamp(priceNear(maker.price, in), 1.0f, 1.0e6f);
    const float reach = static_cast<float>(in.u8() % 16) * 0.25f;
    bar.open = maker.price;
    bar.close = close;
    bar.high = std::max(bar.open, bar.close) + reach;
    bar.low = std::min(bar.open, bar.close) - reach;
    const std::uint8_t volumeCode = in.u8();
    bar.volume = volumeCode < 16 ? 0.0f : static_cast<float>(volumeCode) * 7.0f;
    return bar;
}

}  // namespace keelmark::fuzz
