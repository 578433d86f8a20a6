#include "run_outputs/csv_output.h"

#include "standin_host/clock_text.h"
#include "standin_host/number_text.h"

namespace keelmark::replay {

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + '"';
}

namespace {

constexpr std::size_t kFlushBytes = 1u << 20;

std::string header(const RunRecord& record) {
    std::string h = "DateTime,Open,High,Low,Close,Volume";
    for (const SeriesRecord& s : record.series) {
        h += ',' + csvField(s.name);
    }
    if (!record.sessionNumbers.empty()) {
        h += ",SessionNumber";
    }
    return h + '\n';
}

void appendRow(const RunRecord& record, std::size_t bar, std::string& out) {
    const Bar& b = record.bars[bar];
    out += formatDateTime(b.start);
    for (const float v : {b.open, b.high, b.low, b.close, b.volume}) {
        out += ',';
        appendFloatText(out, v);
    }
    for (const SeriesRecord& s : record.series) {
        out += ',';
        appendFloatText(out, seriesValue(s, bar));
    }
    if (!record.sessionNumbers.empty()) {
        out += ',';
        appendFloatText(out,
                        bar < record.sessionNumbers.size() ? record.sessionNumbers[bar] : 0.0f);
    }
    out += '\n';
}

}  // namespace

void writeCsv(const RunRecord& record, std::ostream& out) {
    std::string buffer = header(record);
    for (std::size_t bar = 0; bar < record.bars.size(); ++bar) {
        appendRow(record, bar, buffer);
        if (buffer.size() >= kFlushBytes) {
            out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            buffer.clear();
        }
    }
    out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
}

}  // namespace keelmark::replay
