#!/usr/bin/env node
// The native host on a large library, through its pipes as the browser uses it: time from the
// host's start to its first reply, `getCSS` round trips (median, p99, the replies over 1 MiB on
// their own), empty `urlChanged` round trips, and the host's memory. With --reference, a second
// host program runs the same requests on the same library in the same run, the two taking turns
// round by round, and every reply text of the two is compared. Each host starts twice a round:
// once without the index that hosts keep beside the library, then with the one it wrote.
//
//   node bench/host_bench.js --host PATH --library FILE [--reference PATH] [--requests N]
//                            [--empty N] [--rounds R]
//
// Uses a throw-away home and settings folder; never touches a real library.
'use strict';

const crypto = require('node:crypto');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawn } = require('node:child_process');

const options = { requests: 2000, empty: 2000, rounds: 3, host: null, reference: null, library: null };
for (let i = 2; i < process.argv.length; i += 2) {
  const key = process.argv[i].replace(/^--/, '');
  if (!(key in options)) throw new Error(`unknown option ${process.argv[i]}`);
  options[key] = ['requests', 'empty', 'rounds'].includes(key) ? Number(process.argv[i + 1])
    : process.argv[i + 1];
}
if (!options.host || !options.library) throw new Error('--host and --library are needed');

// Pages of the sites the generated library styles (large CSS), with paths, and unstyled ones.
const SITES = ['github.com', 'www.youtube.com', 'reddit.com', 'en.wikipedia.org',
  'news.ycombinator.com', 'stackoverflow.com', 'docs.example.dev', 'www.twitch.tv',
  'developer.mozilla.org', 'wiki.archlinux.org', 'gitlab.com', 'forum.example.net'];
const ADDRESSES = [];
for (let i = 0; i < 40; i++) {
  if (i % 4 === 3) ADDRESSES.push(`https://unstyled${i}.example.org/page/${i}`);
  else ADDRESSES.push(`https://${SITES[i % SITES.length]}/${i % 2 ? 'search?q=x' + i : ''}`);
}

function frame(object) {
  const body = Buffer.from(JSON.stringify(object));
  const header = Buffer.alloc(4);
  header.writeUInt32LE(body.length);
  return Buffer.concat([header, body]);
}

// CPU time (user + system) the process has used, in milliseconds.
function cpuMs(pid) {
  const fields = fs.readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
  return (Number(fields[11]) + Number(fields[12])) * 10;
}

function memoryKiB(pid) {
  const status = fs.readFileSync(`/proc/${pid}/status`, 'utf8');
  return { rss: Number(/VmRSS:\s+(\d+)/.exec(status)[1]), peak: Number(/VmHWM:\s+(\d+)/.exec(status)[1]) };
}

const percentile = (sorted, p) => sorted[Math.min(sorted.length - 1, Math.floor(sorted.length * p))];
const median = (values) => { const s = [...values].sort((a, b) => a - b); return s[s.length >> 1]; };

async function run(host, root) {
  const env = { ...process.env, ORLAVINE_HOME: path.join(root, 'data'),
    ORLAVINE_CONFIG: path.join(root, 'config'), XDG_CONFIG_HOME: path.join(root, 'xdg') };
  const started = process.hrtime.bigint();
  const child = spawn(host, [], { env, stdio: ['pipe', 'pipe', 'ignore'] });
  let chunks = [];
  let length = 0;
  let parts = [];
  let waiting = null;
  // Chunks are joined only once a whole frame has arrived, so a long reply costs one copy.
  child.stdout.on('data', (chunk) => {
    chunks.push(chunk);
    length += chunk.length;
    for (;;) {
      if (length < 4) return;
      if (chunks[0].length < 4) chunks = [Buffer.concat(chunks, length)];
      const size = chunks[0].readUInt32LE(0);
      if (length < 4 + size) return;
      const buffered = chunks.length > 1 ? Buffer.concat(chunks, length) : chunks[0];
      const text = buffered.toString('utf8', 4, 4 + size);
      const rest = buffered.subarray(4 + size);
      chunks = rest.length ? [rest] : [];
      length = rest.length;
      let whole = text;
      if (text.startsWith('{"id":') && text.includes(',"part":')) {
        const part = JSON.parse(text);
        parts.push(part.data);
        if (parts.length < part.parts) continue;
        whole = parts.join('');
        parts = [];
      }
      if (whole.startsWith('{"event"')) continue;
      if (waiting) waiting(whole);
    }
  });
  const ask = (request) => new Promise((resolve) => {
    waiting = resolve;
    child.stdin.write(frame(request));
  });

  const replies = crypto.createHash('sha256');
  const first = await ask({ id: 0, name: 'getCSS', url: ADDRESSES[0] });
  const startMs = Number(process.hrtime.bigint() - started) / 1e6;
  replies.update(first);
  const startMemory = memoryKiB(child.pid);
  const times = [];
  const large = [];
  const cpuBefore = cpuMs(child.pid);
  for (let i = 1; i <= options.requests; i++) {
    const t = process.hrtime.bigint();
    const reply = await ask({ id: i, name: 'getCSS', url: ADDRESSES[i % ADDRESSES.length] });
    const us = Number(process.hrtime.bigint() - t) / 1e3;
    times.push(us);
    if (reply.length > 1024 * 1024) large.push(us);
    replies.update(reply);
  }
  const hostCpuUs = ((cpuMs(child.pid) - cpuBefore) * 1000) / options.requests;
  // The first page again, warm: what the first reply cost beyond this is the host's start.
  const again = process.hrtime.bigint();
  await ask({ id: 0, name: 'getCSS', url: ADDRESSES[0] });
  const firstWarmMs = Number(process.hrtime.bigint() - again) / 1e6;
  const empty = [];
  for (let i = 0; i < options.empty; i++) {
    const t = process.hrtime.bigint();
    await ask({ id: 100000 + i, name: 'urlChanged', url: ADDRESSES[i % ADDRESSES.length] });
    empty.push(Number(process.hrtime.bigint() - t) / 1e3);
  }
  const memory = memoryKiB(child.pid);
  child.stdin.end();
  await new Promise((resolve) => child.on('exit', resolve));
  times.sort((a, b) => a - b);
  empty.sort((a, b) => a - b);
  return {
    startMs, startCostMs: startMs - firstWarmMs, startRss: startMemory.rss / 1024, rss: memory.rss / 1024, peak: memory.peak / 1024,
    hostCpuUs, median: percentile(times, 0.5), p99: percentile(times, 0.99), largeCount: large.length,
    largeMedian: large.length ? median(large) : 0, emptyMedian: percentile(empty, 0.5),
    emptyP99: percentile(empty, 0.99), digest: replies.digest('hex'),
  };
}

(async () => {
  const root = fs.mkdtempSync(path.join(os.tmpdir(), 'orlavine-host-bench-'));
  try {
    fs.mkdirSync(path.join(root, 'data'), { recursive: true });
    fs.copyFileSync(options.library, path.join(root, 'data', 'styledb.sdb'));
    const hosts = [['ours', options.host]];
    if (options.reference) hosts.push(['reference', options.reference]);
    const results = {};
    for (let round = 0; round < options.rounds; round++) {
      for (const [name, host] of round % 2 ? [...hosts].reverse() : hosts) {
        // A host that finds no index beside the library (a browser's first start after the
        // library changed) reads it whole and writes one; the next start reads the index.
        fs.rmSync(path.join(root, 'data', '.styledb.sdb.index'), { force: true });
        const first = await run(host, root);
        const result = await run(host, root);
        result.startWithoutIndexMs = first.startMs;
        result.startCostWithoutIndexMs = first.startCostMs;
        result.startRssWithoutIndex = first.startRss;
        result.digest = first.digest === result.digest ? result.digest : 'differs';
        (results[name] ||= []).push(result);
      }
    }
    const keys = [['startWithoutIndexMs', 'start → first reply, no index', 'ms', 1],
      ['startMs', 'start → first reply, index kept', 'ms', 1],
      ['startCostWithoutIndexMs', 'first reply less the same request warm, no index', 'ms', 1],
      ['startCostMs', 'first reply less the same request warm, index kept', 'ms', 1],
      ['startRssWithoutIndex', 'RSS after first reply, no index', 'MiB', 1],
      ['startRss', 'RSS after first reply, index kept', 'MiB', 1],
      ['rss', 'RSS at the end', 'MiB', 1], ['peak', 'peak RSS', 'MiB', 1],
      ['hostCpuUs', 'host CPU per getCSS (clock ticks of 10 ms, averaged)', 'µs', 0],
      ['median', 'getCSS round trip, median', 'µs', 0], ['p99', 'getCSS round trip, p99', 'µs', 0],
      ['largeMedian', 'replies over 1 MiB, median', 'µs', 0],
      ['emptyMedian', 'urlChanged round trip, median', 'µs', 0],
      ['emptyP99', 'urlChanged round trip, p99', 'µs', 0]];
    const cell = (name, key, digits) => {
      const values = results[name].map((r) => r[key]);
      return `${median(values).toFixed(digits)} (${Math.min(...values).toFixed(digits)}-` +
        `${Math.max(...values).toFixed(digits)})`;
    };
    const names = hosts.map(([name]) => name);
    console.log(`Library ${options.library}: ${options.rounds} rounds, ${options.requests} getCSS ` +
      `(${results.ours[0].largeCount} replies over 1 MiB) and ${options.empty} urlChanged per round; ` +
      'median (min-max) over the rounds.\n');
    console.log(`| figure | ${names.join(' | ')} |`);
    console.log(`|---|${names.map(() => '---:').join('|')}|`);
    for (const [key, label, unit, digits] of keys) {
      console.log(`| ${label} (${unit}) | ${names.map((n) => cell(n, key, digits)).join(' | ')} |`);
    }
    const digests = new Set(Object.values(results).flat().map((r) => r.digest));
    console.log(digests.size === 1 ? '\nEvery reply text was the same on every run.'
      : '\nWARNING: the reply texts differ between runs or hosts.');
    process.exitCode = digests.size === 1 ? 0 : 1;
  } finally {
    fs.rmSync(root, { recursive: true, force: true });
  }
})();
