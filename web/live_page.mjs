// The live page of `keelmark-replay serve`, for the node programs that drive
// it in headless Chromium (the browser check of the live page, the guide's
// pictures): starting the server, opening the page, and its right-click
// chart menu used as a trader uses it.
import { spawn } from 'node:child_process';

// Starts `TOOL serve ARGS... --port 0` and resolves, once the server printed
// its address ("open http://127.0.0.1:PORT/ ..."), to { url, stop }; `stop()`
// ends the server (SIGTERM) and resolves when it has exited. Rejects, with
// the server stopped, when it exits or stays silent for `seconds` first.
export function startServe(tool, args, seconds = 60) {
  const server = spawn(tool, ['serve', ...args, '--port', '0'], { stdio: ['ignore', 'pipe', 'inherit'] });
  // Resolves with the exit code or signal, or the reason it could not start.
  const exited = new Promise((done) => {
    server.once('close', (code, signal) => done(signal || code));
    server.once('error', (e) => done(String(e)));
  });
  let running = true;
  exited.then(() => { running = false; });
  const stop = async () => {
    if (running) server.kill('SIGTERM');
    await exited;
  };
  return new Promise((resolve, reject) => {
    let text = '';
    let settled = false;
    const fail = (why) => {
      if (settled) return;
      settled = true;
      clearTimeout(timer);
      stop().then(() => reject(new Error(`keelmark-replay serve ${args.join(' ')}: ${why}`)));
    };
    const timer = setTimeout(() => fail(`printed no address in ${seconds} s`), seconds * 1000);
    exited.then((how) => fail(`ended (${how}) before printing its address`));
    server.stdout.on('data', (chunk) => {
      if (settled) return;
      text += chunk;
      // Whole lines only: a chunk may end within the address.
      const line = text.split('\n').slice(0, -1).find((l) => l.startsWith('open '));
      if (line === undefined) return;
      settled = true;
      clearTimeout(timer);
      resolve({ url: line.split(' ')[1], stop });
    });
  });
}

// Opens the live page at `url` in a new page of `browser` and waits for its
// first chart. The page's errors go to `errors`; a request to any address
// other than the server's is refused and its address goes to `foreign`, so
// nothing leaves the machine. Resolves to { page, openSeconds }.
export async function openLivePage(browser, url, { errors, foreign, viewport = { width: 1400, height: 900 } }) {
  const origin = new URL(url).origin;
  const page = await browser.newPage({ viewport });
  page.on('pageerror', (e) => errors.push(String(e)));
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  await page.route('**/*', (route) => {
    if (route.request().url().startsWith(origin + '/')) return route.continue();
    foreign.push(route.request().url());
    return route.abort();
  });
  const opened = Date.now();
  await page.goto(url);
  await page.waitForFunction(() => window.keelmarkChartReady === true, null, { timeout: 60000 });
  return { page, openSeconds: (Date.now() - opened) / 1000 };
}

export const statusSays = (page, text) =>
  page.waitForFunction((t) => document.getElementById('status').textContent.includes(t), text,
    { timeout: 60000 });

// Changes the setting `label` of `study` (its name, as the settings' study
// buttons show it) through the page's Settings form, as a trader does: a
// switch is ticked for 'yes' and cleared for 'no', another control is given
// `value`. Resolves when the page says the study was recalculated; the form
// is left open or closed as it was.
export async function changeSetting(page, study, label, value) {
  const closed = await page.locator('#settings').isHidden();
  if (closed) await page.click('#settings-toggle');
  await page.locator('#settings-studies button', { hasText: study }).click();
  const control = page.locator('#settings-form').getByLabel(label, { exact: true });
  if (await control.getAttribute('type') === 'checkbox') {
    await control.setChecked(value === 'yes');
  } else {
    await control.evaluate((e, v) => { e.value = v; e.dispatchEvent(new Event('change')); }, value);
  }
  await statusSays(page, '"' + label + '" set to ' + value + '; ' + study + ' recalculated.');
  if (closed) await page.click('#settings-toggle');
}

// The bar number of the bar that starts at `seconds` (chart time, as the
// page's times hold it), among the bars loaded; null when none does.
export const barAtTime = (page, seconds) => page.evaluate((s) => {
  const view = window.keelmarkLive.view;
  const index = view.data.times.indexOf(s);
  return index < 0 ? null : index + view.firstBar;
}, seconds);

// Right-clicks the chart over bar `bar`, which must be in view, at `price`
// (default: half the chart's height), so that the chart menu opens there.
export async function openChartMenu(page, bar, price) {
  const point = await page.evaluate(({ b, p }) => {
    const live = window.keelmarkLive;
    const r = document.getElementById('chart').getBoundingClientRect();
    const y = p === undefined ? r.height / 2 : live.view.candles.priceToCoordinate(p);
    return { x: live.barX(b), y: y === null ? null : r.top + y };
  }, { b: bar, p: price });
  if (point.x === null || point.y === null) throw new Error(`bar ${bar} at ${price} is not in view`);
  await page.mouse.click(point.x, point.y, { button: 'right' });
  await page.locator('#chart-menu').waitFor({ state: 'visible' });
}

// Brings bar `bar` into view, right-clicks it and chooses `item` from the
// chart menu; resolves when the page says the item was done on that bar.
export async function chooseMenuItem(page, bar, item) {
  await page.evaluate((b) => window.keelmarkLive.view.showBars(b - 100, b + 100), bar);
  await page.waitForFunction((b) => {
    const s = window.keelmarkLive.state;
    return !s.paging && s.loaded.from <= b && b < s.loaded.to;
  }, bar, { timeout: 60000 });
  await page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
  await openChartMenu(page, bar);
  await page.locator('#chart-menu li', { hasText: item }).first().click();
  await statusSays(page, '"' + item + '" at bar ' + bar);
}
