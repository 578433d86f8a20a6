// The statistics page: the tables of percentages first (each with its
// sessions and 95% interval), then the ladders as mirrored bars with their
// intervals, the splits, the first-break periods and the IB range over time.
(function () {
  const data = JSON.parse(document.getElementById('stats-data').textContent);
  const a = data.aggregates;
  document.getElementById('title').textContent = data.title;
  document.getElementById('subtitle').textContent = data.subtitle;
  document.getElementById('settings').textContent = data.settings;

  const pct = (v) => v.toFixed(1) + '%';
  const interval = (r) => r.sessions > 0 ? pct(r.low) + ' \u2013 ' + pct(r.high) : '';

  function cell(row, text, className) {
    const td = document.createElement('td');
    td.textContent = text;
    if (className) td.className = className;
    row.appendChild(td);
    return td;
  }

  function header(table, names) {
    const row = table.createTHead().insertRow();
    for (const name of names) {
      const th = document.createElement('th');
      th.textContent = name;
      row.appendChild(th);
    }
  }

  // A rate as three cells: percentage, interval, sessions.
  function rateCells(row, r, side) {
    if (!r || r.sessions === 0) {
      cell(row, '\u2013', 'pct');
      cell(row, '', 'ci');
      cell(row, '0', 'n');
      return;
    }
    cell(row, pct(r.percent), 'pct ' + (side || ''));
    cell(row, interval(r), 'ci');
    cell(row, String(r.sessions), 'n');
  }

  // The ladder of one range: break, then each step, up and down side by side.
  function ladderRows(range) {
    const rows = [{ label: 'break', up: a.rates[range + '_break_up'], down: a.rates[range + '_break_down'] }];
    for (const k of data.ladder) {
      rows.push({ label: k + '\u00d7', up: a.rates[range + '_up_' + k], down: a.rates[range + '_down_' + k] });
    }
    return rows;
  }

  function ladderTable(range, tableId, noteId, name) {
    const complete = a.rates[range + '_complete'];
    document.getElementById(noteId).textContent =
      'Of ' + a.completeSessions + ' complete sessions, ' + complete.holds + ' had a complete ' + name +
      '; percentages are of those, with their 95% Wilson interval.';
    const table = document.getElementById(tableId);
    header(table, ['', 'up', '95% interval', 'sessions', 'down', '95% interval', 'sessions']);
    const body = table.createTBody();
    for (const r of ladderRows(range)) {
      const row = body.insertRow();
      cell(row, r.label);
      rateCells(row, r.up, 'up');
      rateCells(row, r.down, 'down');
    }
  }

  // Interval whiskers on bars: each dataset's `intervals` hold [low, high]
  // in the units of the value axis.
  const whiskers = {
    id: 'whiskers',
    afterDatasetsDraw(chart) {
      const ctx = chart.ctx;
      chart.data.datasets.forEach((set, d) => {
        if (!set.intervals) return;
        const meta = chart.getDatasetMeta(d);
        const horizontal = chart.options.indexAxis === 'y';
        const scale = horizontal ? chart.scales.x : chart.scales.y;
        meta.data.forEach((bar, i) => {
          const iv = set.intervals[i];
          if (!iv) return;
          const from = scale.getPixelForValue(iv[0]);
          const to = scale.getPixelForValue(iv[1]);
          const at = horizontal ? bar.y : bar.x;
          ctx.save();
          ctx.strokeStyle = '#e6e8ee';
          ctx.lineWidth = 1.5;
          ctx.beginPath();
          if (horizontal) {
            ctx.moveTo(from, at); ctx.lineTo(to, at);
            ctx.moveTo(from, at - 4); ctx.lineTo(from, at + 4);
            ctx.moveTo(to, at - 4); ctx.lineTo(to, at + 4);
          } else {
            ctx.moveTo(at, from); ctx.lineTo(at, to);
          }
          ctx.stroke();
          ctx.restore();
        });
      });
    },
  };

  const axisColour = { color: '#8b92a5' };
  const gridColour = { color: '#232a3a' };
  Chart.defaults.color = '#aeb4c2';
  Chart.defaults.animation = false;
  Chart.defaults.maintainAspectRatio = false;

  const charts = [];

  // Down bars run left from zero, up bars right, on the same row.
  function mirroredChart(range, canvasId) {
    const rows = ladderRows(range);
    const value = (r) => (r && r.sessions > 0 ? r.percent : 0);
    const iv = (r, sign) => (r && r.sessions > 0 ? [sign * r.low, sign * r.high] : null);
    charts.push(new Chart(document.getElementById(canvasId), {
      type: 'bar',
      data: {
        labels: rows.map((r) => r.label),
        datasets: [
          { label: 'down', data: rows.map((r) => -value(r.down)), intervals: rows.map((r) => iv(r.down, -1)),
            backgroundColor: '#c8504e', grouped: false },
          { label: 'up', data: rows.map((r) => value(r.up)), intervals: rows.map((r) => iv(r.up, 1)),
            backgroundColor: '#26a69a', grouped: false },
        ],
      },
      options: {
        indexAxis: 'y',
        scales: {
          x: { min: -100, max: 100, ticks: { ...axisColour, callback: (v) => Math.abs(v) + '%' }, grid: gridColour },
          y: { ticks: axisColour, grid: gridColour },
        },
        plugins: {
          tooltip: { callbacks: { label: (c) => c.dataset.label + ' ' + pct(Math.abs(c.raw)) } },
        },
      },
      plugins: [whiskers],
    }));
  }

  function levelTable() {
    const table = document.getElementById('levels');
    header(table, ['', '%', '95% interval', 'sessions']);
    const body = table.createTBody();
    for (const [column, label] of data.levels) {
      const row = body.insertRow();
      cell(row, label);
      rateCells(row, a.rates[column]);
    }
  }

  function splitTables() {
    const section = document.getElementById('splits');
    const h = document.createElement('h2');
    h.textContent = 'Split by the IB close, the IB size, the gap and the weekday';
    section.appendChild(h);
    for (const [column, title] of data.splitTitles) {
      const h3 = document.createElement('h3');
      h3.textContent = title;
      section.appendChild(h3);
      const table = document.createElement('table');
      table.className = 'rates split';
      table.dataset.column = column;
      header(table, ['', 'sessions'].concat(data.splitColumns.map((c) => c[1])));
      const body = table.createTBody();
      for (const group of a.splits[column]) {
        const row = body.insertRow();
        cell(row, group.value);
        cell(row, String(group.sessions), 'n');
        for (const [rate] of data.splitColumns) {
          const r = group.rates[rate];
          const td = cell(row, r && r.sessions > 0 ? pct(r.percent) : '\u2013', 'pct');
          if (r && r.sessions > 0) td.title = interval(r) + ' of ' + r.sessions;
        }
      }
      section.appendChild(table);
    }
  }

  function quantileTable() {
    const table = document.getElementById('quantiles');
    header(table, ['', '25%', '50%', '75%', '90%', 'sessions']);
    const body = table.createTBody();
    for (const [column, label] of [['ib_max_up', 'above the IB high'], ['ib_max_down', 'below the IB low']]) {
      const q = a.quantiles[column];
      const row = body.insertRow();
      cell(row, label);
      for (const v of [q.q25, q.q50, q.q75, q.q90]) cell(row, q.sessions > 0 ? v.toFixed(2) : '\u2013');
      cell(row, String(q.sessions), 'n');
    }
  }

  function periodChart() {
    charts.push(new Chart(document.getElementById('period-chart'), {
      type: 'bar',
      data: {
        labels: a.firstBreakPeriods.map((p) => p.period),
        datasets: [{ label: 'first IB breaks', data: a.firstBreakPeriods.map((p) => p.sessions),
                     backgroundColor: '#5a8cc8' }],
      },
      options: { scales: { x: { ticks: axisColour, grid: gridColour }, y: { ticks: axisColour, grid: gridColour } } },
    }));
  }

  function rangeChart() {
    const palette = ['#5a8cc8', '#e6aa00', '#c850c8', '#28c8e6', '#8cc85a'];
    const datasets = [];
    const labels = [];
    data.ranges.forEach((file) => {
      for (let i = 0; i < file.sessions.length; i++) labels.push(file.sessions[i]);
    });
    let offset = 0;
    data.ranges.forEach((file, f) => {
      const pad = (values) => Array(offset).fill(null).concat(values)
        .concat(Array(labels.length - offset - values.length).fill(null));
      datasets.push({ label: 'IB range \u00b7 ' + file.name, data: pad(file.r), borderColor: palette[f % 5],
                      backgroundColor: palette[f % 5], pointRadius: 0, borderWidth: 1 });
      datasets.push({ label: 'mean of ' + data.averageSessions + ' \u00b7 ' + file.name, data: pad(file.mean),
                      borderColor: '#eef1f6', pointRadius: 0, borderWidth: 2, spanGaps: false });
      offset += file.r.length;
    });
    charts.push(new Chart(document.getElementById('range-chart'), {
      type: 'line',
      data: { labels, datasets },
      options: {
        scales: { x: { ticks: { ...axisColour, maxTicksLimit: 12 }, grid: gridColour },
                  y: { ticks: axisColour, grid: gridColour } },
      },
    }));
  }

  ladderTable('ib', 'ib-ladder', 'ib-note', 'IB');
  ladderTable('or', 'or-ladder', 'or-note', 'opening range');
  levelTable();
  splitTables();
  quantileTable();
  mirroredChart('ib', 'ib-ladder-chart');
  mirroredChart('or', 'or-ladder-chart');
  periodChart();
  rangeChart();
  window.keelmarkStats = { data, charts };
  window.keelmarkStatsReady = true;
})();
