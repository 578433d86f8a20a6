// Moving bar times from the clock of one IANA time zone to another, daylight
// saving included, for bar files written in another zone than the chart's.
//
// A time that the source clock shows twice (the hour repeated when daylight
// saving ends) is taken at its first occurrence unless that would put the bar
// at or before the previous bar, then at its second. A time that the source
// clock skips (the hour lost when daylight saving starts) is read with the
// offset in force before the change.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "standin_host/chart_host.h"

namespace keelmark::replay {

class TimeZoneError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// False where the build has no time-zone database.
bool timeZonesAvailable();

// Rewrites every bar start. Throws TimeZoneError naming an unknown zone, or
// when time zones are not available.
void convertBarTimes(std::vector<Bar>& bars, const std::string& fromZone,
                     const std::string& toZone);

}  // namespace keelmark::replay
