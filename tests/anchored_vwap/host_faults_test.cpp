// Bad answers from the host are absorbed: anchors count as off, unavailable
// arrays are fetched, and a refused anchor table only postpones the lines.
#include <gtest/gtest.h>

#include "host/process_heap_standin.h"
#include "tests/anchored_vwap/avwap_chart.h"

namespace keelmark::test::avwap {
namespace {

Study anchoredChart() {
    Study study = declaredStudy();
    study->setBars(flatBars({10, 11, 12, 13, 14, 15}, {1, 1, 1, 1, 1, 1}));
    anchorAt(*study, 0, minuteOf(1));
    anchorAt(*study, 1, minuteOf(3));
    return study;
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(AnchoredVwapHostFaults, AnchorsTheHostCannotPlaceCountAsOff) {
    Study study = anchoredChart();
    study->setInputType(1, kInputFloat);  // an anchor input that holds no date-time
    for (std::int32_t answer : {-1, 6, 1000}) {
        study->setBarIndexLookup([answer](ChartDateTime) { return answer; });
        study->fullRecalculation();
        EXPECT_TRUE(endsWith(study->log().back().text,
                             "anchors on the chart 0 of 8 | right-click the chart: Anchor VWAP Here"))
            << answer;
        EXPECT_EQ(asVector(study->values(output(0, kVwap))), std::vector<float>(6, 0.0f));
        EXPECT_TRUE(study->drawings().empty());
    }
    sendMenu(*study, kRemoveNearest, 1);  // nothing on the chart to remove
    EXPECT_EQ(dateTimeValue(study->input(0)), minuteOf(1));
}

TEST(AnchoredVwapHostFaults, ArraysMadeAvailableOnlyOnFetchAreFetched) {
    Study study = anchoredChart();
    for (auto id : {replay::HostArrayId::DateTimes, replay::HostArrayId::Close,
                    replay::HostArrayId::Volume, replay::HostArrayId::Inputs,
                    replay::HostArrayId::Outputs}) {
        study->holdBackArray(id);
    }
    study->fullRecalculation();
    EXPECT_EQ(study->value(output(0, kVwap), 5), 13.0f);
    EXPECT_EQ(study->value(output(1, kVwap), 5), 14.0f);
}

TEST(AnchoredVwapHostFaults, ARefusedAnchorTableSkipsOneCallAndTheNextDrawsEverything) {
    Study study = anchoredChart();
    keelmarkProcessHeapFailAfter(1, 0);
    study->fullRecalculation();
    keelmarkProcessHeapFailAfter(0, 0);
    EXPECT_EQ(study->persistentPointer(1), nullptr);
    EXPECT_EQ(asVector(study->values(output(0, kVwap))), std::vector<float>(6, 0.0f));
    EXPECT_TRUE(study->log().empty());
    EXPECT_EQ(study->menuItems().size(), 3u);

    study->updateFormingBar();
    EXPECT_NE(study->persistentPointer(1), nullptr);
    EXPECT_EQ(study->value(output(0, kVwap), 5), 13.0f);
    EXPECT_EQ(study->drawings().size(), 2u);
}

}  // namespace
}  // namespace keelmark::test::avwap
