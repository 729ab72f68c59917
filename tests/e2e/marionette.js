// Drives Firefox through its Marionette protocol (what geckodriver speaks to it), with nothing
// downloaded: Firefox ESR from Debian is started with --marionette and a fresh profile, and
// commands go as JSON over TCP. Also loads the extension as a temporary add-on.
'use strict';

const fs = require('node:fs');
const net = require('node:net');
const path = require('node:path');
const { spawn } = require('node:child_process');

const FIREFOX = process.env.FIREFOX || '/usr/bin/firefox-esr';

// Messages are "<length>:<JSON>"; commands [0, id, name, parameters], responses
// [1, id, error, result].
class MarionetteClient {
  constructor(socket) {
    this.socket = socket;
    this.buffer = Buffer.alloc(0);
    this.nextId = 1;
    this.pending = new Map();
    this.hello = new Promise((resolve) => {
      this.onHello = resolve;
    });
    socket.on('data', (data) => this.receive(data));
    socket.on('close', () => {
      for (const { reject } of this.pending.values()) reject(new Error('Marionette closed'));
      this.pending.clear();
    });
  }

  static connect(port, timeoutMs = 60000) {
    const end = Date.now() + timeoutMs;
    return new Promise((resolve, reject) => {
      const attempt = () => {
        const socket = net.connect(port, '127.0.0.1');
        socket.once('connect', () => {
          const client = new MarionetteClient(socket);
          client.hello.then(() => resolve(client));
        });
        socket.once('error', () => {
          socket.destroy();
          if (Date.now() > end) reject(new Error('Firefox did not open Marionette'));
          else setTimeout(attempt, 250);
        });
      };
      attempt();
    });
  }

  receive(data) {
    this.buffer = Buffer.concat([this.buffer, data]);
    for (;;) {
      const colon = this.buffer.indexOf(':');
      if (colon < 0) return;
      const length = Number(this.buffer.subarray(0, colon).toString());
      if (this.buffer.length < colon + 1 + length) return;
      const text = this.buffer.subarray(colon + 1, colon + 1 + length).toString();
      this.buffer = this.buffer.subarray(colon + 1 + length);
      const message = JSON.parse(text);
      if (!Array.isArray(message)) {
        this.onHello(message);
        continue;
      }
      const [, id, error, result] = message;
      const waiting = this.pending.get(id);
      if (!waiting) continue;
      this.pending.delete(id);
      if (error) waiting.reject(new Error(`${error.error}: ${error.message}`));
      else waiting.resolve(result);
    }
  }

  send(name, parameters = {}) {
    const id = this.nextId++;
    const text = Buffer.from(JSON.stringify([0, id, name, parameters]));
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject });
      this.socket.write(Buffer.concat([Buffer.from(`${text.length}:`), text]));
    });
  }

  // Runs `script` (a function body; `return` gives the value, promises are awaited) in the
  // current page.
  async evaluate(script, args = []) {
    const result = await this.send('WebDriver:ExecuteScript', { script, args });
    return result.value;
  }

  close() {
    this.socket.destroy();
  }
}

// A free TCP port on the loopback address.
function freePort() {
  return new Promise((resolve) => {
    const server = net.createServer();
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// Starts headless Firefox with a fresh profile under `root`; `home` is its HOME, where the
// native host manifests live (~/.mozilla/native-messaging-hosts).
async function launchFirefox(root, env, extensionUUID, extensionId) {
  const profile = path.join(root, 'firefox-profile');
  fs.mkdirSync(profile, { recursive: true });
  const port = await freePort();
  const prefs = {
    'marionette.port': port,
    'extensions.webextensions.uuids': JSON.stringify({ [extensionId]: extensionUUID }),
    'browser.shell.checkDefaultBrowser': false,
    'browser.startup.homepage_override.mstone': 'ignore',
    'browser.startup.page': 0,
    'browser.aboutwelcome.enabled': false,
    'datareporting.policy.dataSubmissionEnabled': false,
    'toolkit.telemetry.reportingpolicy.firstRun': false,
    'app.update.disabledForTesting': true,
    'app.normandy.enabled': false,
    'browser.safebrowsing.malware.enabled': false,
    'browser.safebrowsing.phishing.enabled': false,
    'network.captive-portal-service.enabled': false,
    'network.connectivity-service.enabled': false,
    'extensions.update.enabled': false,
    'extensions.getAddons.cache.enabled': false,
    'browser.newtabpage.enabled': false,
    'network.proxy.type': 0,
    // Background tabs keep their timers running at full speed in the tests.
    'dom.min_background_timeout_value': 4,
  };
  fs.writeFileSync(
    path.join(profile, 'user.js'),
    Object.entries(prefs)
      .map(([k, v]) => `user_pref(${JSON.stringify(k)}, ${JSON.stringify(v)});`)
      .join('\n') + '\n',
  );
  const log = fs.openSync(path.join(root, 'firefox.log'), 'a');
  const child = spawn(
    FIREFOX,
    [
      '--headless',
      '--marionette',
      '--remote-allow-system-access',
      '--no-remote',
      '--profile',
      profile,
      'about:blank',
    ],
    { env, stdio: ['ignore', log, log] },
  );
  fs.closeSync(log);
  const client = await MarionetteClient.connect(port);
  await client.send('WebDriver:NewSession', {
    capabilities: { alwaysMatch: { acceptInsecureCerts: true } },
  });
  return { child, client };
}

module.exports = { MarionetteClient, launchFirefox, FIREFOX };
