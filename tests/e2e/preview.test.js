// Live preview from the style editor to an open page in Chromium: typing changes the page
// without saving, and closing the editor without saving puts the saved style back.
'use strict';

const test = require('node:test');
const assert = require('node:assert');
const path = require('node:path');
const readline = require('node:readline');
const { spawn } = require('node:child_process');
const { Harness, style, section, waitForValue, SOURCE_DIR } = require('./harness');

const BUILD_DIR = process.env.ORLAVINE_BUILD_DIR || path.join(SOURCE_DIR, 'build', 'asan');
const DRIVER = path.join(BUILD_DIR, 'tests', 'preview_driver');

const RED = 'rgb(255, 0, 0)';
const BLUE = 'rgb(0, 0, 255)';

const pages = {
  '/page.html': '<!doctype html><html><body><p id="p">Hello</p></body></html>',
};

// The editor window in its own process; `next()` waits for its next answer line.
function startDriver(env, id) {
  const child = spawn(DRIVER, [String(id)], {
    env: {
      ...env,
      QT_QPA_PLATFORM: 'offscreen',
      QTWEBENGINE_CHROMIUM_FLAGS: '--no-sandbox',
      ASAN_OPTIONS: 'new_delete_type_mismatch=0:alloc_dealloc_mismatch=0:detect_leaks=0',
    },
    stdio: ['pipe', 'pipe', 'inherit'],
  });
  const lines = readline.createInterface({ input: child.stdout });
  const waiting = [];
  const queued = [];
  lines.on('line', (line) => (waiting.length ? waiting.shift()(line) : queued.push(line)));
  return {
    child,
    next: () =>
      new Promise((resolve, reject) => {
        if (queued.length) return resolve(queued.shift());
        const timer = setTimeout(() => reject(new Error('the editor did not answer')), 60000);
        waiting.push((line) => {
          clearTimeout(timer);
          resolve(line);
        });
      }),
    send: (line) => child.stdin.write(line + '\n'),
  };
}

test('typing in the editor shows on the open page until the editor closes', async () => {
  const h = new Harness();
  await h.start(pages, [
    style(101, 'Red text', [
      section('#p { color: rgb(255, 0, 0) !important; }', { domains: ['127.0.0.1'] }),
    ]),
  ]);
  const driver = startDriver(h.env, 101);
  try {
    const page = await h.context.newPage();
    await page.goto(h.url('/page.html'));
    const color = `getComputedStyle(document.querySelector('#p')).color`;
    await waitForValue(page, color, RED);
    assert.strictEqual(await driver.next(), 'ready');

    const typed = Date.now();
    driver.send('type #p { color: rgb(0, 0, 255) !important; }');
    assert.strictEqual(await driver.next(), 'typed');
    await waitForValue(page, color, BLUE);
    console.log(`typed to shown on the page: ${Date.now() - typed} ms`);
    // Nothing was saved.
    assert.match(h.orlavine('css', h.url('/page.html')), /rgb\(255, 0, 0\)/);

    driver.send('close');
    assert.strictEqual(await driver.next(), 'closed');
    await waitForValue(page, color, RED);
  } finally {
    driver.child.kill();
    await h.stop();
  }
});
