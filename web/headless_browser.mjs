// Debian's chromium, headless, as the pages' checks and measurements start it.
// The browser is CHROMIUM_PATH when set, else /usr/bin/chromium.
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
