// The stand-in host's price texts: what printf writes for the chart's
// number of decimals, for every double.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "standin_host/chart_host.h"
#include "tests/support/rounding_cases.h"

namespace keelmark::replay {
namespace {

std::string printed(const char* format, int decimals, double price) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, decimals, price);
    return buffer;
}

TEST(PriceText, DecimalsRoundAsPrintfDoes) {
    std::vector<double> prices = test::roundingCases(50000);
    for (int k = 0; k < 20000; ++k) {
        prices.push_back(16000.0 + k * 0.25);                         // a futures tick grid
        prices.push_back(static_cast<double>(16000.0f + k * 0.01f));  // float prices widened
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
