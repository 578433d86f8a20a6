// Opens a chart page written by keelmark-replay in headless Chromium and
// reports what it shows, as JSON on standard output:
//   node check_chart_page.mjs PAGE.html SCREENSHOT.png
// The browser is CHROMIUM_PATH when set, else Debian's /usr/bin/chromium.
import { launchHeadless, openLocalPage, pageAndScreenshot } from './headless_browser.mjs';

const [page_path, screenshot_path] = pageAndScreenshot('check_chart_page.mjs');

const browser = await launchHeadless();
try {
  const { page, errors, requests } =
    await openLocalPage(browser, page_path, { width: 1400, height: 900 }, 'keelmarkChartReady');

  const frames = () => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done)));

  const report = await page.evaluate(async (framesSource) => {
    const frames = eval(framesSource);
    const k = window.keelmarkChart;
    const frame = document.getElementById('chart-frame').getBoundingClientRect();

    // Candles drawn: the chart's canvases hold pixels in the candle colours.
    let candlePixels = 0;
    for (const canvas of document.querySelectorAll('#chart canvas')) {
      const context = canvas.getContext('2d');
      if (!context || canvas.width === 0 || canvas.height === 0) continue;
      const pixels = context.getImageData(0, 0, canvas.width, canvas.height).data;
      for (let i = 0; i < pixels.length; i += 4) {
        const [r, g, b] = [pixels[i], pixels[i + 1], pixels[i + 2]];
        if ((r === 0x26 && g === 0xa6 && b === 0x9a) || (r === 0xef && g === 0x53 && b === 0x50)) candlePixels++;
      }
    }

    const panels = [...document.querySelectorAll('.study-panel')].map((div) => {
      const r = div.getBoundingClientRect();
      const horizontal = (r.left + r.right) / 2 < (frame.left + frame.right) / 2 ? 'left' : 'right';
      const vertical = (r.top + r.bottom) / 2 < (frame.top + frame.bottom) / 2 ? 'top' : 'bottom';
      const style = getComputedStyle(div);
      const onTop = document.elementFromPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
      return { text: div.textContent, corner: vertical + '-' + horizontal,
               visible: r.width > 0 && onTop !== null && onTop.closest('.study-panel') === div,
               fontFamily: style.fontFamily, color: style.color, background: style.backgroundColor };
    });

    // Each marker, with the chart scrolled to its bar: shown at the bar's
    // x and at its price.
    const initialRange = k.chart.timeScale().getVisibleLogicalRange();
    const markers = [];
    const markerDivs = [...document.querySelectorAll('.anchor-marker')];
    for (let i = 0; i < markerDivs.length; i++) {
      const m = k.data.markers[i];
      k.chart.timeScale().setVisibleLogicalRange({ from: m.bar - 60, to: m.bar + 60 });
      await frames();
      await frames();
      const div = markerDivs[i];
      const x = k.chart.timeScale().logicalToCoordinate(m.bar);
      const y = k.candles.priceToCoordinate(m.price);
      const overlay = document.getElementById('overlay').getBoundingClientRect();
      const r = div.getBoundingClientRect();
      markers.push({ text: div.textContent, shown: getComputedStyle(div).display !== 'none',
                     atBar: Math.abs((r.left + r.right) / 2 - overlay.left - x) < 2,
                     atPrice: Math.abs(r.top - overlay.top - y) < 2 });
    }
    if (initialRange !== null) k.chart.timeScale().setVisibleLogicalRange(initialRange);
    await frames();

    // Line segments drawn visibly across a bar where the study wrote no
    // value: a level shown where there is none.
    const barOf = new Map(k.data.times.map((time, i) => [time, i]));
    const transparent = (colour) => colour !== undefined && /^rgba\(.*,\s*0\)$/.test(colour);
    let bridgedGaps = 0;
    k.lines.forEach((line, n) => {
      const values = k.data.series[n].values;
      const points = line.data();
      for (let p = 0; p + 1 < points.length; p++) {
        if (transparent(points[p].color)) continue;
        const to = barOf.get(points[p + 1].time);
        for (let bar = barOf.get(points[p].time) + 1; bar <= to; bar++) {
          if (values[bar] === null) { bridgedGaps++; break; }
        }
      }
    });

    return {
      bars: k.data.times.length,
      bridgedGaps,
      lineSeries: k.lines.length,
      seriesTitles: k.lines.map((l) => l.options().title),
      candlePixels,
      panels,
      markers,
      alertMarkers: k.alertMarkers.markers().length,
      alertRows: document.querySelectorAll('#alerts tr').length,
      logLines: document.getElementById('log').textContent.split('\n').filter((l) => l.length > 0),
    };
  }, frames.toString());

  await page.screenshot({ path: screenshot_path });
  report.errors = errors;
  report.networkRequests = requests;
  console.log(JSON.stringify(report));
} finally {
  await browser.close();
}
