#!/usr/bin/env node
// Round trip of one "getCSS" through the native host, as the browser sends it, and the host's
// memory, for libraries of 100, 1,000 and 10,000 styles.
//
//   node bench/host_roundtrip.js [path/to/orlavine-extension]
//
// Uses a throw-away library and settings folder; never touches a real library.
'use strict';

const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawn } = require('node:child_process');

const HOST = process.argv[2] ||
  path.join(__dirname, '..', 'build', 'release', 'extension', 'orlavine-extension');
const REQUESTS = 2000;

// Deterministic pseudo-random numbers, so every run measures the same library.
let seed = 12345;
function random() {
  seed = (seed * 1103515245 + 12345) % 2147483648;
  return seed / 2147483648;
}

function makeLibrary(count) {
  const styles = [];
  for (let i = 0; i < count; i++) {
    const sections = [];
    for (let s = 0; s < 5; s++) {
      const site = `site${Math.floor(random() * count)}.example`;
      const kind = random();
      const rules = { urls: [], urlPrefixes: [], domains: [], regexps: [] };
      if (kind < 0.1) rules.regexps.push(`https?://(www\\.)?${site.replace('.', '\\.')}/.*`);
      else if (kind < 0.6) rules.domains.push(site);
      else if (kind < 0.8) rules.urlPrefixes.push(`https://${site}/forum`);
      else rules.urls.push(`https://${site}/`);
      sections.push({ ...rules, code: `body.s${i}-${s} { color: #${(i * 97 % 4096).toString(16)}; }` });
    }
    styles.push({
      uniqueID: i + 1,
      styleData: { url: '', updateUrl: '', md5Url: '', originalMd5: '', name: `Style ${i}`, sections },
      isEnabled: random() > 0.1, source: 'custom', userstyleID: -1, version: '', namespace: '',
      description: '', author: '', homepageURL: '', supportURL: '', license: '', downloadedFrom: '',
      preprocessor: 'default', allowIframe: true,
    });
  }
  return { dbVersion: 1, styles, randomHash: 1 };
}

function frame(object) {
  const body = Buffer.from(JSON.stringify(object));
  const header = Buffer.alloc(4);
  header.writeUInt32LE(body.length);
  return Buffer.concat([header, body]);
}

function rssKiB(pid) {
  const status = fs.readFileSync(`/proc/${pid}/status`, 'utf8');
  return Number(/VmRSS:\s+(\d+)/.exec(status)[1]);
}

async function measure(count) {
  const root = fs.mkdtempSync(path.join(os.tmpdir(), 'orlavine-bench-'));
  const env = { ...process.env, ORLAVINE_HOME: path.join(root, 'data'),
    ORLAVINE_CONFIG: path.join(root, 'config'), XDG_CONFIG_HOME: path.join(root, 'xdg') };
  fs.mkdirSync(env.ORLAVINE_HOME, { recursive: true });
  fs.writeFileSync(path.join(env.ORLAVINE_HOME, 'styledb.sdb'), JSON.stringify(makeLibrary(count)));

  const host = spawn(HOST, [], { env, stdio: ['pipe', 'pipe', 'inherit'] });
  let buffered = Buffer.alloc(0);
  let waiting = null;
  host.stdout.on('data', (chunk) => {
    buffered = Buffer.concat([buffered, chunk]);
    while (buffered.length >= 4 && buffered.length >= 4 + buffered.readUInt32LE(0)) {
      const length = buffered.readUInt32LE(0);
      const message = JSON.parse(buffered.subarray(4, 4 + length));
      buffered = buffered.subarray(4 + length);
      if (waiting) waiting(message);
    }
  });
  const ask = (request) => new Promise((resolve) => {
    waiting = resolve;
    host.stdin.write(frame(request));
  });

  const urls = [];
  for (let i = 0; i < 50; i++) {
    const site = `site${Math.floor(random() * count)}.example`;
    urls.push(i % 5 === 0 ? `https://www.${site}/forum/thread/${i}?page=2#post` : `https://${site}/`);
  }
  const first = process.hrtime.bigint();
  await ask({ id: 0, name: 'getCSS', url: urls[0] });  // loads and compiles the library
  const loadMs = Number(process.hrtime.bigint() - first) / 1e6;
  const times = [];
  for (let i = 1; i <= REQUESTS; i++) {
    const start = process.hrtime.bigint();
    await ask({ id: i, name: 'getCSS', url: urls[i % urls.length] });
    times.push(Number(process.hrtime.bigint() - start) / 1e3);
  }
  const rss = rssKiB(host.pid);
  host.stdin.end();
  await new Promise((resolve) => host.on('exit', resolve));
  fs.rmSync(root, { recursive: true, force: true });
  times.sort((a, b) => a - b);
  return { count, loadMs, median: times[times.length >> 1], p99: times[Math.floor(times.length * 0.99)], rss };
}

(async () => {
  console.log('| styles | first request (load + compile) | round trip median | p99 | host RSS |');
  console.log('|---:|---:|---:|---:|---:|');
  for (const count of [100, 1000, 10000]) {
    const r = await measure(count);
    console.log(`| ${r.count} | ${r.loadMs.toFixed(1)} ms | ${r.median.toFixed(0)} µs | ` +
      `${r.p99.toFixed(0)} µs | ${(r.rss / 1024).toFixed(1)} MiB |`);
  }
})();
