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
    // The chart library joins a line across bars without a value, drawing
    // each step in the colour of the point it leaves. So the last point
    // before a gap is transparent, and the bar before a line resumes gets a
    // transparent point at the resumed value: no level shows on bars where
    // the study wrote none, and no riser joins one session's level to the
    // next.
    const hidden = 'rgba(0, 0, 0, 0)';
    const v = s.values;
    line.setData(t.map((time, i) => {
      const next = i + 1 < t.length ? v[i + 1] : null;
      if (v[i] === null) return next === null ? { time } : { time, value: next, color: hidden };
      return next === null && i + 1 < t.length ? { time, value: v[i], color: hidden } : { time, value: v[i] };
    }));
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
