// Measures how long the live page of `keelmark-replay serve` takes from
// opening to its first chart drawn, in headless Chromium, and the largest
// answer the server sent it; as JSON on standard output:
//   node measure_first_chart.mjs URL
// The browser's own start is not counted. The browser is CHROMIUM_PATH when
// set, else Debian's /usr/bin/chromium.
import { launchHeadless } from './headless_browser.mjs';

const [url] = process.argv.slice(2);
if (!url) {
  console.error('usage: node measure_first_chart.mjs URL');
  process.exit(2);
}
const browser = await launchHeadless();
try {
  const page = await browser.newPage({ viewport: { width: 1400, height: 900 } });
  const sizes = [];
  page.on('response', async (response) => {
    try {
      sizes.push((await response.body()).length);
    } catch {
      // A response without a body (a redirect) has nothing to count.
    }
  });
  const started = performance.now();
  await page.goto(url);
  await page.waitForFunction(() => window.keelmarkChartReady === true, null,
    { timeout: 60000, polling: 'raf' });
  const seconds = (performance.now() - started) / 1000;
  const bars = await page.evaluate(() => window.keelmarkLive.state.info.bars);
  await page.evaluate(() => new Promise((done) => setTimeout(done, 200)));
  console.log(JSON.stringify({ seconds, bars, largestResponseBytes: Math.max(0, ...sizes) }));
} finally {
  await browser.close();
}
