// parseDateTime for a run of stamps of which most share a day, as a bar
// file's rows do: the date of the last fixed-form stamp
// (`YYYY-MM-DD HH:MM:SS`) is kept, and a stamp with the same date reads only
// its clock. The same results as parseDateTime, text for text.
#pragma once

#include <cstddef>
#include <string_view>

#include "host/chart_date_time.h"

namespace keelmark::replay {

class DateTimeReader {
public:
    bool read(std::string_view text, ChartDateTime& result);

private:
    static constexpr std::size_t kDateLength = 10;
    char date_[kDateLength] = {};
    bool haveDate_ = false;
    ChartDateTime dayStart_ = 0;
};

}  // namespace keelmark::replay
