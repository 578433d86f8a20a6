// The levels on real bars, checked against ranges filtered straight from
// the sample rows: each day's OR (09:30-09:44), IB (09:30-10:29), RTH high,
// low and last close, and the overnight from the prior day's 18:00 to the
// 09:30 open. The same check runs on 1-, 5-, 30- and 60-minute bars, where
// the bar period decides which bars fall into the OR and IB windows.
#include <algorithm>
#include <map>

#include "session_levels_fixture.h"

namespace keelmark::test {
namespace {

constexpr std::int64_t kDay = 86'400'000'000;
constexpr std::int64_t kSecond = 1'000'000;
constexpr std::int32_t kOpen = 34200, kClose = 57600, kOrEnd = 35100, kIbEnd = 37800;

std::int64_t dayOf(const replay::Bar& b) { return b.start / kDay; }
std::int32_t secondOf(const replay::Bar& b) {
    return static_cast<std::int32_t>(b.start % kDay / kSecond);
}
bool isRth(const replay::Bar& b) { return secondOf(b) >= kOpen && secondOf(b) < kClose; }

struct Range {
    bool valid = false;
    float high = 0, low = 0;
    void add(const replay::Bar& b) {
        high = valid ? std::max(high, b.high) : b.high;
        low = valid ? std::min(low, b.low) : b.low;
        valid = true;
    }
    float mid() const { return static_cast<float>((double{high} + low) * 0.5); }
};

struct Day {
    Range openingRange, initialBalance, rth, overnight;
    float open = 0, close = 0;
};

template <typename Keep>
Range rangeOf(const std::vector<replay::Bar>& bars, Keep keep) {
    Range r;
    for (const replay::Bar& b : bars) {
        if (keep(b)) {
            r.add(b);
        }
    }
    return r;
}

std::map<std::int64_t, Day> referenceDays(const std::vector<replay::Bar>& bars) {
    std::map<std::int64_t, Day> days;
    for (const replay::Bar& b : bars) {
        if (isRth(b)) {
            days.emplace(dayOf(b), Day{});
        }
    }
    std::int64_t prior = -1;
    for (auto& [d, day] : days) {
        auto inDay = [d](const replay::Bar& b) { return isRth(b) && dayOf(b) == d; };
        day.rth = rangeOf(bars, inDay);
        day.openingRange =
            rangeOf(bars, [&](const replay::Bar& b) { return inDay(b) && secondOf(b) < kOrEnd; });
        day.initialBalance =
            rangeOf(bars, [&](const replay::Bar& b) { return inDay(b) && secondOf(b) < kIbEnd; });
        for (const replay::Bar& b : bars) {
            if (inDay(b)) {
                day.open = day.open == 0 ? b.open : day.open;
                day.close = b.close;
            }
        }
        if (prior >= 0) {
            const std::int64_t from = prior * kDay + 18 * 3600 * kSecond,
                               to = d * kDay + kOpen * kSecond;
            day.overnight = rangeOf(bars, [&](const replay::Bar& b) {
                return !isRth(b) && b.start >= from && b.start < to;
            });
        }
        prior = d;
    }
    return days;
}

void expectRange(const replay::StudyInstance& s, std::int32_t i, Level high, const Range& r,
                 bool due) {
    const bool on = due && r.valid;
    EXPECT_EQ(s.value(high, i), on ? r.high : 0.0f) << "bar " << i << " slot " << high;
    EXPECT_EQ(s.value(high + 1, i), on ? r.low : 0.0f) << "bar " << i;
    EXPECT_EQ(s.value(high + 2, i), on ? r.mid() : 0.0f) << "bar " << i;
}

void expectPriorDay(const replay::StudyInstance& s, std::int32_t i, const Day* prior) {
    EXPECT_EQ(s.value(PDH, i), prior ? prior->rth.high : 0.0f) << "bar " << i;
    EXPECT_EQ(s.value(PDL, i), prior ? prior->rth.low : 0.0f) << "bar " << i;
    EXPECT_EQ(s.value(PDC, i), prior ? prior->close : 0.0f) << "bar " << i;
}

class SampleLevels : public SessionLevelsTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SampleLevels, EveryBarShowsTheRangesFilteredFromTheRows) {
    const std::vector<replay::Bar> bars = loadSampleBars(GetParam());
    const std::map<std::int64_t, Day> days = referenceDays(bars);
    study.setIntInput(SessionsToShow, 0);
    study.setIntInput(ShowOrExt, 1);
    recalculate(bars);
    const Day* prior = nullptr;
    const Day* current = nullptr;
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(bars.size()); ++i) {
        const replay::Bar& b = bars[static_cast<std::size_t>(i)];
        if (!isRth(b)) {
            if (current != nullptr) {
                prior = current;  // the first bar outside RTH finishes the session
                current = nullptr;
            }
            EXPECT_EQ(at(ORH, i), 0.0f);
            EXPECT_EQ(at(IBH, i), 0.0f);
            EXPECT_EQ(at(RTHOpen, i), 0.0f);
            expectPriorDay(study, i, prior);
            continue;
        }
        const Day& day = days.at(dayOf(b));
        if (current != &day) {
            prior = current != nullptr ? current : prior;
            current = &day;
        }
        const bool orFinal = secondOf(b) >= kOrEnd, ibFinal = secondOf(b) >= kIbEnd;
        if (orFinal) {
            expectRange(study, i, ORH, day.openingRange, true);
        }
        if (ibFinal) {
            expectRange(study, i, IBH, day.initialBalance, true);
        }
        const Range& ib = day.initialBalance;
        EXPECT_EQ(at(IBUp1, i), ibFinal && ib.valid
                                    ? static_cast<float>((double{ib.high} - ib.low) * 0.5 + ib.high)
                                    : 0.0f)
            << i;
        const Range& orr = day.openingRange;
        EXPECT_EQ(at(ORDown1, i),
                  orFinal && orr.valid
                      ? static_cast<float>(double{orr.low} - 1.0 * (double{orr.high} - orr.low))
                      : 0.0f)
            << i;
        expectRange(study, i, ONH, day.overnight, true);
        expectPriorDay(study, i, prior);
        EXPECT_EQ(at(RTHOpen, i), day.open) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(BarPeriods, SampleLevels,
                         ::testing::Values("NQ_1min_sample.csv", "NQ_5min_sample.csv",
                                           "NQ_30min_sample.csv", "NQ_1hour_sample.csv"));

// Literal anchors from the rows: Thanksgiving trades 09:30-12:59 and its
// 18:00 bar finishes the session; the half-day ends at 13:14 and Monday's
// overnight starts with Sunday's 18:00 bar.
TEST_F(SampleLevels, ThanksgivingHalfDayAndMondayAfterTheWeekend) {
    const std::vector<replay::Bar> bars = loadSampleBars("NQ_1min_sample.csv");
    study.setIntInput(SessionsToShow, 0);
    recalculate(bars);
    auto barAt = [&bars](ChartDateTime t) {
        return static_cast<std::int32_t>(
            std::find_if(bars.begin(), bars.end(),
                         [t](const replay::Bar& b) { return b.start == t; }) -
            bars.begin());
    };
    const std::int32_t friday = barAt(chartTime(2023, 11, 24, 10, 30));
    EXPECT_EQ((std::vector<float>{at(PDH, friday), at(PDL, friday), at(PDC, friday),
                                  at(ONH, friday), at(ONL, friday)}),
              (std::vector<float>{16074.75f, 16051.50f, 16062.50f, 16077.00f, 16024.50f}));
    const std::int32_t sunday = barAt(chartTime(2023, 11, 26, 18, 0));
    EXPECT_EQ(at(PDC, sunday - 1), 16062.50f);
    EXPECT_EQ(at(PDC, sunday), 16011.00f);
    const std::int32_t monday = barAt(chartTime(2023, 11, 27, 9, 30));
    EXPECT_EQ(
        (std::vector<float>{at(PDH, monday), at(PDL, monday), at(ONH, monday), at(ONL, monday)}),
        (std::vector<float>{16053.50f, 15981.75f, 16021.75f, 15938.75f}));
}

}  // namespace
}  // namespace keelmark::test
