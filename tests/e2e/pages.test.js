// Pages as users meet them, in Chromium: odd addresses, frames that their page writes, several
// tabs, how long a page stays hidden, and a host that dies and comes back.
'use strict';

const test = require('node:test');
const assert = require('node:assert');
const { Harness, style, section, waitForValue, EXTENSION_ID } = require('./harness');

const RED = 'rgb(255, 0, 0)';
const GREEN = 'rgb(0, 128, 0)';

// A script at the top of each page notes whether the page was hidden while it was parsed, and
// when the hiding went away relative to the styles' arrival.
const WATCH =
  '<script>window.__hiddenAtParse = getComputedStyle(document.documentElement).visibility;' +
  'new MutationObserver((records) => { for (const r of records) for (const n of r.removedNodes)' +
  ' if (n.id === "orlavine-hide") { window.__unhiddenAt = performance.now();' +
  ' window.__styledWhenUnhidden = !!document.getElementById("orlavine-css"); } })' +
  '.observe(document.documentElement, { childList: true });</script>';

const pages = {
  '/page.html':
    `<!doctype html><html><head>${WATCH}<style>#p { color: ${GREEN}; }</style></head>` +
    '<body><p id="p">Hello</p><iframe id="frame" src="/frame.html"></iframe></body></html>',
  '/frame.html': '<!doctype html><html><body><p id="fp">In a frame</p></body></html>',
  '/written.html':
    '<!doctype html><html><body><p id="p">Written frames</p>' +
    '<iframe id="early"></iframe><script>{ const d = document.getElementById("early")' +
    '.contentDocument; d.open(); d.write("<!doctype html><p id=fp>early</p>"); d.close(); }' +
    '</script><iframe id="late"></iframe>' +
    '<iframe id="srcdoc" srcdoc="<p id=fp>srcdoc</p>"></iframe>' +
    '<script>setTimeout(() => { const d = document.getElementById("late").contentDocument;' +
    ' d.open(); d.write("<p id=fp>late</p>"); d.close(); window.__lateWritten = true; }, 300);' +
    '</script></body></html>',
};

function library() {
  return [
    style(
      101,
      'Red text',
      [
        section('#p, #fp { color: rgb(255, 0, 0) !important; }', {
          domains: ['127.0.0.1', 'xn--bcher-kva.example'],
        }),
      ],
      { allowIframe: true },
    ),
    style(102, 'IPv6 spacing', [section('#p { letter-spacing: 5px; }', { domains: ['::1'] })]),
    style(103, 'Raw query', [
      section('#p { font-size: 30px; }', {
        urlPrefixes: ['http://127.0.0.1:__PORT__/page.html?q=a|b&filter[type]={x}'],
      }),
    ]),
  ];
}

const color = (selector) => `getComputedStyle(document.querySelector('${selector}')).color`;
const frameColor = (id) =>
  `(() => { const d = document.getElementById('${id}').contentDocument;` +
  ` const p = d && d.getElementById('fp'); return p ? getComputedStyle(p).color : null; })()`;

async function tabIdOf(h, url) {
  return h.worker.evaluate(async (u) => {
    const [tab] = await chrome.tabs.query({ url: u });
    return tab ? tab.id : null;
  }, url);
}

async function popupFor(h, tabId) {
  const popup = await h.context.newPage();
  await popup.goto(`chrome-extension://${EXTENSION_ID}/popup.html?tab=${tabId}`);
  return popup;
}

test('pages on every address, written frames, tabs and a host that comes back', async (t) => {
  const h = new Harness();
  await h.start(pages, library());
  t.after(() => h.stop());
  const page = await h.context.newPage();

  await t.test('addresses with characters browsers keep raw get their domain styles', async () => {
    await page.goto(h.url('/page.html?q=a|b&filter[type]={x}^`%&s=\u00e9#[frag]|{}'));
    const href = await page.evaluate('location.href');
    t.diagnostic(`location.href: ${href}`);
    assert.match(href, /[|[\]{}^`]/, 'the browser keeps some characters raw');
    await waitForValue(page, color('#p'), RED);
    await waitForValue(page, `getComputedStyle(document.querySelector('#p')).fontSize`, '30px');
    const frame = page.frames().find((f) => f.url().endsWith('/frame.html'));
    await waitForValue(frame, color('#fp'), RED);
  });

  await t.test('an address of 1.5 MB is styled', async () => {
    const long = h.url('/page.html#') + 'x|'.repeat(768 * 1024);
    await page.goto(long);
    assert.ok((await page.evaluate('location.href.length')) > 1.5 * 1024 * 1024);
    await waitForValue(page, color('#p'), RED, 30000);
  });

  await t.test('IPv6 and international hosts', async (st) => {
    if (!h.origin6) {
      st.skip('no IPv6 loopback address on this machine');
    } else {
      await page.goto(`${h.origin6}/page.html?a|b`);
      await waitForValue(
        page,
        `getComputedStyle(document.querySelector('#p')).letterSpacing`,
        '5px',
      );
    }
    const port = new URL(h.origin).port;
    await page.goto(`http://b\u00fccher.example:${port}/page.html`);
    assert.match(await page.evaluate('location.hostname'), /^xn--bcher-kva\.example$/);
    await waitForValue(page, color('#p'), RED);
  });

  await t.test('frames that their page writes, and srcdoc frames, are styled', async () => {
    for (let load = 0; load < 6; load++) {
      await page.goto(h.url('/written.html'));
      await waitForValue(page, frameColor('early'), RED);
      await waitForValue(page, frameColor('srcdoc'), RED);
      await waitForValue(page, 'window.__lateWritten === true', true);
      await waitForValue(page, frameColor('late'), RED);
    }
  });

  await t.test('a warm page is hidden only until its styles arrive', async () => {
    await page.goto(h.url('/page.html'));
    await waitForValue(page, color('#p'), RED);
    await page.goto(h.url('/page.html?again'));
    await waitForValue(page, color('#p'), RED);
    assert.strictEqual(await page.evaluate('window.__hiddenAtParse'), 'hidden');
    assert.strictEqual(await page.evaluate('window.__styledWhenUnhidden'), true);
    t.diagnostic(
      `unhidden ${await page.evaluate('Math.round(window.__unhiddenAt)')} ms ` +
        'after navigation start',
    );
  });

  await t.test('a second visible tab catches up with a library change', async () => {
    const second = await h.context.newPage();
    await second.goto(h.url('/page.html?second'));
    await page.goto(h.url('/page.html?first'));
    await waitForValue(page, color('#p'), RED);
    await waitForValue(second, color('#p'), RED);
    t.diagnostic(
      `visibility: ${await page.evaluate('document.visibilityState')}, ` +
        `${await second.evaluate('document.visibilityState')}`,
    );
    h.orlavine('disable', '101');
    await waitForValue(page, color('#p'), GREEN);
    await waitForValue(second, color('#p'), GREEN);
    h.orlavine('enable', '101');
    await waitForValue(second, color('#p'), RED);
    await waitForValue(page, color('#p'), RED);
    await second.close();
  });

  await t.test('the styles shortcut gets its default key', async () => {
    const commands = await h.worker.evaluate(() => chrome.commands.getAll());
    const toggle = commands.find((c) => c.name === 'toggle-styles');
    assert.strictEqual(toggle.shortcut, 'Alt+Shift+O');
  });

  await t.test('the popup on a page that styles cannot reach lists nothing', async () => {
    const before = await h.worker.evaluate(async () =>
      (await chrome.tabs.query({})).map((x) => x.id),
    );
    const browserPage = await h.context.newPage();
    await browserPage.goto('chrome://version');
    const after = await h.worker.evaluate(async () =>
      (await chrome.tabs.query({})).map((x) => x.id),
    );
    const tabId = after.find((id) => !before.includes(id));
    const popup = await popupFor(h, tabId);
    await waitForValue(popup, `document.querySelector('#unstyleable').hidden`, false);
    assert.strictEqual(await popup.evaluate(`document.querySelectorAll('#styles li').length`), 0);
    assert.strictEqual(await popup.evaluate(`document.querySelector('#enabled').checked`), true);
    await popup.close();
    await browserPage.close();
  });

  await t.test('a host that died comes back, and the pages catch up', async () => {
    await page.goto(h.url('/page.html?host'));
    await waitForValue(page, color('#p'), RED);
    h.setHostMissing(true);
    h.killHost();
    // Changed while no host runs: the open page cannot hear of it yet.
    h.orlavine('disable', '101');
    await page.waitForTimeout(500);

    // With the host missing a new page is not hidden at all, and the popup says so.
    const other = await h.context.newPage();
    await other.goto(h.url('/page.html?missing'));
    await waitForValue(other, 'window.__hiddenAtParse', 'visible');
    const popup = await popupFor(h, await tabIdOf(h, h.url('/page.html?missing')));
    await waitForValue(popup, `document.querySelector('#error').hidden`, false);
    assert.strictEqual(await popup.evaluate(`document.querySelector('#enabled').disabled`), true);
    await popup.close();
    await other.close();

    h.setHostMissing(false);
    await waitForValue(page, color('#p'), GREEN, 30000);
    h.orlavine('enable', '101');
    await waitForValue(page, color('#p'), RED);
  });
});
