// The pure parts of the shared drawing code: which window of a long chart
// to load, when to load more, and the texts of the alerts.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import '../chart_drawing.js';

const D = globalThis.KeelmarkChartDrawing;

test('a window takes the margin on both sides, clipped to the chart', () => {
  assert.deepEqual(D.pageWindow(5000, 5600, 1000000, 2000, 10000), { from: 3000, to: 7601 });
  // At the start the margin the chart lacks goes to the other side.
  assert.deepEqual(D.pageWindow(10, 610, 1000000, 2000, 10000), { from: 0, to: 4601 });
  // At the end likewise, and a short chart is loaded whole.
  assert.deepEqual(D.pageWindow(999400, 1000008, 1000000, 2000, 10000), { from: 995391, to: 1000000 });
  assert.deepEqual(D.pageWindow(-8, 300, 300, 2000, 10000), { from: 0, to: 300 });
});

test('a window never holds more than the most bars, centred on the view', () => {
  const w = D.pageWindow(100000, 130000, 1000000, 2000, 10000);
  assert.equal(w.to - w.from, 10000);
  assert.ok(w.from <= 115000 && w.to > 115000);
  const all = D.pageWindow(-50, 2000000, 1000000, 2000, 10000);
  assert.equal(all.to - all.from, 10000);
  assert.ok(all.from >= 0 && all.to <= 1000000);
});

test('more is loaded only near an edge that is not the chart\'s own', () => {
  const loaded = { from: 3000, to: 7600 };
  assert.equal(D.needsPage(loaded, 5000, 5600, 1000000, 2000), false);
  assert.equal(D.needsPage(loaded, 3500, 4100, 1000000, 2000), true);
  assert.equal(D.needsPage(loaded, 6800, 7300, 1000000, 2000), true);
  // The chart's own edges: nothing more to load.
  assert.equal(D.needsPage({ from: 0, to: 4600 }, -10, 500, 1000000, 2000), false);
  assert.equal(D.needsPage({ from: 995000, to: 1000000 }, 999400, 1000008, 1000000, 2000), false);
});

test('a series shows no line across bars without a value, nor a riser into the next level', () => {
  const hidden = 'rgba(0, 0, 0, 0)';
  assert.deepEqual(D.linePoints([10, 20, 30, 40], [1.5, null, null, 0.25]),
    [{ time: 10, value: 1.5, color: hidden }, { time: 20 },
      { time: 30, value: 0.25, color: hidden }, { time: 40, value: 0.25 }]);
  assert.deepEqual(D.linePoints([10, 20], [2, 2]), [{ time: 10, value: 2 }, { time: 20, value: 2 }]);
  assert.deepEqual(D.linePoints([10, 20], [null, null]), [{ time: 10 }, { time: 20 }]);
  assert.equal(D.seriesKey({ slot: 3 }), '3');
  assert.equal(D.seriesKey({ key: 'anchored-vwap:3', slot: 3 }), 'anchored-vwap:3');
});

test('the alerts heading says when only the last alerts are shown', () => {
  const alerts = [{ number: 4, bar: 12, time: '2023-11-20 09:31:00', message: 'touch ORH' }];
  assert.equal(D.alertsHeading(alerts), 'Alerts (1)');
  assert.equal(D.alertsHeading(alerts, 700), 'Alerts (700, the last 1 shown)');
  assert.deepEqual(D.alertRowTexts(alerts[0]), ['#4', 'bar 12', '2023-11-20 09:31:00', 'touch ORH']);
});
