// Debian's chromium, headless, as the pages' checks and measurements start it.
// The browser is CHROMIUM_PATH when set, else /usr/bin/chromium.
import { resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

export function launchHeadless() {
  return chromium.launch({
    executablePath: process.env.CHROMIUM_PATH || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'],
  });
}

// The page and screenshot paths a check takes, or its usage and exit 2.
export function pageAndScreenshot(program) {
  const [pagePath, screenshotPath] = process.argv.slice(2);
  if (!pagePath || !screenshotPath) {
    console.error(`usage: node ${program} PAGE.html SCREENSHOT.png`);
    process.exit(2);
  }
  return [pagePath, screenshotPath];
}

// Opens a page written to disk and waits until it sets `window[readyFlag]`.
// Errors the page reports and any request that leaves the file (a page must
// be self-contained) are collected as it runs.
export async function openLocalPage(browser, pagePath, viewport, readyFlag) {
  const page = await browser.newPage({ viewport });
  const errors = [];
  const requests = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('request', (r) => {
    if (!r.url().startsWith('file:') && !r.url().startsWith('data:')) requests.push(r.url());
  });
  await page.goto(pathToFileURL(resolve(pagePath)).href);
  await page.waitForFunction((flag) => window[flag] === true, readyFlag, { timeout: 60000 });
  return { page, errors, requests };
}
