// Opens a statistics page written by `keelmark-replay stats --html` in
// headless Chromium and reports what it shows, as JSON on standard output:
//   node check_stats_page.mjs PAGE.html SCREENSHOT.png
// The browser is CHROMIUM_PATH when set, else Debian's /usr/bin/chromium.
import { launchHeadless, openLocalPage, pageAndScreenshot } from './headless_browser.mjs';

const [page_path, screenshot_path] = pageAndScreenshot('check_stats_page.mjs');

const browser = await launchHeadless();
try {
  const { page, errors, requests } =
    await openLocalPage(browser, page_path, { width: 1280, height: 900 }, 'keelmarkStatsReady');
  await page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));

  const report = await page.evaluate(() => {
    const rowsOf = (table) => [...table.querySelectorAll('tbody tr')].map(
      (tr) => [...tr.children].map((td) => td.textContent));
    const top = (el) => el.getBoundingClientRect().top + window.scrollY;

    // Pixels of each chart that differ from the page background.
    const drawn = {};
    for (const canvas of document.querySelectorAll('canvas')) {
      const context = canvas.getContext('2d');
      const pixels = context.getImageData(0, 0, canvas.width, canvas.height).data;
      let count = 0;
      for (let i = 0; i < pixels.length; i += 4) {
        if (pixels[i + 3] !== 0) count++;
      }
      drawn[canvas.id] = count;
    }
    // Bars of the mirrored ladders: which side each dataset stands on.
    const ladders = {};
    for (const chart of window.keelmarkStats.charts) {
      if (chart.options.indexAxis !== 'y') continue;
      const x = chart.scales.x;
      const zero = x.getPixelForValue(0);
      ladders[chart.canvas.id] = chart.data.datasets.map((set, d) => ({
        label: set.label,
        sides: chart.getDatasetMeta(d).data.map((bar) => Math.sign(Math.round(bar.x - zero))),
      }));
    }
    const firstTable = document.querySelector('table');
    const firstCanvas = document.querySelector('canvas');
    return {
      title: document.getElementById('title').textContent,
      subtitle: document.getElementById('subtitle').textContent,
      firstTableId: firstTable.id,
      answerBeforeCharts: top(firstTable) < top(firstCanvas),
      answerInFirstScreen: top(firstTable) < window.innerHeight,
      ibLadder: rowsOf(document.getElementById('ib-ladder')),
      orLadder: rowsOf(document.getElementById('or-ladder')),
      levels: rowsOf(document.getElementById('levels')),
      splits: [...document.querySelectorAll('table.split')].map((t) => ({ column: t.dataset.column, rows: rowsOf(t) })),
      quantiles: rowsOf(document.getElementById('quantiles')),
      drawn,
      ladders,
      periodBars: window.keelmarkStats.charts.find((c) => c.canvas.id === 'period-chart').data.labels,
    };
  });
  report.errors = errors;
  report.networkRequests = requests;
  await page.screenshot({ path: screenshot_path, fullPage: true });
  console.log(JSON.stringify(report));
} finally {
  await browser.close();
}
