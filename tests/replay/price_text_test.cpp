// The stand-in host's price texts: what printf writes for the chart's
// number of decimals, for every double.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "replay/chart_host.h"

namespace keelmark::replay {
namespace {

std::string printed(const char* format, int decimals, double price) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, decimals, price);
    return buffer;
}

TEST(PriceText, DecimalsRoundAsPrintfDoes) {
    std::vector<double> prices = {0.0,
                                  -0.0,
                                  0.5,
                                  1.5,
                                  2.5,
                                  0.125,
                                  16074.25,
                                  0.005,
                                  1.005,
                                  2.675,
                                  -0.004,
                                  -0.0049,
                                  1e15,
                                  1e22,
                                  1e300,
                                  -1e300,
                                  5e-324,
                                  1.7976931348623157e308,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN()};
    for (int k = 0; k < 20000; ++k) {
        prices.push_back(16000.0 + k * 0.25);                         // a futures tick grid
        prices.push_back(static_cast<double>(16000.0f + k * 0.01f));  // float prices widened
    }
    std::mt19937_64 random(20231204);
    for (int k = 0; k < 50000; ++k) {
        prices.push_back(std::bit_cast<double>(random()));
    }
    for (const double price : prices) {
        for (std::int32_t decimals = 0; decimals <= 9; ++decimals) {
            ASSERT_EQ(formattedPrice(price, decimals), printed("%.*f", decimals, price))
                << std::hexfloat << price << " with " << decimals << " decimals";
        }
    }
    EXPECT_EQ(formattedPrice(16074.25, -1), "16074.2");
    EXPECT_EQ(formattedPrice(16074.25, 10), "16074.2");
}

}  // namespace
}  // namespace keelmark::replay
