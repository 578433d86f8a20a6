// The live page of `keelmark-replay serve`: the chart drawn by the shared
// drawing code from windows of bars the server sends as the user scrolls, a
// right-click menu with the items the module registered, the study
// settings, and a replay of the bars fed live.
(function () {
  'use strict';
  const D = KeelmarkChartDrawing;
  const F = KeelmarkSettingsForm;
  // Bars loaded beyond either side of the view, the most one request asks
  // for, the bars in view when the page opens and the bars loaded beyond
  // them at first (the rest follows once the chart is drawn).
  const margin = 1500;
  const maxBars = 5000;
  const openingBars = 600;
  const openingMargin = 300;
  const stagesPerBar = 4;
  const el = (id) => document.getElementById(id);

  const state = {
    session: null, info: null, described: false, formKey: null, loaded: null, busy: Promise.resolve(), paging: false,
    playing: false, settingsStudy: null, changes: 0,
  };
  const view = D.createChartView(LightweightCharts, {
    frame: el('chart-frame'), chart: el('chart'), overlay: el('overlay'),
  });

  function say(text, refused) {
    const status = el('status');
    status.textContent = text;
    status.className = refused ? 'refused' : '';
  }

  async function request(method, path, body) {
    const options = { method, headers: {} };
    if (body !== undefined) {
      options.headers['Content-Type'] = 'application/json';
      options.body = JSON.stringify(body);
    }
    const response = await fetch(path, options);
    const data = await response.json().catch(() => ({}));
    if (!response.ok) {
      const error = new Error(data.error || 'The server answered ' + response.status + '.');
      error.refusal = true;
      throw error;
    }
    return data;
  }
  const api = (path) => '/api/sessions/' + state.session + path;

  // Chart changes run one after another, in the order asked.
  function queued(task) {
    const run = state.busy.then(task, task);
    state.busy = run.catch(() => {});
    return run.catch((e) => { say(e.message, true); throw e; });
  }

  // --- what the server says about the chart ---

  function describe(info) {
    const first = !state.described;
    state.described = true;
    state.info = info;
    const names = info.studies.map((s) => s.name).join(' + ');
    el('title').textContent = names;
    document.title = names;
    el('subtitle').textContent = info.barsFile + ' \u00b7 ' + info.bars + ' of ' + info.fileBars +
      ' bars on the chart \u00b7 module ' + info.module + ', version ' + info.version;
    const replay = info.replay;
    el('replay-play').disabled = !replay.active;
    el('replay-step').disabled = !replay.active;
    if (!replay.active) {
      state.playing = false;
    }
    el('replay-play').textContent = state.playing ? 'Pause' : 'Play';
    el('replay-state').textContent = replay.active
      ? 'replay: next bar ' + replay.nextBar + ' of ' + info.fileBars +
        (replay.stage > 0 ? ' (forming, stage ' + replay.stage + ')' : '')
      : 'all bars shown';
    if (first) {
      el('replay-from').max = String(info.fileBars);
      el('replay-from').value = String(Math.max(1, info.fileBars - 300));
    }
    showSettings();
  }

  async function loadWindow(from, to) {
    const data = await request('GET', api('/chart?from=' + from + '&to=' + to));
    describe(data);
    state.loaded = { from, to };
    view.draw(data);
    D.renderAlerts(el('alerts-heading'), el('alerts'), data.alerts, data.alertCount);
    D.renderLog(el('log'), data.log);
    state.changes++;
    return data;
  }

  // Loads the window around the bars in view again, after a change. With
  // `followEnd` a view that showed the last bar keeps showing it.
  async function refresh(info, followEnd) {
    const before = state.info !== null ? state.info.bars : info.bars;
    state.info = info;
    const total = info.bars;
    let visible = view.visibleBars() || { from: total - openingBars, to: total + 8 };
    const width = visible.to - visible.from;
    const atEnd = followEnd && visible.to >= before - 1;
    if (atEnd || visible.from >= total) {
      visible = { from: total + 8 - width, to: total + 8 };
    }
    const w = D.pageWindow(visible.from, Math.min(visible.to, total - 1), total, margin, maxBars);
    await loadWindow(w.from, w.to);
    if (atEnd) view.showBars(visible.from, visible.to);
  }

  async function showLatest(info) {
    state.info = info;
    const total = info.bars;
    await loadWindow(Math.max(0, total - openingBars - openingMargin), total);
    view.showBars(total - openingBars, total + 8);
  }

  // More bars as the user scrolls.
  view.chart.timeScale().subscribeVisibleLogicalRangeChange(() => {
    if (state.loaded === null || state.paging) return;
    const visible = view.visibleBars();
    const total = state.info.bars;
    if (visible === null || !D.needsPage(state.loaded, visible.from, visible.to, total, margin)) return;
    state.paging = true;
    const w = D.pageWindow(visible.from, visible.to, total, margin, maxBars);
    queued(() => loadWindow(w.from, w.to)).catch(() => {}).finally(() => { state.paging = false; });
  });

  // --- the right-click menu ---

  const menu = el('chart-menu');
  function closeMenu() { menu.hidden = true; }
  function menuEntry(text, action) {
    const li = document.createElement('li');
    li.setAttribute('role', 'menuitem');
    li.textContent = text;
    li.addEventListener('click', () => { closeMenu(); action(); });
    return li;
  }
  el('chart-frame').addEventListener('contextmenu', (event) => {
    event.preventDefault();
    if (state.info === null) return;
    const area = el('chart').getBoundingClientRect();
    const x = event.clientX - area.left - view.chart.priceScale('left').width();
    const bar = view.barAt(x);
    if (bar === null) {
      say('There is no bar under the pointer.', true);
      return;
    }
    menu.replaceChildren();
    for (const study of state.info.studies) {
      if (study.menu.length === 0) continue;
      const heading = document.createElement('li');
      heading.className = 'heading';
      heading.textContent = study.name;
      menu.appendChild(heading);
      for (const item of study.menu) {
        menu.appendChild(menuEntry(item.text, () => menuCommand(study, item, bar)));
      }
    }
    const heading = document.createElement('li');
    heading.className = 'heading';
    heading.textContent = 'Bar ' + bar;
    menu.appendChild(heading);
    menu.appendChild(menuEntry('Replay from this bar', () => {
      el('replay-from').value = String(Math.max(bar, 1));
      startReplay();
    }));
    menu.hidden = false;
    // As a desktop menu opens: to the left of or above the pointer when it
    // would otherwise run off the window.
    const size = menu.getBoundingClientRect();
    const fits = (at, extent, room) => (at + extent > room ? Math.max(0, at - extent) : at);
    menu.style.left = fits(event.clientX, size.width, window.innerWidth) + 'px';
    menu.style.top = fits(event.clientY, size.height, window.innerHeight) + 'px';
  });
  document.addEventListener('click', (event) => { if (!menu.contains(event.target)) closeMenu(); });
  document.addEventListener('keydown', (event) => { if (event.key === 'Escape') closeMenu(); });

  function menuCommand(study, item, bar) {
    return queued(async () => {
      const info = await request('POST', api('/menu'), { study: study.study, item: item.text, bar });
      await refresh(info, false);
      say('"' + item.text + '" at bar ' + bar + '.');
    }).catch(() => {});
  }

  // --- the settings ---

  // Builds the form again only when the inputs changed (or with `force`),
  // so that scrolling or a replay does not disturb a field being edited.
  function showSettings(force) {
    const aside = el('settings');
    if (aside.hidden || state.info === null) return;
    const studies = state.info.studies;
    const study = studies.find((s) => s.study === state.settingsStudy) || studies[0];
    const formKey = study.study + JSON.stringify(study.inputs);
    if (!force && formKey === state.formKey) return;
    state.formKey = formKey;
    state.settingsStudy = study.study;
    const chooser = el('settings-studies');
    chooser.replaceChildren(...studies.map((s) => {
      const button = document.createElement('button');
      button.type = 'button';
      button.textContent = s.name;
      button.className = s.study === study.study ? 'chosen' : '';
      button.addEventListener('click', () => { state.settingsStudy = s.study; showSettings(true); });
      return button;
    }));
    F.buildForm(el('settings-form'), F.formFields(study.inputs), (field, text) => {
      queued(async () => {
        const info = await request('POST', api('/inputs'),
          { study: study.study, input: field.slot, value: text });
        await refresh(info, false);
        say('"' + field.label + '" set to ' + text + '; ' + study.name + ' recalculated.');
      }).catch(() => showSettings(true));
    }, (why) => say(why, true));
  }
  el('settings-toggle').addEventListener('click', () => {
    el('settings').hidden = !el('settings').hidden;
    showSettings(true);
  });

  // --- the replay ---

  function startReplay() {
    state.playing = false;
    const from = Number(el('replay-from').value);
    return queued(async () => {
      const info = await request('POST', api('/replay'), { from });
      await showLatest(info);
      say('Replay restarted from bar ' + from + '.');
    }).catch(() => {});
  }

  function advance(wholeBar) {
    return queued(async () => {
      const info = await request('POST', api('/replay/advance'), { wholeBar });
      await refresh(info, true);
    });
  }

  async function play() {
    while (state.playing && state.info.replay.active) {
      const started = performance.now();
      try {
        await advance(false);
      } catch {
        state.playing = false;
      }
      const pause = 1000 / (Number(el('replay-speed').value) * stagesPerBar) - (performance.now() - started);
      if (pause > 0) await new Promise((done) => setTimeout(done, pause));
    }
    state.playing = false;
    el('replay-play').textContent = 'Play';
  }

  el('replay-start').addEventListener('click', startReplay);
  el('replay-play').addEventListener('click', () => {
    state.playing = !state.playing;
    el('replay-play').textContent = state.playing ? 'Pause' : 'Play';
    if (state.playing) play();
  });
  el('replay-step').addEventListener('click', () => { state.playing = false; advance(true).catch(() => {}); });
  el('replay-end').addEventListener('click', () => {
    state.playing = false;
    queued(async () => {
      const info = await request('POST', api('/replay'), { from: state.info.fileBars });
      await showLatest(info);
      say('All bars shown.');
    }).catch(() => {});
  });

  // --- opening ---

  window.keelmarkLive = {
    view, state, request, api,
    // The page x of a bar's centre (null when the bar is not loaded).
    barX(bar) {
      const x = view.chart.timeScale().logicalToCoordinate(bar - view.firstBar);
      if (x === null) return null;
      return el('chart').getBoundingClientRect().left + view.chart.priceScale('left').width() + x;
    },
  };
  queued(async () => {
    const info = await request('POST', '/api/sessions');
    state.session = info.session;
    await showLatest(info);
    window.keelmarkChart = { chart: view.chart, candles: view.candles, lines: view.lines,
                             alertMarkers: view.alertMarkers, data: view.data };
    requestAnimationFrame(() => requestAnimationFrame(() => { window.keelmarkChartReady = true; }));
  }).catch(() => {});
})();
