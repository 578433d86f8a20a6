// The sessions as CSV: a header of column names, then one line per session;
// an empty field where the value does not exist.
#pragma once

#include <ostream>

#include "stats/session_table.h"

namespace keelmark::stats {

void writeSessionCsv(const SessionTable& table, std::ostream& out);

}  // namespace keelmark::stats
