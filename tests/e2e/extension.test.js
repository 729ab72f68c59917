// The whole chain in a real browser: library file → native host → extension → page.
'use strict';

const test = require('node:test');
const assert = require('node:assert');
const { Harness, style, section, waitForValue, EXTENSION_ID } = require('./harness');

const RED = 'rgb(255, 0, 0)';
const BLUE = 'rgb(0, 0, 255)';
const NONE = 'rgba(0, 0, 0, 0)';
const BIG_CSS_BYTES = 3 * 1024 * 1024;

const pages = {
  '/page.html':
    '<!doctype html><html><head><title>page</title><style>#p { color: rgb(0, 128, 0); }</style>' +
    '</head><body><p id="p">Hello</p><iframe id="frame" src="/frame.html"></iframe>' +
    '<iframe id="blank"></iframe></body></html>',
  '/frame.html': '<!doctype html><html><body><p id="fp">In a frame</p></body></html>',
  '/excluded.html': '<!doctype html><html><body><p id="p">Excluded</p></body></html>',
  '/late.html':
    '<!doctype html><html><body><p id="p">Late sheet</p><script>' +
    'setTimeout(() => { const s = document.createElement("style");' +
    ' s.textContent = "#p { color: rgb(0, 128, 0) !important; }";' +
    ' document.documentElement.appendChild(s); }, 300);</script></body></html>',
  '/big.html': '<!doctype html><html><body><p id="big">Big</p></body></html>',
};

function library() {
  const filler = '/*' + 'x'.repeat(BIG_CSS_BYTES) + '*/\n';
  return [
    // Frames allowed: colours the page and its frames red, except the excluded page.
    style(
      101,
      'Red text',
      [section('#p, #fp { color: rgb(255, 0, 0) !important; }', { domains: ['127.0.0.1'] })],
      { allowIframe: true, exclPrefix: ['http://127.0.0.1:' + '__PORT__/excluded'] },
    ),
    // Frames not allowed: only the top page gets the blue background.
    style(102, 'Blue background', [
      section('#p, #fp { background-color: rgb(0, 0, 255); }', {
        urlPrefixes: ['http://127.0.0.1'],
      }),
    ]),
    // Matches nothing here: a regular expression that covers only part of the address.
    style(103, 'Partial regexp', [section('#p { font-size: 40px; }', { regexps: ['127\\.0'] })]),
    style(104, 'Big', [
      section(filler + '#big { color: rgb(255, 0, 0); }', {
        urls: ['http://127.0.0.1:__PORT__/big.html'],
      }),
    ]),
  ];
}

const color = (selector) => `getComputedStyle(document.querySelector('${selector}')).color`;
const background = (selector) =>
  `getComputedStyle(document.querySelector('${selector}')).backgroundColor`;

test('styles reach pages, frames and updates in Chromium', async (t) => {
  const h = new Harness();
  // The server port is known only once it listens: the harness fills it in for __PORT__.
  await h.start(pages, library());
  t.after(() => h.stop());
  const page = await h.context.newPage();

  await t.test('a style changes the computed colour, and wins over the page', async () => {
    await page.goto(h.url('/page.html'));
    await waitForValue(page, color('#p'), RED);
    await waitForValue(page, background('#p'), BLUE);
    assert.strictEqual(
      await page.evaluate(`getComputedStyle(document.querySelector('#p')).fontSize`),
      '16px',
      'a partial regexp match must not apply',
    );
  });

  await t.test('a frame gets only the styles that allow frames', async () => {
    const frame = page.frames().find((f) => f.url().endsWith('/frame.html'));
    assert.ok(frame, 'the frame loaded');
    await waitForValue(frame, color('#fp'), RED);
    assert.strictEqual(await frame.evaluate(background('#fp')), NONE);
  });

  await t.test('an exclusion holds', async () => {
    await page.goto(h.url('/excluded.html'));
    await waitForValue(page, background('#p'), BLUE);
    assert.notStrictEqual(await page.evaluate(color('#p')), RED);
  });

  await t.test('the style stays last when the page adds a sheet later', async () => {
    await page.goto(h.url('/late.html'));
    await waitForValue(page, color('#p'), RED);
    await page.waitForTimeout(600);
    assert.strictEqual(await page.evaluate(color('#p')), RED);
    assert.strictEqual(
      await page.evaluate('document.documentElement.lastElementChild.id'),
      'orlavine-css',
    );
  });

  await t.test('a change saved with orlavine reaches the open page without reload', async () => {
    await page.goto(h.url('/page.html'));
    await waitForValue(page, color('#p'), RED);
    await page.evaluate('window.__sameDocument = true');
    h.orlavine('disable', '101');
    await waitForValue(page, color('#p'), 'rgb(0, 128, 0)');
    h.orlavine('enable', '101');
    await waitForValue(page, color('#p'), RED);
    assert.strictEqual(await page.evaluate('window.__sameDocument'), true);
  });

  await t.test('the shortcut switches styles off and on', async () => {
    await h.worker.evaluate('toggleStyles()');
    await waitForValue(page, color('#p'), 'rgb(0, 128, 0)');
    const frame = page.frames().find((f) => f.url().endsWith('/frame.html'));
    await waitForValue(frame, color('#fp'), 'rgb(0, 0, 0)');
    await h.worker.evaluate('toggleStyles()');
    await waitForValue(page, color('#p'), RED);
  });

  await t.test('the popup lists the styles of the page', async () => {
    const tabId = await h.worker.evaluate(async (url) => {
      const [tab] = await chrome.tabs.query({ url });
      return tab.id;
    }, h.url('/page.html'));
    const popup = await h.context.newPage();
    await popup.goto(`chrome-extension://${EXTENSION_ID}/popup.html?tab=${tabId}`);
    await waitForValue(
      popup,
      `[...document.querySelectorAll('#styles li')].map((li) => li.textContent).join('|')`,
      'Red text|Blue background',
    );
    assert.strictEqual(await popup.evaluate(`document.querySelector('#enabled').checked`), true);
    await popup.dblclick('#styles li:first-child');
    await waitForValue(popup, `1`, 1);
    const fs = require('node:fs');
    const end = Date.now() + 5000;
    while (!fs.existsSync(h.launchLog) && Date.now() < end) await popup.waitForTimeout(50);
    assert.match(fs.readFileSync(h.launchLog, 'utf8'), /orlavine:\/\/openstyle\/101/);
    await popup.close();
  });

  await t.test('a 3 MB style arrives whole', async () => {
    const started = Date.now();
    await page.goto(h.url('/big.html'));
    await waitForValue(page, color('#big'), RED, 30000);
    const length = await page.evaluate(
      `document.getElementById('orlavine-css').textContent.length`,
    );
    assert.ok(length > BIG_CSS_BYTES, `got ${length} characters`);
    t.diagnostic(`3 MB style applied ${Date.now() - started} ms after navigation`);
  });
});
