#!/usr/bin/env node
// Time from navigation start to the style being applied, in headless Chromium with the real
// extension and host (the browser-test harness), over repeated loads of a styled page.
//
//   ORLAVINE_BUILD_DIR=build/release node bench/browser_apply.js
'use strict';

const path = require('node:path');
const { Harness, style, section } = require(path.join(__dirname, '..', 'tests', 'e2e', 'harness'));

const LOADS = 30;

(async () => {
  const h = new Harness();
  const styles = [style(1, 'Red', [section('#p { color: rgb(255, 0, 0) !important; }',
    { domains: ['127.0.0.1'] })], { allowIframe: true })];
  await h.start({ '/page.html': '<!doctype html><html><body><p id="p">Hi</p></body></html>' }, styles);
  try {
    const page = await h.context.newPage();
    // Records when the style element first holds CSS, on the page's own clock.
    await page.addInitScript(() => {
      new MutationObserver((_, observer) => {
        const el = document.getElementById('orlavine-css');
        if (el && el.textContent) {
          window.__styledAt = performance.now();
          observer.disconnect();
        }
      }).observe(document, { childList: true, subtree: true, characterData: true });
    });
    const times = [];
    for (let i = 0; i < LOADS; i++) {
      await page.goto(h.url('/page.html?' + i));
      await page.waitForFunction(() => window.__styledAt !== undefined, null, { timeout: 10000 });
      times.push(await page.evaluate(() => window.__styledAt));
    }
    times.sort((a, b) => a - b);
    console.log(`navigation start → style applied over ${LOADS} loads: ` +
      `median ${times[LOADS >> 1].toFixed(1)} ms, min ${times[0].toFixed(1)} ms, ` +
      `max ${times[LOADS - 1].toFixed(1)} ms`);
  } finally {
    await h.stop();
  }
})();
