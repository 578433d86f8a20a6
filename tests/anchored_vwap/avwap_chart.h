// Charts and study instances for the Anchored VWAP tests.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "host/chart_date_time.h"
#include "standin_host/chart_host.h"
#include "tests/support/bit_compare.h"
#include "tests/support/module_fixture.h"
#include "tests/support/sample_bars.h"

namespace keelmark::test::avwap {

using replay::Bar;
using replay::StudyInstance;

enum Line { kVwap = 0, kBand1Upper = 1, kBand1Lower = 2, kBand2Upper = 3, kBand2Lower = 4 };
enum Input { kPrice = 8, kShowBands = 9, kBand1 = 10, kBand2 = 11, kMarkAnchors = 12, kFontSize = 13 };
enum MenuKey { kAnchorHere = 1, kRemoveNearest = 2, kRemoveAll = 3 };

inline std::int32_t output(std::int32_t anchorSlot, Line line) { return anchorSlot * 5 + line; }

// Ends an instance as the host does, with a final call, which frees the
// study's anchor table.
struct FinalCallThenDelete {
    void operator()(StudyInstance* study) const {
        study->finalCall();
        delete study;
    }
};
using Study = std::unique_ptr<StudyInstance, FinalCallThenDelete>;

// The instance after its defaults pass.
inline Study declaredStudy(std::int32_t studyId = 7) {
    Study study(new StudyInstance(testModule().anchoredVwap(), studyId));
    study->defaultsPass();
    return study;
}

inline ChartDateTime minuteOf(std::int32_t bar) {
    return chartTime(2023, 11, 20, 9, 30) + bar * kMicrosPerMinute;
}

// One-minute bars from 09:30 whose open, high, low and close are all `closes[k]`.
inline std::vector<Bar> flatBars(const std::vector<float>& closes, const std::vector<float>& volumes) {
    std::vector<Bar> bars;
    for (std::size_t k = 0; k < closes.size(); ++k) {
        const float p = closes[k];
        bars.push_back(Bar{minuteOf(static_cast<std::int32_t>(k)), p, p, p, p, volumes[k]});
    }
    return bars;
}

inline void anchorAt(StudyInstance& study, std::int32_t anchorSlot, ChartDateTime when) {
    study.setDoubleInput(anchorSlot, toDays(when));
}

inline void showBands(StudyInstance& study, float band1 = 1.0f, float band2 = 2.0f) {
    study.setIntInput(kShowBands, 1);
    study.setFloatInput(kBand1, band1);
    study.setFloatInput(kBand2, band2);
}

inline void sendMenu(StudyInstance& study, MenuKey key, std::int32_t bar) {
    study.menuCommand(study.persistentInt(key), bar);
}

inline std::int32_t markerNumber(std::int32_t studyId, std::int32_t anchorSlot) {
    return (studyId + 4643750) * 16 + anchorSlot;
}

}  // namespace keelmark::test::avwap
