// What the sessions add up to, computed from the session table's cells (so
// the same figures follow from the CSV), over complete sessions only:
//   - for every 0/1 column (but `complete`): the sessions where it is not
//     empty, those where it is 1, the percentage and its 95% Wilson
//     interval;
//   - the same within each value of ib_close_vs_mid (above, below), ib_size,
//     gap and weekday;
//   - quantiles 25/50/75/90 of ib_max_up and ib_max_down (linear
//     interpolation between the sorted values);
//   - how many first IB breaks start in each 30-minute period.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stats/session_table.h"

namespace keelmark::stats {

struct Proportion {
    std::int64_t sessions = 0;  // where the column is not empty
    std::int64_t holds = 0;     // where it is 1
    double percent = 0;         // 0 to 100; 0 when there are no sessions
    double low = 0, high = 0;   // 95% Wilson interval, in percent
};

// The Wilson score interval of `holds` out of `sessions` at confidence z.
struct Interval {
    double low = 0, high = 0;  // fractions, 0 to 1
};
inline constexpr double kZ95 = 1.959963984540054;
Interval wilsonInterval(std::int64_t holds, std::int64_t sessions, double z = kZ95);

Proportion proportion(std::int64_t holds, std::int64_t sessions);

struct FlagRate {
    std::string column;
    Proportion rate;
};

struct SplitGroup {
    std::string value;
    std::int64_t sessions = 0;
    std::vector<FlagRate> rates;  // every 0/1 column, in column order
};

struct Split {
    std::string column;
    std::vector<SplitGroup> groups;
};

struct Quantiles {
    std::string column;
    std::int64_t sessions = 0;
    double q25 = 0, q50 = 0, q75 = 0, q90 = 0;  // 0 without sessions
};

struct PeriodCount {
    char period = 'A';
    std::int64_t sessions = 0;
};

struct Aggregates {
    std::int64_t sessions = 0;
    std::int64_t completeSessions = 0;
    std::vector<FlagRate> rates;
    std::vector<Split> splits;
    std::vector<Quantiles> quantiles;
    std::vector<PeriodCount> firstBreakPeriods;  // A to the latest period seen

    // The rate of a column; throws std::out_of_range for an unknown one.
    const Proportion& rate(const std::string& column) const;
};

Aggregates aggregate(const SessionTable& table);

// Linear interpolation between sorted values at fraction p (0 to 1).
double quantile(const std::vector<double>& sorted, double p);

}  // namespace keelmark::stats
