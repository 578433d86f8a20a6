// The sessions as a table of text cells, one column per field in the order
// the CSV writes them; an empty cell is a value that does not exist (a
// level the study left at 0, an outcome of a range that never completed).
// The aggregates are computed from these same cells, so they can be
// recomputed from the CSV.
#pragma once

#include <string>
#include <vector>

#include "stats/ladder.h"
#include "stats/session_rows.h"

namespace keelmark::stats {

enum class ColumnKind {
    Text,    // names, dates, categories
    Count,   // whole numbers
    Price,   // "%.9g" of the single-precision value
    Flag,    // "0" or "1"
    Number,  // "%.6g"
};

struct Column {
    std::string name;
    ColumnKind kind;
};

struct SessionTable {
    std::vector<Column> columns;
    std::vector<std::vector<std::string>> rows;

    // The column's index; throws std::out_of_range for an unknown name.
    std::size_t column(const std::string& name) const;
};

// `fileNames` names each file index of the rows.
SessionTable sessionTable(const std::vector<SessionRow>& rows,
                          const std::vector<std::string>& fileNames,
                          const std::vector<LadderStep>& ladder);

// "Mon" ... "Sun" of a date-time.
const char* weekdayName(ChartDateTime t);

// The letter of a 30-minute period counted from 0: A to Z, then a to z
// ('?' past them).
char periodLetter(std::int64_t period);

}  // namespace keelmark::stats
