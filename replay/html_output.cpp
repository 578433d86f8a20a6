#include "replay/html_output.h"

#include <cmath>
#include <fstream>
#include <string_view>

#include "replay/clock_text.h"
#include "replay/json_output.h"
#include "replay/module_library.h"

namespace keelmark::replay {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::int64_t kUnixEpochMicros = kEpochDaysBefore1970 * kMicrosPerDay;

// Relative placement runs from 0 to 150 days across and from 0 to 100 up the
// chart: the middle tells the corners apart.
constexpr double kRelativeMiddleAcross = 75.0;
constexpr float kRelativeMiddleUp = 50.0f;

constexpr std::int32_t kAlignCentre = 1;
constexpr std::int32_t kAlignRight = 2;

bool fileExists(const std::string& path) { return std::ifstream(path).good(); }

// Seconds of the chart's clock, shown as if it were UTC so that the page
// prints the chart's own times. The chart library needs strictly rising
// times: a repeated clock time (daylight saving ending) moves one second on.
Json chartTimes(const std::vector<Bar>& bars) {
    Json times = Json::array();
    std::int64_t previous = 0;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const std::int64_t micros = bars[i].start - kUnixEpochMicros;
        std::int64_t seconds = micros / kMicrosPerSecond - (micros % kMicrosPerSecond < 0 ? 1 : 0);
        if (i > 0 && seconds <= previous) {
            seconds = previous + 1;
        }
        times.push_back(seconds);
        previous = seconds;
    }
    return times;
}

Json barColumn(const std::vector<Bar>& bars, float Bar::*field) {
    Json column = Json::array();
    for (const Bar& b : bars) {
        column.push_back(floatJson(b.*field));
    }
    return column;
}

bool holdsValues(const SeriesRecord& s) {
    for (const float v : s.values) {
        if (v != 0.0f && std::isfinite(v)) {
            return true;
        }
    }
    return false;
}

Json seriesLines(const RunRecord& r) {
    Json lines = Json::array();
    for (const SeriesRecord& s : r.series) {
        if (!holdsValues(s)) {
            continue;
        }
        Json values = Json::array();
        for (const float v : s.values) {
            values.push_back(v != 0.0f && std::isfinite(v) ? floatJson(v) : Json(nullptr));
        }
        lines.push_back(Json{{"slot", s.slot},
                             {"name", s.name},
                             {"colour", colourText(s.colour)},
                             {"width", s.lineWidth},
                             {"kind", s.drawStyle & 0xFFFF},
                             {"pattern", (s.drawStyle >> 16) & 0xFFFF},
                             {"label", s.labelFlags != 0},
                             {"values", values}});
    }
    return lines;
}

Json panels(const RunRecord& r) {
    Json result = Json::array();
    for (const PlacedDrawing& d : r.drawings) {
        if (d.relativePlacement != 1) {
            continue;
        }
        result.push_back(
            Json{{"text", d.text},
                 {"textColour", colourText(d.textColour)},
                 {"backgroundColour", colourText(d.backgroundColour)},
                 {"fontSize", d.fontSize},
                 {"fontFace", d.fontFace},
                 {"right", toDays(d.dateTime) > kRelativeMiddleAcross},
                 {"bottom", d.price < kRelativeMiddleUp},
                 {"alignRight", d.textAlignment > 0 && (d.textAlignment & kAlignRight) != 0}});
    }
    return result;
}

Json markers(const RunRecord& r) {
    Json result = Json::array();
    for (const PlacedDrawing& d : r.drawings) {
        if (d.relativePlacement == 1 || d.barIndex < 0 ||
            static_cast<std::size_t>(d.barIndex) >= r.bars.size()) {
            continue;
        }
        result.push_back(
            Json{{"bar", d.barIndex},
                 {"price", floatJson(d.price)},
                 {"text", d.text},
                 {"colour", colourText(d.textColour)},
                 {"fontSize", d.fontSize},
                 {"centre", d.textAlignment > 0 && (d.textAlignment & kAlignCentre) != 0}});
    }
    return result;
}

Json alerts(const RunRecord& r) {
    Json result = Json::array();
    for (const RaisedAlert& a : r.alerts) {
        const bool onChart =
            a.barIndex >= 0 && static_cast<std::size_t>(a.barIndex) < r.bars.size();
        result.push_back(Json{
            {"number", a.number},
            {"bar", a.barIndex},
            {"time", onChart ? formatDateTime(r.bars[static_cast<std::size_t>(a.barIndex)].start)
                             : std::string()},
            {"message", a.message}});
    }
    return result;
}

Json logLines(const RunRecord& r) {
    Json result = Json::array();
    for (const LogLine& line : r.log) {
        result.push_back(Json{{"text", line.text}, {"flag", line.flag}});
    }
    return result;
}

// Script text placed inside a <script> element must not close it early.
std::string scriptSafe(std::string text) {
    auto closesScript = [&text](std::size_t at) {
        constexpr std::string_view kEnd = "</script";
        if (text.size() - at < kEnd.size()) {
            return false;
        }
        for (std::size_t i = 0; i < kEnd.size(); ++i) {
            const char c = text[at + i];
            if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kEnd[i]) {
                return false;
            }
        }
        return true;
    };
    for (std::size_t at = text.find("</"); at != std::string::npos; at = text.find("</", at + 1)) {
        if (closesScript(at)) {
            text.insert(at + 1, "\\");
        }
    }
    return text;
}

// JSON placed inside a <script> element: every '<' (they all stand inside
// strings) written as an escape.
std::string jsonScriptSafe(const std::string& json) {
    std::string out;
    out.reserve(json.size());
    for (const char c : json) {
        if (c == '<') {
            out += "\\u003c";
        } else {
            out += c;
        }
    }
    return out;
}

std::string htmlEscaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

constexpr const char* kPageHead = R"HTML(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>)HTML";

constexpr const char* kPageStyle = R"HTML(</title>
<style>
  html, body { margin: 0; background: #0f1117; color: #d1d4dc;
               font: 14px system-ui, -apple-system, "Segoe UI", Roboto, sans-serif; }
  header { padding: 10px 16px 6px; }
  header h1 { margin: 0; font-size: 18px; font-weight: 600; }
  header p { margin: 2px 0 0; color: #8a93a6; font-size: 13px; }
  #chart-frame { position: relative; height: 72vh; min-height: 420px; margin: 0 8px; }
  #chart { position: absolute; inset: 0; }
  #overlay { position: absolute; left: 0; top: 0; overflow: hidden; pointer-events: none; z-index: 5; }
  .study-panel { position: absolute; white-space: pre; padding: 6px 8px; line-height: 1.25;
                 pointer-events: auto;
                 border: 1px solid rgba(200, 200, 210, 0.45); border-radius: 2px; }
  .anchor-marker { position: absolute; white-space: pre; line-height: 1.1;
                   font-family: system-ui, sans-serif; }
  section { margin: 12px 16px; }
  section h2 { font-size: 14px; margin: 0 0 6px; color: #aab2c5; }
  pre.log { margin: 0; padding: 8px; background: #161a23; overflow-x: auto;
            font: 12px Consolas, "DejaVu Sans Mono", monospace; }
  pre.log .warning { color: #ffb74d; }
  table.alerts { border-collapse: collapse; font-size: 12px; }
  table.alerts td, table.alerts th { padding: 2px 10px 2px 0; text-align: left; }
</style>
<script>
)HTML";

constexpr const char* kPageBody = R"HTML(
</script>
</head>
<body>
<header><h1 id="title"></h1><p id="subtitle"></p></header>
<div id="chart-frame"><div id="chart"></div><div id="overlay"></div></div>
<section id="alerts-section"><h2 id="alerts-heading"></h2><table class="alerts" id="alerts"></table></section>
<section><h2>Log</h2><pre class="log" id="log"></pre></section>
<script id="chart-data" type="application/json">)HTML";

constexpr const char* kPageScript = R"HTML(</script>
<script>
(function () {
  const L = LightweightCharts;
  const data = JSON.parse(document.getElementById('chart-data').textContent);
  document.getElementById('title').textContent = data.title;
  document.getElementById('subtitle').textContent = data.subtitle;

  const frame = document.getElementById('chart-frame');
  const chart = L.createChart(document.getElementById('chart'), {
    autoSize: true,
    layout: { background: { type: 'solid', color: '#131722' }, textColor: '#c8ccd6' },
    grid: { vertLines: { color: '#1c2130' }, horzLines: { color: '#1c2130' } },
    rightPriceScale: { borderColor: '#3a4256' },
    timeScale: { borderColor: '#3a4256', timeVisible: true, secondsVisible: false, rightOffset: 8 },
    crosshair: { mode: L.CrosshairMode.Normal },
  });

  const t = data.times;
  const candles = chart.addSeries(L.CandlestickSeries, {
    upColor: '#26a69a', downColor: '#ef5350', borderVisible: false,
    wickUpColor: '#26a69a', wickDownColor: '#ef5350', priceLineVisible: false,
  });
  candles.setData(t.map((time, i) => ({
    time, open: data.open[i], high: data.high[i], low: data.low[i], close: data.close[i] })));

  // Host line patterns: 0 solid, 1 dashed, 2 dotted. Level lines (kind 3)
  // step from one level to the next; other kinds are plain lines.
  const patterns = [L.LineStyle.Solid, L.LineStyle.Dashed, L.LineStyle.Dotted];
  const lines = data.series.map((s) => {
    const last = s.values[s.values.length - 1];
    const line = chart.addSeries(L.LineSeries, {
      color: s.colour || '#cccccc',
      lineWidth: Math.min(Math.max(s.width, 1), 4),
      lineStyle: patterns[s.pattern] !== undefined ? patterns[s.pattern] : L.LineStyle.Solid,
      lineType: s.kind === 3 ? L.LineType.WithSteps : L.LineType.Simple,
      title: s.label && last !== null ? s.name : '',
      lastValueVisible: s.label && last !== null,
      priceLineVisible: false,
      crosshairMarkerVisible: false,
    });
    line.setData(t.map((time, i) => (s.values[i] === null ? { time } : { time, value: s.values[i] })));
    return line;
  });

  // Opens on the latest bars, a session's worth of short bars.
  const shownBars = 600;
  if (t.length > shownBars) {
    chart.timeScale().setVisibleLogicalRange({ from: t.length - shownBars, to: t.length + 8 });
  }

  const alertMarkers = L.createSeriesMarkers(candles, data.alerts
    .filter((a) => a.bar >= 0 && a.bar < t.length)
    .sort((a, b) => a.bar - b.bar)
    .map((a) => ({ time: t[a.bar], position: 'aboveBar', shape: 'arrowDown',
                   color: '#ffd54f', text: 'A' + a.number })));

  // Text drawings live in an overlay over the plotting area.
  const overlay = document.getElementById('overlay');
  const panels = data.panels.map((p) => {
    const div = document.createElement('div');
    div.className = 'study-panel';
    div.textContent = p.text;
    div.style.color = p.textColour || '#e6e6e6';
    div.style.background = p.backgroundColour || 'transparent';
    div.style.fontFamily = '"' + (p.fontFace || 'Consolas') + '", Consolas, "DejaVu Sans Mono", monospace';
    div.style.fontSize = (p.fontSize > 0 ? p.fontSize : 9) + 'pt';
    div.style.textAlign = p.alignRight ? 'right' : 'left';
    div.dataset.corner = (p.bottom ? 'bottom' : 'top') + '-' + (p.right ? 'right' : 'left');
    overlay.appendChild(div);
    return { p, div };
  });
  const markers = data.markers.map((m) => {
    const div = document.createElement('div');
    div.className = 'anchor-marker';
    div.textContent = m.text;
    div.style.color = m.colour || '#ffffff';
    div.style.fontSize = (m.fontSize > 0 ? m.fontSize : 8) + 'pt';
    overlay.appendChild(div);
    return { m, div };
  });

  const margin = 8;
  function place() {
    const left = chart.priceScale('left').width();
    const width = chart.timeScale().width();
    const height = frame.clientHeight - chart.timeScale().height();
    overlay.style.left = left + 'px';
    overlay.style.width = width + 'px';
    overlay.style.height = Math.max(height, 0) + 'px';
    for (const { p, div } of panels) {
      div.style.left = (p.right ? width - margin - div.offsetWidth : margin) + 'px';
      div.style.top = (p.bottom ? height - margin - div.offsetHeight : margin) + 'px';
    }
    for (const { m, div } of markers) {
      const x = chart.timeScale().logicalToCoordinate(m.bar);
      const y = candles.priceToCoordinate(m.price);
      const visible = x !== null && y !== null && x >= 0 && x <= width && y >= 0 && y <= height;
      div.style.display = visible ? 'block' : 'none';
      if (visible) {
        div.style.left = (m.centre ? x - div.offsetWidth / 2 : x) + 'px';
        div.style.top = y + 'px';
      }
    }
  }
  function follow() { place(); requestAnimationFrame(follow); }
  requestAnimationFrame(follow);

  const alertsTable = document.getElementById('alerts');
  document.getElementById('alerts-heading').textContent = 'Alerts (' + data.alerts.length + ')';
  for (const a of data.alerts) {
    const row = alertsTable.insertRow();
    for (const text of ['#' + a.number, 'bar ' + a.bar, a.time, a.message]) {
      row.insertCell().textContent = text;
    }
  }
  const log = document.getElementById('log');
  for (const line of data.log) {
    const span = document.createElement('span');
    span.textContent = line.text + '\n';
    if (line.flag !== 0) span.className = 'warning';
    log.appendChild(span);
  }

  window.keelmarkChart = { chart, candles, lines, alertMarkers, data };
  requestAnimationFrame(() => requestAnimationFrame(() => { window.keelmarkChartReady = true; }));
})();
</script>
</body>
</html>
)HTML";

}  // namespace

std::string findChartLibrary() {
    const std::string besideTool = ModuleLibrary::executableDirectory() + kChartLibraryFile;
    if (fileExists(besideTool)) {
        return besideTool;
    }
#ifdef KEELMARK_WEB_DIR
    const std::string inWebFolder = std::string(KEELMARK_WEB_DIR) +
                                    "/node_modules/lightweight-charts/dist/" + kChartLibraryFile;
    if (fileExists(inWebFolder)) {
        return inWebFolder;
    }
#endif
    return {};
}

Json chartPageData(const RunRecord& r, const std::string& barsName) {
    Json data;
    data["title"] = r.studyName;
    std::string subtitle = barsName + " \u00b7 " + std::to_string(r.bars.size()) + " bars";
    if (!r.bars.empty()) {
        subtitle += " from " + formatDateTime(r.bars.front().start) + " to " +
                    formatDateTime(r.bars.back().start);
    }
    subtitle += " \u00b7 " + std::string(feedModeName(r.mode)) + " replay \u00b7 module " +
                r.moduleName + ", version " + std::to_string(r.moduleVersion);
    data["subtitle"] = subtitle;
    data["times"] = chartTimes(r.bars);
    data["open"] = barColumn(r.bars, &Bar::open);
    data["high"] = barColumn(r.bars, &Bar::high);
    data["low"] = barColumn(r.bars, &Bar::low);
    data["close"] = barColumn(r.bars, &Bar::close);
    data["series"] = seriesLines(r);
    data["panels"] = panels(r);
    data["markers"] = markers(r);
    data["alerts"] = alerts(r);
    data["log"] = logLines(r);
    return data;
}

void writeHtml(const RunRecord& record, const std::string& barsName,
               const std::string& chartLibrary, std::ostream& out) {
    const std::string data =
        chartPageData(record, barsName).dump(-1, ' ', true, Json::error_handler_t::replace);
    out << kPageHead << htmlEscaped(record.studyName) << kPageStyle << scriptSafe(chartLibrary)
        << kPageBody << jsonScriptSafe(data) << kPageScript;
}

}  // namespace keelmark::replay
