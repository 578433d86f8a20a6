// Drives the live page of `keelmark-replay serve` in headless Chromium as a
// user would and reports what it saw, as JSON on standard output:
//   node check_live_page.mjs URL SCREENSHOT_FOLDER ANCHOR_BAR REPLAY_FROM
// - scrolled back to the first bars: the window of bars the page loads;
// - right-click on bar ANCHOR_BAR, "Anchor VWAP Here": where the new line
//   starts and where its marker stands; then "Remove Nearest Anchored VWAP";
// - the settings: "Opening Range Minutes" refused at 0, then set to 30: the
//   OR lines before and after;
// - a replay from bar REPLAY_FROM, stepped and played to the end: the values
//   the chart then draws on the last bars;
// - a second tab at the same time, anchoring a bar of its own.
// The browser is CHROMIUM_PATH when set, else Debian's /usr/bin/chromium.
// Only the server's own loopback address is asked for anything.
import { launchHeadless } from './headless_browser.mjs';
import { chooseMenuItem, openLivePage, statusSays } from './live_page.mjs';
import { join } from 'node:path';

const [url, shots, anchorText, replayText] = process.argv.slice(2);
if (!url || !shots || !anchorText || !replayText) {
  console.error('usage: node check_live_page.mjs URL SCREENSHOT_FOLDER ANCHOR_BAR REPLAY_FROM');
  process.exit(2);
}
const anchorBar = Number(anchorText);
const replayFrom = Number(replayText);

const browser = await launchHeadless();

const openPage = (errors, foreign) => openLivePage(browser, url, { errors, foreign });

// What the chart draws: per series key, the bar of its first value (from
// the chart library's own data) and its values on the last `lastBars` bars.
const drawn = (page, lastBars) => page.evaluate((n) => {
  const live = window.keelmarkLive;
  const view = live.view;
  const result = { firstBar: view.firstBar, bars: live.state.info.bars, series: {}, markers: [] };
  view.data.series.forEach((s, i) => {
    const points = view.lines[i].data();
    // A transparent point only carries a line to its next value.
    const first = points.findIndex((p) => p.value !== undefined && p.color === undefined);
    const times = view.data.times;
    result.series[s.key] = {
      name: s.name,
      firstValueBar: first < 0 ? null : times.indexOf(points[first].time) + view.firstBar,
      last: s.values.slice(-n),
    };
  });
  for (const div of document.querySelectorAll('.anchor-marker')) {
    result.markers.push({ bar: Number(div.dataset.bar), text: div.textContent });
  }
  return result;
}, lastBars);

// The marker of `bar` after the chart shows it: displayed, at the bar's x.
const markerAt = (page, bar) => page.evaluate(async (b) => {
  const view = window.keelmarkLive.view;
  view.showBars(b - 60, b + 60);
  await new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done)));
  await new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done)));
  const div = [...document.querySelectorAll('.anchor-marker')].find((d) => Number(d.dataset.bar) === b);
  if (!div) return { shown: false, atBar: false };
  const x = window.keelmarkLive.barX(b);
  const r = div.getBoundingClientRect();
  return { shown: getComputedStyle(div).display !== 'none', atBar: Math.abs((r.left + r.right) / 2 - x) < 2, text: div.textContent };
}, bar);

const report = { errors: [], foreignRequests: [] };
try {
  const { page, openSeconds } = await openPage(report.errors, report.foreignRequests);
  report.openSeconds = openSeconds;
  report.title = await page.textContent('#title');
  report.subtitle = await page.textContent('#subtitle');
  report.menuItems = await page.evaluate(() => window.keelmarkLive.state.info.studies.map((s) => s.menu.map((m) => m.text)));

  // The menu opened over the last bar, at the chart's foot, stays in the
  // window.
  const corner = await page.evaluate(() => {
    const live = window.keelmarkLive;
    const r = document.getElementById('chart').getBoundingClientRect();
    return { x: live.barX(live.state.info.bars - 1), y: r.bottom - 40 };
  });
  await page.mouse.click(corner.x, corner.y, { button: 'right' });
  await page.locator('#chart-menu').waitFor({ state: 'visible' });
  report.menuInWindow = await page.evaluate(() => {
    const r = document.getElementById('chart-menu').getBoundingClientRect();
    return r.left >= 0 && r.top >= 0 && r.right <= window.innerWidth && r.bottom <= window.innerHeight;
  });
  await page.keyboard.press('Escape');

  // Scrolled back to the first bars: the bars there are fetched.
  report.initialWindow = await page.evaluate(() => window.keelmarkLive.state.loaded);
  await page.evaluate(() => window.keelmarkLive.view.showBars(50, 350));
  await page.waitForFunction(() => window.keelmarkLive.state.loaded.from === 0, null, { timeout: 60000 });
  report.scrolledWindow = await page.evaluate(() => ({
    loaded: window.keelmarkLive.state.loaded,
    candles: window.keelmarkLive.view.candles.data().length,
  }));

  // Anchor, and its line and marker.
  await chooseMenuItem(page, anchorBar, 'Anchor VWAP Here');
  report.anchored = await drawn(page, 1);
  report.anchorMarker = await markerAt(page, anchorBar);
  await page.screenshot({ path: join(shots, 'live_page_anchored.png') });
  await chooseMenuItem(page, anchorBar + 3, 'Remove Nearest Anchored VWAP');
  report.removed = await drawn(page, 1);

  // Settings: a refused value, then a change.
  await page.click('#settings-toggle');
  await page.locator('#settings-studies button', { hasText: 'Session Levels' }).click();
  const minutes = page.locator('[aria-label="Opening Range Minutes"]');
  const before = await drawn(page, 400);
  await minutes.evaluate((e) => { e.value = '0'; e.dispatchEvent(new Event('change')); });
  await statusSays(page, 'takes a whole number from 1 to 600');
  report.refusedStatus = await page.textContent('#status');
  await minutes.evaluate((e) => { e.value = '30'; e.dispatchEvent(new Event('change')); });
  await statusSays(page, 'recalculated');
  const after = await drawn(page, 400);
  report.orLines = {};
  for (const [key, s] of Object.entries(before.series)) {
    if (!s.name.startsWith('OR')) continue;
    const later = after.series[key];
    report.orLines[s.name] = { before: s.last, after: later ? later.last : null };
  }
  await page.screenshot({ path: join(shots, 'live_page_settings.png') });
  await page.click('#settings-toggle');

  // A second tab at the same time, with an anchor of its own.
  const second = await openPage(report.errors, report.foreignRequests);
  await chooseMenuItem(second.page, anchorBar - 40, 'Anchor VWAP Here');
  report.secondTab = { markers: (await drawn(second.page, 1)).markers.map((m) => m.bar) };
  await second.page.screenshot({ path: join(shots, 'live_page_second_tab.png') });

  // Replay: restart, step two bars, then play to the end.
  await page.fill('#replay-from', String(replayFrom));
  await page.click('#replay-start');
  await statusSays(page, 'Replay restarted from bar ' + replayFrom);
  report.replayStartBars = await page.evaluate(() => window.keelmarkLive.state.info.bars);
  for (let i = 0; i < 2; i++) {
    const bars = await page.evaluate(() => window.keelmarkLive.state.info.bars);
    await page.click('#replay-step');
    await page.waitForFunction((n) => window.keelmarkLive.state.info.bars === n + 1 &&
      window.keelmarkLive.state.info.replay.stage === 0, bars, { timeout: 60000 });
  }
  report.steppedBars = await page.evaluate(() => window.keelmarkLive.state.info.bars);
  await page.selectOption('#replay-speed', '100');
  await page.click('#replay-play');
  await page.waitForFunction(() => !window.keelmarkLive.state.info.replay.active, null, { timeout: 300000 });
  await page.evaluate(() => window.keelmarkLive.state.busy);
  report.replayed = await drawn(page, 60);
  report.firstTabMarkers = report.replayed.markers.map((m) => m.bar);
  await page.screenshot({ path: join(shots, 'live_page_replayed.png') });
} finally {
  await browser.close();
}
console.log(JSON.stringify(report));
