// Makes the pictures of docs/guide.md: each one is a run of keelmark-replay
// over the bundled sample (cut at a chosen bar), its chart page (or the live
// page of `keelmark-replay serve`) opened in headless Chromium, the chart
// scrolled to the bars worth seeing, and the chart area saved as PNG.
//   node guide_pictures.mjs TOOL SAMPLE_DIR IMAGES_DIR [NAME ...]
// TOOL is the keelmark-replay program; with NAMEs only those pictures are
// made. Every picture is made in a scratch folder first and the PNGs are
// moved into IMAGES_DIR only when all of them succeeded, so a failed run
// leaves the pictures as they were. The browser is CHROMIUM_PATH when set,
// else Debian's /usr/bin/chromium.
//
// A picture is one entry of `pictures` below:
//   name     the PNG's file name without .png
//   bars     { file, through }: the sample file, cut after the bar that
//            starts at `through` (chart time), so that the chart ends there
//            and its panel, labels and markers show that moment
//   run      the arguments of `keelmark-replay run` besides --bars and --html
//   view     { from, to }: the bars to show, by their start times
//   open     optional: async (browser, picture, paths) => page, for a page
//            other than the static chart page (the default opens it);
//            `paths.whenDone(stop)` has `stop` awaited once the picture is
//            made or has failed (to end a server the page needs)
//   act      optional: async (page) => {}, run after the view is set and
//            before the screenshot (for example to open a menu)
// The pictures of the live page of `keelmark-replay serve` have `open:
// openServedPage` and, instead of `run`:
//   serve    the arguments of `keelmark-replay serve` besides --bars and
//            --port
//   settings [study, label, value] triples set through the page's Settings
//            form (serve leaves every input at its default)
//   anchors  the start times of the bars that get an anchored VWAP through
//            the page's right-click menu, in that order
import { launchHeadless } from './headless_browser.mjs';
import { barAtTime, changeSetting, chooseMenuItem, openChartMenu, openLivePage, startServe } from './live_page.mjs';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, renameSync, rmSync, writeFileSync, copyFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const sessionLevelsDay = '2023-11-28';

const pictures = [
  {
    // A whole trading day, from the prior session's close to the last bar
    // before this session's close: every level, the labels and the panel.
    name: 'session-levels-day',
    bars: { file: 'NQ_5min_sample.csv', through: `${sessionLevelsDay} 15:55:00` },
    run: ['--study', 'session-levels'],
    view: { from: '2023-11-27 15:00', to: `${sessionLevelsDay} 15:55` },
  },
  {
    // Opening range and initial balance forming and completing, with the
    // IB and OR extensions from the bar on which each range completes.
    name: 'opening-range-initial-balance',
    bars: { file: 'NQ_1min_sample.csv', through: `${sessionLevelsDay} 12:00:00` },
    run: ['--study', 'session-levels', '--input', 'Show OR Extensions=yes',
          '--input', 'Show Prior Day High/Low/Close=no', '--input', 'Show Overnight High/Low=no',
          '--input', 'Show Session Panel=no'],
    view: { from: `${sessionLevelsDay} 09:15`, to: `${sessionLevelsDay} 12:00` },
  },
  {
    // The overnight forming after the prior session, and the levels in
    // place when the next session opens above the prior day's high.
    name: 'overnight-and-prior-day-at-the-open',
    bars: { file: 'NQ_5min_sample.csv', through: '2023-11-29 10:15:00' },
    run: ['--study', 'session-levels', '--input', 'Show Initial Balance=no',
          '--input', 'Show IB Extensions=no'],
    view: { from: '2023-11-28 14:00', to: '2023-11-29 10:15' },
  },
  {
    // Touch alerts of a live feed, each marked above the bar that touched.
    name: 'touch-alerts',
    bars: { file: 'NQ_1min_sample.csv', through: `${sessionLevelsDay} 11:00:00` },
    run: ['--study', 'session-levels', '--mode', 'live', '--warmup', '1000',
          '--input', 'Alert Sound Number When Price Touches a Level (0 = off)=4',
          '--input', 'Show Session Panel=no'],
    view: { from: `${sessionLevelsDay} 10:15`, to: `${sessionLevelsDay} 11:00` },
  },
  {
    // Three anchors with both bands, each marked at its anchor bar.
    name: 'anchored-vwap-three-anchors',
    bars: { file: 'NQ_30min_sample.csv', through: '2023-12-04 16:30:00' },
    run: ['--study', 'anchored-vwap', '--anchor', '2023-11-20 09:30', '--anchor', '2023-11-29 09:30',
          '--anchor', '2023-11-30 11:00', '--input', 'Show Standard Deviation Bands=yes'],
    view: { from: '2023-11-19 18:00', to: '2023-12-04 16:30' },
  },
  {
    // The chart of 'anchored-vwap-three-anchors' on the live page of serve:
    // the bands turned on in its Settings, the same three anchors set
    // through its right-click menu, and the menu open again.
    name: 'anchored-vwap-live-menu',
    bars: { file: 'NQ_30min_sample.csv', through: '2023-12-04 16:30:00' },
    serve: ['--study', 'anchored-vwap'],
    settings: [['Keelmark Anchored VWAP', 'Show Standard Deviation Bands', 'yes']],
    anchors: ['2023-11-20 09:30', '2023-11-29 09:30', '2023-11-30 11:00'],
    view: { from: '2023-11-19 18:00', to: '2023-12-04 16:30' },
    open: openServedPage,
    // Below the bars of the first week, where the menu hides no line.
    act: async (page) => openChartMenu(page, await barAtTime(page, chartSeconds('2023-11-21 16:00')), 15860),
  },
];

// The page shows the chart's clock times as if they were UTC.
function chartSeconds(text) {
  const [date, time] = text.split(' ');
  const [y, mo, d] = date.split('-').map(Number);
  const [h, mi, s] = (time + ':0').split(':').map(Number);
  return Date.UTC(y, mo - 1, d, h, mi, s || 0) / 1000;
}

function cutBars(sampleDir, bars, scratch) {
  const lines = readFileSync(join(sampleDir, bars.file), 'utf8').split('\n');
  const kept = [lines[0]];
  for (const line of lines.slice(1)) {
    if (line.length > 0 && line.slice(0, 19) <= bars.through) kept.push(line);
  }
  if (kept.length < 2 || !kept[kept.length - 1].startsWith(bars.through)) {
    throw new Error(`${bars.file} has no bar at ${bars.through}`);
  }
  const path = join(scratch, bars.file.replace('.csv', '') + '_through_' +
                    bars.through.replace(/[ :]/g, '-') + '.csv');
  writeFileSync(path, kept.join('\n') + '\n');
  return path;
}

async function openChartPage(browser, picture, paths) {
  const barsPath = cutBars(paths.sample, picture.bars, paths.scratch);
  const html = join(paths.scratch, picture.name + '.html');
  execFileSync(paths.tool, ['run', '--bars', barsPath, ...picture.run, '--html', html],
               { stdio: ['ignore', 'ignore', 'inherit'] });
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  await page.goto(pathToFileURL(resolve(html)).href);
  await page.waitForFunction(() => window.keelmarkChartReady === true, null, { timeout: 60000 });
  return page;
}

// The live page of `serve` over the cut bars, with `picture.settings` made
// and each of `picture.anchors` set as a trader sets it: right-click its
// bar, "Anchor VWAP Here".
async function openServedPage(browser, picture, paths) {
  const barsPath = cutBars(paths.sample, picture.bars, paths.scratch);
  const server = await startServe(paths.tool, ['--bars', barsPath, ...picture.serve]);
  paths.whenDone(server.stop);
  const errors = [];
  const foreign = [];
  const { page } = await openLivePage(browser, server.url,
                                      { errors, foreign, viewport: { width: 1280, height: 900 } });
  for (const [study, label, value] of picture.settings || []) {
    await changeSetting(page, study, label, value);
  }
  for (const anchor of picture.anchors) {
    const bar = await barAtTime(page, chartSeconds(anchor));
    if (bar === null) throw new Error(`the live page has no bar at ${anchor}`);
    await chooseMenuItem(page, bar, 'Anchor VWAP Here');
  }
  if (errors.length > 0 || foreign.length > 0) {
    throw new Error(`the live page failed: ${JSON.stringify({ errors, foreign })}`);
  }
  return page;
}

async function showBars(page, view) {
  const range = { from: chartSeconds(view.from), to: chartSeconds(view.to) };
  const found = await page.evaluate((r) => {
    const k = window.keelmarkChart;
    // The live page's keelmarkChart.data is the window of bars it opened
    // with; the bars it draws now are its view's.
    const times = (window.keelmarkLive ? window.keelmarkLive.view.data : k.data).times;
    const first = times.findIndex((t) => t >= r.from);
    let last = -1;
    for (let i = times.length - 1; i >= 0; i--) {
      if (times[i] <= r.to) { last = i; break; }
    }
    if (first < 0 || last < first) return false;
    const margin = Math.max(2, Math.round((last - first) * 0.04));
    k.chart.timeScale().setVisibleLogicalRange({ from: first - 1, to: last + margin });
    return true;
  }, range);
  if (!found) throw new Error(`no bars from ${view.from} to ${view.to}`);
  // The overlay (panel, markers) follows the chart on the next frames.
  await page.evaluate(() => new Promise((done) =>
    requestAnimationFrame(() => requestAnimationFrame(() => requestAnimationFrame(done)))));
}

const [tool, sample, images, ...names] = process.argv.slice(2);
if (!tool || !sample || !images) {
  console.error('usage: node guide_pictures.mjs TOOL SAMPLE_DIR IMAGES_DIR [NAME ...]');
  process.exit(2);
}
const unknown = names.filter((n) => !pictures.some((p) => p.name === n));
if (unknown.length > 0) {
  console.error(`guide_pictures: no picture named ${unknown.join(', ')}; there are ` +
                pictures.map((p) => p.name).join(', '));
  process.exit(2);
}
const chosen = names.length > 0 ? pictures.filter((p) => names.includes(p.name)) : pictures;

const scratch = mkdtempSync(join(tmpdir(), 'guide-pictures-'));
const paths = { tool, sample, scratch };
const browser = await launchHeadless();
try {
  for (const picture of chosen) {
    const stops = [];
    try {
      const whenDone = (stop) => { stops.push(stop); };
      const page = await (picture.open || openChartPage)(browser, picture, { ...paths, whenDone });
      await showBars(page, picture.view);
      if (picture.act) await picture.act(page);
      await page.locator('#chart-frame').screenshot({ path: join(scratch, picture.name + '.png') });
      await page.close();
    } finally {
      for (const stop of stops.reverse()) await stop();
    }
  }
  for (const picture of chosen) {
    const made = join(scratch, picture.name + '.png');
    const target = join(images, picture.name + '.png');
    // Copied beside the target first: the scratch folder may be on another
    // file system, and a rename within one folder replaces in one step.
    copyFileSync(made, target + '.part');
    renameSync(target + '.part', target);
    console.log(`wrote ${target}`);
  }
} finally {
  await browser.close();
  rmSync(scratch, { recursive: true, force: true });
}
