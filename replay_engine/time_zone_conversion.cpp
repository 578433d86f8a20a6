#include "replay_engine/time_zone_conversion.h"

#include "standin_host/clock_text.h"

#if KEELMARK_HAVE_TIME_ZONES
#include <date/tz.h>

#include <chrono>
#endif

namespace keelmark::replay {

#if KEELMARK_HAVE_TIME_ZONES

namespace {

using Micros = std::chrono::microseconds;
using LocalTime = date::local_time<Micros>;
using SysTime = date::sys_time<Micros>;

constexpr std::int64_t kChartEpochMicrosBefore1970 = kEpochDaysBefore1970 * kMicrosPerDay;

LocalTime localTimeOf(ChartDateTime t) {
    return LocalTime(Micros(t - kChartEpochMicrosBefore1970));
}

ChartDateTime chartTimeOf(LocalTime t) {
    return t.time_since_epoch().count() + kChartEpochMicrosBefore1970;
}

const date::time_zone* zoneNamed(const std::string& name) {
    try {
        return date::locate_zone(name);
    } catch (const std::exception&) {
        throw TimeZoneError("unknown time zone \"" + name +
                            "\" (IANA names such as America/New_York or Europe/London)");
    }
}

SysTime universalTime(const date::time_zone& zone, LocalTime local, SysTime previous,
                      bool hasPrevious) {
    const date::local_info info = zone.get_info(date::floor<std::chrono::seconds>(local));
    const SysTime first(local.time_since_epoch() - info.first.offset);
    if (info.result != date::local_info::ambiguous) {
        return first;
    }
    const SysTime second(local.time_since_epoch() - info.second.offset);
    return hasPrevious && first <= previous ? second : first;
}

}  // namespace

bool timeZonesAvailable() { return true; }

void convertBarTimes(std::vector<Bar>& bars, const std::string& fromZone,
                     const std::string& toZone) {
    const date::time_zone* from = zoneNamed(fromZone);
    const date::time_zone* to = zoneNamed(toZone);
    SysTime previous{};
    bool hasPrevious = false;
    for (Bar& bar : bars) {
        const SysTime universal =
            universalTime(*from, localTimeOf(bar.start), previous, hasPrevious);
        bar.start = chartTimeOf(to->to_local(universal));
        previous = universal;
        hasPrevious = true;
    }
}

#else

bool timeZonesAvailable() { return false; }

void convertBarTimes(std::vector<Bar>&, const std::string&, const std::string&) {
    throw TimeZoneError(
        "--tz-from/--tz-to are not available in this build: it has no time-zone database "
        "(use the Linux build, or convert the file's times beforehand)");
}

#endif

}  // namespace keelmark::replay
