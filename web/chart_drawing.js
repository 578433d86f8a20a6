// How a Keelmark chart is drawn, for the page that `run --html` writes and for
// the live page of `serve` alike: candles, every series as a line in its
// colour, width and pattern, right-edge labels, the study's text drawings
// (panels in their corner, anchor markers at their bar and price), alert
// marks, the alerts table and the log. The pages differ only in where the
// data comes from.
//
// A classic script: in a page it defines the global KeelmarkChartDrawing;
// node's tests import it for the pure functions (no DOM needed for those).
//
// The data drawn: { times, open, high, low, close, series, panels, markers,
// alerts, log } as the static page embeds it, plus `firstBar`, the chart's
// bar number of times[0] when only a window of the chart is loaded (0 when
// absent). Series values, markers and alerts are by the chart's bar number.
(function (root) {
  'use strict';

  // Host line patterns: 0 solid, 1 dashed, 2 dotted.
  const kLineKindSteps = 3;

  function seriesKey(s) {
    return s.key !== undefined ? String(s.key) : String(s.slot);
  }

  // The series as the chart library's line points: a gap (time only) where
  // the value is null. The chart library joins a line across bars without a
  // value, drawing each step in the colour of the point it leaves. So the
  // last point before a gap is transparent, and the bar before a line
  // resumes gets a transparent point at the resumed value: no level shows on
  // bars where the study wrote none, and no riser joins one session's level
  // to the next.
  const kHidden = 'rgba(0, 0, 0, 0)';

  function linePoints(times, values) {
    const n = times.length;
    const valueAt = (i) => (values[i] === undefined ? null : values[i]);
    const points = new Array(n);
    for (let i = 0; i < n; i++) {
      const v = valueAt(i);
      const next = i + 1 < n ? valueAt(i + 1) : null;
      if (v === null) {
        points[i] = next === null ? { time: times[i] } : { time: times[i], value: next, color: kHidden };
      } else if (next === null && i + 1 < n) {
        points[i] = { time: times[i], value: v, color: kHidden };
      } else {
        points[i] = { time: times[i], value: v };
      }
    }
    return points;
  }

  function candlePoints(data) {
    const points = new Array(data.times.length);
    for (let i = 0; i < data.times.length; i++) {
      points[i] = { time: data.times[i], open: data.open[i], high: data.high[i],
                    low: data.low[i], close: data.close[i] };
    }
    return points;
  }

  // The last value a series holds in the data given, or null.
  function lastValue(values) {
    return values.length > 0 ? values[values.length - 1] : null;
  }

  // --- data windows of a long chart ---

  // The window of bars to load around the visible bars: `margin` bars on
  // either side, at most `maxBars` in all, within [0, total).
  function pageWindow(visibleFrom, visibleTo, total, margin, maxBars) {
    let from = Math.floor(visibleFrom) - margin;
    let to = Math.ceil(visibleTo) + 1 + margin;
    if (to - from > maxBars) {
      const centre = Math.round((visibleFrom + visibleTo) / 2);
      from = centre - Math.floor(maxBars / 2);
      to = from + maxBars;
    }
    if (from < 0) {
      to = Math.min(total, to - from);
      from = 0;
    }
    if (to > total) {
      from = Math.max(0, from - (to - total));
      to = total;
    }
    return { from, to };
  }

  // Whether the visible bars come within `margin / 2` of an edge of the
  // loaded window that is not the chart's own edge.
  function needsPage(loaded, visibleFrom, visibleTo, total, margin) {
    const near = Math.floor(margin / 2);
    const lowEdge = loaded.from > 0 && visibleFrom < loaded.from + near;
    const highEdge = loaded.to < total && visibleTo > loaded.to - 1 - near;
    return lowEdge || highEdge;
  }

  // --- texts ---

  function alertRowTexts(a) {
    return ['#' + a.number, 'bar ' + a.bar, a.time, a.message];
  }

  function alertsHeading(alerts, totalAlerts) {
    const total = totalAlerts !== undefined ? totalAlerts : alerts.length;
    return total > alerts.length
      ? 'Alerts (' + total + ', the last ' + alerts.length + ' shown)'
      : 'Alerts (' + total + ')';
  }

  function panelFont(fontFace) {
    return '"' + (fontFace || 'Consolas') + '", Consolas, "DejaVu Sans Mono", monospace';
  }

  // --- drawing ---

  function createChartView(L, elements) {
    const frame = elements.frame;
    const chart = L.createChart(elements.chart, {
      autoSize: true,
      layout: { background: { type: 'solid', color: '#131722' }, textColor: '#c8ccd6' },
      grid: { vertLines: { color: '#1c2130' }, horzLines: { color: '#1c2130' } },
      rightPriceScale: { borderColor: '#3a4256' },
      timeScale: { borderColor: '#3a4256', timeVisible: true, secondsVisible: false, rightOffset: 8 },
      crosshair: { mode: L.CrosshairMode.Normal },
    });
    const candles = chart.addSeries(L.CandlestickSeries, {
      upColor: '#26a69a', downColor: '#ef5350', borderVisible: false,
      wickUpColor: '#26a69a', wickDownColor: '#ef5350', priceLineVisible: false,
    });
    const patterns = [L.LineStyle.Solid, L.LineStyle.Dashed, L.LineStyle.Dotted];
    const overlay = elements.overlay;
    const lineByKey = new Map();
    const view = {
      chart, candles, lines: [], alertMarkers: L.createSeriesMarkers(candles, []),
      data: null, firstBar: 0, panels: [], markers: [],
    };

    function lineOptions(s, last) {
      const labelled = Boolean(s.label) && last !== null;
      return {
        color: s.colour || '#cccccc',
        lineWidth: Math.min(Math.max(s.width, 1), 4),
        lineStyle: patterns[s.pattern] !== undefined ? patterns[s.pattern] : L.LineStyle.Solid,
        lineType: s.kind === kLineKindSteps ? L.LineType.WithSteps : L.LineType.Simple,
        title: labelled ? s.name : '',
        lastValueVisible: labelled,
        priceLineVisible: false,
        crosshairMarkerVisible: false,
      };
    }

    function drawLines(data) {
      const keep = new Set();
      view.lines = data.series.map((s) => {
        const key = seriesKey(s);
        keep.add(key);
        const options = lineOptions(s, lastValue(s.values));
        let line = lineByKey.get(key);
        if (line === undefined) {
          line = chart.addSeries(L.LineSeries, options);
          lineByKey.set(key, line);
        } else {
          line.applyOptions(options);
        }
        line.setData(linePoints(data.times, s.values));
        return line;
      });
      for (const [key, line] of lineByKey) {
        if (!keep.has(key)) {
          chart.removeSeries(line);
          lineByKey.delete(key);
        }
      }
    }

    function drawOverlay(data) {
      overlay.replaceChildren();
      view.panels = data.panels.map((p) => {
        const div = document.createElement('div');
        div.className = 'study-panel';
        div.textContent = p.text;
        div.style.color = p.textColour || '#e6e6e6';
        div.style.background = p.backgroundColour || 'transparent';
        div.style.fontFamily = panelFont(p.fontFace);
        div.style.fontSize = (p.fontSize > 0 ? p.fontSize : 9) + 'pt';
        div.style.textAlign = p.alignRight ? 'right' : 'left';
        div.dataset.corner = (p.bottom ? 'bottom' : 'top') + '-' + (p.right ? 'right' : 'left');
        overlay.appendChild(div);
        return { p, div };
      });
      view.markers = data.markers.map((m) => {
        const div = document.createElement('div');
        div.className = 'anchor-marker';
        div.textContent = m.text;
        div.dataset.bar = String(m.bar);
        div.style.color = m.colour || '#ffffff';
        div.style.fontSize = (m.fontSize > 0 ? m.fontSize : 8) + 'pt';
        overlay.appendChild(div);
        return { m, div };
      });
    }

    // Draws `data`; the chart keeps showing the same bars when the loaded
    // window moves.
    view.draw = function (data) {
      const firstBar = data.firstBar || 0;
      const range = view.data !== null ? chart.timeScale().getVisibleLogicalRange() : null;
      const shift = firstBar - view.firstBar;
      view.data = data;
      view.firstBar = firstBar;
      candles.setData(candlePoints(data));
      drawLines(data);
      const last = firstBar + data.times.length;
      view.alertMarkers.setMarkers(data.alerts
        .filter((a) => a.bar >= firstBar && a.bar < last)
        .sort((a, b) => a.bar - b.bar)
        .map((a) => ({ time: data.times[a.bar - firstBar], position: 'aboveBar', shape: 'arrowDown',
                       color: '#ffd54f', text: 'A' + a.number })));
      drawOverlay(data);
      if (range !== null && shift !== 0) {
        chart.timeScale().setVisibleLogicalRange({ from: range.from - shift, to: range.to - shift });
      }
    };

    // Shows the bars [from, to) of the chart (bar numbers).
    view.showBars = function (from, to) {
      chart.timeScale().setVisibleLogicalRange({ from: from - view.firstBar, to: to - view.firstBar });
    };

    // The chart's bars in view, as bar numbers (null before data).
    view.visibleBars = function () {
      const range = chart.timeScale().getVisibleLogicalRange();
      return range === null ? null : { from: range.from + view.firstBar, to: range.to + view.firstBar };
    };

    // The bar under an x coordinate of the plotting area, or null off the bars.
    view.barAt = function (x) {
      const logical = chart.timeScale().coordinateToLogical(x);
      if (logical === null || view.data === null) return null;
      const index = Math.round(logical);
      if (index < 0 || index >= view.data.times.length) return null;
      return index + view.firstBar;
    };

    const margin = 8;
    function place() {
      const left = chart.priceScale('left').width();
      const width = chart.timeScale().width();
      const height = frame.clientHeight - chart.timeScale().height();
      overlay.style.left = left + 'px';
      overlay.style.width = width + 'px';
      overlay.style.height = Math.max(height, 0) + 'px';
      for (const { p, div } of view.panels) {
        div.style.left = (p.right ? width - margin - div.offsetWidth : margin) + 'px';
        div.style.top = (p.bottom ? height - margin - div.offsetHeight : margin) + 'px';
      }
      for (const { m, div } of view.markers) {
        const x = chart.timeScale().logicalToCoordinate(m.bar - view.firstBar);
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
    return view;
  }

  function renderAlerts(heading, table, alerts, totalAlerts) {
    heading.textContent = alertsHeading(alerts, totalAlerts);
    table.replaceChildren();
    for (const a of alerts) {
      const row = table.insertRow();
      for (const text of alertRowTexts(a)) {
        row.insertCell().textContent = text;
      }
    }
  }

  function renderLog(pre, log) {
    pre.replaceChildren();
    for (const line of log) {
      const span = document.createElement('span');
      span.textContent = line.text + '\n';
      if (line.flag !== 0) span.className = 'warning';
      pre.appendChild(span);
    }
  }

  root.KeelmarkChartDrawing = {
    createChartView, renderAlerts, renderLog,
    pageWindow, needsPage, linePoints, candlePoints, alertRowTexts, alertsHeading, seriesKey,
  };
})(globalThis);
