// The session columns of the statistics computed again, straight from a bar
// file's text rows with plain filters on the date and clock text, for
// sessions that open and close on the same day. Slow and obvious on
// purpose: the tests compare it with what stats measures from the study.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace keelmark::test {

struct ReferenceSettings {
    int rthStart = 9 * 60 + 30;  // minutes of the day
    int rthEnd = 16 * 60;
    int overnightStart = 18 * 60;
    int openingRangeMinutes = 15;
    int initialBalanceMinutes = 60;
    int averageSessions = 20;
    bool priorDayIncludesOvernight = false;
    std::vector<std::string> ladder = {"0.25", "0.5", "0.75", "1", "1.5", "2", "3"};
};

// Column name to cell text, one map per RTH session, for every column but
// `file`.
std::vector<std::map<std::string, std::string>> referenceSessions(
    const std::string& barFilePath, const ReferenceSettings& settings);

}  // namespace keelmark::test
