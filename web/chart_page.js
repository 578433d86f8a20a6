// The page that `run --html` writes: the whole chart is in the page, drawn
// by the shared drawing code.
(function () {
  const D = KeelmarkChartDrawing;
  const data = JSON.parse(document.getElementById('chart-data').textContent);
  document.getElementById('title').textContent = data.title;
  document.getElementById('subtitle').textContent = data.subtitle;

  const view = D.createChartView(LightweightCharts, {
    frame: document.getElementById('chart-frame'),
    chart: document.getElementById('chart'),
    overlay: document.getElementById('overlay'),
  });
  view.draw(data);

  // Opens on the latest bars, a session's worth of short bars.
  const shownBars = 600;
  const t = data.times;
  if (t.length > shownBars) {
    view.showBars(t.length - shownBars, t.length + 8);
  }

  D.renderAlerts(document.getElementById('alerts-heading'), document.getElementById('alerts'), data.alerts);
  D.renderLog(document.getElementById('log'), data.log);

  window.keelmarkChart = { chart: view.chart, candles: view.candles, lines: view.lines,
                           alertMarkers: view.alertMarkers, data };
  requestAnimationFrame(() => requestAnimationFrame(() => { window.keelmarkChartReady = true; }));
})();
