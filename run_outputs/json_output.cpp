#include "run_outputs/json_output.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "host/chart_date_time.h"
#include "standin_host/clock_text.h"
#include "standin_host/number_text.h"

namespace keelmark::replay {

namespace {

using Json = nlohmann::ordered_json;

std::string barTime(const RunRecord& record, std::int32_t bar) {
    return bar >= 0 && static_cast<std::size_t>(bar) < record.bars.size()
               ? formatDateTime(record.bars[static_cast<std::size_t>(bar)].start)
               : std::string();
}

Json moduleJson(const RunRecord& r) {
    return Json{{"name", r.moduleName}, {"version", r.moduleVersion}, {"path", r.modulePath}};
}

Json studyJson(const RunRecord& r) {
    return Json{{"name", r.studyName},
                {"description", r.studyDescription},
                {"study", studyKindName(r.study)}};
}

Json replayJson(const RunRecord& r) {
    Json anchors = Json::array();
    for (const AnchorCommand& a : r.anchorCommands) {
        anchors.push_back(Json{{"requested", formatDateTime(a.requested)},
                               {"barIndex", a.barIndex},
                               {"barTime", barTime(r, a.barIndex)}});
    }
    Json j{{"mode", feedModeName(r.mode)}};
    if (r.mode == FeedMode::Live) {
        j["warmupBars"] = r.warmupBars;
    }
    j["priceFormat"] = r.priceFormat;
    j["bars"] = r.bars.size();
    j["firstBar"] = r.bars.empty() ? "" : formatDateTime(r.bars.front().start);
    j["lastBar"] = r.bars.empty() ? "" : formatDateTime(r.bars.back().start);
    j["anchorCommands"] = anchors;
    if (r.mode == FeedMode::Live) {
        j["barsChangedAfterCommit"] = r.repaintedBars;
    }
    if (r.skippedRowCount > 0) {
        Json first = Json::array();
        for (const SkippedRow& row : r.skippedRows) {
            first.push_back(
                Json{{"line", row.lineNumber}, {"reason", row.reason}, {"text", row.text}});
        }
        j["skippedRows"] = Json{{"count", r.skippedRowCount}, {"first", first}};
    }
    return j;
}

Json inputsJson(const RunRecord& r) {
    Json inputs = Json::array();
    for (const InputRecord& in : r.inputs) {
        Json j{{"slot", in.slot}, {"label", in.label}, {"type", in.declaredType}};
        j["declared"] = inputValueJson(in.declaredType, in.declared, in.options);
        j["used"] = inputValueJson(in.usedType, in.used, in.options);
        if (in.declaredType == kInputInteger) {
            j["min"] = cellInt(in.minValue);
            j["max"] = cellInt(in.maxValue);
        } else if (in.declaredType == kInputFloat) {
            j["min"] = floatJson(cellFloat(in.minValue));
            j["max"] = floatJson(cellFloat(in.maxValue));
        }
        if (in.declaredType == kInputCustomList) {
            j["options"] = in.options;
        }
        inputs.push_back(std::move(j));
    }
    return inputs;
}

Json seriesJson(const RunRecord& r) {
    Json series = Json::array();
    for (const SeriesRecord& s : r.series) {
        series.push_back(Json{{"slot", s.slot},
                              {"name", s.name},
                              {"colour", colourText(s.colour)},
                              {"drawStyle", s.drawStyle},
                              {"drawKind", s.drawStyle & 0xFFFF},
                              {"linePattern", (s.drawStyle >> 16) & 0xFFFF},
                              {"lineWidth", s.lineWidth},
                              {"labelFlags", s.labelFlags}});
    }
    return series;
}

Json logJson(const RunRecord& r) {
    Json log = Json::array();
    for (const LogLine& line : r.log) {
        log.push_back(Json{{"text", line.text}, {"flag", line.flag}});
    }
    return log;
}

Json alertsJson(const RunRecord& r) {
    Json alerts = Json::array();
    for (const RaisedAlert& a : r.alerts) {
        alerts.push_back(Json{{"number", a.number},
                              {"barIndex", a.barIndex},
                              {"barTime", barTime(r, a.barIndex)},
                              {"message", a.message}});
    }
    return alerts;
}

Json drawingJson(const RunRecord& r, const PlacedDrawing& d) {
    Json j{{"drawingNumber", d.drawingNumber},
           {"chartId", d.chartId},
           {"drawingKind", d.drawingKind},
           {"requestMode", d.requestMode},
           {"region", d.region},
           {"price", floatJson(d.price)},
           {"dateTime", d.dateTime}};
    if (d.relativePlacement == 1) {
        j["dateTimeDays"] = toDays(d.dateTime);
    } else if (d.dateTime != 0) {
        j["dateTimeText"] = formatDateTime(d.dateTime);
    }
    j["barIndex"] = d.barIndex;
    if (d.barIndex >= 0) {
        j["barTime"] = barTime(r, d.barIndex);
    }
    j["relativePlacement"] = d.relativePlacement;
    j["textAlignment"] = d.textAlignment;
    j["textColour"] = colourText(d.textColour);
    j["backgroundColour"] = colourText(d.backgroundColour);
    j["fontSize"] = d.fontSize;
    j["fontFace"] = d.fontFace;
    j["text"] = d.text;
    j["hostOptionA"] = d.hostOptionA;
    j["hostOptionB"] = d.hostOptionB;
    j["hostOptionC"] = d.hostOptionC;
    j["hostOptionD"] = d.hostOptionD;
    j["timesSubmitted"] = d.timesSubmitted;
    return j;
}

Json callsJson(const CallCounts& c) {
    return Json{{"defaultsPasses", c.defaultsPasses},
                {"fullRecalculations", c.fullRecalculations},
                {"incrementalUpdates", c.incrementalUpdates},
                {"menuCommands", c.menuCommands},
                {"finalCalls", c.finalCalls},
                {"total", c.defaultsPasses + c.fullRecalculations + c.incrementalUpdates +
                              c.menuCommands + c.finalCalls}};
}

std::string optionText(const std::vector<std::string>& options, std::int32_t index) {
    return index >= 0 && static_cast<std::size_t>(index) < options.size()
               ? options[static_cast<std::size_t>(index)]
               : std::to_string(index);
}

}  // namespace

std::string colourText(std::int32_t colour) {
    // 0xFF000000 and other words with a high byte stand for "no colour given".
    if ((static_cast<std::uint32_t>(colour) & 0xFF000000u) != 0) {
        return "";
    }
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", colour & 0xFF, (colour >> 8) & 0xFF,
                  (colour >> 16) & 0xFF);
    return text;
}

Json floatJson(float v) {
    if (!std::isfinite(v)) {
        return nullptr;
    }
    const std::string text = floatText(v);
    double d = 0;
    std::from_chars(text.data(), text.data() + text.size(), d);
    return d;
}

std::string inputValueText(std::uint8_t type, const InputValueCell& cell,
                           const std::vector<std::string>& options) {
    switch (type) {
        case kInputTimeOfDay:
            return formatClockTime(secondsOfDay(fromDays(cellDouble(cell))));
        case kInputDateTime:
        case kInputDateTimeWithInteger:
        case kInputDate: {
            const ChartDateTime t = fromDays(cellDouble(cell));
            std::string text = t == 0 ? "" : formatDateTime(t);
            if (type == kInputDate && !text.empty()) {
                text.resize(10);
            }
            return text;
        }
        case kInputYesNo:
            return cellInt(cell) != 0 ? "yes" : "no";
        case kInputCustomList:
            return optionText(options, cellInt(cell));
        case kInputColour:
            return colourText(cellInt(cell));
        case kInputFloat:
            return floatText(cellFloat(cell));
        case kInputDouble:
            return Json(cellDouble(cell)).dump();
        default:
            return std::to_string(cellInt(cell));
    }
}

Json inputValueJson(std::uint8_t type, const InputValueCell& cell,
                    const std::vector<std::string>& options) {
    std::string text = inputValueText(type, cell, options);
    switch (type) {
        case kInputTimeOfDay:
        case kInputDateTime:
        case kInputDateTimeWithInteger:
        case kInputDate:
        case kInputDouble:
            return Json{{"value", cellDouble(cell)}, {"text", std::move(text)}};
        case kInputFloat:
            return Json{{"value", floatJson(cellFloat(cell))}, {"text", std::move(text)}};
        default:
            return Json{{"value", cellInt(cell)}, {"text", std::move(text)}};
    }
}

Json runJson(const RunRecord& r) {
    Json j;
    j["module"] = moduleJson(r);
    j["study"] = studyJson(r);
    j["replay"] = replayJson(r);
    j["inputs"] = inputsJson(r);
    j["series"] = seriesJson(r);
    j["log"] = logJson(r);
    j["alerts"] = alertsJson(r);
    Json drawings = Json::array();
    for (const PlacedDrawing& d : r.drawings) {
        drawings.push_back(drawingJson(r, d));
    }
    j["drawings"] = drawings;
    Json menu = Json::array();
    for (const MenuItem& item : r.menuItems) {
        menu.push_back(Json{{"id", item.id}, {"text", item.text}});
    }
    j["menuItems"] = menu;
    j["calls"] = callsJson(r.counts);
    return j;
}

void writeJson(const RunRecord& record, std::ostream& out) {
    out << runJson(record).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
        << '\n';
}

}  // namespace keelmark::replay
