// The sample bar files under data/sample, and chart times written as
// calendar dates for test expectations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/chart_date_time.h"
#include "standin_host/chart_host.h"

namespace keelmark::test {

// Bars of KEELMARK_SAMPLE_DIR/fileName, e.g. "NQ_1min_sample.csv".
// Throws std::runtime_error when the file is missing or malformed.
std::vector<replay::Bar> loadSampleBars(const std::string& fileName);

// The chart date-time of a calendar date and clock time.
ChartDateTime chartTime(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                        std::int32_t minute, std::int32_t second = 0);

}  // namespace keelmark::test
