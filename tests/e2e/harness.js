// Starts what the browser tests need: a loopback web server, an isolated library and settings,
// the native host registered for a fresh browser profile, and headless Chromium with the
// extension loaded. Everything lives in one temporary folder removed by stop().
'use strict';

const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { chromium } = require('playwright-core');

const SOURCE_DIR = path.resolve(__dirname, '..', '..');
const BUILD_DIR = process.env.ORLAVINE_BUILD_DIR || path.join(SOURCE_DIR, 'build', 'asan');
const HOST = path.join(BUILD_DIR, 'extension', 'orlavine-extension');
const APP = path.join(BUILD_DIR, 'app', 'orlavine');
const EXTENSION_DIR = path.join(SOURCE_DIR, 'webext');
const EXTENSION_ID = 'edhdgajcggagafhfkmiibmlpfgedoonb';
const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';

const REFERENCE_DATE_OFFSET = 978307200;

function style(uniqueID, name, sections, extra = {}) {
  return {
    uniqueID,
    styleData: { url: '', updateUrl: '', md5Url: '', originalMd5: '', name, sections },
    isEnabled: true,
    source: 'custom',
    userstyleID: -1,
    version: '',
    namespace: '',
    description: '',
    author: '',
    homepageURL: '',
    supportURL: '',
    license: '',
    downloadedFrom: '',
    preprocessor: 'default',
    userVariables: [],
    dateModified: Date.now() / 1000 - REFERENCE_DATE_OFFSET,
    ...extra,
  };
}

function section(code, rules = {}) {
  return { urls: [], urlPrefixes: [], domains: [], regexps: [], code, ...rules };
}

class Harness {
  // Everything but the browser: the folder, the library, the web server and the host wrapper.
  async prepare(pages, styles) {
    this.root = fs.mkdtempSync(path.join(os.tmpdir(), 'orlavine-e2e-'));
    this.env = {
      ...process.env,
      ORLAVINE_HOME: path.join(this.root, 'data'),
      ORLAVINE_CONFIG: path.join(this.root, 'config'),
      XDG_CONFIG_HOME: path.join(this.root, 'xdg-config'),
      XDG_DATA_HOME: path.join(this.root, 'xdg-data'),
      XDG_CACHE_HOME: path.join(this.root, 'xdg-cache'),
      ORLAVINE_APP: path.join(this.root, 'fake-app.sh'),
      ASAN_OPTIONS: 'detect_leaks=0',
    };
    fs.mkdirSync(this.env.ORLAVINE_HOME, { recursive: true });
    // Launch requests from the popup land in a file instead of starting the desktop program.
    this.launchLog = path.join(this.root, 'launches.txt');
    fs.writeFileSync(this.env.ORLAVINE_APP, `#!/bin/sh\necho "$@" >> '${this.launchLog}'\n`, {
      mode: 0o755,
    });

    const serve = (req, res) => {
      const body = pages[req.url.split('?')[0]];
      if (body === undefined) {
        res.writeHead(404).end('not found');
        return;
      }
      res.writeHead(200, { 'content-type': 'text/html; charset=utf-8' }).end(body);
    };
    this.server = http.createServer(serve);
    await new Promise((resolve) => this.server.listen(0, '127.0.0.1', resolve));
    this.origin = `http://127.0.0.1:${this.server.address().port}`;
    // The same pages on the IPv6 loopback address, when the machine has one.
    this.server6 = http.createServer(serve);
    this.origin6 = await new Promise((resolve) => {
      this.server6.once('error', () => resolve(null));
      this.server6.listen(0, '::1', () => resolve(`http://[::1]:${this.server6.address().port}`));
    });

    this.writeLibrary(styles, 1);

    const wrapper = path.join(this.root, 'host.sh');
    this.hostLog = path.join(this.root, 'host.log');
    const exports = [
      'ORLAVINE_HOME',
      'ORLAVINE_CONFIG',
      'XDG_CONFIG_HOME',
      'XDG_DATA_HOME',
      'XDG_CACHE_HOME',
      'ORLAVINE_APP',
      'ASAN_OPTIONS',
    ]
      .map((k) => `export ${k}='${this.env[k]}'`)
      .join('\n');
    // The wrapper notes the host's process ID, and plays a missing host while the file
    // `host-missing` exists.
    this.hostPidFile = path.join(this.root, 'host.pid');
    this.hostMissingFile = path.join(this.root, 'host-missing');
    fs.writeFileSync(
      wrapper,
      `#!/bin/sh\n${exports}\n` +
        `[ -e '${this.hostMissingFile}' ] && exit 1\n` +
        `echo $$ > '${this.hostPidFile}'\n` +
        `exec '${HOST}' "$@" 2>>'${this.hostLog}'\n`,
      { mode: 0o755 },
    );
    this.hostWrapper = wrapper;
  }

  // The host manifest, as `orlavine-extension --install` writes it for each browser.
  writeHostManifest(dir, allowed) {
    fs.mkdirSync(dir, { recursive: true });
    fs.writeFileSync(
      path.join(dir, 'org.orlavine.host.json'),
      JSON.stringify({
        name: 'org.orlavine.host',
        description: 'test host',
        path: this.hostWrapper,
        type: 'stdio',
        ...allowed,
      }),
    );
  }

  async start(pages, styles) {
    await this.prepare(pages, styles);
    const profile = path.join(this.root, 'profile');
    this.writeHostManifest(path.join(profile, 'NativeMessagingHosts'), {
      allowed_origins: [`chrome-extension://${EXTENSION_ID}/`],
    });

    this.context = await chromium.launchPersistentContext(profile, {
      executablePath: CHROMIUM,
      headless: true,
      ignoreDefaultArgs: ['--disable-extensions'],
      args: [
        '--no-sandbox',
        '--disable-gpu',
        '--disable-quic',
        '--no-first-run',
        '--disable-background-networking',
        '--disable-component-update',
        '--disable-sync',
        `--disable-extensions-except=${EXTENSION_DIR}`,
        `--load-extension=${EXTENSION_DIR}`,
        // Names under .example (international ones too) reach the loopback server.
        '--host-resolver-rules=MAP *.example 127.0.0.1',
      ],
      env: this.env,
    });
    this.worker =
      this.context.serviceWorkers()[0] ||
      (await this.context.waitForEvent('serviceworker', { timeout: 20000 }));
  }

  url(p) {
    return this.origin + p;
  }

  // Ends the running host (the browser started it for this test) by its process ID.
  killHost() {
    const pid = Number(fs.readFileSync(this.hostPidFile, 'utf8'));
    fs.rmSync(this.hostPidFile, { force: true });
    process.kill(pid, 'SIGKILL');
    return pid;
  }

  // While the host is missing the browser cannot start it.
  setHostMissing(missing) {
    if (missing) fs.writeFileSync(this.hostMissingFile, '');
    else fs.rmSync(this.hostMissingFile, { force: true });
  }

  // Replaces the library file, with `__PORT__` in it standing for the web server's port.
  writeLibrary(styles, randomHash = 2) {
    const port = new URL(this.origin).port;
    const text = JSON.stringify({ dbVersion: 1, styles, randomHash }).replaceAll('__PORT__', port);
    fs.writeFileSync(path.join(this.env.ORLAVINE_HOME, 'styledb.sdb'), text);
  }

  // Runs `orlavine` on the test library, as a user would in a terminal.
  orlavine(...args) {
    return execFileSync(APP, args, { env: this.env, encoding: 'utf8' });
  }

  async stop() {
    if (this.context) await this.context.close().catch(() => {});
    if (this.server) await new Promise((resolve) => this.server.close(resolve));
    if (this.origin6) await new Promise((resolve) => this.server6.close(resolve));
    if (this.root && !process.env.ORLAVINE_KEEP_E2E) {
      fs.rmSync(this.root, { recursive: true, force: true });
    }
  }
}

// Polls `probe` in the page (or frame) until it returns `expected`.
async function waitForValue(target, probe, expected, timeout = 15000) {
  const end = Date.now() + timeout;
  let last;
  while (Date.now() < end) {
    last = await target.evaluate(probe).catch(() => undefined);
    if (last === expected) return last;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error(`expected ${JSON.stringify(expected)}, still ${JSON.stringify(last)}`);
}

module.exports = { Harness, style, section, waitForValue, EXTENSION_ID, SOURCE_DIR, EXTENSION_DIR };
