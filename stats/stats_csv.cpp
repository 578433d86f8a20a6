#include "stats/stats_csv.h"

#include "run_outputs/csv_output.h"

namespace keelmark::stats {

namespace {

void writeLine(const std::vector<std::string>& fields, std::string& out) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        out += replay::csvField(fields[i]);
    }
    out += '\n';
}

}  // namespace

void writeSessionCsv(const SessionTable& table, std::ostream& out) {
    std::vector<std::string> names;
    for (const Column& c : table.columns) {
        names.push_back(c.name);
    }
    std::string text;
    writeLine(names, text);
    for (const auto& row : table.rows) {
        writeLine(row, text);
    }
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace keelmark::stats
