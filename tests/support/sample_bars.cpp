#include "tests/support/sample_bars.h"

#include "standin_host/bar_file.h"

namespace keelmark::test {

std::vector<replay::Bar> loadSampleBars(const std::string& fileName) {
    return replay::readBarFile(std::string(KEELMARK_SAMPLE_DIR) + "/" + fileName);
}

ChartDateTime chartTime(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                        std::int32_t minute, std::int32_t second) {
    return replay::civilDateTime(year, month, day, hour, minute, second);
}

}  // namespace keelmark::test
