// On the bundled real bars: a live chart, updated bar by bar with the chart
// menu and the inputs changing along the way, ends with the same values bit
// for bit as one full recalculation; and every value agrees with a plain
// long-double recomputation to within single-precision rounding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "tests/anchored_vwap/avwap_chart.h"
#include "tests/support/bit_compare.h"
#include "tests/support/live_feed.h"

namespace keelmark::test::avwap {
namespace {

// A second instance on the same bars with the same inputs, fully recalculated.
Study fullRecalculationLike(StudyInstance& live) {
    Study full = declaredStudy();
    full->setBarColumns(live.bars());
    for (std::int32_t slot = 0; slot < 14; ++slot) {
        full->input(slot).valueType = live.input(slot).valueType;
        full->input(slot).value = live.input(slot).value;
    }
    full->fullRecalculation();
    return full;
}

void expectSameMarkers(const StudyInstance& expected, const StudyInstance& actual) {
    ASSERT_EQ(expected.drawings().size(), actual.drawings().size());
    for (const auto& [number, drawing] : expected.drawings()) {
        ASSERT_EQ(actual.drawings().count(number), 1u) << number;
        EXPECT_EQ(actual.drawings().at(number).text, drawing.text);
        EXPECT_EQ(actual.drawings().at(number).barIndex, drawing.barIndex);
    }
}

class LiveChart : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(LiveChart, EndsBitForBitAsOneFullRecalculation) {
    const std::vector<Bar> all = loadSampleBars("NQ_5min_sample.csv");
    const std::int32_t hidden = 300;  // bars that join the chart's front later
    const std::vector<Bar> shown(all.begin() + hidden, all.end());

    Study live = declaredStudy();
    live->setIntInput(kPrice, GetParam());
    showBands(*live, 1.0f, 2.5f);
    anchorAt(*live, 0, all[320].start);
    anchorAt(*live, 1, all[320].start);  // two slots on one bar
    anchorAt(*live, 2, all[50].start);   // before the chart, until prepended
    anchorAt(*live, 3, all[900].start);
    anchorAt(*live, 4, all[700].start + kMicrosPerMinute);  // inside a bar, not its start

    std::int32_t calls = 0;
    feedLive(*live, shown, 1200, [&](std::int32_t lastBar) {
        switch (++calls) {
            case 30:  // slot 6 on the forming bar
                sendMenu(*live, kAnchorHere, lastBar);
                break;
            case 301:  // slot 4, anchored at all[900]
                sendMenu(*live, kRemoveNearest, 900 - hidden + 2);
                break;
            case 600: {  // earlier history arrives: every index shifts
                std::vector<Bar> prepended(all.begin(), all.begin() + hidden);
                const std::vector<replay::Bar> liveBars = replay::barListOf(live->bars());
                prepended.insert(prepended.end(), liveBars.begin(), liveBars.end());
                live->setBars(prepended);
                live->updateFormingBar();
                break;
            }
            case 900:  // slot 4 again, at the earliest bar of all
                sendMenu(*live, kAnchorHere, 20);
                break;
            case 1200:  // the user moves slot 1
                anchorAt(*live, 0, all[400].start);
                live->updateFormingBar();
                break;
            case 1500:  // fill slots 7 and 8, then move the oldest (slot 4)
                for (int i = 0; i < 3; ++i) sendMenu(*live, kAnchorHere, lastBar - 40 * i);
                break;
            case 3000:  // slot 5, anchored at all[700]
                sendMenu(*live, kRemoveNearest, 1000);
                break;
        }
    });

    const auto bars = static_cast<std::int32_t>(live->bars().size());
    ASSERT_EQ(bars, static_cast<std::int32_t>(all.size()));
    Study full = fullRecalculationLike(*live);
    EXPECT_TRUE(sameOutputBits(*full, *live, bars));
    expectSameMarkers(*full, *live);
    EXPECT_EQ(dateTimeValue(live->input(2)), all[50].start);
    EXPECT_EQ(dateTimeValue(live->input(4)), 0);
    EXPECT_NE(live->value(output(2, kVwap), 50), 0.0f);  // the prepended anchor draws
}

TEST_P(LiveChart, BarsArrivingInUnevenChunksContinueWithoutResetAndEndAsOneFullRecalculation) {
    const std::vector<Bar> all = loadSampleBars("NQ_30min_sample.csv");
    Study live = declaredStudy();
    live->setIntInput(kPrice, GetParam());
    showBands(*live);
    anchorAt(*live, 0, all[10].start);
    anchorAt(*live, 1, all[60].start);
    live->setBars(std::vector<Bar>(all.begin(), all.begin() + 100));
    live->fullRecalculation();
    // Only a reset walks the chart, and every reset deletes the slot's marker.
    const std::size_t deletionsAfterFullRecalculation = live->deletedDrawingNumbers().size();
    const std::size_t chunks[] = {1, 2, 3, 4, 5, 7, 13, 100};
    for (std::size_t next = 100, c = 0; next < all.size(); ++c) {
        const auto formerLast = static_cast<std::int32_t>(live->bars().size()) - 1;
        for (std::size_t i = 0; i < chunks[c % 8] && next < all.size(); ++i) {
            live->appendBar(all[next++]);
        }
        live->update(formerLast);
    }
    EXPECT_EQ(live->deletedDrawingNumbers().size(), deletionsAfterFullRecalculation);
    Study full = fullRecalculationLike(*live);
    EXPECT_TRUE(sameOutputBits(*full, *live, static_cast<std::int32_t>(all.size())));
}

INSTANTIATE_TEST_SUITE_P(EachPrice, LiveChart, ::testing::Values(0, 1, 2, 3));

long double typicalPrice(const Bar& b) {
    return (static_cast<long double>(b.high) + b.low + b.close) / 3.0L;
}

std::int64_t ulpsApart(float a, float b) {
    return std::llabs(static_cast<std::int64_t>(bitsOf(a)) - static_cast<std::int64_t>(bitsOf(b)));
}

TEST(AnchoredVwapPrecision, EveryValueIsWithinSinglePrecisionRoundingOfALongDoubleRecomputation) {
    const std::vector<Bar> all = loadSampleBars("NQ_1min_sample.csv");
    const std::int32_t anchors[] = {0, 3000, 9000, 14000};
    Study study = declaredStudy();
    study->setBars(all);
    showBands(*study, 1.0f, 2.5f);
    for (std::int32_t slot = 0; slot < 4; ++slot) anchorAt(*study, slot, all[anchors[slot]].start);
    study->fullRecalculation();

    for (std::int32_t slot = 0; slot < 4; ++slot) {
        long double sumV = 0, sumVP = 0, sumVPP = 0;
        std::int64_t worst = 0;
        for (std::size_t k = anchors[slot]; k < all.size(); ++k) {
            const long double p = typicalPrice(all[k]), v = all[k].volume;
            sumV += v;
            sumVP += v * p;
            sumVPP += v * p * p;
            const long double vwap = sumVP / sumV;
            const long double sd = std::sqrt(std::max(sumVPP / sumV - vwap * vwap, 0.0L));
            const long double expected[] = {vwap, vwap + sd, vwap - sd, vwap + 2.5L * sd,
                                            vwap - 2.5L * sd};
            for (std::int32_t line = 0; line < 5; ++line) {
                const float actual = study->value(slot * 5 + line, static_cast<std::int32_t>(k));
                ASSERT_FALSE(std::isnan(actual));
                worst = std::max(worst, ulpsApart(actual, static_cast<float>(expected[line])));
            }
        }
        EXPECT_LE(worst, 2) << "anchor at bar " << anchors[slot];
    }
}

}  // namespace
}  // namespace keelmark::test::avwap
