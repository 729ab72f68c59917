// The whole chain in Firefox ESR, driven through Marionette: library file → native host →
// extension (loaded as a temporary add-on) → page.
'use strict';

const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const path = require('node:path');
const { Harness, style, section, waitForValue, EXTENSION_DIR } = require('./harness');
const { launchFirefox, FIREFOX } = require('./marionette');

const GECKO_ID = 'extension@orlavine.org';
const UUID = '7b0f3c2e-5d4a-4e8b-9c1f-0a2b3c4d5e6f';
const RED = 'rgb(255, 0, 0)';
const GREEN = 'rgb(0, 128, 0)';
const BLUE = 'rgb(0, 0, 255)';
const NONE = 'rgba(0, 0, 0, 0)';

const pages = {
  '/page.html':
    '<!doctype html><html><head><script>window.__hiddenAtParse =' +
    ' getComputedStyle(document.documentElement).visibility;</script>' +
    `<style>#p { color: ${GREEN}; }</style></head><body><p id="p">Hello</p>` +
    '<iframe id="frame" src="/frame.html"></iframe></body></html>',
  '/frame.html': '<!doctype html><html><body><p id="fp">In a frame</p></body></html>',
  '/written.html':
    '<!doctype html><html><body><p id="p">Written frames</p>' +
    '<iframe id="early"></iframe><script>{ const d = document.getElementById("early")' +
    '.contentDocument; d.open(); d.write("<!doctype html><p id=fp>early</p>"); d.close(); }' +
    '</script><iframe id="srcdoc" srcdoc="<p id=fp>srcdoc</p>"></iframe></body></html>',
};

function library() {
  return [
    style(
      101,
      'Red text',
      [section('#p, #fp { color: rgb(255, 0, 0) !important; }', { domains: ['127.0.0.1'] })],
      { allowIframe: true },
    ),
    style(102, 'Blue background', [
      section('#p, #fp { background-color: rgb(0, 0, 255); }', {
        urlPrefixes: ['http://127.0.0.1'],
      }),
    ]),
  ];
}

class FirefoxHarness extends Harness {
  async start(pagesToServe, styles) {
    await this.prepare(pagesToServe, styles);
    const home = path.join(this.root, 'home');
    this.writeHostManifest(path.join(home, '.mozilla', 'native-messaging-hosts'), {
      allowed_extensions: [GECKO_ID],
    });
    const { child, client } = await launchFirefox(
      this.root,
      { ...this.env, HOME: home },
      UUID,
      GECKO_ID,
    );
    this.firefox = child;
    this.client = client;
    await client.send('Addon:Install', { path: EXTENSION_DIR, temporary: true });
  }

  // A handle on the current tab that waitForValue can poll.
  get page() {
    return { evaluate: (expression) => this.client.evaluate(`return (${expression});`) };
  }

  // Opens an extension page in a new tab (Marionette may not navigate there itself) and makes
  // it current; returns its window handle.
  async openExtensionTab(url) {
    const before = await this.client.send('WebDriver:GetWindowHandles');
    await this.client.send('Marionette:SetContext', { value: 'chrome' });
    await this.client.evaluate(
      'const tab = gBrowser.addTab(arguments[0], { triggeringPrincipal: ' +
        'Services.scriptSecurityManager.getSystemPrincipal() }); gBrowser.selectedTab = tab;',
      [url],
    );
    await this.client.send('Marionette:SetContext', { value: 'content' });
    const after = await this.client.send('WebDriver:GetWindowHandles');
    const handle = (after.value || after).find((x) => !(before.value || before).includes(x));
    await this.client.send('WebDriver:SwitchToWindow', { handle });
    await waitForValue(
      this.page,
      `location.href.startsWith(${JSON.stringify(url)}) && document.readyState === 'complete'`,
      true,
    );
    return handle;
  }

  async goto(url) {
    await this.client.send('WebDriver:Navigate', { url });
  }

  async stop() {
    if (this.client) {
      await this.client.send('WebDriver:DeleteSession').catch(() => {});
      this.client.close();
    }
    if (this.firefox && this.firefox.exitCode === null) {
      const exited = new Promise((resolve) => this.firefox.once('exit', resolve));
      this.firefox.kill('SIGTERM');
      await Promise.race([exited, new Promise((r) => setTimeout(r, 5000))]);
      if (this.firefox.exitCode === null) this.firefox.kill('SIGKILL');
    }
    await super.stop();
  }
}

const color = (selector) => `getComputedStyle(document.querySelector('${selector}')).color`;
const background = (selector) =>
  `getComputedStyle(document.querySelector('${selector}')).backgroundColor`;
const frameColor = (id) =>
  `(() => { const d = document.getElementById('${id}').contentDocument;` +
  ` const p = d && d.getElementById('fp'); return p ? getComputedStyle(p).color : null; })()`;

test(
  'styles reach pages, frames and updates in Firefox ESR',
  {
    skip: fs.existsSync(FIREFOX) ? false : `${FIREFOX} is not installed`,
  },
  async (t) => {
    const h = new FirefoxHarness();
    t.after(() => h.stop());
    await h.start(pages, library());
    const pageTab = (await h.client.send('WebDriver:GetWindowHandle')).value;

    await t.test('a style changes the computed colour of the page and its frame', async () => {
      await h.goto(h.url('/page.html'));
      await waitForValue(h.page, color('#p'), RED, 30000);
      await waitForValue(h.page, background('#p'), BLUE);
      await waitForValue(h.page, frameColor('frame'), RED);
      assert.strictEqual(
        await h.page.evaluate(
          `getComputedStyle(document.getElementById('frame').contentDocument` +
            `.getElementById('fp')).backgroundColor`,
        ),
        NONE,
        'frames get only styles that allow them',
      );
    });

    await t.test('addresses with characters browsers keep raw', async () => {
      await h.goto(h.url('/page.html?q=a|b&filter[type]={x}^`%#[frag]|{}'));
      const href = await h.page.evaluate('location.href');
      t.diagnostic(`location.href: ${href}`);
      await waitForValue(h.page, color('#p'), RED);
    });

    await t.test('written and srcdoc frames', async () => {
      await h.goto(h.url('/written.html'));
      await waitForValue(h.page, frameColor('early'), RED);
      await waitForValue(h.page, frameColor('srcdoc'), RED);
    });

    await t.test('a change saved with orlavine reaches the open page without reload', async () => {
      await h.goto(h.url('/page.html'));
      await waitForValue(h.page, color('#p'), RED);
      await h.page.evaluate('window.__sameDocument = true');
      h.orlavine('disable', '101');
      await waitForValue(h.page, color('#p'), GREEN);
      h.orlavine('enable', '101');
      await waitForValue(h.page, color('#p'), RED);
      assert.strictEqual(await h.page.evaluate('window.__sameDocument'), true);
    });

    await t.test('the popup lists the styles and its switch turns them off and on', async () => {
      const handle = await h.openExtensionTab(`moz-extension://${UUID}/popup.html`);
      const tabs = await h.client.evaluate(
        'return (window.wrappedJSObject || window).browser.tabs.query({})' +
          '.then((tabs) => JSON.stringify(tabs.map((x) => [x.id, x.url])));',
      );
      t.diagnostic(tabs);
      // Firefox keeps Ctrl+Shift+Y for itself; the default key must be free there.
      const shortcut = await h.client.evaluate(
        'return (window.wrappedJSObject || window).browser.commands.getAll()' +
          ".then((all) => all.find((c) => c.name === 'toggle-styles').shortcut);",
      );
      assert.strictEqual(shortcut, 'Alt+Shift+O');
      const tabId = JSON.parse(tabs).find(([, url]) => url === h.url('/page.html'))[0];
      await h.client.evaluate('location.search = arguments[0];', [`?tab=${tabId}`]);
      await waitForValue(
        h.page,
        `[...document.querySelectorAll('#styles li')].map((li) => li.textContent).join('|')`,
        'Red text|Blue background',
      );
      assert.strictEqual(await h.page.evaluate(`document.querySelector('#enabled').checked`), true);
      await h.page.evaluate(`document.querySelector('#enabled').click()`);
      await waitForValue(h.page, `document.querySelectorAll('#styles li').length`, 0);
      // The page's tab was hidden behind the popup's: it catches up when shown.
      await h.client.send('WebDriver:SwitchToWindow', { handle: pageTab });
      await waitForValue(h.page, color('#p'), GREEN);
      await h.client.send('WebDriver:SwitchToWindow', { handle });
      await h.page.evaluate(`document.querySelector('#enabled').click()`);
      await waitForValue(h.page, `document.querySelectorAll('#styles li').length`, 2);
      await h.client.send('WebDriver:CloseWindow');
      await h.client.send('WebDriver:SwitchToWindow', { handle: pageTab });
      await waitForValue(h.page, color('#p'), RED);
    });

    await t.test('a host that died comes back, and the page catches up', async () => {
      await h.goto(h.url('/page.html?host'));
      await waitForValue(h.page, color('#p'), RED);
      h.setHostMissing(true);
      h.killHost();
      h.orlavine('disable', '101');
      await new Promise((r) => setTimeout(r, 500));
      const { handle } = await h.client.send('WebDriver:NewWindow', { type: 'tab' });
      await h.client.send('WebDriver:SwitchToWindow', { handle });
      await h.goto(h.url('/page.html?missing'));
      await waitForValue(h.page, 'window.__hiddenAtParse', 'visible');
      await h.client.send('WebDriver:CloseWindow');
      await h.client.send('WebDriver:SwitchToWindow', { handle: pageTab });
      h.setHostMissing(false);
      await waitForValue(h.page, color('#p'), GREEN, 30000);
      h.orlavine('enable', '101');
      await waitForValue(h.page, color('#p'), RED);
    });
  },
);
